#include "dsp/dsp.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "dsp/ReverbKernel.h"

namespace quillon {

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
  // At the Nyquist frequency a low-pass passes everything, and its rounded coefficients put a pole
  // just outside the unit circle: left on, it would let the state grow without end in silence.
  mEnabled = fc < 20000.0 && fc < fs / 2.0;
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
int RoundToInt(double x)
{
  return static_cast<int>(std::round(x));
}

// An output value as a sample of type S: a single-precision one is flushed again after rounding.
template <class S>
S ToSample(double x)
{
  if constexpr (std::is_same_v<S, float>)
    return FlushToZero(static_cast<float>(x));
  else
    return x;
}
} // namespace

TReverb::TReverb()
  : mKernelMemory(std::make_unique<TKernelMemory>())
{
  mLowCut.mSampleRate = mHiCut.mSampleRate = mSampleRate;
  mLFO1.mSampleRate = mLFO2.mSampleRate = mSampleRate;
  Init();
}

TReverb::~TReverb() = default;

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
    case kDecay:
      SetDecayTime(value);
      break;
    case kWidth:
      SetWidth(value);
      break;
    case kColor:
      SetColor(value);
      break;
    case kMix:
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
    outputs[0][i] = ToSample<S>(outL);
    outputs[1][i] = ToSample<S>(outR);
  }
}

// --------------------------------------------------------- staged form
//
// The staged kernel (dsp/ReverbKernelStages.h) works through runs of frames stage by stage; it is
// built once per processor level and picked through kKernels.

namespace {
struct KernelVersion
{
  void (*processDouble)(TKernelState&, double**, double**, int);
  void (*processSingle)(TKernelState&, float**, float**, int);
};

// Indexed by EProcessorLevel.
constexpr KernelVersion kKernels[kProcessorLevels] = {
    {reverb_baseline::ProcessBlock, reverb_baseline::ProcessBlock},
    {reverb_avx2::ProcessBlock, reverb_avx2::ProcessBlock},
    {reverb_avx512::ProcessBlock, reverb_avx512::ProcessBlock},
};

TKernelLine KernelLine(TDelay& line)
{
  return {line.Buffer(), line.Size(), line.Mask(), line.ReadPos(), line.WritePos()};
}
} // namespace

void TReverb::ComputeMaxRun()
{
  int run = kKernelRunCapacity;
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
  mMaxRun = run >= kKernelMinRun && mDiffuserRun >= kKernelMinRun ? run : 0;
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
  TKernelState state{.lowCut = &mLowCut,
                     .hiCut = &mHiCut,
                     .lfo1 = &mLFO1,
                     .lfo2 = &mLFO2,
                     .dampL = &mDampL,
                     .dampR = &mDampR,
                     .inputDiffusion1 = mInputDiffusion1,
                     .inputDiffusion2 = mInputDiffusion2,
                     .decayDiffusion1 = mDecayDiffusion1,
                     .decayDiffusion2 = mDecayDiffusion2,
                     .decayGain = mDecayGain,
                     .modDepth = mModDepth,
                     .widthDirect = mWidthDirect,
                     .widthCross = mWidthCross,
                     .widthExtra = mWidthExtra,
                     .wetGain = mWetGain,
                     .dryGain = mDryGain,
                     .maxRun = mMaxRun,
                     .diffuserRun = mDiffuserRun,
                     .memory = mKernelMemory.get(),
                     .scratch = nullptr};
  for (int k = 0; k < kLines; ++k)
    state.lines[k] = KernelLine(mDelays[k]);
  std::copy(mTaps, mTaps + kTaps, state.taps);
  const KernelVersion& kernel = kKernels[static_cast<int>(mVersion)];
  if constexpr (std::is_same_v<S, float>)
    kernel.processSingle(state, inputs, outputs, count);
  else
    kernel.processDouble(state, inputs, outputs, count);
  for (TDelay& line : mDelays)
    line.Advance(count);
}

bool TReverb::Supports(EProcessorVersion version)
{
  return ProcessorRuns(version);
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

} // namespace quillon
