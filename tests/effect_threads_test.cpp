// The preset name the editor shows, while the host changes programs on a thread of its own.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "effect/QuillonMini.h"
#include "effect/sharedtext.h"

namespace {

VstIntPtr SilentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

} // namespace

TEST(PresetName, ReadsWholeNamesWhileTheHostChangesPrograms)
{
  setenv("XDG_CONFIG_HOME", "/tmp", 1);
  plug::InstanceInfo info;
  info.mVSTHostCallback = SilentHost;
  TQuillonMini plug(info);
  std::set<std::string> names;
  for (int i = 0; i < plug.NPresets(); ++i)
    names.insert(plug.GetPresetName(i));

  std::atomic<bool> stop{false};
  std::thread host([&] {
    for (int i = 0; !stop.load(); ++i)
      plug.RestorePreset(i % plug.NPresets());
  });
  uint64_t lastVersion = 0;
  for (int i = 0; i < 5000; ++i)
  {
    const uint64_t version = plug.GetPresetNameVersion();
    const std::string name = plug.GetCurrentPresetName();
    ASSERT_GE(version, lastVersion);
    lastVersion = version;
    ASSERT_EQ(names.count(name), 1u) << name;
  }
  stop = true;
  host.join();
}

TEST(PresetName, LongNamesAreCutAtACharacterBoundary)
{
  TSharedText text;
  EXPECT_EQ(text.Get(), "");
  std::string name(254, 'x');
  name += "\xC3\xA9\xC3\xA9"; // two-byte characters across the limit of 255 bytes
  text.Set(name);
  EXPECT_EQ(text.Get(), name.substr(0, 254));
}
