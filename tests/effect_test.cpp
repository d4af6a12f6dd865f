// The effect's own operations, which the preset selector uses and hosts cannot reach.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "effect/QuillonMini.h"
#include "tests/support/TempFolder.h"

using namespace quillon;

namespace {

std::vector<VstInt32> gHostCalls;

VstIntPtr RecordingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  gHostCalls.push_back(opcode);
  return 0;
}

class QuillonMiniTest : public ::testing::Test
{
protected:
  static plug::InstanceInfo Info()
  {
    plug::InstanceInfo info;
    info.mVSTHostCallback = RecordingHost;
    return info;
  }

  static inline const TempSettingsFolder sSettings{"qm_effect"};
};

TEST_F(QuillonMiniTest, StartsOnTheDefaultPresetWithItsSettingsFile)
{
  TQuillonMini plug(Info());
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 0);
  EXPECT_STREQ(plug.GetCurrentPresetName().c_str(), "Default");
  EXPECT_EQ(plug.GetIniFileName(), sSettings.PathOf("QuillonMini/Settings.ini"));
  EXPECT_TRUE(plug.OnHostRequestingProductHelp());
  const double defaults[4] = {3.2, 150.0, 0.0, 21.0};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(plug.GetParam(i)->GetValue(), defaults[i]);
}

// The processor's rate is the one the reverb runs at, also after a rate the reverb refuses.
TEST_F(QuillonMiniTest, ARefusedRateLeavesTheProcessorAtTheReverbsRate)
{
  TQuillonMini plug(Info());
  AEffect& effect = plug.GetAEffect();
  effect.dispatcher(&effect, effSetSampleRate, 0, 0, nullptr, 48000.f);
  for (const float refused : {2e6f, 0.5f})
  {
    effect.dispatcher(&effect, effSetSampleRate, 0, 0, nullptr, refused);
    EXPECT_EQ(plug.GetSampleRate(), 48000.0) << refused;
  }
}

TEST_F(QuillonMiniTest, PresetSelectorOperations)
{
  TQuillonMini plug(Info());
  gHostCalls.clear();
  plug.SetCurrentPreset(25);
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 19);
  EXPECT_STREQ(plug.GetCurrentPresetName().c_str(), "Deep Underground");
  plug.SetCurrentPreset(-3);
  EXPECT_EQ(plug.GetCurrentPresetIdx(), 0);
  EXPECT_EQ(gHostCalls, (std::vector<VstInt32>{audioMasterUpdateDisplay, audioMasterUpdateDisplay}));

  plug.GetParam(TQuillonMini::kDecay)->SetValue(9.0);
  plug.ModifyThisPreset(""); // an emptied name keeps the program's, shown as the host reads it
  EXPECT_STREQ(plug.GetCurrentPresetName().c_str(), "Default");
  EXPECT_EQ(plug.GetPresetName(0), "Default");
  plug.GetParam(TQuillonMini::kDecay)->SetValue(1.0);
  plug.RestoreCurrentPreset();
  EXPECT_EQ(plug.GetParam(TQuillonMini::kDecay)->GetValue(), 9.0);
  EXPECT_STREQ(plug.GetCurrentPresetName().c_str(), "Default");

  plug.ModifyThisPreset("Mine");
  EXPECT_STREQ(plug.GetCurrentPresetName().c_str(), "Mine");
  EXPECT_EQ(plug.GetPresetName(0), "Mine");
  plug.ModifyThisPreset(nullptr);
  EXPECT_STREQ(plug.GetCurrentPresetName().c_str(), "Mine");
  EXPECT_EQ(plug.GetPresetName(0), "Mine");
}

} // namespace
