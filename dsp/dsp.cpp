#include "dsp/dsp.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <utility>

// ---------------------------------------------------------------- TDelay

TDelay::~TDelay()
{
  if (mSize != 0)
    delete[] mBuffer;
}

void TDelay::Reset()
{
  std::fill(mBuffer, mBuffer + mSize, 0.0);
}

void TDelay::Init(int length)
{
  if (length == mSize)
    return;
  if (mSize != 0)
    delete[] mBuffer;
  mBuffer = nullptr;
  mSize = mWritePos = mReadPos = mMask = 0;
  if (length <= 0)
    return;
  mSize = 1 << static_cast<int>(std::ceil(std::log2(static_cast<double>(length))));
  mBuffer = new double[mSize];
  mWritePos = length - 1;
  mReadPos = 0;
  mMask = mSize - 1;
  Reset();
}

void TDelay::Step()
{
  mWritePos = (mWritePos + 1) & mMask;
  mReadPos = (mReadPos + 1) & mMask;
}

double TDelay::Write(double x)
{
  const double stored = FlushToZero(x);
  mBuffer[mWritePos] = stored;
  return stored;
}

double TDelay::Read()
{
  return mBuffer[mReadPos];
}

double TDelay::ReadAt(int t)
{
  return mBuffer[(mReadPos + t) & mMask];
}

// Four-point, third-order Hermite (Catmull-Rom) interpolation.
static inline double CatmullRom(double ym1, double y0, double y1, double y2, double f)
{
  const double c1 = 0.5 * (y1 - ym1);
  const double c2 = ym1 - 2.5 * y0 + 2.0 * y1 - 0.5 * y2;
  const double c3 = 0.5 * (y2 - ym1) + 1.5 * (y0 - y1);
  return y0 + f * (c1 + f * (c2 + f * c3));
}

double TDelay::ReadIrpAt(double x)
{
  const int i = static_cast<int>(x);
  const double f = x - i;
  const int p = mReadPos + i;
  return CatmullRom(mBuffer[(p - 1) & mMask], mBuffer[p & mMask], mBuffer[(p + 1) & mMask], mBuffer[(p + 2) & mMask],
                    f);
}

// Calls segment(bufferIndex, arrayOffset, length) for the one or two
// contiguous pieces of a wrapped range of `count` samples from `pos`.
template <class Segment>
static inline void ForEachSegment(int pos, int count, int size, int mask, Segment segment)
{
  pos &= mask;
  const int first = std::min(count, size - pos);
  segment(pos, 0, first);
  if (first < count)
    segment(0, first, count - first);
}

void TDelay::CopyOut(int pos, int count, double* dst) const
{
  ForEachSegment(pos, count, mSize, mMask,
                 [&](int at, int offset, int n) { std::memcpy(dst + offset, mBuffer + at, sizeof(double) * n); });
}

void TDelay::CopyIn(int pos, int count, const double* src)
{
  ForEachSegment(pos, count, mSize, mMask,
                 [&](int at, int offset, int n) { std::memcpy(mBuffer + at, src + offset, sizeof(double) * n); });
}

// ------------------------------------------------------------ TIIRFilter

void TIIRFilter::SetCoeff(double b0, double b1, double b2, double a0, double a1, double a2)
{
  mB0 = b0 / a0;
  mB1 = b1 / a0;
  mB2 = b2 / a0;
  mA1 = a1 / a0;
  mA2 = a2 / a0;
}

void TIIRFilter::SetHiCut(double f)
{
  const double fs = mSampleRate;
  const double fc = fs / 2.0 < f ? fs / 2.0 : f;
  const double c = 1.0 / std::tan(M_PI * fc / fs);
  const double d = c * M_SQRT2;
  const double e = 1.0 / (d + 1.0 + c * c);
  mB0 = e;
  mB1 = 2.0 * e;
  mB2 = e;
  mA1 = 2.0 * e * (1.0 - c * c);
  mA2 = (1.0 - d + c * c) * e;
  mEnabled = fc < 20000.0;
}

void TIIRFilter::SetLowCut(double f)
{
  const double fs = mSampleRate;
  const double fc = fs / 2.0 < f ? fs / 2.0 : f;
  const double c = std::tan(M_PI * fc / fs);
  const double d = c * M_SQRT2;
  const double e = 1.0 / (d + 1.0 + c * c);
  mB0 = e;
  mB1 = -2.0 * e;
  mB2 = e;
  mA1 = 2.0 * e * (c * c - 1.0);
  mA2 = e * (1.0 - d + c * c);
  mEnabled = fc > 20.0;
}

void TIIRFilter::ProcessBlock(double* buffer, int count)
{
  if (!mEnabled)
    return;
  for (int i = 0; i < count; ++i)
  {
    const double x = buffer[i];
    const double y = mB0 * x + mZ1;
    buffer[i] = y;
    mZ1 = mZ2 + (mB1 * x - mA1 * y);
    mZ2 = mB2 * x - mA2 * y;
  }
  if (mZ1 >= -1e-8 && mZ1 <= 1e-8)
    mZ1 = 0.0;
  if (mZ2 >= -1e-8 && mZ2 <= 1e-8)
    mZ2 = 0.0;
}

// --------------------------------------------------------------- TReverb

// The lengths of the published figure-eight plate (sample counts at 29761 Hz)
// as times in seconds, scaled to the running rate.
const double TReverb::DelayTimes[kLines] = {
    0.004771345, 0.003595309, 0.012734787, 0.009307483, // input allpasses
    0.022579886, 0.149625349, 0.060481839, 0.1249958,   // left half
    0.030509727, 0.141695508, 0.089244313, 0.106280031, // right half
};

const double TReverb::TapsTimes[kTaps] = {
    0.008937872, 0.099929438, 0.064278754, 0.067067639, 0.066866033, 0.006283391, 0.035818689, // left
    0.011861161, 0.121870905, 0.041262054, 0.08981553,  0.070931756, 0.011256342, 0.004065724, // right
};

namespace {
struct TapSpec
{
  int line;
  bool add;
};

constexpr TapSpec kTapSpecs[TReverb::kTaps] = {
    {9, true}, {9, true}, {10, false}, {11, true}, {5, false}, {6, false},  {7, false},
    {5, true}, {5, true}, {6, false},  {7, true},  {9, false}, {10, false}, {11, false},
};

constexpr int kLeftModulated = 4, kLeftDelay1 = 5, kLeftAllpass = 6, kLeftDelay2 = 7;
constexpr int kRightModulated = 8, kRightDelay1 = 9, kRightAllpass = 10, kRightDelay2 = 11;

int RoundToInt(double x)
{
  return static_cast<int>(std::round(x));
}
} // namespace

TReverb::TReverb()
{
  mLowCut.mSampleRate = mHiCut.mSampleRate = mSampleRate;
  mLFO1.mSampleRate = mLFO2.mSampleRate = mSampleRate;
  Init();
}

void TReverb::Init()
{
  for (int k = 0; k < kLines; ++k)
  {
    // A line shorter than one sample has no buffer; keep every line usable
    // even at absurdly low rates.
    mLengths[k] = std::max(1, RoundToInt(mSampleRate * DelayTimes[k]));
    mDelays[k].Init(mLengths[k]);
  }
  for (int k = 0; k < kTaps; ++k)
    mTaps[k] = RoundToInt(TapsTimes[k] * mSampleRate);

  mLowCut.SetLowCut(20.0);
  mHiCut.SetHiCut(20000.0);
  mWidth = 150.0;
  mLowCrossover = 200.0;
  mLowDecayRatio = 1.0;
  mDecayTime = 2.0;
  mInputDiffusion1 = 0.75;
  mInputDiffusion2 = 0.625;
  mDecayDiffusion1 = 0.7000000000000001;
  mDecayDiffusion2 = 0.5;
  mLFO1.SetRate(0.5);
  mLFO2.SetRate(0.524);
  mModDepth = 0.7 * mSampleRate / 1000.0;
  mDampFrequency = 10000.0;
  UpdateFilt();
  UpdateWidth();
  ComputeMaxRun();
}

bool TReverb::SetSampleRate(double rate)
{
  if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate)) // also refuses NaN
    return false;
  if (rate == mSampleRate)
    return true;
  mSampleRate = rate;
  mLFO1.mSampleRate = mLFO2.mSampleRate = rate;
  mLowCut.mSampleRate = mHiCut.mSampleRate = rate;
  Init();
  return true;
}

void TReverb::SetParam(int index, double value)
{
  switch (index)
  {
    case 0:
      SetDecayTime(value);
      break;
    case 1:
      SetWidth(value);
      break;
    case 2:
      SetColor(value);
      break;
    case 3:
      SetMix(value);
      break;
    default:
      break;
  }
}

void TReverb::SetDecayTime(double seconds)
{
  mDecayTime = seconds;
  UpdateFilt();
}

void TReverb::SetWidth(double percent)
{
  mWidth = percent;
  UpdateWidth();
}

void TReverb::SetMix(double percent)
{
  const double theta = M_PI / 2.0 * std::pow(percent * 0.01, 1.5);
  mDryGain = std::cos(theta);
  mWetGain = 0.5 * std::sin(theta);
}

void TReverb::SetColor(double c)
{
  if (c < 0.0)
    mHiCut.SetHiCut(std::exp((c + 100.0) * 0.01 * kHfMul + kHfAdd));
  else
    mLowCut.SetLowCut(std::exp(c * 0.01 * kLfMul + kLfAdd));
}

void TReverb::UpdateFilt()
{
  const double fs = mSampleRate;
  const double t = mDecayTime;
  const double b = mDampFrequency > 0.49 * fs ? 2.0 : 1.0 - std::cos(2.0 * M_PI * mDampFrequency / fs);
  const double e = std::pow(0.001, 0.2 / t);
  mDecayGain = e;
  const double f = std::pow(0.001, 0.2 / (mLowDecayRatio * t));
  const double shelf = f / e - 1.0;
  const double lowCoeff = 2.0 * M_PI * mLowCrossover / fs;
  const double r = std::pow(0.001, 0.2 / (t * 0.5)) / e;
  const double k = (1.0 - r * r) / (2.0 * (r * r) * b);
  const double highCoeff = (std::sqrt(4.0 * k + 1.0) - 1.0) / (2.0 * k);
  mDampL.Set(e, shelf, lowCoeff, highCoeff);
  mDampR.Set(e, shelf, lowCoeff, highCoeff);
}

void TReverb::UpdateWidth()
{
  const double w = mWidth;
  if (w > 100.0)
  {
    mWidthDirect = 1.0;
    mWidthCross = 0.0;
    mWidthExtra = (w - 100.0) * 0.02;
  }
  else
  {
    const double u = w * 0.01;
    mWidthDirect = u * 0.5 + 0.5;
    mWidthCross = (1.0 - u) * 0.5;
    mWidthExtra = 0.0;
  }
}

void TReverb::Reset()
{
  mDampL.ClearState();
  mDampR.ClearState();
  mLowCut.ClearState();
  mHiCut.ClearState();
  for (TDelay& line : mDelays)
    line.Reset();
}

// ------------------------------------------------------ per-frame form

void TReverb::ProcessBlockPerFrame(double** inputs, double** outputs, int count)
{
  ProcessFrames(inputs, outputs, count);
}

template <class S>
void TReverb::ProcessFrames(S** inputs, S** outputs, int count)
{
  TDelay* const line = mDelays;
  for (int i = 0; i < count; ++i)
  {
    const double inL = inputs[0][i];
    const double inR = inputs[1][i];
    double x = (inL + inR) * 0.5;
    if (mLowCut.mEnabled)
      x = mLowCut.Process(x);
    if (mHiCut.mEnabled)
      x = mHiCut.Process(x);

    for (int k = 0; k < 4; ++k)
    {
      const double g = k < 2 ? mInputDiffusion1 : mInputDiffusion2;
      const double z = line[k].Read();
      const double v = line[k].Write(x - g * z);
      x = z + g * v;
    }
    const double d = x;

    const double m1 = (mLFO1.Tick() + 1.0) * mModDepth;
    const double m2 = (mLFO2.Tick() + 1.0) * mModDepth;

    auto half = [&](double input, int first, double offset, TFilt& damp) {
      const double g1 = mDecayDiffusion1;
      const double g2 = mDecayDiffusion2;
      const double z = line[first].ReadIrpAt(offset);
      const double v = line[first].Write(input + g1 * z);
      line[first + 1].Write(z - g1 * v);
      const double f = damp.Process(line[first + 1].Read());
      const double z6 = line[first + 2].Read();
      const double v6 = line[first + 2].Write(f - g2 * z6);
      line[first + 3].Write(z6 + g2 * v6);
    };
    half(d + mDecayGain * line[kRightDelay2].Read(), kLeftModulated, m1, mDampL);
    half(d + line[kLeftDelay2].Read(), kRightModulated, m2, mDampR);

    double wet[2];
    for (int side = 0; side < 2; ++side)
    {
      const int first = side * 7;
      double sum = line[kTapSpecs[first].line].ReadAt(mTaps[first]);
      for (int k = first + 1; k < first + 7; ++k)
      {
        const double tap = line[kTapSpecs[k].line].ReadAt(mTaps[k]);
        sum = kTapSpecs[k].add ? sum + tap : sum - tap;
      }
      wet[side] = sum;
    }

    const double l = wet[0] * mWidthDirect + wet[1] * mWidthCross;
    const double r = wet[0] * mWidthCross + wet[1] * mWidthDirect;
    const double mid = (l + r) * 0.5;
    const double spreadL = ((l - mid) * mWidthExtra + mid + l) * 0.25;
    const double spreadR = ((r - mid) * mWidthExtra + mid + r) * 0.25;
    const double outL = FlushToZero(spreadL * mWetGain + inL * mDryGain);
    const double outR = FlushToZero(spreadR * mWetGain + inR * mDryGain);

    for (int k = 0; k < kLines; ++k)
      line[k].Step();
    outputs[0][i] = static_cast<S>(outL);
    outputs[1][i] = static_cast<S>(outR);
  }
}

// --------------------------------------------------------- staged form
//
// Every read of the tank reaches back further than a run is long, and no
// write of a run lands where a later frame of the same run still has to read
// the old value. Each stage can then be carried out for the whole run before
// the next one starts, giving every result of the per-frame order while the
// stages become loops over contiguous memory. The recursive parts (colour
// filters, LFOs, damping filters) stay sample by sample, in one loop so that
// their independent chains overlap. The input diffusers' lines are short;
// each is read and written by its own stage alone, which goes through a run
// in pieces no longer than those lines.

void TReverb::ComputeMaxRun()
{
  int run = kRunCapacity;
  // Plain reads of a tank line see only samples written before the run.
  for (int k = kLeftModulated; k < kLines; ++k)
    run = std::min(run, mLengths[k] - 1);
  mDiffuserRun = std::min({mLengths[0], mLengths[1], mLengths[2], mLengths[3]}) - 1;
  // Interpolated reads look up to floor(2 * depth) + 2 samples past the read position.
  const int reach = static_cast<int>(2.0 * mModDepth) + 3;
  run = std::min(run, mLengths[kLeftModulated] - 1 - reach);
  run = std::min(run, mLengths[kRightModulated] - 1 - reach);
  // Taps read after the run's writes; the next write into a tapped slot must
  // fall after the run.
  for (int k = 0; k < kTaps; ++k)
  {
    const TDelay& line = mDelays[kTapSpecs[k].line];
    const int size = line.Size();
    const int age = ((mLengths[kTapSpecs[k].line] - 1 - mTaps[k]) % size + size) % size;
    run = std::min(run, size - age);
    // Where the output stage runs in the serial loop, the taps are read before
    // the run's writes.
    run = std::min(run, age);
  }
  mMaxRun = run >= kMinRun && mDiffuserRun >= kMinRun ? run : 0;
}

void TReverb::ProcessBlock(double** inputs, double** outputs, int count)
{
  ProcessBlockOf(inputs, outputs, count);
}

void TReverb::ProcessBlock(float** inputs, float** outputs, int count)
{
  ProcessBlockOf(inputs, outputs, count);
}

template <class S>
void TReverb::ProcessBlockOf(S** inputs, S** outputs, int count)
{
  if (count <= 0)
    return;
  if (mMaxRun == 0)
  {
    ProcessFrames(inputs, outputs, count);
    return;
  }
  for (int done = 0; done < count;)
  {
    const int n = std::min(mMaxRun, count - done);
    ProcessRun(inputs[0] + done, inputs[1] + done, outputs[0] + done, outputs[1] + done, n);
    done += n;
  }
}

namespace {
// Eight frames at a time on processors with AVX-512, where one instruction
// classifies a value as NaN, infinite or subnormal. Each lane takes exactly
// the scalar operations.
#pragma GCC diagnostic ignored "-Wpsabi" // always inlined: no vector calling convention applies
using V8 = double __attribute__((vector_size(64)));

// Eight single-precision values.
using VF8 = float __attribute__((vector_size(32)));

// One sample as a double, or eight as V8; single-precision samples load as
// doubles exactly.
template <class T, class S>
[[gnu::always_inline]] inline T Load(const S* p)
{
  if constexpr (std::is_same_v<T, double>)
    return *p;
  else
  {
    std::conditional_t<std::is_same_v<S, float>, VF8, V8> v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, T);
  }
}

[[gnu::always_inline]] inline void Store(double* p, double x)
{
  *p = x;
}

[[gnu::always_inline]] inline void Store(float* p, double x)
{
  *p = static_cast<float>(x);
}

[[gnu::always_inline]] inline void Store(double* p, V8 x)
{
  std::memcpy(p, &x, sizeof x);
}

[[gnu::always_inline]] inline void Store(float* p, V8 x)
{
  const VF8 rounded = __builtin_convertvector(x, VF8);
  std::memcpy(p, &rounded, sizeof rounded);
}

[[gnu::always_inline]] inline double Flush(double x)
{
  return FlushToZero(x);
}

// Only ever inlined into code built for AVX-512 (the instructions are written
// out so that code built for other processors still compiles).
[[gnu::always_inline]] inline V8 Flush(V8 x)
{
  V8 r;
  asm("vfpclasspd $0xb9, %1, %%k1\n\t" // QNaN, +-Inf, denormal, SNaN
      "vblendmpd %2, %1, %0%{%%k1%}"
      : "=v"(r)
      : "v"(x), "v"(V8{})
      : "k1");
  return r;
}

// Flush of eight values for AVX2-class processors, four lanes at a time: a
// value stays when its magnitude bits are zero or those of a normal number.
using V4 = double __attribute__((vector_size(32)));
using I4 = int64_t __attribute__((vector_size(32)));

[[gnu::always_inline]] inline V4 FlushByCompare(V4 x)
{
  constexpr int64_t kMinNormal = std::bit_cast<int64_t>(0x1p-1022);
  constexpr int64_t kInfinity = std::bit_cast<int64_t>(HUGE_VAL);
  const I4 bits = std::bit_cast<I4>(x);
  const I4 magnitude = bits & INT64_MAX;
  const I4 keep = (magnitude == 0) | ((magnitude >= kMinNormal) & (magnitude < kInfinity));
  return std::bit_cast<V4>(bits & keep);
}

[[gnu::always_inline]] inline V8 FlushByCompare(V8 x)
{
  const V4 low = FlushByCompare(__builtin_shufflevector(x, x, 0, 1, 2, 3));
  const V4 high = FlushByCompare(__builtin_shufflevector(x, x, 4, 5, 6, 7));
  return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
}

// What the run of one processor generation does eight frames at a time. With
// AVX-512, where one instruction classifies eight values, every pass; with
// AVX2 only the output stage, inside the serial loop: its other passes are
// faster as the compiler vectorises them itself.
struct BaselineRun
{
  static constexpr bool kWidePasses = false;
  static constexpr bool kFusedOutput = false;
};

struct Avx2Run
{
  static constexpr bool kWidePasses = false;
  static constexpr bool kFusedOutput = true;
  [[gnu::always_inline]] static V8 FlushWide(V8 x) { return FlushByCompare(x); }
};

struct Avx512Run
{
  static constexpr bool kWidePasses = true;
  static constexpr bool kFusedOutput = true;
  [[gnu::always_inline]] static V8 FlushWide(V8 x) { return Flush(x); }
};

// Runs body<double>(i) for every i below count (a loop the compiler
// vectorises itself), or, with kWide, body<V8>(i) eight frames at a time and
// body<double> for the rest.
template <bool kWide, class Body>
[[gnu::always_inline]] inline void ForFrames(int count, Body body)
{
  int i = 0;
  if constexpr (kWide)
    for (; i + 8 <= count; i += 8)
      body.template operator()<V8>(i);
  for (; i < count; ++i)
    body.template operator()<double>(i);
}
} // namespace

namespace {
// Two lanes, one per tank half or per LFO: each lane takes exactly the scalar
// operations, so pairing the two independent recursions halves their work.
using V2 = double __attribute__((vector_size(16)));

// TIIRFilter::Process without its flush of small outputs: the run is checked
// for outputs the flush would change afterwards (see FlushWouldAct).
[[gnu::always_inline]] inline double ProcessUnflushed(TIIRFilter& f, double x)
{
  const double y = f.mB0 * x + f.mZ1;
  f.mZ1 = f.mB1 * x - f.mA1 * y + f.mZ2;
  f.mZ2 = f.mB2 * x - f.mA2 * y;
  return y;
}

// The arrays of one run that the recursive parts read and write.
template <class S>
struct SerialArrays
{
  const S* inL; // the run's input
  const S* inR;
  double* mono;      // the input summed to mono
  double* lowCutOut; // the low-cut's outputs, kept when the hi-cut follows
  double* filtered;  // the colour filters' outputs
  double* offset1;   // the LFO phases (made read offsets after the loop)
  double* offset2;
  double* dampedL; // the damped samples leaving lines 5 and 9
  double* dampedR;
  const double* leftIn = nullptr; // the samples leaving lines 5 and 9, from frame `first`
  const double* rightIn = nullptr;
};

// The recursive parts of frames first .. first + count - 1 of a run. Their
// states live in locals for the length of the loop: stored through the object
// they would have to be reloaded after every store to the arrays, lengthening
// each recursion's chain. The two LFOs run as the lanes of one pair, and so
// do the two damping filters, whose coefficients are equal.
//
// Independent work that the processor overlaps with the long chains of the
// recursions comes from `extra`, for groups of eight frames from k (relative
// to first): its part J, extra.Part<J>(k), follows frame J of the group. Cut
// into eight parts it fills the gaps of the chains as it goes; done at once
// after every eighth frame it stalls them. After each remaining frame comes
// extra.Single(k).
template <bool kLowCut, bool kHiCut, bool kDamp, class S, class Extra>
[[gnu::always_inline]] inline void SerialLoop(int first, int count, const SerialArrays<S>& a, TIIRFilter& lowCutRef,
                                              TIIRFilter& hiCutRef, TTriLFO& lfo1, TTriLFO& lfo2, TFilt& dampL,
                                              TFilt& dampR, Extra extra)
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

  TIIRFilter lowCut = lowCutRef, hiCut = hiCutRef;
  V2 phase = {lfo1.mPhase, lfo2.mPhase};
  const V2 increment = {lfo1.mIncrement, lfo2.mIncrement};
  V2 lowState = {dampL.mLowState, dampR.mLowState};
  V2 outState = {dampL.mOutState, dampR.mOutState};
  const double lowCoeff = dampL.mLowCoeff, highCoeff = dampL.mHighCoeff;
  const double shelf = dampL.mShelf, gain = dampL.mGain;

  auto step = [&]<bool kMayWrap>(int i) __attribute__((always_inline))
  {
    // Summed here rather than read back from the array: a load of what a
    // loop just stored makes the processor hold such loads back behind
    // earlier stores, among them those waiting on the recursions.
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
  // A phase wraps once in 2 / rate seconds. Runs where neither can wrap skip
  // the test: count steps move a phase by at most count increments plus a
  // rounding error far below the margin.
  const V2 last = phase + increment * count + 1e-9;
  if (__builtin_expect(last[0] < 1.0 && last[1] < 1.0, 1))
    loop.template operator()<false>();
  else
    loop.template operator()<true>();
  lowCutRef = lowCut;
  hiCutRef = hiCut;
  lfo1.mPhase = phase[0];
  lfo2.mPhase = phase[1];
  dampL.mLowState = lowState[0];
  dampR.mLowState = lowState[1];
  dampL.mOutState = outState[0];
  dampR.mOutState = outState[1];
}

// The LFO phases in io become the modulated lines' read offsets:
// (TTriLFO::Output(phase) + 1) * depth. Returns whether they all have the same
// whole part: most runs are a single stretch of one whole part. The offsets
// are never negative, so the whole part is the truncation, and their bit
// patterns order as they do, which keeps the test to integer minimum and
// maximum.
[[gnu::always_inline]] inline bool ShapeOffsets(double* __restrict io, double depth, int n)
{
  int64_t lowest = INT64_MAX, highest = 0;
  for (int i = 0; i < n; ++i)
  {
    const double offset = (TTriLFO::Output(io[i]) + 1.0) * depth;
    io[i] = offset;
    const int64_t bits = std::bit_cast<int64_t>(offset);
    lowest = std::min(lowest, bits);
    highest = std::max(highest, bits);
  }
  return static_cast<int>(std::bit_cast<double>(lowest)) == static_cast<int>(std::bit_cast<double>(highest));
}

// True when the colour filter's flush would have changed one of the outputs
// y[0..n) computed without it: an output within +-1e-8 or NaN other than +0.
// Tested on the bits so that the loop vectorises.
[[gnu::always_inline]] inline bool FlushWouldAct(const double* __restrict y, int n)
{
  constexpr int64_t kLimit = std::bit_cast<int64_t>(1e-8);
  constexpr int64_t kInfinity = std::bit_cast<int64_t>(HUGE_VAL);
  int acts = 0;
  for (int i = 0; i < n; ++i)
  {
    const int64_t bits = std::bit_cast<int64_t>(y[i]);
    const int64_t magnitude = bits & INT64_MAX;
    acts |= (bits != 0) & ((magnitude <= kLimit) | (magnitude > kInfinity));
  }
  return acts != 0;
}

bool SameCoefficients(const TFilt& a, const TFilt& b)
{
  return std::bit_cast<uint64_t>(a.mGain) == std::bit_cast<uint64_t>(b.mGain) &&
      std::bit_cast<uint64_t>(a.mShelf) == std::bit_cast<uint64_t>(b.mShelf) &&
      std::bit_cast<uint64_t>(a.mLowCoeff) == std::bit_cast<uint64_t>(b.mLowCoeff) &&
      std::bit_cast<uint64_t>(a.mHighCoeff) == std::bit_cast<uint64_t>(b.mHighCoeff);
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
[[gnu::always_inline]] inline void Widen(T wl, T wr, const MixCoefficients& m, T& l, T& r, T& mid)
{
  l = wl * m.direct + wr * m.cross;
  r = wl * m.cross + wr * m.direct;
  mid = (l + r) * 0.5;
}

// One side spread away from the middle and mixed with its dry input, before
// the flush.
template <class T>
[[gnu::always_inline]] inline T SpreadAndMix(T side, T mid, T dry, const MixCoefficients& m)
{
  const T spread = ((side - mid) * m.extra + mid + side) * 0.25;
  return spread * m.wet + dry * m.dry;
}

// Output taps (each side + + - + - - -, in tap order), width matrix and mix
// for the frame(s) at index i of the tap pointers and `offset + i` of the
// arrays, in eight parts (see SerialLoop). Each frame's inputs are read before
// its outputs are written, so the outputs may be the input arrays.
template <class T, class Run, class S>
struct TapsAndMix
{
  const double* const* t;
  const S *inL, *inR;
  S *outL, *outR;
  int offset;
  const MixCoefficients& m;
  T wl{}, wr{}, l{}, r{}, mid{};

  [[gnu::always_inline]] static T FlushOut(T x)
  {
    if constexpr (std::is_same_v<T, double>)
      return Flush(x);
    else
      return Run::FlushWide(x);
  }

  template <int J>
  [[gnu::always_inline]] inline void Part(int i)
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
      Store(outL + at, FlushOut(SpreadAndMix(l, mid, dryL, m)));
      Store(outR + at, FlushOut(SpreadAndMix(r, mid, dryR, m)));
    }
  }
};

// TapsAndMix as SerialLoop's extra work: eight frames a part at a time, single
// frames whole.
template <class Run, class S>
struct TapsAndMixExtra
{
  TapsAndMix<V8, Run, S> wide;

  template <int J>
  [[gnu::always_inline]] inline void Part(int k)
  {
    wide.template Part<J>(k);
  }
  [[gnu::always_inline]] inline void Single(int k)
  {
    TapsAndMix<double, Run, S> one{wide.t, wide.inL, wide.inR, wide.outL, wide.outR, wide.offset, wide.m};
    [&]<int... J>(std::integer_sequence<int, J...>) __attribute__((always_inline))
    {
      (one.template Part<J>(k), ...);
    }
    (std::make_integer_sequence<int, 8>{});
  }
};

bool SameBits(double a, double b)
{
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// A damping filter fed a constant input whose one step leaves its states as
// they were will return the same output for the whole run. Long after the
// tail has died the states sit on such a fixed point among the subnormal
// numbers, where every operation on them is many times slower; this finds
// that case and fills the run with the output of one step instead.
bool DampRunFrozen(const TFilt& damp, const double* x, int n, double& output)
{
  for (int i = 1; i < n; ++i)
    if (!SameBits(x[i], x[0]))
      return false;
  TFilt probe = damp;
  output = probe.Process(x[0]);
  return SameBits(probe.mLowState, damp.mLowState) && SameBits(probe.mOutState, damp.mOutState);
}

void DampRun(TFilt& dampRef, double* __restrict io, int n)
{
  double frozen;
  if (DampRunFrozen(dampRef, io, n, frozen))
  {
    std::fill(io, io + n, frozen);
    return;
  }
  TFilt damp = dampRef;
  for (int i = 0; i < n; ++i)
    io[i] = damp.Process(io[i]);
  dampRef = damp;
}
} // namespace

namespace {
// Calls body(pointers, offset, count) for the pieces of a run of `n` frames
// within which none of the N line positions wraps; pointers[k] addresses
// position k at the start of the piece (read-only when the lines are).
template <int N, class Line, class Body>
[[gnu::always_inline]] inline void ForEachPieceN(Line* const (&lines)[N], const int (&start)[N], int n, Body body)
{
  int pos[N];
  for (int k = 0; k < N; ++k)
    pos[k] = start[k] & lines[k]->Mask();
  for (int done = 0; done < n;)
  {
    int count = n - done;
    for (int k = 0; k < N; ++k)
      count = std::min(count, lines[k]->Size() - pos[k]);
    decltype(lines[0]->Buffer()) p[N];
    for (int k = 0; k < N; ++k)
      p[k] = lines[k]->Buffer() + pos[k];
    body(p, done, count);
    done += count;
    for (int k = 0; k < N; ++k)
      pos[k] = (pos[k] + count) & lines[k]->Mask();
  }
}
} // namespace

// Calls body(taps, offset, count) for the pieces of the run within which none
// of the fourteen tap positions and neither end of lines 5 and 9 wraps;
// taps[k] addresses tap k at the start of the piece, taps[kTaps] and
// taps[kTaps + 1] the samples leaving lines 5 and 9.
template <class Body>
[[gnu::always_inline]] inline void TReverb::ForEachTapPiece(int n, Body body) const
{
  const TDelay* lines[kTaps + 2];
  int start[kTaps + 2];
  for (int k = 0; k < kTaps; ++k)
  {
    lines[k] = &mDelays[kTapSpecs[k].line];
    start[k] = lines[k]->ReadPos() + mTaps[k];
  }
  lines[kTaps] = &mDelays[kLeftDelay1];
  lines[kTaps + 1] = &mDelays[kRightDelay1];
  start[kTaps] = mDelays[kLeftDelay1].ReadPos();
  start[kTaps + 1] = mDelays[kRightDelay1].ReadPos();
  ForEachPieceN(lines, start, n, body);
}

// Colour filters on the mono input (into mFiltered), both LFOs, and both
// damping filters on the samples leaving lines 5 and 9, read straight from
// the lines (which this run writes only later) into mDamped5 / mDamped9.
// With Run::kFusedOutput the output stage runs inside the same loop: every
// tap reads a sample written before the run (see ComputeMaxRun), so the
// outputs need nothing of this run but its input.
template <class Run, bool kLowCut, bool kHiCut, bool kDamp, class S>
[[gnu::always_inline]] inline void TReverb::SerialStage(const S* inL, const S* inR, S* outL, S* outR, int n)
{
  const TIIRFilter lowCutBefore = mLowCut, hiCutBefore = mHiCut;
  SerialArrays<S> arrays{inL, inR, mMono, mLowCutOut, mFiltered, mOffset1, mOffset2, mDamped5, mDamped9};
  auto loop = [&](int first, int count, const double* leftIn, const double* rightIn, auto extra)
      __attribute__((always_inline))
  {
    arrays.leftIn = leftIn;
    arrays.rightIn = rightIn;
    SerialLoop<kLowCut, kHiCut, kDamp>(first, count, arrays, mLowCut, mHiCut, mLFO1, mLFO2, mDampL, mDampR, extra);
  };
  if constexpr (!Run::kFusedOutput)
  {
    const TDelay* lines[2] = {&mDelays[kLeftDelay1], &mDelays[kRightDelay1]};
    const int start[2] = {lines[0]->ReadPos(), lines[1]->ReadPos()};
    ForEachPieceN(
        lines, start, n, [&](const double* const* ends, int offset, int count) __attribute__((always_inline)) {
          loop(offset, count, ends[0], ends[1], NoExtraWork{});
        });
  }
  else
  {
    const MixCoefficients mix{mWidthDirect, mWidthCross, mWidthExtra, mWetGain, mDryGain};
    ForEachTapPiece(
        n, [&](const double* const* taps, int offset, int count) __attribute__((always_inline)) {
          loop(offset, count, taps[kTaps], taps[kTaps + 1],
               TapsAndMixExtra<Run, S>{{taps, inL, inR, outL, outR, offset, mix}});
        });
  }

  mOneStretch1 = ShapeOffsets(mOffset1, mModDepth, n);
  mOneStretch2 = ShapeOffsets(mOffset2, mModDepth, n);

  // The colour filters ran without their flush, which keeps its test off
  // their recursions; in the rare run where it would have acted, they run
  // again with it.
  const bool flushActs =
      (kLowCut && FlushWouldAct(kHiCut ? mLowCutOut : mFiltered, n)) || (kHiCut && FlushWouldAct(mFiltered, n));
  if (__builtin_expect(flushActs, 0))
  {
    mLowCut = lowCutBefore;
    mHiCut = hiCutBefore;
    for (int i = 0; i < n; ++i)
    {
      double x = mMono[i];
      if constexpr (kLowCut)
        x = mLowCut.Process(x);
      if constexpr (kHiCut)
        x = mHiCut.Process(x);
      mFiltered[i] = x;
    }
  }
}

template <class Run, bool kDamp, class S>
[[gnu::always_inline]] inline void TReverb::SerialStageFor(const S* inL, const S* inR, S* outL, S* outR, int n)
{
  if (mLowCut.mEnabled)
    mHiCut.mEnabled ? SerialStage<Run, true, true, kDamp>(inL, inR, outL, outR, n)
                    : SerialStage<Run, true, false, kDamp>(inL, inR, outL, outR, n);
  else
    mHiCut.mEnabled ? SerialStage<Run, false, true, kDamp>(inL, inR, outL, outR, n)
                    : SerialStage<Run, false, false, kDamp>(inL, inR, outL, outR, n);
}

template <class Run, class S>
[[gnu::always_inline]] inline void TReverb::RunSerialStage(const S* inL, const S* inR, S* outL, S* outR, int n)
{
  // Silent tank: only worth the check when the lines' ends are silent. The
  // damping filters share one loop only with equal coefficients, which
  // UpdateFilt always gives them.
  TDelay& line5 = mDelays[kLeftDelay1];
  TDelay& line9 = mDelays[kRightDelay1];
  const bool quiet =
      line5.ReadAt(0) == 0.0 && line9.ReadAt(0) == 0.0 && line5.ReadAt(n - 1) == 0.0 && line9.ReadAt(n - 1) == 0.0;
  if (quiet || !SameCoefficients(mDampL, mDampR))
  {
    line5.CopyOut(line5.ReadPos(), n, mDamped5);
    line9.CopyOut(line9.ReadPos(), n, mDamped9);
    SerialStageFor<Run, false>(inL, inR, outL, outR, n);
    DampRun(mDampL, mDamped5, n);
    DampRun(mDampR, mDamped9, n);
  }
  else
    SerialStageFor<Run, true>(inL, inR, outL, outR, n);
}

// io holds the input on entry and the allpass output on return. The stored
// values go straight into the line: within a piece no longer than the line, a
// write can only land on a slot that an earlier frame has already read, and
// each piece reads what the pieces before it wrote.
template <bool kWide>
[[gnu::always_inline]] inline void TReverb::Allpass(TDelay& line, double g, double* __restrict io, int n)
{
  TDelay* const lines[2] = {&line, &line};
  for (int from = 0; from < n; from += mDiffuserRun)
  {
    const int start[2] = {line.ReadPos() + from, line.WritePos() + from};
    ForEachPieceN(
        lines, start,
        std::min(mDiffuserRun, n - from), [&](double* const* p, int offset, int count) __attribute__((always_inline)) {
          const double* z = p[0];
          double* v = p[1];
          double* x = io + from + offset;
          ForFrames<kWide>(
              count, [=]<class T>(int i) __attribute__((always_inline)) {
                const T zi = Load<T>(z + i);
                const T vi = Flush(Load<T>(x + i) - g * zi);
                Store(v + i, vi);
                Store(x + i, zi + g * vi);
              });
        });
  }
}

// The interpolated reads of a modulated line for the run, into mZ. oneStretch
// tells that all offsets have the same whole part (see ShapeOffsets).
[[gnu::always_inline]] inline void TReverb::Interpolate(const TDelay& line, const double* __restrict offsets,
                                                        bool oneStretch, int n)
{
  // Frame k of a stretch with whole part `whole` reads the four samples from
  // `start` + k on: one sample before the read position, `whole` further on.
  const double* const buffer = line.Buffer();
  const int size = line.Size(), mask = line.Mask();
  const int beforeRead = (line.ReadPos() - 1) & mask;
  double* __restrict z = mZ;
  auto stretch = [&](int from, int to, int whole) __attribute__((always_inline))
  {
    const int start = beforeRead + whole;
    auto contiguous = [&](const double* y, int a, int b) __attribute__((always_inline))
    {
      for (int k = a; k < b; ++k)
        z[k] = CatmullRom(y[k], y[k + 1], y[k + 2], y[k + 3], offsets[k] - whole);
    };
    // Frames whose four samples all lie before the buffer's end, those that
    // straddle it, and those wholly after it.
    const int beforeEnd = std::clamp(size - start - 3, from, to);
    const int afterEnd = std::clamp(size - start, beforeEnd, to);
    contiguous(buffer + start, from, beforeEnd);
    for (int k = beforeEnd; k < afterEnd; ++k)
    {
      const int p = start + k;
      z[k] = CatmullRom(buffer[p & mask], buffer[(p + 1) & mask], buffer[(p + 2) & mask], buffer[(p + 3) & mask],
                        offsets[k] - whole);
    }
    contiguous(buffer + start - size, afterEnd, to);
  };

  // The LFO moves the offset by far less than a sample per frame: a run is
  // one stretch of equal whole parts, or a few.
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

// The modulated allpass of one tank half (coefficient sign reversed) on line
// `first`, written into line first + 1. Its input is d plus the end of the
// other half's second delay, read straight from that line (which this run
// writes only later), scaled by the decay gain on the right-to-left crossing
// only.
template <bool kWide, bool kScaledFeed>
[[gnu::always_inline]] inline void TReverb::ModulatedPass(int first, const double* offsets, bool oneStretch,
                                                          TDelay& feed, const double* d, int n)
{
  Interpolate(mDelays[first], offsets, oneStretch, n);
  const double g = mDecayDiffusion1, gain = mDecayGain;
  const double* const z = mZ;
  TDelay* const lines[3] = {&feed, &mDelays[first], &mDelays[first + 1]};
  const int start[3] = {feed.ReadPos(), mDelays[first].WritePos(), mDelays[first + 1].WritePos()};
  ForEachPieceN(
      lines, start, n, [&](double* const* p, int offset, int count) __attribute__((always_inline)) {
        const double* __restrict ff = p[0];
        double* __restrict v = p[1];
        double* __restrict y = p[2];
        const double* __restrict dd = d + offset;
        const double* __restrict zz = z + offset;
        ForFrames<kWide>(
            count, [=]<class T>(int i) __attribute__((always_inline)) {
              const T zi = Load<T>(zz + i);
              const T a = kScaledFeed ? Load<T>(dd + i) + gain * Load<T>(ff + i) : Load<T>(dd + i) + Load<T>(ff + i);
              const T vi = Flush(a + g * zi);
              Store(v + i, vi);
              Store(y + i, Flush(zi - g * vi));
            });
      });
}

// The allpass on line `first` fed by the damped samples, written into line
// first + 1. A line so close to its buffer size that the run writes slots it
// read earlier in the run still works: each frame reads before it writes.
template <bool kWide>
[[gnu::always_inline]] inline void TReverb::DiffuserPass(int first, const double* damped, int n)
{
  const double g = mDecayDiffusion2;
  TDelay* const lines[3] = {&mDelays[first], &mDelays[first], &mDelays[first + 1]};
  const int start[3] = {mDelays[first].ReadPos(), mDelays[first].WritePos(), mDelays[first + 1].WritePos()};
  ForEachPieceN(
      lines, start, n, [&](double* const* p, int offset, int count) __attribute__((always_inline)) {
        const double* zz = p[0];
        double* v = p[1];
        double* __restrict y = p[2];
        const double* __restrict f = damped + offset;
        ForFrames<kWide>(
            count, [=]<class T>(int i) __attribute__((always_inline)) {
              const T zi = Load<T>(zz + i);
              const T vi = Flush(Load<T>(f + i) - g * zi);
              Store(v + i, vi);
              Store(y + i, Flush(zi + g * vi));
            });
      });
}

// One side's wet signal: the signed sum of its seven taps (+ + - + - - -,
// in tap order), read after all writes of the run. The run is cut into
// pieces within which none of the seven positions wraps.
[[gnu::always_inline]] inline void TReverb::SumTaps(int first, double* __restrict wet, int n)
{
  static_assert(kTapSpecs[0].add && kTapSpecs[1].add && !kTapSpecs[2].add && kTapSpecs[3].add && !kTapSpecs[4].add &&
                !kTapSpecs[5].add && !kTapSpecs[6].add && kTapSpecs[7].add && kTapSpecs[8].add && !kTapSpecs[9].add &&
                kTapSpecs[10].add && !kTapSpecs[11].add && !kTapSpecs[12].add && !kTapSpecs[13].add);
  const TDelay* lines[7];
  int start[7];
  for (int k = 0; k < 7; ++k)
  {
    lines[k] = &mDelays[kTapSpecs[first + k].line];
    start[k] = lines[k]->ReadPos() + mTaps[first + k];
  }
  ForEachPieceN(
      lines, start, n, [&](const double* const* p, int offset, int count) __attribute__((always_inline)) {
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

// The outputs may be the input arrays: each frame's inputs are read before
// its outputs are written, and no frame touches another frame's samples.
template <class S>
[[gnu::always_inline]] inline void TReverb::MixOut(const S* inL, const S* inR, S* outL, S* outR, int n) const
{
  const MixCoefficients mix{mWidthDirect, mWidthCross, mWidthExtra, mWetGain, mDryGain};
  const double* __restrict wetL = mWetL;
  const double* __restrict wetR = mWetR;
#pragma GCC ivdep
  for (int i = 0; i < n; ++i)
  {
    double l, r, mid;
    Widen(wetL[i], wetR[i], mix, l, r, mid);
    outL[i] = static_cast<S>(FlushToZero(SpreadAndMix<double>(l, mid, inL[i], mix)));
    outR[i] = static_cast<S>(FlushToZero(SpreadAndMix<double>(r, mid, inR[i], mix)));
  }
}

template <class Run, class S>
[[gnu::always_inline]] inline void TReverb::ProcessRunWith(const S* inL, const S* inR, S* outL, S* outR, int n)
{
  TDelay* const line = mDelays;

  // mFiltered, offsets, mDamped5 / mDamped9 (and, with Run::kFusedOutput, the
  // outputs formed)
  RunSerialStage<Run>(inL, inR, outL, outR, n);
  constexpr bool kWide = Run::kWidePasses;
  double* const diffused = mLowCut.mEnabled || mHiCut.mEnabled ? mFiltered : mMono;

  Allpass<kWide>(line[0], mInputDiffusion1, diffused, n);
  Allpass<kWide>(line[1], mInputDiffusion1, diffused, n);
  Allpass<kWide>(line[2], mInputDiffusion2, diffused, n);
  Allpass<kWide>(line[3], mInputDiffusion2, diffused, n);

  // Left half, fed by the end of the right half through the decay gain;
  // right half, fed by the end of the left half unscaled.
  ModulatedPass<kWide, true>(kLeftModulated, mOffset1, mOneStretch1, line[kRightDelay2], diffused, n);
  ModulatedPass<kWide, false>(kRightModulated, mOffset2, mOneStretch2, line[kLeftDelay2], diffused, n);
  DiffuserPass<kWide>(kLeftAllpass, mDamped5, n);
  DiffuserPass<kWide>(kRightAllpass, mDamped9, n);

  if constexpr (!Run::kFusedOutput)
  {
    SumTaps(0, mWetL, n);
    SumTaps(7, mWetR, n);
    MixOut(inL, inR, outL, outR, n);
  }

  for (TDelay& l : mDelays)
    l.Advance(n);
}

// The same run compiled three times: for any x86-64 processor, for AVX2-class
// processors and for AVX-512 ones. All three give the same results: no
// operation is fused, reordered or left out.
template <class S>
void TReverb::ProcessRun(const S* inL, const S* inR, S* outL, S* outR, int n)
{
#if !QM_SINGLE_TARGET
  if (mVersion == EProcessorVersion::kAvx512)
    return ProcessRunAvx512(inL, inR, outL, outR, n);
  if (mVersion == EProcessorVersion::kAvx2)
    return ProcessRunAvx2(inL, inR, outL, outR, n);
#endif
  ProcessRunBaseline(inL, inR, outL, outR, n);
}

template <class S>
void TReverb::ProcessRunBaseline(const S* inL, const S* inR, S* outL, S* outR, int n)
{
  ProcessRunWith<BaselineRun>(inL, inR, outL, outR, n);
}

#if !QM_SINGLE_TARGET
template <class S>
[[gnu::target("arch=x86-64-v3")]] void TReverb::ProcessRunAvx2(const S* inL, const S* inR, S* outL, S* outR, int n)
{
  ProcessRunWith<Avx2Run>(inL, inR, outL, outR, n);
}

template <class S>
[[gnu::target("arch=x86-64-v4")]] void TReverb::ProcessRunAvx512(const S* inL, const S* inR, S* outL, S* outR, int n)
{
  ProcessRunWith<Avx512Run>(inL, inR, outL, outR, n);
}
#endif

bool TReverb::Supports(EProcessorVersion version)
{
#if QM_SINGLE_TARGET
  return version == EProcessorVersion::kBaseline;
#else
  __builtin_cpu_init();
  switch (version)
  {
    case EProcessorVersion::kBaseline:
      return true;
    case EProcessorVersion::kAvx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi2");
    case EProcessorVersion::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
          __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
  }
  return false;
#endif
}

TReverb::EProcessorVersion TReverb::BestProcessorVersion()
{
  static const EProcessorVersion best = Supports(EProcessorVersion::kAvx512) ? EProcessorVersion::kAvx512
      : Supports(EProcessorVersion::kAvx2)                                   ? EProcessorVersion::kAvx2
                                                                             : EProcessorVersion::kBaseline;
  return best;
}

bool TReverb::UseProcessorVersion(EProcessorVersion version)
{
  if (!Supports(version))
    return false;
  mVersion = version;
  return true;
}
