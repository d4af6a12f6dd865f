#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/ISurfaceEditorDelegate.h"
#include "plug/core/IByteChunk.h"
#include "plug/core/IEditorDelegate.h"

using plug::EParamSource;

namespace {

// Records every hook that the default message paths end in.
class RecordingDelegate : public plug::IEditorDelegate
{
public:
  explicit RecordingDelegate(int nParams)
    : IEditorDelegate(nParams)
  {
  }

  using IEditorDelegate::OnParamChange;
  void OnParamChange(int paramIdx) override { Log("change " + std::to_string(paramIdx)); }
  void OnParamChangeUI(int paramIdx, EParamSource source) override
  {
    Log("changeUI " + std::to_string(paramIdx) + " " + std::to_string(source));
  }
  void OnUIClose() override { Log("close"); }
  void OnMidiMsgUI(const plug::IMidiMsg& msg) override { Log("midi " + std::to_string(msg.mStatus)); }
  void OnSysexMsgUI(const plug::ISysEx& msg) override { Log("sysex " + std::to_string(msg.mSize)); }
  bool OnMessage(int msgTag, int ctrlTag, int dataSize, const void* pData) override
  {
    Log("message " + std::to_string(msgTag) + " " + std::to_string(ctrlTag) + " " + std::to_string(dataSize) +
        (pData ? " data" : " none"));
    return true;
  }
  void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override
  {
    Log("toUI " + std::to_string(paramIdx) + " " + std::to_string(value) + (normalized ? " norm" : " plain"));
    IEditorDelegate::SendParameterValueFromDelegate(paramIdx, value, normalized);
  }
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}

  void Log(const std::string& entry) { mLog.push_back(entry); }

  std::vector<std::string> mLog;
};

// Keeps OnParamChange(int) at its default so that the base version can be observed through the
// three-argument form only.
class MinimalDelegate : public plug::gfx::ISurfaceEditorDelegate
{
public:
  using ISurfaceEditorDelegate::ISurfaceEditorDelegate;
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}
};

} // namespace

TEST(IEditorDelegate, OwnsDefaultParameters)
{
  MinimalDelegate delegate(3);
  ASSERT_EQ(delegate.NParams(), 3);
  for (int i = 0; i < 3; ++i)
  {
    ASSERT_NE(delegate.GetParam(i), nullptr);
    EXPECT_EQ(delegate.GetParam(i)->Type(), plug::IParam::kTypeNone);
  }
  EXPECT_EQ(delegate.GetParam(-1), nullptr);
  EXPECT_EQ(delegate.GetParam(3), nullptr);

  MinimalDelegate none(0);
  EXPECT_EQ(none.NParams(), 0);
  EXPECT_EQ(none.OpenWindow(nullptr), nullptr);
  none.OnParamReset(plug::kReset);
}

TEST(IEditorDelegate, ResetVisitsEachParameterInOrder)
{
  RecordingDelegate delegate(2);
  delegate.OnParamReset(plug::kReset);
  const std::vector<std::string> expected = {"change 0", "changeUI 0 0", "change 1", "changeUI 1 0"};
  EXPECT_EQ(delegate.mLog, expected);

  delegate.mLog.clear();
  delegate.OnParamChange(1, plug::kHost, 17);
  EXPECT_EQ(delegate.mLog, std::vector<std::string>{"change 1"});
}

TEST(IEditorDelegate, OpeningAndRestoringSendEveryNormalisedValue)
{
  RecordingDelegate delegate(2);
  delegate.GetParam(0)->InitDouble("A", 25.0, 0.0, 100.0, 1.0);
  delegate.GetParam(1)->InitDouble("B", 1.0, 0.0, 4.0, 1.0);

  EXPECT_EQ(delegate.OpenWindow(reinterpret_cast<void*>(0x1234)), nullptr);
  const std::vector<std::string> expected = {"toUI 0 0.250000 norm", "changeUI 0 4", "toUI 1 0.250000 norm",
                                             "changeUI 1 4"};
  EXPECT_EQ(delegate.mLog, expected);

  delegate.mLog.clear();
  delegate.OnRestoreState();
  EXPECT_EQ(delegate.mLog, expected);

  delegate.mLog.clear();
  delegate.CloseWindow();
  EXPECT_EQ(delegate.mLog, std::vector<std::string>{"close"});
}

TEST(IEditorDelegate, MessagePathsReachTheirHooks)
{
  RecordingDelegate delegate(1);
  const int payload = 5;

  delegate.SendControlMsgFromDelegate(7, 9, 4, &payload);
  delegate.SendArbitraryMsgFromDelegate(11);
  delegate.SendMidiMsgFromDelegate(plug::IMidiMsg(0, 0x90, 60, 100));
  const std::uint8_t bytes[3] = {0xF0, 0x01, 0xF7};
  delegate.SendSysexMsgFromDelegate(plug::ISysEx(0, bytes, 3));

  const std::vector<std::string> expected = {"message 9 7 4 data", "message 11 -1 0 none", "midi 144", "sysex 3"};
  EXPECT_EQ(delegate.mLog, expected);

  // Paths without a body of their own change nothing and report "not handled".
  delegate.mLog.clear();
  delegate.SendControlValueFromDelegate(1, 0.5);
  delegate.SendMidiMsgFromUI(plug::IMidiMsg(0, 0x80));
  delegate.SendSysexMsgFromUI(plug::ISysEx(0, bytes, 3));
  delegate.SendArbitraryMsgFromUI(1, 2, 4, &payload);
  delegate.DeferMidiMsg(plug::IMidiMsg());
  delegate.DeferSysexMsg(plug::ISysEx());
  delegate.DirtyParametersFromUI();
  delegate.SetScreenScale(2.0);
  EXPECT_TRUE(delegate.mLog.empty());
  EXPECT_FALSE(delegate.OnKeyDown(plug::IKeyPress("a", 65)));
  EXPECT_FALSE(delegate.OnKeyUp(plug::IKeyPress("a", 65)));
  EXPECT_FALSE(delegate.EditorResizeFromUI(400, 300));

  plug::IByteChunk chunk;
  EXPECT_TRUE(delegate.SerializeEditorState(chunk));
  EXPECT_EQ(chunk.Size(), 0);
  EXPECT_EQ(delegate.UnserializeEditorState(chunk, 12), 12);
  EXPECT_EQ(delegate.UnserializeEditorState(chunk, -1), -1);
}

TEST(IEditorDelegate, ValueFromUISetsTheParameter)
{
  RecordingDelegate delegate(1);
  delegate.GetParam(0)->InitDouble("Width", 150.0, 0.0, 200.0, 1.0, "%", plug::IParam::kFlagStepped);

  delegate.SendParameterValueFromUI(0, 0.2526);
  EXPECT_EQ(delegate.GetParam(0)->GetValue(), 51.0) << "normalised, mapped and stepped";
  EXPECT_EQ(delegate.mLog, std::vector<std::string>{"changeUI 0 3"});

  delegate.mLog.clear();
  delegate.SendParameterValueFromUI(1, 0.5);
  delegate.SendParameterValueFromUI(-1, 0.5);
  EXPECT_TRUE(delegate.mLog.empty()) << "an index outside the list is ignored";
}

TEST(IKeyPress, TextIsCutToFourBytes)
{
  const plug::IKeyPress key("abcdefg", 13, true, false, true);
  EXPECT_STREQ(key.utf8, "abcd");
  EXPECT_EQ(key.VK, 13);
  EXPECT_TRUE(key.S);
  EXPECT_FALSE(key.C);
  EXPECT_TRUE(key.A);
  EXPECT_STREQ(plug::IKeyPress(nullptr, 0).utf8, "");
}
