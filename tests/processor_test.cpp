#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "checks/ThreadChecks.h"
#include "plug/ILatencyLine.h"
#include "plug/IPluginProcessor.h"

using plug::Config;
using plug::ERoute;
using plug::IMidiMsg;
using plug::IOConfig;
using plug::IPluginProcessor;
using plug::ISysEx;

namespace {

// The tests play the binding's part, processing calls included, on their one thread: the
// processor's [audio] operations check for a processing call.
const checks::ProcessingScope gProcessing;

Config MakeConfig(const char* channelIO)
{
  return Config{.channelIOStr = channelIO};
}

// The processor as a binding sees it: outgoing MIDI is recorded, and ProcessBlock can be replaced by a
// filter with memory across calls, so that cutting a call into pieces changes nothing audible.
class TestProcessor : public IPluginProcessor
{
public:
  explicit TestProcessor(const char* channelIO = "2-2", bool stateful = false)
    : IPluginProcessor(MakeConfig(channelIO)),
      mStateful(stateful),
      mState(16, 0.0)
  {
  }

  bool SendMidiMsg(const IMidiMsg& msg) override
  {
    mSent.push_back(msg);
    return mHostTakesMidi;
  }

  void ProcessBlock(double** inputs, double** outputs, int frames) override
  {
    ++mCalls;
    mLargestCall = std::max(mLargestCall, frames);
    if (!mStateful)
    {
      IPluginProcessor::ProcessBlock(inputs, outputs, frames);
      return;
    }
    for (int c = 0; c < MaxNChannels(ERoute::kOutput); ++c)
    {
      const double* in = inputs[c % MaxNChannels(ERoute::kInput)];
      for (int s = 0; s < frames; ++s)
      {
        mState[c] = 0.75 * mState[c] + 0.25 * in[s] * (c + 1);
        outputs[c][s] = mState[c];
      }
    }
  }

  // Connects everything and sets the block size, as the binding does right after construction.
  void Prepare(int blockSize)
  {
    SetChannelConnections(ERoute::kInput, 0, MaxNChannels(ERoute::kInput), true);
    SetChannelConnections(ERoute::kOutput, 0, MaxNChannels(ERoute::kOutput), true);
    SetBlockSize(blockSize);
  }

  const double* Slot(ERoute direction, int index) const { return *GetChannelData(direction, index)->mData; }
  const double* Scratch(ERoute direction, int index) const
  {
    return GetChannelData(direction, index)->mScratchBuf.data();
  }

  bool mStateful;
  std::vector<double> mState;
  std::vector<IMidiMsg> mSent;
  bool mHostTakesMidi = true;
  int mCalls = 0;
  int mLargestCall = 0;
};

// Per-channel host buffers with pointer arrays, in either sample type.
template <typename T>
struct HostBuffers
{
  HostBuffers(int nChans, int frames, double seed = 0.0)
    : data(nChans, std::vector<T>(frames))
  {
    for (int c = 0; c < nChans; ++c)
      for (int s = 0; s < frames; ++s)
        data[c][s] = static_cast<T>(seed == 0.0 ? 0.0 : std::sin(seed * (s + 1) + c) * 0.5);
    for (auto& channel : data)
      pointers.push_back(channel.data());
  }
  T** Pointers() { return pointers.data(); }

  std::vector<std::vector<T>> data;
  std::vector<T*> pointers;
};

void ExpectTotals(const char* text, int configs, int inChans, int outChans, int inBuses, int outBuses)
{
  std::vector<IOConfig> parsed;
  int in = -1, out = -1, inB = -1, outB = -1;
  EXPECT_EQ(IPluginProcessor::ParseChannelIOStr(text, parsed, in, out, inB, outB), configs) << text;
  EXPECT_EQ(static_cast<int>(parsed.size()), configs) << text;
  EXPECT_EQ(in, inChans) << text;
  EXPECT_EQ(out, outChans) << text;
  EXPECT_EQ(inB, inBuses) << text;
  EXPECT_EQ(outB, outBuses) << text;
}

} // namespace

// --- Channel I/O strings ---------------------------------------------------------------------------

TEST(ChannelIOParsing, WellFormedStringsGiveTheirBusesAndTotals)
{
  ExpectTotals("2-2", 1, 2, 2, 1, 1);
  ExpectTotals("1-1 2-2", 2, 2, 2, 1, 1);
  ExpectTotals("2.2-2", 1, 4, 2, 2, 1);
  ExpectTotals("0-2", 1, 0, 2, 0, 1);
  ExpectTotals("   1-1    2-2  ", 2, 2, 2, 1, 1);
  ExpectTotals("1-1\t2.1-4", 2, 3, 4, 2, 1);

  std::vector<IOConfig> configs;
  int in, out, inB, outB;
  IPluginProcessor::ParseChannelIOStr("2.1-2 0-2", configs, in, out, inB, outB);
  ASSERT_EQ(configs.size(), 2u);
  ASSERT_EQ(configs[0].NBuses(ERoute::kInput), 2);
  EXPECT_EQ(configs[0].GetBusInfo(ERoute::kInput, 0)->mNChans, 2);
  EXPECT_EQ(configs[0].GetBusInfo(ERoute::kInput, 1)->mNChans, 1);
  EXPECT_EQ(configs[0].GetBusInfo(ERoute::kInput, 1)->mLabel, "Input");
  EXPECT_EQ(configs[0].GetBusInfo(ERoute::kOutput, 0)->mLabel, "Output");
  EXPECT_EQ(configs[0].GetBusInfo(ERoute::kOutput, 0)->mDirection, ERoute::kOutput);
  EXPECT_EQ(configs[0].GetBusInfo(ERoute::kOutput, 1), nullptr);
  EXPECT_EQ(configs[0].GetBusInfo(ERoute::kInput, -1), nullptr);
  EXPECT_EQ(configs[1].GetTotalNChannels(ERoute::kInput), 0);
  EXPECT_EQ(configs[1].NBuses(ERoute::kInput), 0);

  // The parse replaces what the list held.
  EXPECT_EQ(IPluginProcessor::ParseChannelIOStr("1-1", configs, in, out, inB, outB), 1);
  EXPECT_EQ(configs.size(), 1u);
}

TEST(ChannelIOParsing, WildcardsAndMissingSides)
{
  std::vector<IOConfig> configs;
  int in, out, inB, outB;
  EXPECT_EQ(IPluginProcessor::ParseChannelIOStr("*-2", configs, in, out, inB, outB), 1);
  EXPECT_EQ(configs[0].GetBusInfo(ERoute::kInput, 0)->mNChans, plug::kWildcardChannels);
  EXPECT_EQ(configs[0].GetTotalNChannels(ERoute::kInput), -64);
  EXPECT_TRUE(configs[0].ContainsWildcard(ERoute::kInput));
  EXPECT_FALSE(configs[0].ContainsWildcard(ERoute::kOutput));
  EXPECT_EQ(in, 0); // a wildcard lowers the sum, so it adds nothing to the totals
  EXPECT_EQ(inB, 1);

  ExpectTotals("*.*-*", 1, 0, 0, 2, 1);
  ExpectTotals("*.4-2", 1, 0, 2, 2, 1); // 4 - 64
  ExpectTotals("2", 1, 2, 0, 1, 0);     // no output part
  ExpectTotals("-2", 1, 0, 2, 0, 1);    // empty input part
  ExpectTotals("2-", 1, 2, 0, 1, 0);
}

TEST(ChannelIOParsing, MalformedOrHugeTextIsBoundedAndNeverCrashes)
{
  ExpectTotals(nullptr, 0, 0, 0, 0, 0);
  ExpectTotals("", 0, 0, 0, 0, 0);
  ExpectTotals("    \t ", 0, 0, 0, 0, 0);
  ExpectTotals("garbage", 1, 0, 0, 0, 0);
  ExpectTotals("x-y z", 2, 0, 0, 0, 0);
  ExpectTotals("3abc-2xyz", 1, 3, 2, 1, 1); // read as "%d" would
  ExpectTotals("-", 1, 0, 0, 0, 0);
  ExpectTotals("--.--", 1, 0, 0, 0, 0);
  ExpectTotals("2--2", 1, 2, 0, 1, 0);  // the second piece is the empty one
  ExpectTotals("2-2-7", 1, 2, 2, 1, 1); // a third piece is ignored
  ExpectTotals("..2..-..", 1, 2, 0, 1, 0);
  ExpectTotals("%s%n%d-%x", 1, 0, 0, 0, 0);
  ExpectTotals("+2-+1", 1, 2, 1, 1, 1);

  const int kMax = IPluginProcessor::kMaxChannels;
  ExpectTotals("99999999999999999999999-3", 1, kMax, 3, 1, 1);
  ExpectTotals("2147483647-2147483648", 1, kMax, kMax, 1, 1);
  ExpectTotals("200.200.200-1", 1, kMax, 1, 3, 1);

  std::string many;
  for (int i = 0; i < 20000; ++i)
    many += "255.";
  many += "-1 ";
  for (int i = 0; i < 20000; ++i)
    many += "*.";
  ExpectTotals(many.c_str(), 2, kMax, 1, 20000, 1);

  // A processor built from such text has bounded channel lists.
  TestProcessor huge("4000000000-4000000000 1.1.1-2");
  EXPECT_EQ(huge.MaxNChannels(ERoute::kInput), kMax);
  EXPECT_EQ(huge.MaxNChannels(ERoute::kOutput), kMax);
  EXPECT_EQ(huge.GetChannelData(ERoute::kOutput, kMax), nullptr);
  EXPECT_TRUE(huge.SetBlockSize(16));

  TestProcessor none("");
  EXPECT_EQ(none.NIOConfigs(), 0);
  EXPECT_EQ(none.MaxNChannels(ERoute::kInput), 0);
  EXPECT_FALSE(none.LegalIO(-1, -1));
  none.Prepare(8);
  none.AttachBuffers(ERoute::kInput, 0, 2, static_cast<double**>(nullptr), 8);
  none.ProcessBuffers(0.0, 100);
  none.ProcessBuffers(0.0f, 100);

  Config nullText;
  nullText.channelIOStr = nullptr;
  struct P : IPluginProcessor
  {
    using IPluginProcessor::IPluginProcessor;
    bool SendMidiMsg(const IMidiMsg&) override { return false; }
  } fromNull(nullText);
  EXPECT_EQ(fromNull.NIOConfigs(), 0);
  EXPECT_EQ(fromNull.MaxNChannels(ERoute::kOutput), 0);
}

TEST(ChannelIOParsing, LegalIOAndBusQueries)
{
  TestProcessor p("1-1 2-2 2.2-4");
  EXPECT_TRUE(p.LegalIO(1, -1));
  EXPECT_TRUE(p.LegalIO(2, 2));
  EXPECT_FALSE(p.LegalIO(1, 2));
  EXPECT_TRUE(p.LegalIO(4, 4));
  EXPECT_TRUE(p.LegalIO(-1, 4));
  EXPECT_FALSE(p.LegalIO(-1, 3));
  EXPECT_TRUE(p.LegalIO(-1, -1));
  EXPECT_EQ(p.NIOConfigs(), 3);
  EXPECT_EQ(p.GetIOConfig(3), nullptr);
  EXPECT_EQ(p.MaxNChannels(ERoute::kInput), 4);
  EXPECT_EQ(p.MaxNChannels(ERoute::kOutput), 4);
  EXPECT_EQ(p.MaxNBuses(ERoute::kInput), 2);
  EXPECT_EQ(p.MaxNChannelsForBus(ERoute::kInput, 0), 2);
  EXPECT_EQ(p.MaxNChannelsForBus(ERoute::kInput, 1), 2);
  EXPECT_EQ(p.MaxNChannelsForBus(ERoute::kOutput, 0), 4);
  EXPECT_EQ(p.MaxNChannelsForBus(ERoute::kOutput, 1), 0);

  TestProcessor wild("*-*");
  EXPECT_TRUE(wild.LegalIO(-1, -1));
  EXPECT_FALSE(wild.LegalIO(0, 0)); // the sums are -64
}

// --- Construction and settings --------------------------------------------------------------------

TEST(ProcessorSettings, ConstructionDefaultsAndSimpleSettings)
{
  const Config config{.channelIOStr = "2-2", .latency = 12, .plugDoesMidiIn = true, .plugDoesMPE = true, .plugType = 1};
  struct P : IPluginProcessor
  {
    using IPluginProcessor::IPluginProcessor;
    bool SendMidiMsg(const IMidiMsg&) override { return false; }
  } p(config);

  EXPECT_EQ(p.GetPlugType(), 1);
  EXPECT_TRUE(p.DoesMidiIn());
  EXPECT_FALSE(p.DoesMidiOut());
  EXPECT_TRUE(p.DoesMPE());
  EXPECT_EQ(p.GetLatency(), 12);
  EXPECT_EQ(p.GetSampleRate(), 44100.0);
  EXPECT_EQ(p.GetBlockSize(), 0);
  EXPECT_EQ(p.GetTailSize(), 0);
  EXPECT_FALSE(p.GetRenderingOffline());
  EXPECT_FALSE(p.HasLatencyLine());

  const plug::ITimeInfo& t = p.GetTimeInfo();
  EXPECT_EQ(t.mTempo, 120.0);
  EXPECT_EQ(t.mSamplePos, -1.0);
  EXPECT_EQ(t.mPPQPos, -1.0);
  EXPECT_EQ(t.mLastBar, -1.0);
  EXPECT_EQ(t.mCycleStart, -1.0);
  EXPECT_EQ(t.mCycleEnd, -1.0);
  EXPECT_EQ(t.mNumerator, 4);
  EXPECT_EQ(t.mDenominator, 4);
  EXPECT_FALSE(t.mTransportIsRunning);
  EXPECT_FALSE(t.mTransportLoopEnabled);

  for (ERoute d : {ERoute::kInput, ERoute::kOutput})
  {
    EXPECT_EQ(p.NChannelsConnected(d), 0);
    for (int i = 0; i < 2; ++i)
    {
      const auto* channel = p.GetChannelData(d, i);
      ASSERT_NE(channel, nullptr);
      EXPECT_FALSE(channel->mConnected);
      EXPECT_TRUE(channel->mScratchBuf.empty());
      EXPECT_TRUE(channel->mLabel.empty());
      EXPECT_EQ(channel->mIncoming, nullptr);
    }
  }

  EXPECT_DOUBLE_EQ(p.GetSamplesPerBeat(), 22050.0);
  plug::ITimeInfo info;
  info.mTempo = 0.0;
  p.SetTimeInfo(info);
  EXPECT_EQ(p.GetSamplesPerBeat(), 0.0);
  info.mTempo = 90.0;
  p.SetTimeInfo(info);
  EXPECT_TRUE(p.SetSampleRate(48000.0));
  EXPECT_DOUBLE_EQ(p.GetSamplesPerBeat(), 32000.0);
  EXPECT_FALSE(p.SetSampleRate(0.0));
  EXPECT_FALSE(p.SetSampleRate(-44100.0));
  EXPECT_FALSE(p.SetSampleRate(std::nan("")));
  EXPECT_FALSE(p.SetSampleRate(INFINITY));
  EXPECT_EQ(p.GetSampleRate(), 48000.0);
}

TEST(ProcessorSettings, ChannelLabelsAreFormattedSafely)
{
  TestProcessor p("2-2");
  p.SetChannelLabel(ERoute::kInput, 0, "In %d");
  p.SetChannelLabel(ERoute::kInput, 1, "In %i", true);
  p.SetChannelLabel(ERoute::kOutput, 0, "%s%n 100%% %d %d");
  p.SetChannelLabel(ERoute::kOutput, 5, "Nope %d");
  p.SetChannelLabel(ERoute::kOutput, 1, nullptr);
  EXPECT_STREQ(p.GetChannelLabel(ERoute::kInput, 0), "In 1");
  EXPECT_STREQ(p.GetChannelLabel(ERoute::kInput, 1), "In 1");
  EXPECT_STREQ(p.GetChannelLabel(ERoute::kOutput, 0), "%s%n 100% 1 %d");
  EXPECT_STREQ(p.GetChannelLabel(ERoute::kOutput, 1), "");
  EXPECT_STREQ(p.GetChannelLabel(ERoute::kOutput, 5), "");
}

// --- Connections and block size ------------------------------------------------------------------

TEST(ProcessorChannels, ConnectionsPointDisconnectedChannelsAtTheirScratch)
{
  TestProcessor p("2-2");
  p.Prepare(32);
  EXPECT_EQ(p.NChannelsConnected(ERoute::kOutput), 2);

  HostBuffers<double> out(2, 32);
  p.AttachBuffers(ERoute::kOutput, 0, 2, out.Pointers(), 32);
  EXPECT_EQ(p.Slot(ERoute::kOutput, 1), out.pointers[1]);

  p.SetChannelConnections(ERoute::kOutput, 0, 2, false);
  EXPECT_EQ(p.NChannelsConnected(ERoute::kOutput), 0);
  for (int i = 0; i < 2; ++i)
  {
    EXPECT_EQ(p.Slot(ERoute::kOutput, i), p.Scratch(ERoute::kOutput, i));
    EXPECT_EQ(p.GetChannelData(ERoute::kOutput, i)->mIncoming, nullptr);
  }

  // Ranges beyond the channels are cut, not followed.
  p.SetChannelConnections(ERoute::kInput, -5, 6, false);
  EXPECT_FALSE(p.IsChannelConnected(ERoute::kInput, 0));
  EXPECT_TRUE(p.IsChannelConnected(ERoute::kInput, 1));
  p.SetChannelConnections(ERoute::kInput, 1, 2147483647, false);
  p.SetChannelConnections(ERoute::kInput, 2147483647, 2147483647, true);
  p.SetChannelConnections(ERoute::kInput, 0, -3, true);
  EXPECT_EQ(p.NChannelsConnected(ERoute::kInput), 0);
  EXPECT_FALSE(p.IsChannelConnected(ERoute::kInput, 7));

  // A channel that was in use and is then disconnected reads silence, not its last block.
  TestProcessor q("2-2");
  q.Prepare(8);
  HostBuffers<float> in(2, 8, 0.3);
  q.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 8);
  EXPECT_NE(q.Scratch(ERoute::kInput, 1)[3], 0.0);
  q.SetChannelConnections(ERoute::kInput, 1, 1, false);
  for (int s = 0; s < 8; ++s)
    EXPECT_EQ(q.Scratch(ERoute::kInput, 1)[s], 0.0);
}

TEST(ProcessorChannels, LimitToStereoIO)
{
  TestProcessor p("4-4");
  p.SetChannelConnections(ERoute::kInput, 0, 4, true);
  p.LimitToStereoIO();
  EXPECT_TRUE(p.IsChannelConnected(ERoute::kInput, 1));
  EXPECT_FALSE(p.IsChannelConnected(ERoute::kInput, 2));
  EXPECT_FALSE(p.IsChannelConnected(ERoute::kInput, 3));
  EXPECT_FALSE(p.IsChannelConnected(ERoute::kOutput, 1));
  EXPECT_TRUE(p.IsChannelConnected(ERoute::kOutput, 2));
  EXPECT_TRUE(p.IsChannelConnected(ERoute::kOutput, 3));
}

TEST(ProcessorChannels, BlockSizeResizesAndClearsOnlyOnChange)
{
  TestProcessor p("2-2");
  p.Prepare(16);
  ASSERT_EQ(p.GetChannelData(ERoute::kInput, 0)->mScratchBuf.size(), 16u);

  HostBuffers<float> in(2, 16, 0.7);
  p.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 16);
  const double converted = p.Scratch(ERoute::kInput, 0)[5];
  EXPECT_EQ(converted, static_cast<double>(in.data[0][5]));

  EXPECT_TRUE(p.SetBlockSize(16));
  EXPECT_EQ(p.Scratch(ERoute::kInput, 0)[5], converted);

  EXPECT_TRUE(p.SetBlockSize(24));
  EXPECT_EQ(p.GetBlockSize(), 24);
  for (ERoute d : {ERoute::kInput, ERoute::kOutput})
    for (int i = 0; i < 2; ++i)
    {
      const auto* channel = p.GetChannelData(d, i);
      EXPECT_EQ(channel->mScratchBuf.size(), 24u);
      for (double v : channel->mScratchBuf)
        EXPECT_EQ(v, 0.0);
      // No slot is left pointing at the freed buffer.
      EXPECT_EQ(*channel->mData, channel->mScratchBuf.data());
    }

  EXPECT_FALSE(p.SetBlockSize(-1));
  EXPECT_EQ(p.GetBlockSize(), 24);
  EXPECT_TRUE(p.SetBlockSize(1 << 30));
  EXPECT_EQ(p.GetBlockSize(), IPluginProcessor::kMaxBlockSize);
  EXPECT_TRUE(p.SetBlockSize(0));
  EXPECT_TRUE(p.GetChannelData(ERoute::kOutput, 1)->mScratchBuf.empty());
}

// --- Attachment and conversion -------------------------------------------------------------------

TEST(ProcessorBuffers, AttachmentSkipsUnconnectedChannelsAndToleratesNulls)
{
  TestProcessor p("2-2");
  p.SetBlockSize(8);
  p.SetChannelConnections(ERoute::kInput, 1, 1, true);
  HostBuffers<double> in(2, 8, 0.2);
  p.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 8);
  EXPECT_EQ(p.Slot(ERoute::kInput, 1), in.pointers[0]);
  EXPECT_EQ(p.Slot(ERoute::kInput, 0), p.Scratch(ERoute::kInput, 0));

  HostBuffers<float> inF(2, 8, 0.2);
  p.AttachBuffers(ERoute::kInput, 0, 2, inF.Pointers(), 8);
  EXPECT_EQ(p.Slot(ERoute::kInput, 1), p.Scratch(ERoute::kInput, 1));
  EXPECT_EQ(p.Scratch(ERoute::kInput, 1)[4], static_cast<double>(inF.data[0][4]));
  EXPECT_EQ(p.Scratch(ERoute::kInput, 0)[4], 0.0);

  // Null arrays and null entries: the channel stays on its scratch buffer, inputs read silence.
  TestProcessor q("2-2");
  q.Prepare(8);
  q.AttachBuffers(ERoute::kInput, 0, 2, static_cast<double**>(nullptr), 8);
  q.AttachBuffers(ERoute::kOutput, 0, 2, static_cast<float**>(nullptr), 8);
  q.ProcessBuffers(0.0f, 8);
  q.ProcessBuffers(0.0f, 100);
  q.ProcessBuffersAccumulating(100);
  q.AttachBuffers(ERoute::kInput, 0, 2, static_cast<float**>(nullptr), 100);
  q.AttachBuffers(ERoute::kOutput, 0, 2, static_cast<double**>(nullptr), 100);
  q.ProcessBuffers(0.0, 100);

  HostBuffers<double> out(2, 8);
  double* partial[2] = {nullptr, in.pointers[1]};
  q.AttachBuffers(ERoute::kInput, 0, 2, partial, 8);
  q.AttachBuffers(ERoute::kOutput, 0, 2, out.Pointers(), 8);
  q.ProcessBuffers(0.0, 8);
  for (int s = 0; s < 8; ++s)
  {
    EXPECT_EQ(out.data[0][s], 0.0);
    EXPECT_EQ(out.data[1][s], in.data[1][s]);
  }

  // Ranges outside the channels and negative frame counts are harmless.
  q.AttachBuffers(ERoute::kInput, -3, 100, in.Pointers(), -5);
  q.AttachBuffers(ERoute::kInput, 7, 2, in.Pointers(), 8);
  q.ProcessBuffers(0.0f, -5);
  q.ProcessBuffers(0.0, -5);
}

TEST(ProcessorBuffers, BaseBlockCopiesInputsAndZeroesExtraOutputs)
{
  TestProcessor p("2-4");
  p.Prepare(16);
  HostBuffers<double> in(2, 16, 0.4);
  HostBuffers<double> out(4, 16, 0.9); // stale content that must be replaced
  p.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 16);
  p.AttachBuffers(ERoute::kOutput, 0, 4, out.Pointers(), 16);
  p.ProcessBuffers(0.0, 16);
  for (int s = 0; s < 16; ++s)
  {
    EXPECT_EQ(out.data[0][s], in.data[0][s]);
    EXPECT_EQ(out.data[1][s], in.data[1][s]);
    EXPECT_EQ(out.data[2][s], 0.0);
    EXPECT_EQ(out.data[3][s], 0.0);
  }

  // In place: the host hands the same buffers for both directions.
  TestProcessor q("2-2");
  q.Prepare(16);
  HostBuffers<double> io(2, 16, 0.4);
  q.AttachBuffers(ERoute::kInput, 0, 2, io.Pointers(), 16);
  q.AttachBuffers(ERoute::kOutput, 0, 2, io.Pointers(), 16);
  q.ProcessBuffers(0.0, 16);
  EXPECT_EQ(io.data, in.data);
}

TEST(ProcessorBuffers, SinglePrecisionReplacesOrAccumulates)
{
  TestProcessor p("2-2", true);
  p.Prepare(32);
  HostBuffers<float> in(2, 32, 0.15);
  HostBuffers<float> out(2, 32, 0.6);
  const auto before = out.data;

  p.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 32);
  p.AttachBuffers(ERoute::kOutput, 0, 2, out.Pointers(), 32);
  p.ProcessBuffers(0.0f, 32);
  std::vector<std::vector<float>> replaced = out.data;

  TestProcessor q("2-2", true);
  q.Prepare(32);
  out.data = before;
  q.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 32);
  q.AttachBuffers(ERoute::kOutput, 0, 2, out.Pointers(), 32);
  q.ProcessBuffersAccumulating(32);

  double energy = 0.0;
  for (int c = 0; c < 2; ++c)
    for (int s = 0; s < 32; ++s)
    {
      EXPECT_EQ(out.data[c][s], before[c][s] + replaced[c][s]);
      energy += replaced[c][s] * replaced[c][s];
    }
  EXPECT_GT(energy, 0.0);

  // Base block in single precision is a bit-exact copy, except that what is NaN, infinite or
  // subnormal as a float reaches the host's buffers as 0, added or not.
  TestProcessor copy("2-2");
  copy.Prepare(32);
  HostBuffers<float> outCopy(2, 32);
  copy.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 32);
  copy.AttachBuffers(ERoute::kOutput, 0, 2, outCopy.Pointers(), 32);
  copy.ProcessBuffers(0.0f, 32);
  EXPECT_EQ(outCopy.data, in.data);

  const float specials[4] = {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::denorm_min(), -0x1p-127f};
  std::copy(specials, specials + 4, in.data[1].begin());
  for (bool accumulate : {false, true})
  {
    outCopy.data.assign(2, std::vector<float>(32, 0.25f));
    copy.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 32);
    copy.AttachBuffers(ERoute::kOutput, 0, 2, outCopy.Pointers(), 32);
    accumulate ? copy.ProcessBuffersAccumulating(32) : copy.ProcessBuffers(0.0f, 32);
    for (int s = 0; s < 4; ++s)
      EXPECT_EQ(outCopy.data[1][s], accumulate ? 0.25f : 0.0f) << s;
    EXPECT_EQ(outCopy.data[1][4], in.data[1][4] + (accumulate ? 0.25f : 0.0f));
  }
}

// A host that passes more frames than the block size it announced: the call is processed in pieces no
// longer than the block size, and sounds exactly like the same audio processed in one piece.
TEST(ProcessorBuffers, CallsLongerThanTheBlockSizeAreProcessedInPieces)
{
  constexpr int kBlock = 64;
  constexpr int kFrames = 3 * kBlock + 7;

  struct Run
  {
    std::vector<std::vector<float>> out;
    int calls;
    int largest;
  };
  auto runSingle = [&](int blockSize, bool accumulate, bool inPlace) {
    TestProcessor p("2-2", true);
    p.Prepare(blockSize);
    HostBuffers<float> in(2, kFrames, 0.05);
    HostBuffers<float> out(2, kFrames, 0.3);
    HostBuffers<float>& target = inPlace ? in : out;
    p.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), kFrames);
    p.AttachBuffers(ERoute::kOutput, 0, 2, target.Pointers(), kFrames);
    if (accumulate)
      p.ProcessBuffersAccumulating(kFrames);
    else
      p.ProcessBuffers(0.0f, kFrames);
    // The slots are back on the buffers of the attachment.
    EXPECT_EQ(p.Slot(ERoute::kOutput, 0), p.Scratch(ERoute::kOutput, 0));
    return Run{target.data, p.mCalls, p.mLargestCall};
  };

  for (bool accumulate : {false, true})
    for (bool inPlace : {false, true})
    {
      SCOPED_TRACE(testing::Message() << "accumulate " << accumulate << " in place " << inPlace);
      const Run whole = runSingle(kFrames, accumulate, inPlace);
      const Run pieces = runSingle(kBlock, accumulate, inPlace);
      EXPECT_EQ(whole.calls, 1);
      EXPECT_EQ(pieces.calls, 4);
      EXPECT_EQ(pieces.largest, kBlock);
      EXPECT_EQ(pieces.out, whole.out);
    }

  // Double precision with a disconnected channel also goes through a scratch buffer.
  auto runDouble = [&](int blockSize) {
    TestProcessor p("2-2", true);
    p.Prepare(blockSize);
    p.SetChannelConnections(ERoute::kInput, 1, 1, false);
    HostBuffers<double> in(1, kFrames, 0.05);
    HostBuffers<double> out(2, kFrames);
    p.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), kFrames);
    p.AttachBuffers(ERoute::kOutput, 0, 2, out.Pointers(), kFrames);
    p.ProcessBuffers(0.0, kFrames);
    EXPECT_LE(p.mLargestCall, blockSize);
    EXPECT_EQ(p.Slot(ERoute::kOutput, 1), out.pointers[1]);
    return out.data;
  };
  EXPECT_EQ(runDouble(kBlock), runDouble(kFrames));

  // With every channel on host double buffers nothing needs cutting.
  TestProcessor direct("2-2", true);
  direct.Prepare(kBlock);
  HostBuffers<double> in(2, kFrames, 0.05), out(2, kFrames);
  direct.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), kFrames);
  direct.AttachBuffers(ERoute::kOutput, 0, 2, out.Pointers(), kFrames);
  direct.ProcessBuffers(0.0, kFrames);
  EXPECT_EQ(direct.mCalls, 1);
  EXPECT_EQ(direct.mLargestCall, kFrames);
}

TEST(ProcessorBuffers, WithoutABlockSizeLongCallsAreSilencedNotProcessed)
{
  TestProcessor p("2-2", true);
  p.SetChannelConnections(ERoute::kInput, 0, 2, true);
  p.SetChannelConnections(ERoute::kOutput, 0, 2, true);
  HostBuffers<float> in(2, 40, 0.1), out(2, 40, 0.5);
  const auto before = out.data;
  p.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 40);
  p.AttachBuffers(ERoute::kOutput, 0, 2, out.Pointers(), 40);
  p.ProcessBuffersAccumulating(40);
  EXPECT_EQ(out.data, before);
  p.ProcessBuffers(0.0f, 40);
  EXPECT_EQ(out.data, std::vector<std::vector<float>>(2, std::vector<float>(40, 0.0f)));
  EXPECT_EQ(p.mCalls, 0);
  p.ProcessBuffers(0.0f, 0);
  EXPECT_EQ(p.mCalls, 1);
  EXPECT_EQ(p.mLargestCall, 0);
}

// --- MIDI, latency --------------------------------------------------------------------------------

TEST(ProcessorMidi, MessagesArePassedOnAndBatchResultsCombined)
{
  TestProcessor p;
  p.ProcessMidiMsg(IMidiMsg(5, 0x90, 60, 100));
  ASSERT_EQ(p.mSent.size(), 1u);
  EXPECT_EQ(p.mSent[0].mOffset, 5);
  EXPECT_EQ(p.mSent[0].mStatus, 0x90);
  EXPECT_EQ(p.mSent[0].mData1, 60);
  EXPECT_EQ(p.mSent[0].mData2, 100);

  std::vector<IMidiMsg> batch = {IMidiMsg(0, 0x80, 1, 2), IMidiMsg(1, 0xB0, 7, 3)};
  EXPECT_TRUE(p.SendMidiMsgs(batch));
  p.mHostTakesMidi = false;
  EXPECT_FALSE(p.SendMidiMsgs(batch));
  EXPECT_EQ(p.mSent.size(), 5u); // a refusal does not stop the rest
  std::vector<IMidiMsg> empty;
  EXPECT_TRUE(p.SendMidiMsgs(empty));

  const std::uint8_t bytes[] = {0xF0, 0x7E, 0xF7};
  ISysEx sysex(3, bytes, 3);
  EXPECT_FALSE(p.SendSysEx(sysex));
  p.ProcessSysEx(sysex);
}

TEST(ProcessorLatency, PassThroughIsDelayedByTheLatency)
{
  TestProcessor p("2-2");
  p.Prepare(8);
  p.SetLatency(-4);
  EXPECT_EQ(p.GetLatency(), 0);
  p.SetLatency(3);
  EXPECT_EQ(p.GetLatency(), 3);
  EXPECT_FALSE(p.HasLatencyLine());
  p.CreateLatencyLine();
  ASSERT_TRUE(p.HasLatencyLine());

  // 20 frames through an 8-frame block size, in place, in single precision.
  HostBuffers<float> io(2, 20);
  for (int s = 0; s < 20; ++s)
  {
    io.data[0][s] = static_cast<float>(s + 1);
    io.data[1][s] = static_cast<float>(-(s + 1));
  }
  p.AttachBuffers(ERoute::kInput, 0, 2, io.Pointers(), 20);
  p.AttachBuffers(ERoute::kOutput, 0, 2, io.Pointers(), 20);
  p.PassThroughBuffers(0.0f, 20);
  for (int s = 0; s < 20; ++s)
  {
    EXPECT_EQ(io.data[0][s], s < 3 ? 0.0f : static_cast<float>(s - 2)) << s;
    EXPECT_EQ(io.data[1][s], s < 3 ? 0.0f : static_cast<float>(-(s - 2))) << s;
  }

  // A new latency clears and restarts the line.
  p.SetLatency(2);
  HostBuffers<double> in(2, 5), out(2, 5, 0.3);
  for (int s = 0; s < 5; ++s)
    in.data[0][s] = in.data[1][s] = s + 1.0;
  p.AttachBuffers(ERoute::kInput, 0, 2, in.Pointers(), 5);
  p.AttachBuffers(ERoute::kOutput, 0, 2, out.Pointers(), 5);
  p.PassThroughBuffers(0.0, 5);
  EXPECT_EQ(out.data[0], (std::vector<double>{0, 0, 1, 2, 3}));
  EXPECT_EQ(out.data[1], (std::vector<double>{0, 0, 1, 2, 3}));

  // Without latency the pass-through is a copy; extra outputs are zeroed.
  TestProcessor q("1-2");
  q.Prepare(8);
  HostBuffers<double> in1(1, 8, 0.3), out2(2, 8, 0.8);
  q.AttachBuffers(ERoute::kInput, 0, 1, in1.Pointers(), 8);
  q.AttachBuffers(ERoute::kOutput, 0, 2, out2.Pointers(), 8);
  q.PassThroughBuffers(0.0, 8);
  EXPECT_EQ(out2.data[0], in1.data[0]);
  EXPECT_EQ(out2.data[1], std::vector<double>(8, 0.0));
}

TEST(ProcessorLatency, LatencyLineAcrossCalls)
{
  plug::ILatencyLine line(1, 4);
  std::vector<double> a = {1, 2, 3}, b = {4, 5, 6, 7, 8};
  double* pa = a.data();
  double* pb = b.data();
  line.Process(&pa, &pa, 1, 3);
  line.Process(&pb, &pb, 1, 5);
  EXPECT_EQ(a, (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(b, (std::vector<double>{0, 1, 2, 3, 4}));
  line.Clear();
  std::vector<double> c = {9, 9};
  double* pc = c.data();
  line.Process(&pc, &pc, 3, 2); // more channels asked than the line has
  EXPECT_EQ(c, (std::vector<double>{0, 0}));
  line.Process(nullptr, &pc, 1, 2);
  line.Resize(-1, -1);
  EXPECT_EQ(line.GetDelay(), 0);
  line.Process(&pc, &pc, 1, 2);
}
