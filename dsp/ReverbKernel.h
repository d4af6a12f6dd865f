#pragma once

// What TReverb hands its staged kernel (dsp/ReverbKernelStages.h), and the kernel's entry points,
// one per processor level. Private to dsp/: included by dsp.cpp and the kernel sources only.

#include "dsp/dsp.h"

namespace quillon {

// A delay line as the kernel sees it: TDelay's buffer and positions.
struct TKernelLine
{
  double* buffer;
  int size, mask, readPos, writePos;
};

// The longest run the kernel takes at once, and the shortest worth staging: with shorter lines the
// per-frame form runs instead (see TReverb::ComputeMaxRun).
constexpr int kKernelRunCapacity = 256;
constexpr int kKernelMinRun = 16;

// A damping filter's fixed point: its coefficients, states and constant input, whose one step leaves
// the states as they were, and that step's output. Bits, compared as such.
struct TDampFixedPoint
{
  uint64_t gain, shelf, lowCoeff, highCoeff, lowState, outState, input, output;
};

// The kernel's working arrays, one run long (20 KB). They live on the stack of the thread that
// processes: every instance that thread runs then works in the same memory, which stays in the
// nearest caches. Arrays of each instance's own were fetched again from the last-level cache on
// every block once many instances ran in turn: 0.44 of the 4.8 cache lines per frame that came
// from beyond a 1 MB cache at 32 instances.
struct TKernelScratch
{
  alignas(64) double mono[kKernelRunCapacity];      // the input summed to mono
  alignas(64) double lowCutOut[kKernelRunCapacity]; // the low-cut's outputs, kept when the hi-cut follows
  alignas(64) double filtered[kKernelRunCapacity];  // the colour filters' outputs
  alignas(64) double offset1[kKernelRunCapacity];   // the LFO phases, then the modulated lines' read offsets
  alignas(64) double offset2[kKernelRunCapacity];
  alignas(64) double damped5[kKernelRunCapacity]; // the damped samples leaving lines 5 and 9
  alignas(64) double damped9[kKernelRunCapacity];
  alignas(64) double z[kKernelRunCapacity]; // interpolated reads of a modulated line
  alignas(64) double wetL[kKernelRunCapacity];
  alignas(64) double wetR[kKernelRunCapacity];
};

// What the kernel remembers of an instance between blocks.
struct TKernelMemory
{
  // Where each damping filter (left, right) was last found at rest. The check that a filter rests
  // computes one step of it, on subnormal states once the tail has died: on every run of a silent
  // tank that would be arithmetic on subnormal numbers, which Intel processors take microcode
  // assists for. All zero bits (the start) is a true fixed point with output +0.
  TDampFixedPoint dampRest[2] = {};
};

// Everything one block needs: the lines (whose positions the kernel advances as it goes; the
// TDelay objects are advanced by the caller afterwards), the recursive parts it updates in place,
// and the coefficients.
struct TKernelState
{
  TKernelLine lines[TReverb::kLines] = {};
  int taps[TReverb::kTaps] = {};
  TIIRFilter* lowCut;
  TIIRFilter* hiCut;
  TTriLFO* lfo1;
  TTriLFO* lfo2;
  TFilt* dampL;
  TFilt* dampR;
  double inputDiffusion1, inputDiffusion2, decayDiffusion1, decayDiffusion2, decayGain, modDepth;
  double widthDirect, widthCross, widthExtra, wetGain, dryGain;
  int maxRun;      // longest run at the current rate
  int diffuserRun; // longest piece of a run the input diffusers take at once
  TKernelMemory* memory;
  TKernelScratch* scratch; // set by the kernel, to arrays on its stack
};

// Which line each output tap reads, and whether it is added to its side's sum or subtracted.
struct TTapSpec
{
  int line;
  bool add;
};

constexpr TTapSpec kTapSpecs[TReverb::kTaps] = {
    {9, true}, {9, true}, {10, false}, {11, true}, {5, false}, {6, false},  {7, false},
    {5, true}, {5, true}, {6, false},  {7, true},  {9, false}, {10, false}, {11, false},
};

constexpr int kLeftModulated = 4, kLeftDelay1 = 5, kLeftAllpass = 6, kLeftDelay2 = 7;
constexpr int kRightModulated = 8, kRightDelay1 = 9, kRightAllpass = 10, kRightDelay2 = 11;

// [audio] Processes `count` > 0 frames in runs of at most state.maxRun; every output equals the
// per-frame form's. The outputs may be the inputs.
namespace reverb_baseline {
void ProcessBlock(TKernelState& state, double** inputs, double** outputs, int count);
void ProcessBlock(TKernelState& state, float** inputs, float** outputs, int count);
} // namespace reverb_baseline
namespace reverb_avx2 {
void ProcessBlock(TKernelState& state, double** inputs, double** outputs, int count);
void ProcessBlock(TKernelState& state, float** inputs, float** outputs, int count);
} // namespace reverb_avx2
namespace reverb_avx512 {
void ProcessBlock(TKernelState& state, double** inputs, double** outputs, int count);
void ProcessBlock(TKernelState& state, float** inputs, float** outputs, int count);
} // namespace reverb_avx512

} // namespace quillon
