#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "plug/IPluginAPIBase.h"

using namespace plug;

namespace {

std::atomic<int64_t> gFakeNowMs{5000};
int64_t FakeClock()
{
  return gFakeNowMs.load();
}

Config MakeConfig(bool hasUI)
{
  return Config{.nParams = 4,
                .nPresets = 2,
                .channelIOStr = "2-2",
                .pluginName = "QuillonMini",
                .mfrName = "Brannock Sound",
                .vendorVersion = PackVersion(1, 0, 4),
                .uniqueID = MakeFourCC('Q', 'L', 'M', 'N'),
                .mfrID = MakeFourCC('B', 'R', 'N', 'K'),
                .plugHasUI = hasUI,
                .plugWidth = 340,
                .plugHeight = 160,
                .bundleID = "com.BrannockSound.vst.QuillonMini"};
}

std::string Fmt(const char* format, double a = 0, double b = 0, double c = 0)
{
  char text[128];
  std::snprintf(text, sizeof(text), format, a, b, c);
  return text;
}

// Records, in order, every call that reaches the host side, the processing side and the editor.
class RecordingPlugin : public IPluginAPIBase
{
public:
  using IPluginAPIBase::OnParamChange;

  explicit RecordingPlugin(bool hasUI)
    : IPluginAPIBase(MakeConfig(hasUI), kAPIVST2)
  {
    GetParam(0)->InitDouble("Decay", 3.2, 0.1, 100.0, 0.1, "s", 0, "", IParam::ShapeExp(), IParam::kUnitSeconds);
    GetParam(1)->InitPercentage("Width", 150.0, 0.0, 200.0);
    GetParam(2)->InitDouble("Private", 0.0, -100.0, 100.0, 0.1, "", IParam::kFlagHostPrivate);
    GetParam(3)->InitPercentage("Mix", 21.0, 0.0, 100.0);
  }

  std::vector<std::string> log;

  void BeginInformHostOfParamChange(int idx) override { log.push_back(Fmt("begin %g", idx)); }
  void EndInformHostOfParamChange(int idx) override { log.push_back(Fmt("end %g", idx)); }
  void InformHostOfParamChange(int idx, double norm) override { log.push_back(Fmt("host %g %.4f", idx, norm)); }
  void OnParamChange(int idx, EParamSource source, int offset) override
  {
    log.push_back(Fmt("change %g src %g off %g", idx, source, offset));
  }
  void OnParamChangeUI(int idx, EParamSource source) override { log.push_back(Fmt("ui %g src %g", idx, source)); }
  void SendParameterValueFromDelegate(int idx, double value, bool normalized) override
  {
    log.push_back(Fmt("editor param %g %.4f %g", idx, value, normalized));
  }
  void SendMidiMsgFromDelegate(const IMidiMsg& msg) override
  {
    log.push_back(Fmt("editor midi %g %g", msg.mOffset, msg.mStatus));
  }
  void SendSysexMsgFromDelegate(const ISysEx& msg) override
  {
    log.push_back(Fmt("editor sysex %g %g %g", msg.mOffset, msg.mSize, msg.mSize > 0 ? msg.mData[0] : -1));
  }
  bool OnMessage(int msgTag, int ctrlTag, int dataSize, const void* data) override
  {
    log.push_back(Fmt("message %g %g %g", msgTag, ctrlTag, dataSize) + (data ? " data" : " null"));
    return true;
  }
  void OnIdle() override { log.push_back("idle"); }
  void HostSpecificInit() override { log.push_back(Fmt("host init %g", GetHost())); }
  void OnHostIdentified() override { log.push_back("identified"); }

  size_t QueuedForEditor() const
  {
    return mParamChangeFromProcessor.ElementsAvailable() + mMidiMsgsFromProcessor.ElementsAvailable() +
        mSysExDataFromProcessor.ElementsAvailable();
  }
  Timer* CurrentTimer() const { return mTimer.get(); }
};

class ApiBaseTimerTest : public ::testing::Test
{
protected:
  void SetUp() override { RunLoop::SetClock(&FakeClock); }
  void TearDown() override
  {
    RunLoop::SetClock(nullptr);
    EXPECT_EQ(RunLoop::NumRunningTimers(), 0);
  }
};

} // namespace

TEST(ApiBase, EditorGestureStoresValueTellsHostAndReachesOnParamChange)
{
  RecordingPlugin plugin(true);
  plugin.BeginInformHostOfParamChangeFromUI(1);
  plugin.SendParameterValueFromUI(1, 0.25);
  plugin.EndInformHostOfParamChangeFromUI(1);
  EXPECT_DOUBLE_EQ(plugin.GetParam(1)->GetValue(), 50.0);
  const std::vector<std::string> expected = {"begin 1", "host 1 0.2500", "change 1 src 3 off -1", "ui 1 src 3",
                                             "end 1"};
  EXPECT_EQ(plugin.log, expected);

  // Outside the list nothing happens.
  plugin.log.clear();
  plugin.SetParameterValue(4, 0.5);
  plugin.SetParameterValue(-1, 0.5);
  EXPECT_TRUE(plugin.log.empty());
}

TEST(ApiBase, HostPrivateParameterFromEditorChangesButHostIsNotTold)
{
  RecordingPlugin plugin(true);
  plugin.SendParameterValueFromUI(2, 0.75);
  EXPECT_DOUBLE_EQ(plugin.GetParam(2)->GetValue(), 50.0);
  const std::vector<std::string> expected = {"change 2 src 3 off -1", "ui 2 src 3"};
  EXPECT_EQ(plugin.log, expected);

  // And a host value for it never reaches the editor.
  plugin.log.clear();
  plugin.SendParameterValueFromAPI(2, 0.1, true);
  EXPECT_TRUE(plugin.log.empty());
}

TEST(ApiBase, HostValuesGoToTheEditorAsPlainValues)
{
  RecordingPlugin plugin(true);
  plugin.SendParameterValueFromAPI(1, 0.5, true);   // normalised 0.5 of 0..200 %
  plugin.SendParameterValueFromAPI(3, 42.0, false); // already plain
  plugin.SendParameterValueFromAPI(9, 0.5, true);   // not a parameter
  const std::vector<std::string> expected = {"editor param 1 100.0000 0", "editor param 3 42.0000 0"};
  EXPECT_EQ(plugin.log, expected);

  plugin.log.clear();
  plugin.GetParam(3)->SetValue(50.0);
  plugin.DirtyParametersFromUI();
  ASSERT_EQ(plugin.log.size(), 4u);
  EXPECT_EQ(plugin.log[0], Fmt("host 0 %.4f", plugin.GetParam(0)->GetNormalizedValue()));
  EXPECT_EQ(plugin.log[1], "host 1 0.7500");
  EXPECT_EQ(plugin.log[3], "host 3 0.5000");
}

TEST(ApiBase, EditorMessagesQueueForTheProcessingSide)
{
  RecordingPlugin plugin(true);
  for (int i = 0; i < kMidiMsgQueueSize + 3; ++i)
    plugin.SendMidiMsgFromUI(IMidiMsg(i, 0x90, 60, 100));
  IMidiMsg msg;
  for (int i = 0; i < kMidiMsgQueueSize; ++i)
  {
    ASSERT_TRUE(plugin.PopMidiMsgFromEditor(msg));
    EXPECT_EQ(msg.mOffset, i);
  }
  EXPECT_FALSE(plugin.PopMidiMsgFromEditor(msg)) << "a full ring must drop newer messages";

  // System exclusive is copied; an oversized, negative or dataless message is refused.
  std::vector<uint8_t> bytes(SysExData::kMaxDataSize + 1, 0x42);
  plugin.SendSysexMsgFromUI(ISysEx(1, bytes.data(), SysExData::kMaxDataSize + 1));
  plugin.SendSysexMsgFromUI(ISysEx(2, bytes.data(), -4));
  plugin.SendSysexMsgFromUI(ISysEx(3, nullptr, 4));
  plugin.SendSysexMsgFromUI(ISysEx(4, bytes.data(), 10));
  plugin.SendSysexMsgFromUI(ISysEx(5, nullptr, 0));
  bytes.assign(bytes.size(), 0x00); // the queued copy must not depend on the caller's buffer
  SysExData data;
  ASSERT_TRUE(plugin.PopSysExFromEditor(data));
  EXPECT_EQ(data.mOffset, 4);
  EXPECT_EQ(data.mSize, 10);
  EXPECT_EQ(data.mData[9], 0x42);
  EXPECT_EQ(data.mData[10], 0x00);
  ASSERT_TRUE(plugin.PopSysExFromEditor(data));
  EXPECT_EQ(data.mOffset, 5);
  EXPECT_EQ(data.mSize, 0);
  EXPECT_FALSE(plugin.PopSysExFromEditor(data));

  plugin.log.clear();
  int payload = 7;
  plugin.SendArbitraryMsgFromUI(11, 22, sizeof(payload), &payload);
  ASSERT_EQ(plugin.log.size(), 1u);
  EXPECT_EQ(plugin.log[0], "message 11 22 4 data");
}

TEST_F(ApiBaseTimerTest, TimerHandsProcessingSideDataToEditorInOrderThenIdles)
{
  RecordingPlugin plugin(true);
  const uint8_t dump[] = {0xF0, 0x7E, 0xF7};
  // Pushed interleaved; handed over grouped: parameters, then MIDI, then system exclusive.
  EXPECT_TRUE(plugin.QueueSysExForEditor(ISysEx(9, dump, 3)));
  EXPECT_TRUE(plugin.QueueMidiMsgForEditor(IMidiMsg(5, 0x90)));
  EXPECT_TRUE(plugin.QueueParamChangeForEditor(1, 120.0));
  EXPECT_TRUE(plugin.QueueMidiMsgForEditor(IMidiMsg(6, 0x80)));
  EXPECT_TRUE(plugin.QueueParamChangeForEditor(3, 33.0));
  EXPECT_FALSE(plugin.QueueParamChangeForEditor(4, 1.0));
  EXPECT_FALSE(plugin.QueueSysExForEditor(ISysEx(9, nullptr, 3)));

  plugin.log.clear();
  plugin.CreateTimer();
  ASSERT_NE(plugin.CurrentTimer(), nullptr);
  EXPECT_EQ(plugin.CurrentTimer()->GetPeriodMs(), 20u);
  RunLoop::Pump();
  const std::vector<std::string> expected = {"editor param 1 120.0000 0", "editor param 3 33.0000 0",
                                             "editor midi 5 144",         "editor midi 6 128",
                                             "editor sysex 9 3 240",      "idle"};
  EXPECT_EQ(plugin.log, expected);
  EXPECT_EQ(plugin.QueuedForEditor(), 0u);

  // A full ring drops what does not fit; what fitted all arrives at the next tick.
  for (int i = 0; i < kParamChangeQueueSize; ++i)
    EXPECT_TRUE(plugin.QueueParamChangeForEditor(0, 1.0));
  EXPECT_FALSE(plugin.QueueParamChangeForEditor(0, 1.0));
  plugin.log.clear();
  gFakeNowMs += 19;
  RunLoop::Pump();
  EXPECT_TRUE(plugin.log.empty()) << "ticked before 20 ms";
  gFakeNowMs += 1;
  RunLoop::Pump();
  EXPECT_EQ(plugin.log.size(), static_cast<size_t>(kParamChangeQueueSize) + 1);
  EXPECT_EQ(plugin.log.back(), "idle");
}

TEST_F(ApiBaseTimerTest, WithoutEditorTimerStillIdlesEvery20msAndLeavesQueuesAlone)
{
  RecordingPlugin plugin(false);
  EXPECT_TRUE(plugin.QueueParamChangeForEditor(0, 1.0));
  EXPECT_TRUE(plugin.QueueMidiMsgForEditor(IMidiMsg(0, 0x90)));
  const uint8_t dump[] = {0xF0, 0xF7};
  EXPECT_TRUE(plugin.QueueSysExForEditor(ISysEx(0, dump, 2)));
  plugin.CreateTimer();
  plugin.log.clear();
  for (int tick = 0; tick < 3; ++tick)
  {
    RunLoop::Pump();
    gFakeNowMs += 20;
  }
  const std::vector<std::string> expected = {"idle", "idle", "idle"};
  EXPECT_EQ(plugin.log, expected);
  EXPECT_EQ(plugin.QueuedForEditor(), 3u);
}

TEST_F(ApiBaseTimerTest, CreateTimerReplacesTheOldOneAndDestructionStopsIt)
{
  auto plugin = std::make_unique<RecordingPlugin>(true);
  plugin->CreateTimer();
  plugin->CreateTimer();
  EXPECT_EQ(RunLoop::NumRunningTimers(), 1);
  plugin->log.clear();
  RunLoop::Pump();
  EXPECT_EQ(plugin->log, std::vector<std::string>{"idle"}) << "the old timer must not fire too";

  plugin.reset();
  EXPECT_EQ(RunLoop::NumRunningTimers(), 0);
  gFakeNowMs += 100;
  EXPECT_EQ(RunLoop::Pump(), 0);
}

TEST(ApiBase, SetHostIdentifiesAndReportsVersions)
{
  RecordingPlugin plugin(true);
  EXPECT_EQ(plugin.GetHost(), kHostUninit);
  EXPECT_EQ(plugin.GetHostVersion(false), 0);
  plugin.SetHost("WaveLab Elements 11", PackVersion(11, 2, 3));
  EXPECT_EQ(plugin.GetHost(), kHostWaveLabElements);
  EXPECT_EQ(plugin.GetHostName(), "wavelab elements 11");
  const std::vector<std::string> expected = {"host init 32", "identified"};
  EXPECT_EQ(plugin.log, expected);
  EXPECT_EQ(plugin.GetHostVersion(true), 110203);
  EXPECT_EQ(plugin.GetHostVersion(false), PackVersion(11, 2, 3));
  std::string text;
  plugin.GetHostVersionStr(text);
  EXPECT_EQ(text, "v11.2.3");

  plugin.SetHost(nullptr, 0);
  EXPECT_EQ(plugin.GetHost(), kHostUnknown);

  EXPECT_EQ(plugin.GetPluginVersion(false), 0x00010004);
  EXPECT_EQ(plugin.GetPluginVersion(true), 10004);
  plugin.GetPluginVersionStr(text);
  EXPECT_EQ(text, "v1.0.4");
  EXPECT_STREQ(plugin.GetAPIStr(), "VST2");
  EXPECT_STREQ(plugin.GetArchStr(), "x64");
  plugin.GetBuildInfoStr(text);
  const std::string prefix = "QuillonMini version v1.0.4 VST2 (x64), built on ";
  EXPECT_EQ(text.substr(0, prefix.size()), prefix);
  ASSERT_GE(text.size(), prefix.size() + 11 + 10);
  EXPECT_EQ(text.substr(text.size() - 10, 4), " at ");
  EXPECT_EQ(text.back(), ' ');

  EXPECT_STREQ(plugin.GetPluginName(), "QuillonMini");
  EXPECT_STREQ(plugin.GetMfrName(), "Brannock Sound");
  EXPECT_STREQ(plugin.GetProductName(), "");
  EXPECT_EQ(plugin.GetUniqueID(), MakeFourCC('Q', 'L', 'M', 'N'));
  EXPECT_TRUE(plugin.HasUI());
  EXPECT_EQ(plugin.GetEditorWidth(), 340);
}

TEST(ApiBase, CompareStateMatchesInSinglePrecision)
{
  RecordingPlugin plugin(true);
  double state[6] = {-1.0, -1.0};
  for (int i = 0; i < 4; ++i)
    state[2 + i] = plugin.GetParam(i)->GetValue();
  const auto* bytes = reinterpret_cast<const uint8_t*>(state);
  EXPECT_TRUE(plugin.CompareState(bytes, 2));
  EXPECT_FALSE(plugin.CompareState(bytes, 0));
  state[3] += 1e-9; // lost in single precision
  EXPECT_TRUE(plugin.CompareState(bytes, 2));
  state[4] += 1e-3;
  EXPECT_FALSE(plugin.CompareState(bytes, 2));
  EXPECT_FALSE(plugin.CompareState(nullptr, 0));
  EXPECT_FALSE(plugin.CompareState(bytes, -1));
}

TEST(ApiBase, BaseResultsOfHostHooks)
{
  RecordingPlugin plugin(true);
  std::vector<int> important = {99};
  plugin.OnHostRequestingImportantParameters(2, important);
  EXPECT_EQ(important, (std::vector<int>{99, 0, 1}));
  important.clear();
  plugin.OnHostRequestingImportantParameters(4, important);
  plugin.OnHostRequestingImportantParameters(5, important);
  EXPECT_TRUE(important.empty());

  EXPECT_FALSE(plugin.OnHostRequestingAboutBox());
  EXPECT_FALSE(plugin.OnHostRequestingProductHelp());
  EXPECT_TRUE(plugin.OnHostRequestingSupportedViewConfiguration(100, 100));
  char noteText[32] = "stale";
  EXPECT_FALSE(plugin.GetMidiNoteText(60, noteText));
  EXPECT_STREQ(noteText, "");
  EXPECT_FALSE(plugin.GetMidiNoteText(60, nullptr));
  EXPECT_EQ(plugin.GetAAXViewInterface(), nullptr);

  EXPECT_FALSE(plugin.EditorResizeFromUI(400, 200));
  EXPECT_EQ(plugin.GetEditorWidth(), 400);
  EXPECT_EQ(plugin.GetEditorHeight(), 200);
}
