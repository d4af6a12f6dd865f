#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "checks/ThreadChecks.h"
#include "dsp/ProcessorLevel.h"
#include "dsp/dsp.h"

using namespace quillon;

namespace {

// Every test here stands in for a host's processing call, which the engine's [audio] operations
// check for.
const checks::ProcessingScope gProcessing;

struct Stereo
{
  std::vector<double> l, r;
  explicit Stereo(int n = 0)
    : l(n),
      r(n)
  {
  }
  double* ptrs[2];
  double** p(int offset = 0)
  {
    ptrs[0] = l.data() + offset;
    ptrs[1] = r.data() + offset;
    return ptrs;
  }
};

Stereo Noise(int n, unsigned seed, double gain = 1.0)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> dist(-gain, gain);
  Stereo s(n);
  for (int i = 0; i < n; ++i)
  {
    s.l[i] = dist(rng);
    s.r[i] = dist(rng);
  }
  return s;
}

bool SameBits(double a, double b)
{
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void ApplyPreset(TReverb& rv, double decay, double width, double color, double mix)
{
  rv.SetParam(0, decay);
  rv.SetParam(1, width);
  rv.SetParam(2, color);
  rv.SetParam(3, mix);
}

TEST(Reverb, LengthsTapsAndDepthFollowTheRate)
{
  TReverb rv;
  const int lengths[12] = {210, 159, 562, 410, 996, 6598, 2667, 5512, 1345, 6249, 3936, 4687};
  const int sizes[12] = {256, 256, 1024, 512, 1024, 8192, 4096, 8192, 2048, 8192, 4096, 8192};
  const int taps[14] = {394, 4407, 2835, 2958, 2949, 277, 1580, 523, 5375, 1820, 3961, 3128, 496, 179};
  for (int k = 0; k < 12; ++k)
  {
    EXPECT_EQ(rv.LineLength(k), lengths[k]) << k;
    EXPECT_EQ(rv.Line(k).Size(), sizes[k]) << k;
  }
  for (int k = 0; k < 14; ++k)
    EXPECT_EQ(rv.Tap(k), taps[k]) << k;
  EXPECT_NEAR(rv.ModDepth(), 30.87, 1e-12);

  ASSERT_TRUE(rv.SetSampleRate(48000.0));
  const int at48[12] = {229, 173, 611, 447, 1084, 7182, 2903, 6000, 1464, 6801, 4284, 5101};
  for (int k = 0; k < 12; ++k)
    EXPECT_EQ(rv.LineLength(k), at48[k]) << k;
}

TEST(Reverb, MixWidthAndDecayLaws)
{
  TReverb rv;
  EXPECT_EQ(rv.DryGain(), 0.0); // silent until a mix is set
  EXPECT_EQ(rv.WetGain(), 0.0);
  rv.SetMix(0.0);
  EXPECT_EQ(rv.DryGain(), 1.0);
  EXPECT_EQ(rv.WetGain(), 0.0);
  rv.SetMix(100.0);
  EXPECT_NEAR(rv.DryGain(), 6.123e-17, 1e-19);
  EXPECT_EQ(rv.WetGain(), 0.5);
  rv.SetMix(21.0);
  EXPECT_NEAR(rv.DryGain(), 0.98860, 1e-5);
  EXPECT_NEAR(rv.WetGain(), 0.07529, 1e-5);

  rv.SetWidth(50.0);
  EXPECT_EQ(rv.WidthDirect(), 0.75);
  EXPECT_EQ(rv.WidthCross(), 0.25);
  EXPECT_EQ(rv.WidthExtra(), 0.0);
  rv.SetWidth(200.0);
  EXPECT_EQ(rv.WidthDirect(), 1.0);
  EXPECT_EQ(rv.WidthCross(), 0.0);
  EXPECT_EQ(rv.WidthExtra(), 2.0);

  rv.SetDecayTime(100.0);
  EXPECT_NEAR(rv.DecayGain(), 0.98628, 1e-5);
  rv.SetDecayTime(0.1);
  EXPECT_NEAR(rv.DecayGain(), 1e-6, 1e-18);
  EXPECT_EQ(rv.DampL().mShelf, 0.0); // low band decays as the rest
}

TEST(Reverb, ColourFiltersFollowTheSignOfColour)
{
  TReverb rv;
  EXPECT_FALSE(rv.LowCut().mEnabled); // 20 Hz after Init
  EXPECT_FALSE(rv.HiCut().mEnabled);  // 20000 Hz at 44100 Hz

  TIIRFilter ref;
  rv.SetColor(0.0);
  ref.SetLowCut(60.0);
  EXPECT_TRUE(rv.LowCut().mEnabled);
  EXPECT_NEAR(rv.LowCut().mB0, ref.mB0, 1e-15);

  rv.SetColor(-50.0); // hi-cut near 3162 Hz, low-cut kept
  ref.SetHiCut(3162.2776601683795);
  EXPECT_TRUE(rv.HiCut().mEnabled);
  EXPECT_NEAR(rv.HiCut().mB0, ref.mB0, 1e-12);
  EXPECT_TRUE(rv.LowCut().mEnabled);

  rv.SetColor(50.0); // low-cut near 245 Hz, hi-cut stays at 3162 Hz
  ref.SetLowCut(60.0 * std::sqrt(1000.0 / 60.0));
  EXPECT_NEAR(rv.LowCut().mB0, ref.mB0, 1e-12);
  EXPECT_TRUE(rv.HiCut().mEnabled);

  rv.SetColor(-1e-9); // just below 20000 Hz: still on
  EXPECT_TRUE(rv.HiCut().mEnabled);

  TReverb low;
  ASSERT_TRUE(low.SetSampleRate(32000.0)); // hi-cut clamps to Nyquist, where it passes all: off
  EXPECT_FALSE(low.HiCut().mEnabled);
  low.SetColor(-1.0); // 19.3 kHz, clamped: off too
  EXPECT_FALSE(low.HiCut().mEnabled);
  low.SetColor(-10.0); // 14.4 kHz
  EXPECT_TRUE(low.HiCut().mEnabled);
}

TEST(Reverb, SampleRateChangesAndRefusals)
{
  TReverb rv;
  rv.SetDecayTime(7.0);
  rv.SetWidth(80.0);
  rv.SetMix(30.0);
  const double* before = rv.Line(5).Buffer();
  EXPECT_TRUE(rv.SetSampleRate(44100.0)); // same rate: nothing happens
  EXPECT_EQ(rv.Line(5).Buffer(), before);
  EXPECT_EQ(rv.DecayTime(), 7.0);

  EXPECT_TRUE(rv.SetSampleRate(96000.0)); // new rate: settings back to Init's
  EXPECT_EQ(rv.DecayTime(), 2.0);
  EXPECT_EQ(rv.Width(), 150.0);
  EXPECT_NEAR(rv.DryGain(), std::cos(M_PI / 2 * std::pow(0.3, 1.5)), 1e-15); // mix survives

  // Rates that would leave lines without buffers, or make no sense, are refused.
  for (double bad : {0.0, -44100.0, std::nan(""), std::numeric_limits<double>::infinity(), 0.5, 1536001.0, 1e9})
  {
    EXPECT_FALSE(rv.SetSampleRate(bad)) << bad;
    EXPECT_EQ(rv.SampleRate(), 96000.0);
  }

  // Hosts run at up to 32 times 48000 Hz: the engine follows them there.
  for (double high : {1000000.0, 1536000.0})
  {
    ASSERT_TRUE(rv.SetSampleRate(high)) << high;
    EXPECT_EQ(rv.LineLength(5), std::lround(high * TReverb::DelayTimes[5]));
    EXPECT_GT(rv.MaxRun(), 0);
  }

  // A very low but valid rate: every line keeps a buffer and processing is safe.
  ASSERT_TRUE(rv.SetSampleRate(20.0));
  for (int k = 0; k < 12; ++k)
    EXPECT_GE(rv.Line(k).Size(), 1) << k;
  EXPECT_EQ(rv.MaxRun(), 0);
  Stereo s = Noise(1000, 7);
  rv.ProcessBlock(s.p(), s.p(), 1000);
  for (int i = 0; i < 1000; ++i)
    ASSERT_TRUE(std::isfinite(s.l[i]) && std::isfinite(s.r[i]));
}

TEST(Reverb, SignalBehaviour)
{
  // Mix 0 passes the input untouched.
  {
    TReverb rv;
    rv.SetMix(0.0);
    Stereo in = Noise(3000, 1), out(3000);
    rv.ProcessBlock(in.p(), out.p(), 3000);
    EXPECT_EQ(in.l, out.l);
    EXPECT_EQ(in.r, out.r);
  }
  // The wet signal depends only on the mono sum: swapping channels changes
  // only the dry part.
  {
    TReverb a, b;
    a.SetMix(100.0);
    b.SetMix(100.0);
    Stereo in = Noise(5000, 2), swapped(5000), outA(5000), outB(5000);
    swapped.l = in.r;
    swapped.r = in.l;
    a.ProcessBlock(in.p(), outA.p(), 5000);
    b.ProcessBlock(swapped.p(), outB.p(), 5000);
    const double dry = a.DryGain();
    for (int i = 0; i < 5000; ++i)
    {
      ASSERT_NEAR(outA.l[i] - dry * in.l[i], outB.l[i] - dry * swapped.l[i], 1e-12);
      ASSERT_NEAR(outA.r[i] - dry * in.r[i], outB.r[i] - dry * swapped.r[i], 1e-12);
    }
  }
  // An impulse rings, and Reset silences the tail at once.
  {
    TReverb rv;
    rv.SetMix(100.0);
    Stereo s(4096);
    s.l[0] = s.r[0] = 1.0;
    rv.ProcessBlock(s.p(), s.p(), 4096);
    double energy = 0;
    for (int i = 0; i < 4096; ++i)
      energy += s.l[i] * s.l[i] + s.r[i] * s.r[i];
    EXPECT_GT(energy, 1e-4);
    rv.Reset();
    Stereo z(4096);
    rv.ProcessBlock(z.p(), z.p(), 4096);
    for (int i = 0; i < 4096; ++i)
      ASSERT_EQ(z.l[i], 0.0);
  }
  // Non-finite input never reaches the output or the tank, and the reverb rings on after it, the
  // hi-cut's states included (wet only).
  for (bool staged : {true, false})
  {
    TReverb rv;
    rv.SetMix(100.0);
    rv.SetColor(-50.0);
    Stereo s = Noise(2048, 3);
    s.l[10] = std::numeric_limits<double>::quiet_NaN();
    s.r[20] = std::numeric_limits<double>::infinity();
    staged ? rv.ProcessBlock(s.p(), s.p(), 2048) : rv.ProcessBlockPerFrame(s.p(), s.p(), 2048);
    Stereo t = Noise(20000, 4);
    staged ? rv.ProcessBlock(t.p(), t.p(), 20000) : rv.ProcessBlockPerFrame(t.p(), t.p(), 20000);
    double energy = 0.0;
    for (int i = 0; i < 20000; ++i)
    {
      ASSERT_TRUE(std::isfinite(t.l[i]) && std::isfinite(t.r[i])) << i;
      energy += t.l[i] * t.l[i];
    }
    EXPECT_GT(energy, 10.0) << (staged ? "staged" : "per frame");
  }
}

using Version = TReverb::EProcessorVersion;

} // namespace

// Test names and messages show a level by its name (found beside the level's type).
namespace quillon {
void PrintTo(EProcessorLevel level, std::ostream* os)
{
  *os << ProcessorLevelName(level);
}
} // namespace quillon

namespace {
// Each version of the staged path, as a test parameter. A version this processor cannot run is
// skipped with the reason, so that the log shows what went untested.
class ReverbVersion : public ::testing::TestWithParam<Version>
{
protected:
  void SetUp() override
  {
    if (!TReverb::Supports(GetParam()))
      GTEST_SKIP() << "this processor does not run " << ProcessorLevelName(GetParam())
                   << " code (it lacks a feature of that level, or the compiler cannot check for it)";
  }
};

INSTANTIATE_TEST_SUITE_P(Levels, ReverbVersion, ::testing::Values(Version::kBaseline, Version::kAvx2, Version::kAvx512),
                         [](const ::testing::TestParamInfo<Version>& info) {
                           std::string name = ProcessorLevelName(info.param);
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// The staged path against the plain per-frame path: identical to the last bit
// for any block size, rate, parameter change and input.
TEST_P(ReverbVersion, StagedPathEqualsPerFramePath)
{
  const Version version = GetParam();
  std::mt19937 rng(1234);
  const double rates[] = {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 8000.0, 11025.0};
  const int sizes[] = {1, 2, 3, 7, 15, 16, 17, 64, 100, 127, 128, 129, 255, 256, 257, 511, 512, 1000, 4096};
  for (double rate : rates)
  {
    TReverb fast, plain;
    ASSERT_TRUE(fast.UseProcessorVersion(version));
    fast.SetSampleRate(rate);
    plain.SetSampleRate(rate);
    double color = -30.0;
    int frames = 0;
    for (int block = 0; block < 60; ++block)
    {
      if (block % 5 == 0)
      {
        // Parameter changes between blocks, colour crossing zero both ways.
        const double decay = std::uniform_real_distribution<double>(0.1, 100.0)(rng);
        const double width = std::uniform_real_distribution<double>(0.0, 200.0)(rng);
        const double mix = std::uniform_real_distribution<double>(0.0, 100.0)(rng);
        color = -color + std::uniform_real_distribution<double>(-5.0, 5.0)(rng);
        ApplyPreset(fast, decay, width, color, mix);
        ApplyPreset(plain, decay, width, color, mix);
      }
      if (block == 30)
      {
        fast.Reset();
        plain.Reset();
      }
      const int n = sizes[std::uniform_int_distribution<int>(0, std::size(sizes) - 1)(rng)];
      Stereo in = Noise(n, rng(), block % 7 == 3 ? 0.0 : 1.0);
      Stereo a(n), b(n);
      fast.ProcessBlock(in.p(), a.p(), n);
      plain.ProcessBlockPerFrame(in.p(), b.p(), n);
      for (int i = 0; i < n; ++i)
      {
        ASSERT_TRUE(SameBits(a.l[i], b.l[i]) && SameBits(a.r[i], b.r[i]))
            << "rate " << rate << " block " << block << " frame " << i << " of " << n << ": " << a.l[i] << " vs "
            << b.l[i];
      }
      frames += n;
    }
    EXPECT_GT(frames, 0);
  }
}

// In place, and through the long decay into silence (where the tank's values
// pass through the smallest numbers and are flushed), the paths still agree.
TEST(Reverb, StagedPathEqualsPerFramePathInPlaceAndIntoSilence)
{
  TReverb fast, plain;
  fast.SetSampleRate(22050.0);
  plain.SetSampleRate(22050.0);
  ApplyPreset(fast, 0.1, 152.5, 0.0, 26.6);
  ApplyPreset(plain, 0.1, 152.5, 0.0, 26.6);
  const int n = 512;
  for (int block = 0; block < 600; ++block) // about 14 s: a 0.1 s decay dies completely
  {
    Stereo a = block < 20 ? Noise(n, block, 1.0) : Stereo(n);
    Stereo b = a;
    fast.ProcessBlock(a.p(), a.p(), n);
    plain.ProcessBlockPerFrame(b.p(), b.p(), n);
    for (int i = 0; i < n; ++i)
      ASSERT_TRUE(SameBits(a.l[i], b.l[i]) && SameBits(a.r[i], b.r[i])) << block << ":" << i;
  }
  // The tank itself, not only what reaches the output, must be the same, and far below hearing by
  // now (with the hi-cut left on at the Nyquist frequency it grew in silence: 0.0047 here).
  for (int k = 0; k < TReverb::kLines; ++k)
  {
    const TDelay& a = fast.Line(k);
    const TDelay& b = plain.Line(k);
    ASSERT_EQ(a.Size(), b.Size());
    EXPECT_TRUE(std::all_of(a.Buffer(), a.Buffer() + a.Size(), [](double x) { return std::fabs(x) < 1e-12; })) << k;
    EXPECT_EQ(a.ReadPos(), b.ReadPos()) << k;
    EXPECT_EQ(std::memcmp(a.Buffer(), b.Buffer(), sizeof(double) * a.Size()), 0) << "line " << k;
  }
  EXPECT_TRUE(SameBits(fast.DampL().mLowState, plain.DampL().mLowState));
  EXPECT_TRUE(SameBits(fast.DampL().mOutState, plain.DampL().mOutState));
}

// Values entering every line of the tank are flushed when they are not normal
// numbers, on both paths: input barely above the smallest normal numbers
// leaves no subnormal value in any line, and both paths keep the same tank.
// Once that tail has died, leaving the damping filters at rest on subnormal
// states, the staged path computes on no subnormal number: the processor's
// denormal-operand and underflow flags stay clear (Intel processors take a
// microcode assist for each such operation, which made silence dearer than
// sound there).
TEST_P(ReverbVersion, NoSubnormalEverEntersALine)
{
  constexpr unsigned kDenormalOperand = 0x02, kUnderflow = 0x10;
  const Version version = GetParam();
  // No colour is set: at 44100 Hz both colour filters then stay off, so the
  // tiny input reaches the tank instead of being flushed by them.
  TReverb fast, plain;
  ASSERT_TRUE(fast.UseProcessorVersion(version));
  for (TReverb* rv : {&fast, &plain})
  {
    rv->SetDecayTime(1.0);
    rv->SetMix(50.0);
  }
  const int n = 256;
  for (int block = 0; block < 600; ++block)
  {
    Stereo a = block < 200 ? Noise(n, block, 3e-306) : Stereo(n);
    Stereo b = a;
    _mm_setcsr(_mm_getcsr() & ~(kDenormalOperand | kUnderflow));
    fast.ProcessBlock(a.p(), a.p(), n);
    if (block >= 450) // the tail died about 1 s before
    {
      ASSERT_EQ(_mm_getcsr() & (kDenormalOperand | kUnderflow), 0u) << "block " << block;
    }
    plain.ProcessBlockPerFrame(b.p(), b.p(), n);
    for (int i = 0; i < n; ++i)
      ASSERT_TRUE(SameBits(a.l[i], b.l[i]) && SameBits(a.r[i], b.r[i])) << block << ":" << i;
    if (block % 4 != 0)
      continue;
    for (int k = 0; k < TReverb::kLines; ++k)
    {
      for (int i = 0; i < fast.Line(k).Size(); ++i)
        ASSERT_TRUE(IsNormalOrZero(fast.Line(k).Buffer()[i])) << "staged, line " << k;
      for (int i = 0; i < plain.Line(k).Size(); ++i)
        ASSERT_TRUE(IsNormalOrZero(plain.Line(k).Buffer()[i])) << "per frame, line " << k;
      ASSERT_EQ(std::memcmp(fast.Line(k).Buffer(), plain.Line(k).Buffer(), sizeof(double) * fast.Line(k).Size()), 0)
          << "line " << k << " block " << block;
    }
  }
}

// The colour filters flush outputs within +-1e-8 (and NaN) to +0. Input a
// little above that range, negative zeros, NaN, infinities and subnormals make
// the flush act now and then, with one filter or both; every version agrees
// with the per-frame path on the outputs and on the filters' states.
TEST_P(ReverbVersion, ColourFilterFlushAgrees)
{
  const Version version = GetParam();
  const double colours[][2] = {{0.0, 0.0}, {-50.0, -50.0}, {-50.0, 50.0}};
  for (const auto& colour : colours)
  {
    TReverb fast, plain;
    ASSERT_TRUE(fast.UseProcessorVersion(version));
    for (TReverb* rv : {&fast, &plain})
    {
      rv->SetSampleRate(48000.0);
      ApplyPreset(*rv, 2.0, 100.0, colour[0], 50.0);
      rv->SetColor(colour[1]);
    }
    const int n = 300;
    for (int block = 0; block < 40; ++block)
    {
      Stereo a = Noise(n, 100 + block, block % 4 == 0 ? 1.0 : 3e-8);
      if (block % 5 == 2)
        for (int i = 0; i < n; ++i)
          a.l[i] = a.r[i] = -0.0;
      if (block == 13)
      {
        // Each reaches the outputs through the dry path, where they are flushed too.
        a.l[77] = std::numeric_limits<double>::quiet_NaN();
        a.r[78] = std::numeric_limits<double>::infinity();
        a.l[79] = -std::numeric_limits<double>::infinity();
        a.r[80] = std::numeric_limits<double>::denorm_min();
        a.l[81] = -0x1p-1030;
      }
      Stereo b = a;
      fast.ProcessBlock(a.p(), a.p(), n);
      plain.ProcessBlockPerFrame(b.p(), b.p(), n);
      for (int i = 0; i < n; ++i)
        ASSERT_TRUE(SameBits(a.l[i], b.l[i]) && SameBits(a.r[i], b.r[i]))
            << "colour " << colour[1] << " block " << block << ":" << i;
      for (auto filter : {&TReverb::LowCut, &TReverb::HiCut})
      {
        ASSERT_TRUE(SameBits((fast.*filter)().mZ1, (plain.*filter)().mZ1)) << block;
        ASSERT_TRUE(SameBits((fast.*filter)().mZ2, (plain.*filter)().mZ2)) << block;
      }
    }
  }
}

// On single-precision buffers every version gives the double form's output for
// the same input, rounded to float and then flushed: in place or not, at any
// block size, on input that the flushes act on, and on the per-frame path of
// very low rates. Tiny input into the silent tank makes outputs that round to
// subnormal floats; a full-scale 100 Hz square wave, outputs beyond the largest
// float, which round to infinity.
TEST_P(ReverbVersion, SinglePrecisionIsTheDoubleFormRoundedAndFlushed)
{
  const Version version = GetParam();
  std::mt19937 rng(99);
  const int sizes[] = {1, 5, 8, 13, 64, 255, 256, 257, 512, 1000};
  for (double rate : {48000.0, 22050.0, 2000.0})
  {
    TReverb single, twin;
    ASSERT_TRUE(single.UseProcessorVersion(version));
    ASSERT_TRUE(twin.UseProcessorVersion(version));
    for (TReverb* rv : {&single, &twin})
    {
      rv->SetSampleRate(rate);
      ApplyPreset(*rv, 3.2, 150.0, rate == 22050.0 ? -40.0 : 0.0, 40.0);
    }
    EXPECT_EQ(single.MaxRun() == 0, rate == 2000.0);
    int subnormals = 0, infinities = 0; // of the rounded double outputs
    for (int block = 0, frames = 0; block < 30; ++block)
    {
      const bool square = block >= 23 && block < 29, special = block == 29;
      const int n = square ? 1000
          : special        ? 64
                           : sizes[std::uniform_int_distribution<int>(0, std::size(sizes) - 1)(rng)];
      const Stereo noise = Noise(n, rng(), block == 0 ? 1e-39 : block % 6 == 5 ? 1e-30 : 1.0);
      std::vector<float> inL(noise.l.begin(), noise.l.end()), inR(noise.r.begin(), noise.r.end());
      for (int i = 0; square && i < n; ++i)
        inL[i] = inR[i] = std::fmod((frames + i) * 200.0 / rate, 2.0) < 1.0 ? FLT_MAX : -FLT_MAX;
      frames += n;
      if (special)
      {
        inL[0] = std::numeric_limits<float>::quiet_NaN();
        inR[1] = std::numeric_limits<float>::infinity();
        inL[2] = std::numeric_limits<float>::denorm_min();
        inR[3] = -0.0f;
      }
      Stereo in(n);
      std::copy(inL.begin(), inL.end(), in.l.begin());
      std::copy(inR.begin(), inR.end(), in.r.begin());
      const bool inPlace = block % 3 == 0;
      std::vector<float> outL(n), outR(n);
      float* ins[2] = {inL.data(), inR.data()};
      float* outs[2] = {outL.data(), outR.data()};
      single.ProcessBlock(ins, inPlace ? ins : outs, n);
      twin.ProcessBlock(in.p(), in.p(), n);
      const std::vector<float>& gotL = inPlace ? inL : outL;
      const std::vector<float>& gotR = inPlace ? inR : outR;
      for (int i = 0; i < n; ++i)
      {
        const float roundedL = static_cast<float>(in.l[i]), roundedR = static_cast<float>(in.r[i]);
        for (float rounded : {roundedL, roundedR})
        {
          subnormals += std::fpclassify(rounded) == FP_SUBNORMAL;
          infinities += std::isinf(rounded);
        }
        auto flushed = [](float x) { return std::isnormal(x) || x == 0.0f ? x : 0.0f; };
        const float wantL = flushed(roundedL), wantR = flushed(roundedR);
        ASSERT_TRUE(std::memcmp(&gotL[i], &wantL, sizeof wantL) == 0 &&
                    std::memcmp(&gotR[i], &wantR, sizeof wantR) == 0)
            << "rate " << rate << " block " << block << ":" << i << " " << gotL[i] << " vs " << wantL;
      }
    }
    EXPECT_GT(subnormals, 0) << rate;
    EXPECT_GT(infinities, 0) << rate;
  }
}

// Absolute output, pinned: every other output test compares two forms of the engine, which a wrong
// tap, line length or gain law shared by both would pass. The impulse responses of two factory
// presets (the tests' own copy of their values) at two rates, through the per-frame form and every
// staged version, must give these bits. Regenerate only on purpose, after a change meant to alter
// the sound: run dsp_reverb_test --gtest_filter='*Golden*'; each failure prints its row as it
// should now read.
struct GoldenResponse
{
  const char* preset;
  double decay, width, color, mix, rate;
  uint64_t hash;            // FNV-1a over the 64-bit patterns of left[i], right[i], frame by frame
  double left[4], right[4]; // at kGoldenFrames
};

constexpr int kGoldenLength = 8192;
constexpr int kGoldenFrames[4] = {2500, 3500, 5000, 8191};

uint64_t HashOfBits(const Stereo& s)
{
  uint64_t h = 0xcbf29ce484222325u;
  for (size_t i = 0; i < s.l.size(); ++i)
    for (double x : {s.l[i], s.r[i]})
    {
      uint64_t bits;
      std::memcpy(&bits, &x, sizeof bits);
      h = (h ^ bits) * 0x100000001b3u;
    }
  return h;
}

std::string GoldenRow(const GoldenResponse& g, const Stereo& s)
{
  char text[1024];
  int at = std::snprintf(text, sizeof text, "{\"%s\", %.9g, %.9g, %.9g, %.9g, %.9g, 0x%016llxu, {", g.preset, g.decay,
                         g.width, g.color, g.mix, g.rate, static_cast<unsigned long long>(HashOfBits(s)));
  const char* separators[8] = {", ", ", ", ", ", "}, {", ", ", ", ", ", ", "}}"};
  for (int k = 0; k < 8; ++k)
    at += std::snprintf(text + at, sizeof text - at, "%a%s", (k < 4 ? s.l : s.r)[kGoldenFrames[k % 4]], separators[k]);
  return text;
}

TEST_P(ReverbVersion, GoldenImpulseResponses)
{
  // clang-format off
  const GoldenResponse golden[] = {
      {"Default", 3.2, 150, 0, 21, 44100, 0xa781517a98f0c3a2u, {0x1.220e2fc16042ep-14, -0x1.1578182111f49p-11, -0x1.ccfed68b7426cp-11, 0x1.2469916256df4p-13}, {0x1.39baf56d3c77ap-13, 0x1.180677bc5a449p-13, 0x1.1c52d129bf0cep-11, -0x1.4762af61feea8p-13}},
      {"Default", 3.2, 150, 0, 21, 48000, 0x900d5347563f6e2au, {0x1.70db45dc9bb49p-16, -0x1.4ba2b7adbd82bp-15, 0x1.999bb5f8c910bp-16, -0x1.e49acfeb097ep-14}, {-0x1.c1139cd02814ep-16, 0x1.e560cc1a45d03p-14, -0x1.cbc37ef481d7bp-12, -0x1.7f2cd6201c4dap-18}},
      {"Large Hall", 4.6, 152.510638, 0, 26.595745, 44100, 0xbf10a374a0af8401u, {0x1.95c33aaed6406p-14, -0x1.90198fc101d35p-11, -0x1.4dddb1979ef66p-10, 0x1.e04731773ec39p-13}, {0x1.c06454de661fdp-13, 0x1.a64e49f06ea16p-13, 0x1.a0ebaec590f3cp-11, -0x1.e29aabc7dd3b3p-13}},
      {"Large Hall", 4.6, 152.510638, 0, 26.595745, 48000, 0xbfc248279dfd260au, {0x1.0d1c5b56c980bp-15, -0x1.ee03bf6565b47p-15, 0x1.67f258ef0a215p-15, -0x1.67e3346f5e663p-13}, {-0x1.460d81916b97cp-15, 0x1.5e55abcb105d3p-13, -0x1.4aacdffbc8747p-11, -0x1.62a38bd990042p-17}},
  };
  // clang-format on
  for (const GoldenResponse& g : golden)
  {
    for (bool staged : {false, true}) // the per-frame form, then this version
    {
      TReverb rv;
      ASSERT_TRUE(rv.UseProcessorVersion(GetParam()));
      ASSERT_TRUE(rv.SetSampleRate(g.rate));
      ApplyPreset(rv, g.decay, g.width, g.color, g.mix);
      Stereo s(kGoldenLength);
      s.l[0] = s.r[0] = 1.0;
      staged ? rv.ProcessBlock(s.p(), s.p(), kGoldenLength) : rv.ProcessBlockPerFrame(s.p(), s.p(), kGoldenLength);
      bool same = HashOfBits(s) == g.hash;
      for (int k = 0; k < 4; ++k)
        same = same && SameBits(s.l[kGoldenFrames[k]], g.left[k]) && SameBits(s.r[kGoldenFrames[k]], g.right[k]);
      EXPECT_TRUE(same) << (staged ? "the staged path" : "the per-frame form") << " at " << g.rate
                        << " Hz now gives\n      " << GoldenRow(g, s) << ",";
    }
  }
}
} // namespace
