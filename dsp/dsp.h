#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "dsp/ProcessorLevel.h"
#include "dsp/lfo.h"

namespace quillon {

struct TKernelMemory;

// Colour filter cut-off laws: f = exp(p * 0.01 * kMul + kAdd).
//   hi-cut:  500 Hz * 40^(p / 100)
//   low-cut:  60 Hz * (1000 / 60)^(p / 100)
inline const double kHfAdd = std::log(500.0);
inline const double kHfMul = std::log(40.0);
inline const double kLfAdd = std::log(60.0);
inline const double kLfMul = std::log(1000.0 / 60.0);

// True for values that may enter a delay line or leave the effect unchanged:
// normal numbers and zeros. NaN, infinities and subnormals are not.
inline bool IsNormalOrZero(double x)
{
  const double a = std::fabs(x);
  return (a >= 0x1p-1022 && a <= 0x1.fffffffffffffp+1023) || x == 0.0;
}

inline double FlushToZero(double x)
{
  return IsNormalOrZero(x) ? x : 0.0;
}

// The same for single-precision samples.
inline float FlushToZero(float x)
{
  const float a = std::fabs(x);
  return (a >= 0x1p-126f && a <= 0x1.fffffep+127f) || x == 0.0f ? x : 0.0f;
}

// Ring-buffer delay line. The buffer length is a power of two so that every
// index wraps with a mask; the write position stays length - 1 ahead of the
// read position, so a sample written now is read length - 1 steps later.
class TDelay
{
public:
  TDelay() = default;
  TDelay(const TDelay&) = delete;
  TDelay& operator=(const TDelay&) = delete;
  virtual ~TDelay();

  virtual void Reset();
  virtual void Init(int length);
  virtual void Step();
  virtual double Write(double x);
  virtual double Read();
  virtual double ReadAt(int t);
  virtual double ReadIrpAt(double x);

  int Size() const { return mSize; }
  int Mask() const { return mMask; }
  int WritePos() const { return mWritePos; }
  int ReadPos() const { return mReadPos; }
  double* Buffer() { return mBuffer; }
  const double* Buffer() const { return mBuffer; }

  // Same as `count` calls of Step.
  void Advance(int count)
  {
    mWritePos = (mWritePos + count) & mMask;
    mReadPos = (mReadPos + count) & mMask;
  }

  // Copies `count` samples starting at buffer index `pos` (wrapped) into dst.
  void CopyOut(int pos, int count, double* dst) const;
  // Stores `count` samples from src starting at buffer index `pos` (wrapped).
  void CopyIn(int pos, int count, const double* src);

private:
  int32_t mSize = 0;
  int32_t mWritePos = 0;
  int32_t mReadPos = 0;
  int32_t mMask = 0;
  double* mBuffer = nullptr;
};

// Second-order section in transposed direct form II with Butterworth
// low-pass (hi-cut) and high-pass (low-cut) designs.
class TIIRFilter
{
public:
  double mZ1 = 0.0, mZ2 = 0.0;
  double mB0 = 0.0, mB1 = 0.0, mB2 = 0.0;
  double mA1 = 0.0, mA2 = 0.0;
  double mSampleRate = 44100.0;
  bool mEnabled = false;

  void SetCoeff(double b0, double b1, double b2, double a0, double a1, double a2);
  void SetHiCut(double f);
  void SetLowCut(double f);
  void SetHiCutPercent(double p) { SetHiCut(std::exp(p * 0.01 * kHfMul + kHfAdd)); }
  void SetLowCutPercent(double p) { SetLowCut(std::exp(p * 0.01 * kLfMul + kLfAdd)); }

  double Process(double x)
  {
    if (!mEnabled)
      return x;
    double y = mB0 * x + mZ1;
    // Outputs within +-1e-8, NaN and infinities become 0: an infinity kept
    // would leave the states infinite or NaN for good, and the filter silent.
    // Tests on the magnitude only, so that the processor predicts them
    // (testing the two bounds branches on the sign, which audio makes
    // unpredictable).
    const double magnitude = std::fabs(y);
    if (__builtin_expect(!(magnitude > 1e-8 && magnitude < HUGE_VAL), 0))
      y = 0.0;
    mZ1 = mB1 * x - mA1 * y + mZ2;
    mZ2 = mB2 * x - mA2 * y;
    return y;
  }

  void ProcessBlock(double* buffer, int count);
  void ClearState() { mZ1 = mZ2 = 0.0; }
};

// One-pole damping filter with a low shelf and an output (loop) gain.
class TFilt
{
public:
  double mGain = 0.0;
  double mShelf = 0.0;
  double mLowCoeff = 0.0;
  double mHighCoeff = 0.0;
  double mLowState = 0.0;
  double mOutState = 0.0;

  void Set(double gain, double shelf, double lowCoeff, double highCoeff)
  {
    mGain = gain;
    mShelf = shelf;
    mLowCoeff = lowCoeff;
    mHighCoeff = highCoeff;
  }

  double Process(double x)
  {
    mLowState = (x - mLowState) * mLowCoeff + mLowState;
    mOutState = (mLowState * mShelf + x - mOutState) * mHighCoeff + mOutState;
    return mOutState * mGain;
  }

  void ClearState() { mLowState = mOutState = 0.0; }
};

// The plate reverberator: mono input through the colour filters and four
// input diffusers into a figure-eight tank of two cross-coupled halves,
// fourteen output taps, a width matrix and an equal-power dry/wet mix.
//
// Not thread-safe: all calls for one instance must come from one thread at a
// time (the effect serialises them onto its audio thread).
class TReverb
{
public:
  static constexpr int kLines = 12;
  static constexpr int kTaps = 14;
  static const double DelayTimes[kLines];
  static const double TapsTimes[kTaps];

  // Rates outside this range are refused by SetSampleRate. The lines' memory grows with the rate:
  // an instance holds 0.41 MB at 48000 Hz, 13.1 MB at the highest rate.
  static constexpr double kMinSampleRate = 1.0;
  static constexpr double kMaxSampleRate = 1536000.0;

  // Parameter indices for SetParam; the effect's parameters carry the same ones.
  enum EParam
  {
    kDecay = 0, // decay time, seconds
    kWidth = 1, // percent
    kColor = 2, // -100 (hi-cut) to 100 (low-cut)
    kMix = 3,   // percent
  };

  TReverb();
  ~TReverb();
  TReverb(const TReverb&) = delete;
  TReverb& operator=(const TReverb&) = delete;

  void Init();
  // Returns false, and changes nothing, for a rate that is not a finite
  // number within [kMinSampleRate, kMaxSampleRate].
  bool SetSampleRate(double rate);
  void SetParam(int index, double value);
  void SetDecayTime(double seconds);
  void SetWidth(double percent);
  void SetMix(double percent);
  void SetColor(double c);
  void UpdateFilt();
  void UpdateWidth();
  void Reset();

  // Processes `count` stereo frames; the outputs may be the input arrays.
  // Works stage by stage over runs of frames; every sample equals that of
  // ProcessBlockPerFrame.
  void ProcessBlock(double** inputs, double** outputs, int count);
  // The same on single-precision buffers: every output is the one the double
  // form gives for the same input, rounded to float and then flushed as the
  // double outputs are (rounding makes an infinity of a value beyond the
  // largest float and a subnormal of a very small one).
  void ProcessBlock(float** inputs, float** outputs, int count);
  // The same algorithm, one whole frame at a time.
  void ProcessBlockPerFrame(double** inputs, double** outputs, int count);

  double SampleRate() const { return mSampleRate; }
  double DryGain() const { return mDryGain; }
  double WetGain() const { return mWetGain; }
  double WidthDirect() const { return mWidthDirect; }
  double WidthCross() const { return mWidthCross; }
  double WidthExtra() const { return mWidthExtra; }
  double Width() const { return mWidth; }
  double DecayTime() const { return mDecayTime; }
  double DecayGain() const { return mDecayGain; }
  double ModDepth() const { return mModDepth; }
  int LineLength(int k) const { return mLengths[k]; }
  const TDelay& Line(int k) const { return mDelays[k]; }
  int Tap(int k) const { return mTaps[k]; }
  const TIIRFilter& LowCut() const { return mLowCut; }
  const TIIRFilter& HiCut() const { return mHiCut; }
  const TFilt& DampL() const { return mDampL; }
  const TTriLFO& LFO1() const { return mLFO1; }
  // The staged path exists in versions for processor levels, with the same results; the best one
  // this processor runs is used unless a test asks for another.
  using EProcessorVersion = EProcessorLevel;
  static bool Supports(EProcessorVersion version);
  static EProcessorVersion BestProcessorVersion();
  // False, and nothing changes, when this processor cannot run `version`.
  bool UseProcessorVersion(EProcessorVersion version);
  EProcessorVersion ProcessorVersion() const { return mVersion; }

  // Longest run of frames the staged path may process at once at the current rate; 0 when the
  // lines are too short for it (the per-frame path is used).
  int MaxRun() const { return mMaxRun; }

private:
  void ComputeMaxRun();
  // S, the host's sample type: double or float.
  template <class S>
  void ProcessBlockOf(S** inputs, S** outputs, int count);
  template <class S>
  void ProcessFrames(S** inputs, S** outputs, int count);

  double mSampleRate = 44100.0;
  double mDryGain = 0.0;
  double mWetGain = 0.0;
  double mWidthCross = 0.0;
  double mWidthDirect = 0.0;
  double mWidthExtra = 0.0;
  double mWidth = 0.0;
  double mDecayDiffusion1 = 0.0;
  double mDecayDiffusion2 = 0.0;
  double mInputDiffusion1 = 0.0;
  double mInputDiffusion2 = 0.0;
  double mModDepth = 0.0;
  double mLowCrossover = 0.0;
  double mLowDecayRatio = 0.0;
  double mDecayTime = 0.0;
  double mDampFrequency = 0.0;
  double mDecayGain = 0.0;
  TDelay mDelays[kLines];
  int32_t mTaps[kTaps] = {};
  TFilt mDampL, mDampR;
  TIIRFilter mLowCut, mHiCut;
  TTriLFO mLFO1, mLFO2;

  int mLengths[kLines] = {};
  EProcessorVersion mVersion = BestProcessorVersion();
  int mMaxRun = 0;
  int mDiffuserRun = 0;                         // longest piece of a run the input diffusers take at once
  std::unique_ptr<TKernelMemory> mKernelMemory; // what the staged path keeps between blocks (dsp/ReverbKernel.h)
};

} // namespace quillon
