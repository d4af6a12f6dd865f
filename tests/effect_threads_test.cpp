// The preset name the editor shows and the program store, while the host changes programs and
// exchanges chunks on threads of its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "effect/QuillonMini.h"
#include "effect/TSharedText.h"
#include "tests/support/TempFolder.h"

using namespace quillon;

namespace {

const TempSettingsFolder gSettings("qm_effect_threads"); // before the first plug-in is made

VstIntPtr SilentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

// A chunk as effGetChunk hands it out: the header, then the four values of a program, or per slot
// of a bank its name, the initialised byte and the four values, ending where the chunk ends.
bool IsWholeChunk(const std::vector<uint8_t>& chunk, bool isProgram)
{
  if (chunk.size() < 8 || std::memcmp(chunk.data(), "tffp", 4) != 0)
    return false;
  if (isProgram)
    return chunk.size() == 40;
  std::size_t at = 8;
  for (int slot = 0; slot < TQuillonMini::kNumPresets; ++slot)
  {
    int32_t length = 0;
    if (at + 4 > chunk.size())
      return false;
    std::memcpy(&length, chunk.data() + at, 4);
    at += 4 + static_cast<std::size_t>(std::max(length, 0));
    if (at + 1 > chunk.size() || chunk[at] != 1)
      return false;
    at += 1 + 32;
  }
  return at == chunk.size();
}

} // namespace

TEST(PresetName, ReadsWholeNamesWhileTheHostChangesPrograms)
{
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

// The program store, reached by two host threads with program and chunk calls while the editor's
// thread lists the programs, modifies the current one and saves it and the bank.
TEST(ProgramStore, HostThreadsAndTheEditorShareItSafely)
{
  plug::InstanceInfo info;
  info.mVSTHostCallback = SilentHost;
  TQuillonMini plug(info);
  AEffect* e = &plug.GetAEffect();
  const auto dispatch = [e](VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
    return e->dispatcher(e, opcode, index, value, ptr, 0.0f);
  };
  dispatch(effOpen);
  const TempFolder folder("qm_program_store");
  ASSERT_FALSE(folder.Path().empty());
  const std::string program = folder.PathOf("p.fxp"), bank = folder.PathOf("b.fxb");

  std::atomic<bool> editorDone{false};
  std::atomic<int> badChunks{0};
  const auto host = [&](int seed) {
    char name[64];
    for (int n = 0; n < 50 || !editorDone.load(); ++n)
    {
      dispatch(effSetProgram, 0, (n * 7 + seed) % 20);
      std::snprintf(name, sizeof(name), "Host %d-%d", seed, n);
      dispatch(effSetProgramName, 0, 0, name);
      dispatch(effGetProgramName, 0, 0, name);
      dispatch(effGetProgramNameIndexed, n % 20, 0, name);
      // Read after the call, as hosts do, while the other thread asks for chunks of its own.
      const bool isProgram = (n + seed) % 2 == 1;
      void* data = nullptr;
      const VstIntPtr size = dispatch(effGetChunk, isProgram, 0, &data);
      const std::vector<uint8_t> chunk(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
      if (!IsWholeChunk(chunk, isProgram) ||
          (n % 4 == 0 && dispatch(effSetChunk, isProgram, size, const_cast<uint8_t*>(chunk.data())) != 1))
        badChunks.fetch_add(1);
    }
  };
  std::thread first(host, 1), second(host, 2);
  int emptyNames = 0, failedSaves = 0;
  for (int n = 0; n < 40; ++n)
  {
    for (int i = 0; i < plug.NPresets(); ++i)
      emptyNames += plug.GetPresetName(i).empty();
    plug.ModifyThisPreset(n % 2 ? "Edited" : "");
    failedSaves += !plug.SaveProgramAsFXP(program.c_str()) + !plug.SaveBankAsFXB(bank.c_str());
  }
  editorDone = true;
  first.join();
  second.join();
  EXPECT_EQ(badChunks.load(), 0);
  EXPECT_EQ(emptyNames, 0);
  EXPECT_EQ(failedSaves, 0);
  EXPECT_TRUE(plug.LoadBankFromFXB(bank.c_str()) && plug.LoadProgramFromFXP(program.c_str()));
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
