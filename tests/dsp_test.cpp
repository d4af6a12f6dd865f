#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "checks/ThreadChecks.h"
#include "dsp/dsp.h"

using namespace quillon;

namespace {

// Every test here stands in for a host's processing call, which the engine's [audio] operations
// check for.
const checks::ProcessingScope gProcessing;

// Delay line -------------------------------------------------------------

TEST(DelayLine, InitSizesAndPositions)
{
  TDelay line;
  EXPECT_EQ(line.Size(), 0);
  EXPECT_EQ(line.Buffer(), nullptr);

  line.Init(210);
  EXPECT_EQ(line.Size(), 256);
  EXPECT_EQ(line.WritePos(), 209);
  EXPECT_EQ(line.ReadPos(), 0);
  EXPECT_EQ(line.Mask(), 255);

  line.Init(0);
  EXPECT_EQ(line.Size(), 0);
  EXPECT_EQ(line.Buffer(), nullptr);
  line.Init(-5);
  EXPECT_EQ(line.Size(), 0);
  line.Step(); // an empty line may still be stepped
  EXPECT_EQ(line.ReadPos(), 0);

  line.Init(1);
  EXPECT_EQ(line.Size(), 1);
  EXPECT_EQ(line.Write(0.5), 0.5);
  EXPECT_EQ(line.Read(), 0.5); // length 1: a write is read in the same step
}

TEST(DelayLine, WrittenSampleComesBackLengthMinusOneStepsLater)
{
  TDelay line;
  line.Init(210);
  line.Write(1.25);
  EXPECT_EQ(line.ReadAt(209), 1.25);
  for (int step = 1; step <= 209; ++step)
  {
    line.Step();
    if (step < 209)
    {
      EXPECT_EQ(line.Read(), 0.0) << step;
    }
  }
  EXPECT_EQ(line.Read(), 1.25);
}

TEST(DelayLine, ReinitWithSameSizeKeepsContentsOtherSizeClears)
{
  TDelay line;
  line.Init(256);
  line.Write(3.0);
  line.Step();
  line.Init(256);
  EXPECT_EQ(line.WritePos(), 0); // positions stay too
  EXPECT_EQ(line.ReadAt(254), 3.0);
  line.Init(255);
  EXPECT_EQ(line.Size(), 256);
  EXPECT_EQ(line.ReadAt(254), 0.0);
  EXPECT_EQ(line.WritePos(), 254);
}

TEST(DelayLine, WriteFlushesNonNormalValues)
{
  TDelay line;
  line.Init(8);
  EXPECT_EQ(line.Write(std::numeric_limits<double>::quiet_NaN()), 0.0);
  EXPECT_EQ(line.Write(std::numeric_limits<double>::infinity()), 0.0);
  EXPECT_EQ(line.Write(-std::numeric_limits<double>::infinity()), 0.0);
  EXPECT_EQ(line.Write(1e-310), 0.0);
  EXPECT_EQ(line.ReadAt(7), 0.0);
  const double negativeZero = line.Write(-0.0);
  EXPECT_TRUE(std::signbit(negativeZero));
  EXPECT_TRUE(std::signbit(line.ReadAt(7)));
  EXPECT_EQ(line.Write(std::numeric_limits<double>::min()), std::numeric_limits<double>::min());
}

TEST(DelayLine, InterpolatedRead)
{
  TDelay line;
  line.Init(16);
  // Ramp 0, 1, 2, ... from the read position onwards.
  for (int k = 0; k < 16; ++k)
    line.Buffer()[k] = k;
  EXPECT_EQ(line.ReadIrpAt(3.0), line.ReadAt(3));
  EXPECT_DOUBLE_EQ(line.ReadIrpAt(2.5), 2.5);
  EXPECT_DOUBLE_EQ(line.ReadIrpAt(7.25), 7.25); // a ramp is reproduced exactly
  // The wrap: position -1 is the last sample of the buffer.
  line.Buffer()[15] = 100.0;
  EXPECT_EQ(line.ReadIrpAt(0.0), 0.0);
  EXPECT_NE(line.ReadIrpAt(0.5), 0.5);
}

// Filters and LFO ---------------------------------------------------------

TEST(ColourFilter, EnableRulesOfTheDesigns)
{
  TIIRFilter f;
  f.mSampleRate = 44100.0;
  f.SetHiCut(30000.0); // clamps to 22050 Hz
  EXPECT_FALSE(f.mEnabled);
  f.SetHiCut(19999.0);
  EXPECT_TRUE(f.mEnabled);
  f.SetLowCut(20.0);
  EXPECT_FALSE(f.mEnabled);
  f.SetLowCut(20.5);
  EXPECT_TRUE(f.mEnabled);
  f.SetHiCutPercent(100.0); // just under 20000 Hz
  EXPECT_TRUE(f.mEnabled);

  // Percent laws: compare with the direct designs.
  TIIRFilter a, b;
  a.SetHiCutPercent(0.0);
  b.SetHiCut(500.0);
  EXPECT_DOUBLE_EQ(a.mB0, b.mB0);
  a.SetLowCutPercent(0.0);
  b.SetLowCut(60.0);
  EXPECT_DOUBLE_EQ(a.mA1, b.mA1);
  a.SetLowCutPercent(100.0);
  b.SetLowCut(1000.0);
  EXPECT_DOUBLE_EQ(a.mA2, b.mA2);
}

TEST(ColourFilter, ResponseAndFlush)
{
  // Unity gain at DC for the low-pass, zero for the high-pass.
  TIIRFilter lp, hp;
  lp.mSampleRate = hp.mSampleRate = 48000.0;
  lp.SetHiCut(1000.0);
  hp.SetLowCut(1000.0);
  double ylp = 0, yhp = 0;
  for (int i = 0; i < 20000; ++i)
  {
    ylp = lp.Process(1.0);
    yhp = hp.Process(1.0);
  }
  EXPECT_NEAR(ylp, 1.0, 1e-9);
  EXPECT_EQ(yhp, 0.0); // decays into the +-1e-8 band and is flushed

  // Disabled: passes through and leaves the state alone.
  TIIRFilter off;
  off.SetLowCut(10.0);
  off.mZ1 = 0.25;
  EXPECT_EQ(off.Process(0.5), 0.5);
  EXPECT_EQ(off.mZ1, 0.25);

  // NaN output is flushed and never enters the state.
  TIIRFilter nan;
  nan.SetHiCut(1000.0);
  EXPECT_EQ(nan.Process(std::numeric_limits<double>::quiet_NaN()), 0.0);

  // Block form: same outputs as the per-sample form (which adds a flush).
  TIIRFilter s, blk;
  s.mSampleRate = blk.mSampleRate = 44100.0;
  s.SetLowCut(200.0);
  blk.SetLowCut(200.0);
  double buffer[64];
  for (int i = 0; i < 64; ++i)
    buffer[i] = std::sin(i * 0.3);
  double expected[64];
  for (int i = 0; i < 64; ++i)
    expected[i] = s.Process(buffer[i]);
  blk.ProcessBlock(buffer, 64);
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(buffer[i], expected[i]) << i;
  blk.mZ1 = 5e-9;
  blk.ProcessBlock(buffer, 0);
  EXPECT_EQ(blk.mZ1, 0.0);
}

TEST(DampingFilter, PlainGainWhenShelfIsZeroAndHighCoeffIsOne)
{
  TFilt f;
  f.Set(0.5, 0.0, 0.1, 1.0);
  EXPECT_EQ(f.Process(2.0), 1.0);
  EXPECT_EQ(f.Process(-3.0), -1.5);
}

TEST(TriangleLFO, RisesFromZeroWithPeriodTwoSecondsOverRate)
{
  TTriLFO lfo;
  lfo.SetRate(0.5);
  double y = 0.0;
  for (int i = 1; i <= 44100; ++i)
  {
    y = lfo.Tick();
    if (i == 1)
    {
      EXPECT_NEAR(y, 1.0 / 44100.0, 1e-15);
    }
  }
  EXPECT_NEAR(y, 1.0, 1e-9);
  for (int i = 0; i < 44100; ++i)
    y = lfo.Tick();
  EXPECT_NEAR(y, 0.0, 1e-9);
  for (int i = 0; i < 88200; ++i)
  {
    y = lfo.Tick();
    ASSERT_GE(y, -1.0);
    ASSERT_LE(y, 1.0);
  }
  EXPECT_NEAR(y, 0.0, 1e-9); // one period: 176400 ticks
  EXPECT_NEAR(lfo.mPhase, -1.0, 1e-9);
}
} // namespace
