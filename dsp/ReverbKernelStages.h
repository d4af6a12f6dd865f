// The reverb's staged kernel: TReverb's algorithm carried out stage by stage over runs of frames,
// with every result of the per-frame form (dsp.cpp) to the last bit. It is compiled once per
// processor level, each time inside that level's namespace, by dsp/ReverbKernelBaseline.cpp,
// dsp/ReverbKernelAvx2.cpp and dsp/ReverbKernelAvx512.cpp; what differs between the versions is
// in those files. Nothing here may call an inline function defined outside this header (those of
// dsp.h included): built with one level's flags it would be one symbol to the linker with the
// other levels' copies, which may then serve a caller built for a processor without that level.
//
// Runs. Every read of the tank reaches back further than a run is long, and no write of a run
// lands where a later frame of the same run still has to read the old value. Each stage can then
// be carried out for the whole run before the next one starts, giving every result of the
// per-frame order while the stages become loops over contiguous memory. Runs are as long as the
// tank allows (up to 256 frames, see TReverb::ComputeMaxRun): runs bounded by the input diffusers'
// shorter lines (172 frames at 48000 Hz) cost 0.4 ns per frame more. The input diffusers take a
// run in pieces no longer than their lines instead; each of their lines is read and written by its
// own stage alone.
//
// The recursion chain. What bounds the speed are the recursions, which no reordering may touch:
// the colour filter has a dependency chain of 12 cycles per frame, the damping filters one of 9.
// They run in one loop, frame by frame (SerialLoop), the two LFOs and the two damping filters each
// as the two lanes of one vector operation, their states held in locals (stored through the object
// they would be reloaded after every store to the arrays, lengthening each chain). The colour
// filter runs without its flush test; the rare run where the flush would have acted is filtered
// again with it. The loop sums the input to mono itself: loading what the loop before had just
// stored made the processor hold such loads back behind earlier stores, among them those waiting
// on the recursions, and for stretches of time the engine took 14.6 ns per frame instead of 10.4.
//
// Eight parts. The output taps and the mix take no part in the recursions. In the versions with a
// fused output stage they run inside the recursion loop, on the execution units the chains leave
// idle, for groups of eight frames cut into eight parts, one after each frame of the group: done
// at once after every eighth frame they held the chains up (10.0 ns per frame instead of 8.8).
// The taps are then read before the run's writes; the run length keeps them reading what the
// per-frame form reads.
//
// The subnormal fixed point. Long after the tail has died, the damping filters come to rest on a
// fixed point among the subnormal numbers, where every operation is many times slower on x86
// processors. A run whose input to a filter is constant and whose first step leaves the filter's
// states as they were repeats that step's output instead (DampRunFrozen). The point is remembered:
// computing that one step on every run of a silent tank raised the denormal-operand and underflow
// flags on every run, for as long as the silence lasted, and Intel processors take a microcode
// assist for each such operation. Now a silent tank computes on no subnormal number at all.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "checks/ThreadChecks.h"
#include "dsp/ReverbKernel.h"

#ifndef QM_KERNEL_NAMESPACE
#error "define QM_KERNEL_NAMESPACE, the namespace of the processor level, before including this header"
#endif

// The vectors pass between functions of one kernel file only, all built for the same level.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace quillon::QM_KERNEL_NAMESPACE {
namespace {

// Eight values; single-precision samples are loaded eight at a time and widened exactly.
using V8 = double __attribute__((vector_size(64)));
using VF8 = float __attribute__((vector_size(32)));
// Two lanes, one per tank half or per LFO: each lane takes exactly the scalar operations, so
// pairing the two independent recursions halves their work.
using V2 = double __attribute__((vector_size(16)));

constexpr int64_t kMinNormalBits = __builtin_bit_cast(int64_t, 0x1p-1022);
constexpr int64_t kInfinityBits = __builtin_bit_cast(int64_t, __builtin_huge_val());
constexpr int32_t kMinNormalFloatBits = __builtin_bit_cast(int32_t, 0x1p-126f);
constexpr int32_t kInfinityFloatBits = __builtin_bit_cast(int32_t, __builtin_huge_valf());

template <class T>
T Min(T a, T b)
{
  return b < a ? b : a;
}

template <class T>
T Max(T a, T b)
{
  return a < b ? b : a;
}

bool SameBits(double a, double b)
{
  return __builtin_bit_cast(uint64_t, a) == __builtin_bit_cast(uint64_t, b);
}

// FlushToZero of dsp.h: values that are not normal numbers or zeros become 0.
double Flush(double x)
{
  const double a = __builtin_fabs(x);
  return (a >= 0x1p-1022 && a <= 0x1.fffffffffffffp+1023) || x == 0.0 ? x : 0.0;
}

float Flush(float x)
{
  const float a = __builtin_fabsf(x);
  return (a >= 0x1p-126f && a <= 0x1.fffffep+127f) || x == 0.0f ? x : 0.0f;
}

// Flush of one value, or of eight with the level's own flush.
template <class Level, class T>
T FlushAny(T x)
{
  if constexpr (std::is_same_v<T, double> || std::is_same_v<T, float>)
    return Flush(x);
  else
    return Level::Flush(x);
}

// TTriLFO::Output.
double Triangle(double phase)
{
  return __builtin_fabs(__builtin_fabs(phase) - 2.0) - 1.0;
}

// One sample as a double, or eight as V8.
template <class T, class S>
T Load(const S* p)
{
  if constexpr (std::is_same_v<T, double>)
    return *p;
  else
  {
    std::conditional_t<std::is_same_v<S, float>, VF8, V8> v;
    __builtin_memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, T);
  }
}

// Stores one value, or eight.
template <class T>
void Store(double* p, T x)
{
  if constexpr (std::is_same_v<T, double>)
    *p = x;
  else
    __builtin_memcpy(p, &x, sizeof x);
}

// Stores one output sample, or eight, flushed. A single-precision sample is flushed once more after
// rounding: rounding makes an infinity of a value beyond the largest float and a subnormal of a
// very small one.
template <class Level, class S, class T>
void StoreOutput(S* p, T x)
{
  const T flushed = FlushAny<Level>(x);
  if constexpr (std::is_same_v<S, double>)
    Store(p, flushed);
  else if constexpr (std::is_same_v<T, double>)
    *p = Flush(static_cast<float>(flushed));
  else
  {
    const VF8 rounded = Level::Flush(__builtin_convertvector(flushed, VF8));
    __builtin_memcpy(p, &rounded, sizeof rounded);
  }
}

// Runs body<double>(i) for every i below count (a loop the compiler vectorises itself), or, with
// kWide, body<V8>(i) eight frames at a time and body<double> for the rest.
template <bool kWide, class Body>
void ForFrames(int count, Body body)
{
  int i = 0;
  if constexpr (kWide)
    for (; i + 8 <= count; i += 8)
      body.template operator()<V8>(i);
  for (; i < count; ++i)
    body.template operator()<double>(i);
}

// TDelay::ReadAt.
double ReadAt(const TKernelLine& line, int t)
{
  return line.buffer[(line.readPos + t) & line.mask];
}

// TDelay::CopyOut: `count` samples from the read position into dst.
void CopyOut(const TKernelLine& line, int count, double* dst)
{
  const int first = Min(count, line.size - line.readPos);
  __builtin_memcpy(dst, line.buffer + line.readPos, sizeof(double) * first);
  if (first < count)
    __builtin_memcpy(dst + first, line.buffer, sizeof(double) * (count - first));
}

// The four-point Hermite interpolation of TDelay::ReadIrpAt.
double CatmullRom(double ym1, double y0, double y1, double y2, double f)
{
  const double c1 = 0.5 * (y1 - ym1);
  const double c2 = ym1 - 2.5 * y0 + 2.0 * y1 - 0.5 * y2;
  const double c3 = 0.5 * (y2 - ym1) + 1.5 * (y0 - y1);
  return y0 + f * (c1 + f * (c2 + f * c3));
}

// TIIRFilter::Process of an enabled filter, with its flush of small and non-finite outputs ...
double ProcessFlushed(TIIRFilter& f, double x)
{
  double y = f.mB0 * x + f.mZ1;
  const double magnitude = __builtin_fabs(y);
  if (__builtin_expect(!(magnitude > 1e-8 && magnitude < __builtin_huge_val()), 0))
    y = 0.0;
  f.mZ1 = f.mB1 * x - f.mA1 * y + f.mZ2;
  f.mZ2 = f.mB2 * x - f.mA2 * y;
  return y;
}

// ... and without it: the run is checked for outputs the flush would change afterwards (see
// FlushWouldAct).
double ProcessUnflushed(TIIRFilter& f, double x)
{
  const double y = f.mB0 * x + f.mZ1;
  f.mZ1 = f.mB1 * x - f.mA1 * y + f.mZ2;
  f.mZ2 = f.mB2 * x - f.mA2 * y;
  return y;
}

// TFilt::Process.
double Damp(TFilt& f, double x)
{
  f.mLowState = (x - f.mLowState) * f.mLowCoeff + f.mLowState;
  f.mOutState = (f.mLowState * f.mShelf + x - f.mOutState) * f.mHighCoeff + f.mOutState;
  return f.mOutState * f.mGain;
}

// The arrays of one run that the recursive parts read and write.
template <class S>
struct SerialArrays
{
  const S* inL; // the run's input
  const S* inR;
  double* mono;
  double* lowCutOut;
  double* filtered;
  double* offset1;
  double* offset2;
  double* dampedL;
  double* dampedR;
  const double* leftIn; // the samples leaving lines 5 and 9, from frame `first`
  const double* rightIn;
};

// The recursive parts of frames first .. first + count - 1 of a run: the colour filters, the two
// LFOs' phase steps and the two damping filters (whose coefficients are equal).
//
// Independent work that the processor overlaps with the chains of the recursions comes from
// `extra`, for groups of eight frames from k (relative to first): its part J, extra.Part<J>(k),
// follows frame J of the group. After each remaining frame comes extra.Single(k).
//
// This loop, its lambdas and the parts of the output work are always inlined: left to the
// compiler, the recursions' states and the parts' sums went through memory, and ProcessBlock took
// 16 ns per frame instead of 9 (AVX-512) and 23 to 30 instead of 12 (AVX2) in reverb_bench.
template <bool kLowCut, bool kHiCut, bool kDamp, class S, class Extra>
[[gnu::always_inline]] inline void SerialLoop(int first, int count, const SerialArrays<S>& a, const TKernelState& s,
                                              Extra extra)
{
  const S* inL = a.inL;
  const S* inR = a.inR;
  double* __restrict mono = a.mono;
  double* __restrict lowCutOut = a.lowCutOut;
  double* __restrict filtered = a.filtered;
  double* __restrict offset1 = a.offset1;
  double* __restrict offset2 = a.offset2;
  double* __restrict dampedL = a.dampedL;
  double* __restrict dampedR = a.dampedR;
  const double* __restrict leftIn = a.leftIn;
  const double* __restrict rightIn = a.rightIn;

  TIIRFilter lowCut = *s.lowCut, hiCut = *s.hiCut;
  V2 phase = {s.lfo1->mPhase, s.lfo2->mPhase};
  const V2 increment = {s.lfo1->mIncrement, s.lfo2->mIncrement};
  V2 lowState = {s.dampL->mLowState, s.dampR->mLowState};
  V2 outState = {s.dampL->mOutState, s.dampR->mOutState};
  const double lowCoeff = s.dampL->mLowCoeff, highCoeff = s.dampL->mHighCoeff;
  const double shelf = s.dampL->mShelf, gain = s.dampL->mGain;

  auto step = [&]<bool kMayWrap>(int i) __attribute__((always_inline))
  {
    const double sum = (static_cast<double>(inL[i]) + static_cast<double>(inR[i])) * 0.5;
    mono[i] = sum;
    if constexpr (kLowCut || kHiCut)
    {
      double x = sum;
      if constexpr (kLowCut)
        x = ProcessUnflushed(lowCut, x);
      if constexpr (kLowCut && kHiCut)
        lowCutOut[i] = x;
      if constexpr (kHiCut)
        x = ProcessUnflushed(hiCut, x);
      filtered[i] = x;
    }

    // The phase steps of TTriLFO::Tick of both.
    V2 x = increment + phase;
    if (kMayWrap && (x[0] > 1.0 || x[1] > 1.0))
      x = x > 1.0 ? x - 4.0 : x;
    phase = x;
    offset1[i] = x[0];
    offset2[i] = x[1];

    if constexpr (kDamp)
    {
      // TFilt::Process of both.
      const V2 in = {leftIn[i - first], rightIn[i - first]};
      lowState = (in - lowState) * lowCoeff + lowState;
      outState = (lowState * shelf + in - outState) * highCoeff + outState;
      const V2 out = outState * gain;
      dampedL[i] = out[0];
      dampedR[i] = out[1];
    }
  };
  auto loop = [&]<bool kMayWrap>() __attribute__((always_inline))
  {
    int k = 0;
    for (; k + 8 <= count; k += 8)
      [&]<int... J>(std::integer_sequence<int, J...>) __attribute__((always_inline))
      {
        ((step.template operator()<kMayWrap>(first + k + J), extra.template Part<J>(k)), ...);
      }
    (std::make_integer_sequence<int, 8>{});
    for (; k < count; ++k)
    {
      step.template operator()<kMayWrap>(first + k);
      extra.Single(k);
    }
  };
  // A phase wraps once in 2 / rate seconds. Runs where neither can wrap skip the test: count steps
  // move a phase by at most count increments plus a rounding error far below the margin.
  const V2 last = phase + increment * count + 1e-9;
  if (__builtin_expect(last[0] < 1.0 && last[1] < 1.0, 1))
    loop.template operator()<false>();
  else
    loop.template operator()<true>();
  *s.lowCut = lowCut;
  *s.hiCut = hiCut;
  s.lfo1->mPhase = phase[0];
  s.lfo2->mPhase = phase[1];
  s.dampL->mLowState = lowState[0];
  s.dampR->mLowState = lowState[1];
  s.dampL->mOutState = outState[0];
  s.dampR->mOutState = outState[1];
}

// The LFO phases in io become the modulated lines' read offsets: (TTriLFO::Output(phase) + 1) *
// depth. Returns whether they all have the same whole part: most runs are a single stretch of one
// whole part. The offsets are never negative, so the whole part is the truncation, and their bit
// patterns order as they do, which keeps the test to integer minimum and maximum.
bool ShapeOffsets(double* __restrict io, double depth, int n)
{
  int64_t lowest = INT64_MAX, highest = 0;
  for (int i = 0; i < n; ++i)
  {
    const double offset = (Triangle(io[i]) + 1.0) * depth;
    io[i] = offset;
    const int64_t bits = __builtin_bit_cast(int64_t, offset);
    lowest = Min(lowest, bits);
    highest = Max(highest, bits);
  }
  return static_cast<int>(__builtin_bit_cast(double, lowest)) == static_cast<int>(__builtin_bit_cast(double, highest));
}

// True when the colour filter's flush would have changed one of the outputs y[0..n) computed
// without it: an output within +-1e-8, infinite or NaN, other than +0. Tested on the bits so that
// the loop vectorises.
bool FlushWouldAct(const double* __restrict y, int n)
{
  constexpr int64_t kLimit = __builtin_bit_cast(int64_t, 1e-8);
  int acts = 0;
  for (int i = 0; i < n; ++i)
  {
    const int64_t bits = __builtin_bit_cast(int64_t, y[i]);
    const int64_t magnitude = bits & INT64_MAX;
    acts |= (bits != 0) & ((magnitude <= kLimit) | (magnitude >= kInfinityBits));
  }
  return acts != 0;
}

bool SameCoefficients(const TFilt& a, const TFilt& b)
{
  return SameBits(a.mGain, b.mGain) && SameBits(a.mShelf, b.mShelf) && SameBits(a.mLowCoeff, b.mLowCoeff) &&
      SameBits(a.mHighCoeff, b.mHighCoeff);
}

struct NoExtraWork
{
  template <int J>
  void Part(int) const
  {
  }
  void Single(int) const {}
};

struct MixCoefficients
{
  double direct, cross, extra, wet, dry;
};

// The width matrix on the two wet signals, and the middle of its outputs.
template <class T>
void Widen(T wl, T wr, const MixCoefficients& m, T& l, T& r, T& mid)
{
  l = wl * m.direct + wr * m.cross;
  r = wl * m.cross + wr * m.direct;
  mid = (l + r) * 0.5;
}

// One side spread away from the middle and mixed with its dry input, before the flush.
template <class T>
T SpreadAndMix(T side, T mid, T dry, const MixCoefficients& m)
{
  const T spread = ((side - mid) * m.extra + mid + side) * 0.25;
  return spread * m.wet + dry * m.dry;
}

// Output taps (each side + + - + - - -, in tap order), width matrix and mix for the frame(s) at
// index i of the tap pointers and `offset + i` of the arrays, in eight parts (see SerialLoop).
// Each frame's inputs are read before its outputs are written, so the outputs may be the input
// arrays.
template <class T, class Level, class S>
struct TapsAndMix
{
  const double* const* t;
  const S *inL, *inR;
  S *outL, *outR;
  int offset;
  const MixCoefficients& m;
  T wl{}, wr{}, l{}, r{}, mid{};

  template <int J>
  [[gnu::always_inline]] void Part(int i)
  {
    if constexpr (J == 0)
      wl = Load<T>(t[0] + i) + Load<T>(t[1] + i);
    else if constexpr (J == 1)
      wl = wl - Load<T>(t[2] + i) + Load<T>(t[3] + i);
    else if constexpr (J == 2)
      wl = wl - Load<T>(t[4] + i) - Load<T>(t[5] + i);
    else if constexpr (J == 3)
    {
      wl = wl - Load<T>(t[6] + i);
      wr = Load<T>(t[7] + i) + Load<T>(t[8] + i);
    }
    else if constexpr (J == 4)
      wr = wr - Load<T>(t[9] + i) + Load<T>(t[10] + i);
    else if constexpr (J == 5)
      wr = wr - Load<T>(t[11] + i) - Load<T>(t[12] + i) - Load<T>(t[13] + i);
    else if constexpr (J == 6)
      Widen(wl, wr, m, l, r, mid);
    else
    {
      const int at = offset + i;
      const T dryL = Load<T>(inL + at), dryR = Load<T>(inR + at);
      StoreOutput<Level>(outL + at, SpreadAndMix(l, mid, dryL, m));
      StoreOutput<Level>(outR + at, SpreadAndMix(r, mid, dryR, m));
    }
  }
};

// TapsAndMix as SerialLoop's extra work: eight frames a part at a time, single frames whole.
template <class Level, class S>
struct TapsAndMixExtra
{
  TapsAndMix<V8, Level, S> wide;

  template <int J>
  [[gnu::always_inline]] void Part(int k)
  {
    wide.template Part<J>(k);
  }
  [[gnu::always_inline]] void Single(int k)
  {
    TapsAndMix<double, Level, S> one{wide.t, wide.inL, wide.inR, wide.outL, wide.outR, wide.offset, wide.m};
    [&]<int... J>(std::integer_sequence<int, J...>) __attribute__((always_inline))
    {
      (one.template Part<J>(k), ...);
    }
    (std::make_integer_sequence<int, 8>{});
  }
};

uint64_t Bits(double x)
{
  return __builtin_bit_cast(uint64_t, x);
}

// The filter, its states and a constant input as a fixed point to compare with a remembered one.
TDampFixedPoint DampPoint(const TFilt& damp, double input)
{
  return {Bits(damp.mGain),     Bits(damp.mShelf),    Bits(damp.mLowCoeff), Bits(damp.mHighCoeff),
          Bits(damp.mLowState), Bits(damp.mOutState), Bits(input),          0};
}

bool SamePoint(const TDampFixedPoint& a, const TDampFixedPoint& b)
{
  return a.gain == b.gain && a.shelf == b.shelf && a.lowCoeff == b.lowCoeff && a.highCoeff == b.highCoeff &&
      a.lowState == b.lowState && a.outState == b.outState && a.input == b.input;
}

// A damping filter fed a constant input whose one step leaves its states as they were returns
// the same output for the whole run (the subnormal fixed point, see the top of this file). The
// step is computed only for a point not met before: `rest` remembers the last one found.
bool DampRunFrozen(const TFilt& damp, const double* x, int n, TDampFixedPoint& rest, double& output)
{
  for (int i = 1; i < n; ++i)
    if (!SameBits(x[i], x[0]))
      return false;
  TDampFixedPoint point = DampPoint(damp, x[0]);
  if (SamePoint(point, rest))
  {
    output = __builtin_bit_cast(double, rest.output);
    return true;
  }
  TFilt probe = damp;
  output = Damp(probe, x[0]);
  if (!SameBits(probe.mLowState, damp.mLowState) || !SameBits(probe.mOutState, damp.mOutState))
    return false;
  point.output = Bits(output);
  rest = point;
  return true;
}

void DampRun(TFilt& dampRef, TDampFixedPoint& rest, double* __restrict io, int n)
{
  double frozen;
  if (DampRunFrozen(dampRef, io, n, rest, frozen))
  {
    for (int i = 0; i < n; ++i)
      io[i] = frozen;
    return;
  }
  TFilt damp = dampRef;
  for (int i = 0; i < n; ++i)
    io[i] = Damp(damp, io[i]);
  dampRef = damp;
}

// Calls body(pointers, offset, count) for the pieces of a run of `n` frames within which none of
// the N line positions wraps; pointers[k] addresses position k at the start of the piece.
template <int N, class Body>
void ForEachPiece(const TKernelLine* const (&lines)[N], const int (&start)[N], int n, Body body)
{
  int pos[N];
  for (int k = 0; k < N; ++k)
    pos[k] = start[k] & lines[k]->mask;
  for (int done = 0; done < n;)
  {
    int count = n - done;
    for (int k = 0; k < N; ++k)
      count = Min(count, lines[k]->size - pos[k]);
    double* p[N];
    for (int k = 0; k < N; ++k)
      p[k] = lines[k]->buffer + pos[k];
    body(p, done, count);
    done += count;
    for (int k = 0; k < N; ++k)
      pos[k] = (pos[k] + count) & lines[k]->mask;
  }
}

// Calls body(taps, offset, count) for the pieces of the run within which none of the fourteen tap
// positions and neither end of lines 5 and 9 wraps; taps[k] addresses tap k at the start of the
// piece, taps[kTaps] and taps[kTaps + 1] the samples leaving lines 5 and 9.
template <class Body>
void ForEachTapPiece(const TKernelState& s, int n, Body body)
{
  constexpr int kTaps = TReverb::kTaps;
  const TKernelLine* lines[kTaps + 2];
  int start[kTaps + 2];
  for (int k = 0; k < kTaps; ++k)
  {
    lines[k] = &s.lines[kTapSpecs[k].line];
    start[k] = lines[k]->readPos + s.taps[k];
  }
  lines[kTaps] = &s.lines[kLeftDelay1];
  lines[kTaps + 1] = &s.lines[kRightDelay1];
  start[kTaps] = s.lines[kLeftDelay1].readPos;
  start[kTaps + 1] = s.lines[kRightDelay1].readPos;
  ForEachPiece(lines, start, n, body);
}

// Whether each of the two offset arrays has a single whole part (see ShapeOffsets).
struct OffsetStretches
{
  bool one1, one2;
};

// Colour filters on the mono input (into filtered), both LFOs, and both damping filters on the
// samples leaving lines 5 and 9, read straight from the lines (which this run writes only later)
// into damped5 / damped9. With Level::kFusedOutput the output stage runs inside the same loop:
// every tap reads a sample written before the run (see TReverb::ComputeMaxRun), so the outputs
// need nothing of this run but its input.
template <class Level, bool kLowCut, bool kHiCut, bool kDamp, class S>
OffsetStretches SerialStage(TKernelState& s, const S* inL, const S* inR, S* outL, S* outR, int n)
{
  TKernelScratch& w = *s.scratch;
  const TIIRFilter lowCutBefore = *s.lowCut, hiCutBefore = *s.hiCut;
  SerialArrays<S> arrays{inL,       inR,       w.mono,    w.lowCutOut, w.filtered, w.offset1,
                         w.offset2, w.damped5, w.damped9, nullptr,     nullptr};
  auto loop = [&](int first, int count, const double* leftIn, const double* rightIn, auto extra) {
    arrays.leftIn = leftIn;
    arrays.rightIn = rightIn;
    SerialLoop<kLowCut, kHiCut, kDamp>(first, count, arrays, s, extra);
  };
  if constexpr (!Level::kFusedOutput)
  {
    const TKernelLine* lines[2] = {&s.lines[kLeftDelay1], &s.lines[kRightDelay1]};
    const int start[2] = {lines[0]->readPos, lines[1]->readPos};
    ForEachPiece(lines, start, n, [&](double* const* ends, int offset, int count) {
      loop(offset, count, ends[0], ends[1], NoExtraWork{});
    });
  }
  else
  {
    const MixCoefficients mix{s.widthDirect, s.widthCross, s.widthExtra, s.wetGain, s.dryGain};
    ForEachTapPiece(s, n, [&](double* const* taps, int offset, int count) {
      loop(offset, count, taps[TReverb::kTaps], taps[TReverb::kTaps + 1],
           TapsAndMixExtra<Level, S>{{taps, inL, inR, outL, outR, offset, mix}});
    });
  }

  const OffsetStretches stretches{ShapeOffsets(w.offset1, s.modDepth, n), ShapeOffsets(w.offset2, s.modDepth, n)};

  // The colour filters ran without their flush, which keeps its test off their recursions; in the
  // rare run where it would have acted, they run again with it.
  const bool flushActs =
      (kLowCut && FlushWouldAct(kHiCut ? w.lowCutOut : w.filtered, n)) || (kHiCut && FlushWouldAct(w.filtered, n));
  if (__builtin_expect(flushActs, 0))
  {
    *s.lowCut = lowCutBefore;
    *s.hiCut = hiCutBefore;
    for (int i = 0; i < n; ++i)
    {
      double x = w.mono[i];
      if constexpr (kLowCut)
        x = ProcessFlushed(*s.lowCut, x);
      if constexpr (kHiCut)
        x = ProcessFlushed(*s.hiCut, x);
      w.filtered[i] = x;
    }
  }
  return stretches;
}

template <class Level, bool kDamp, class S>
OffsetStretches SerialStageFor(TKernelState& s, const S* inL, const S* inR, S* outL, S* outR, int n)
{
  if (s.lowCut->mEnabled)
    return s.hiCut->mEnabled ? SerialStage<Level, true, true, kDamp>(s, inL, inR, outL, outR, n)
                             : SerialStage<Level, true, false, kDamp>(s, inL, inR, outL, outR, n);
  return s.hiCut->mEnabled ? SerialStage<Level, false, true, kDamp>(s, inL, inR, outL, outR, n)
                           : SerialStage<Level, false, false, kDamp>(s, inL, inR, outL, outR, n);
}

template <class Level, class S>
OffsetStretches RunSerialStage(TKernelState& s, const S* inL, const S* inR, S* outL, S* outR, int n)
{
  // Silent tank: only worth the check when the lines' ends are silent. The damping filters share
  // one loop only with equal coefficients, which UpdateFilt always gives them.
  const TKernelLine& line5 = s.lines[kLeftDelay1];
  const TKernelLine& line9 = s.lines[kRightDelay1];
  const bool quiet =
      ReadAt(line5, 0) == 0.0 && ReadAt(line9, 0) == 0.0 && ReadAt(line5, n - 1) == 0.0 && ReadAt(line9, n - 1) == 0.0;
  if (quiet || !SameCoefficients(*s.dampL, *s.dampR))
  {
    TKernelScratch& w = *s.scratch;
    CopyOut(line5, n, w.damped5);
    CopyOut(line9, n, w.damped9);
    const OffsetStretches stretches = SerialStageFor<Level, false>(s, inL, inR, outL, outR, n);
    DampRun(*s.dampL, s.memory->dampRest[0], w.damped5, n);
    DampRun(*s.dampR, s.memory->dampRest[1], w.damped9, n);
    return stretches;
  }
  return SerialStageFor<Level, true>(s, inL, inR, outL, outR, n);
}

// io holds the input on entry and the allpass output on return. The stored values go straight
// into the line: within a piece no longer than the line, a write can only land on a slot that an
// earlier frame has already read, and each piece reads what the pieces before it wrote.
template <class Level>
void Allpass(const TKernelState& s, const TKernelLine& line, double g, double* __restrict io, int n)
{
  const TKernelLine* const lines[2] = {&line, &line};
  for (int from = 0; from < n; from += s.diffuserRun)
  {
    const int start[2] = {line.readPos + from, line.writePos + from};
    ForEachPiece(lines, start, Min(s.diffuserRun, n - from), [&](double* const* p, int offset, int count) {
      const double* z = p[0];
      double* v = p[1];
      double* x = io + from + offset;
      ForFrames<Level::kWidePasses>(count, [=]<class T>(int i) {
        const T zi = Load<T>(z + i);
        const T vi = FlushAny<Level>(Load<T>(x + i) - g * zi);
        Store(v + i, vi);
        Store(x + i, zi + g * vi);
      });
    });
  }
}

// The interpolated reads of a modulated line for the run, into z. oneStretch tells that all
// offsets have the same whole part (see ShapeOffsets).
//
// Always inlined into the modulated pass that uses its reads: the AVX-512 version took 0.18 ns per
// frame less so (reverb_bench, on average over four placements of the kernel's code). The other
// passes stay functions of their own: inlined into ProcessRun, each of them made it slower.
[[gnu::always_inline]] inline void Interpolate(const TKernelLine& line, const double* __restrict offsets,
                                               bool oneStretch, double* __restrict z, int n)
{
  // Frame k of a stretch with whole part `whole` reads the four samples from `start` + k on: one
  // sample before the read position, `whole` further on.
  const double* const buffer = line.buffer;
  const int size = line.size, mask = line.mask;
  const int beforeRead = (line.readPos - 1) & mask;
  auto stretch = [&](int from, int to, int whole) {
    const int start = beforeRead + whole;
    auto contiguous = [&](const double* y, int a, int b) {
      for (int k = a; k < b; ++k)
        z[k] = CatmullRom(y[k], y[k + 1], y[k + 2], y[k + 3], offsets[k] - whole);
    };
    // Frames whose four samples all lie before the buffer's end, those that straddle it, and
    // those wholly after it.
    const int beforeEnd = Min(Max(size - start - 3, from), to);
    const int afterEnd = Min(Max(size - start, beforeEnd), to);
    contiguous(buffer + start, from, beforeEnd);
    for (int k = beforeEnd; k < afterEnd; ++k)
    {
      const int p = start + k;
      z[k] = CatmullRom(buffer[p & mask], buffer[(p + 1) & mask], buffer[(p + 2) & mask], buffer[(p + 3) & mask],
                        offsets[k] - whole);
    }
    contiguous(buffer + start - size, afterEnd, to);
  };

  // The LFO moves the offset by far less than a sample per frame: a run is one stretch of equal
  // whole parts, or a few.
  if (oneStretch)
  {
    stretch(0, n, static_cast<int>(offsets[0]));
    return;
  }
  for (int i = 0; i < n;)
  {
    const int whole = static_cast<int>(offsets[i]);
    int end = i + 1;
    while (end < n && static_cast<int>(offsets[end]) == whole)
      ++end;
    stretch(i, end, whole);
    i = end;
  }
}

// The modulated allpass of one tank half (coefficient sign reversed) on line `first`, written into
// line first + 1. Its input is d plus the end of the other half's second delay, read straight from
// that line (which this run writes only later), scaled by the decay gain on the right-to-left
// crossing only.
template <class Level, bool kScaledFeed>
void ModulatedPass(TKernelState& s, int first, const double* offsets, bool oneStretch, const TKernelLine& feed,
                   const double* d, int n)
{
  double* const z = s.scratch->z;
  Interpolate(s.lines[first], offsets, oneStretch, z, n);
  const double g = s.decayDiffusion1, gain = s.decayGain;
  const TKernelLine* const lines[3] = {&feed, &s.lines[first], &s.lines[first + 1]};
  const int start[3] = {feed.readPos, s.lines[first].writePos, s.lines[first + 1].writePos};
  ForEachPiece(lines, start, n, [&](double* const* p, int offset, int count) {
    const double* __restrict ff = p[0];
    double* __restrict v = p[1];
    double* __restrict y = p[2];
    const double* __restrict dd = d + offset;
    const double* __restrict zz = z + offset;
    ForFrames<Level::kWidePasses>(count, [=]<class T>(int i) {
      const T zi = Load<T>(zz + i);
      const T a = kScaledFeed ? Load<T>(dd + i) + gain * Load<T>(ff + i) : Load<T>(dd + i) + Load<T>(ff + i);
      const T vi = FlushAny<Level>(a + g * zi);
      Store(v + i, vi);
      Store(y + i, FlushAny<Level>(zi - g * vi));
    });
  });
}

// The allpass on line `first` fed by the damped samples, written into line first + 1. A line so
// close to its buffer size that the run writes slots it read earlier in the run still works: each
// frame reads before it writes.
template <class Level>
void DiffuserPass(const TKernelState& s, int first, const double* damped, int n)
{
  const double g = s.decayDiffusion2;
  const TKernelLine* const lines[3] = {&s.lines[first], &s.lines[first], &s.lines[first + 1]};
  const int start[3] = {s.lines[first].readPos, s.lines[first].writePos, s.lines[first + 1].writePos};
  ForEachPiece(lines, start, n, [&](double* const* p, int offset, int count) {
    const double* zz = p[0];
    double* v = p[1];
    double* __restrict y = p[2];
    const double* __restrict f = damped + offset;
    ForFrames<Level::kWidePasses>(count, [=]<class T>(int i) {
      const T zi = Load<T>(zz + i);
      const T vi = FlushAny<Level>(Load<T>(f + i) - g * zi);
      Store(v + i, vi);
      Store(y + i, FlushAny<Level>(zi + g * vi));
    });
  });
}

// One side's wet signal: the signed sum of its seven taps (+ + - + - - -, in tap order), read
// after all writes of the run. The run is cut into pieces within which none of the seven positions
// wraps.
template <int kFirst>
void SumTaps(const TKernelState& s, double* __restrict wet, int n)
{
  static_assert(kTapSpecs[0].add && kTapSpecs[1].add && !kTapSpecs[2].add && kTapSpecs[3].add && !kTapSpecs[4].add &&
                !kTapSpecs[5].add && !kTapSpecs[6].add && kTapSpecs[7].add && kTapSpecs[8].add && !kTapSpecs[9].add &&
                kTapSpecs[10].add && !kTapSpecs[11].add && !kTapSpecs[12].add && !kTapSpecs[13].add);
  const TKernelLine* lines[7];
  int start[7];
  for (int k = 0; k < 7; ++k)
  {
    lines[k] = &s.lines[kTapSpecs[kFirst + k].line];
    start[k] = lines[k]->readPos + s.taps[kFirst + k];
  }
  ForEachPiece(lines, start, n, [&](double* const* p, int offset, int count) {
    const double* __restrict t0 = p[0];
    const double* __restrict t1 = p[1];
    const double* __restrict t2 = p[2];
    const double* __restrict t3 = p[3];
    const double* __restrict t4 = p[4];
    const double* __restrict t5 = p[5];
    const double* __restrict t6 = p[6];
    double* __restrict out = wet + offset;
    for (int i = 0; i < count; ++i)
      out[i] = t0[i] + t1[i] - t2[i] + t3[i] - t4[i] - t5[i] - t6[i];
  });
}

// The outputs may be the input arrays: each frame's inputs are read before its outputs are
// written, and no frame touches another frame's samples.
template <class Level, class S>
void MixOut(const TKernelState& s, const S* inL, const S* inR, S* outL, S* outR, int n)
{
  const MixCoefficients mix{s.widthDirect, s.widthCross, s.widthExtra, s.wetGain, s.dryGain};
  const double* __restrict wetL = s.scratch->wetL;
  const double* __restrict wetR = s.scratch->wetR;
#if defined(__clang__)
#pragma clang loop vectorize(assume_safety)
#else
#pragma GCC ivdep
#endif
  for (int i = 0; i < n; ++i)
  {
    double l, r, mid;
    Widen(wetL[i], wetR[i], mix, l, r, mid);
    StoreOutput<Level>(outL + i, SpreadAndMix<double>(l, mid, inL[i], mix));
    StoreOutput<Level>(outR + i, SpreadAndMix<double>(r, mid, inR[i], mix));
  }
}

void Advance(TKernelLine& line, int count)
{
  line.writePos = (line.writePos + count) & line.mask;
  line.readPos = (line.readPos + count) & line.mask;
}

template <class Level, class S>
void ProcessRun(TKernelState& s, const S* inL, const S* inR, S* outL, S* outR, int n)
{
  TKernelScratch& w = *s.scratch;
  TKernelLine* const line = s.lines;

  // filtered, offsets, damped5 / damped9 (and, with Level::kFusedOutput, the outputs formed)
  const OffsetStretches stretches = RunSerialStage<Level>(s, inL, inR, outL, outR, n);
  double* const diffused = s.lowCut->mEnabled || s.hiCut->mEnabled ? w.filtered : w.mono;

  Allpass<Level>(s, line[0], s.inputDiffusion1, diffused, n);
  Allpass<Level>(s, line[1], s.inputDiffusion1, diffused, n);
  Allpass<Level>(s, line[2], s.inputDiffusion2, diffused, n);
  Allpass<Level>(s, line[3], s.inputDiffusion2, diffused, n);

  // Left half, fed by the end of the right half through the decay gain; right half, fed by the
  // end of the left half unscaled.
  ModulatedPass<Level, true>(s, kLeftModulated, w.offset1, stretches.one1, line[kRightDelay2], diffused, n);
  ModulatedPass<Level, false>(s, kRightModulated, w.offset2, stretches.one2, line[kLeftDelay2], diffused, n);
  DiffuserPass<Level>(s, kLeftAllpass, w.damped5, n);
  DiffuserPass<Level>(s, kRightAllpass, w.damped9, n);

  if constexpr (!Level::kFusedOutput)
  {
    SumTaps<0>(s, w.wetL, n);
    SumTaps<7>(s, w.wetR, n);
    MixOut<Level>(s, inL, inR, outL, outR, n);
  }

  for (int k = 0; k < TReverb::kLines; ++k)
    Advance(line[k], n);
}

template <class Level, class S>
void ProcessBlockIn(TKernelState& s, S** inputs, S** outputs, int count)
{
  QM_AUDIO_THREAD();
  TKernelScratch scratch;
  s.scratch = &scratch;
  for (int done = 0; done < count;)
  {
    const int n = Min(s.maxRun, count - done);
    ProcessRun<Level>(s, inputs[0] + done, inputs[1] + done, outputs[0] + done, outputs[1] + done, n);
    done += n;
  }
  s.scratch = nullptr;
}

} // namespace
} // namespace quillon::QM_KERNEL_NAMESPACE
