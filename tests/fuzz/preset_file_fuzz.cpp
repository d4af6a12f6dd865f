// A program file (first byte even) or bank file as the preset menu loads it: refused without a
// change, or loaded into values within their ranges and a valid current preset. A bank may stop
// at a malformed record after loading the records before it.

#include <sys/mman.h>
#include <unistd.h>

#include "effect/QuillonMini.h"
#include "plug/IPresetFile.h"
#include "tests/fuzz/Fuzz.h"

namespace {

// Everything a load could change.
std::vector<uint8_t> Snapshot(const quillon::TQuillonMini& plugin)
{
  plug::IByteChunk all;
  plugin.SerializePresets(all);
  plugin.SerializeState(all);
  all.PutValue(plugin.GetCurrentPresetIdx());
  return std::vector<uint8_t>(all.GetData(), all.GetData() + all.Size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  // The file lives in memory; the plug-in opens it by its path like any other.
  static const int file = memfd_create("preset", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(file);
  fuzz::ScratchFolder();
  fuzz::Reader input(data, size);
  const bool isBank = input.U8() & 1;
  const std::vector<uint8_t> bytes = input.Rest();
  fuzz::Expect(ftruncate(file, 0) == 0 && pwrite(file, bytes.data(), bytes.size(), 0) == ssize_t(bytes.size()),
               "cannot write the file");

  quillon::TQuillonMini plugin{plug::InstanceInfo{}};
  plugin.EnsureDefaultPreset();
  const std::vector<uint8_t> before = Snapshot(plugin);
  const bool loaded = isBank ? plugin.LoadBankFromFXB(path.c_str()) : plugin.LoadProgramFromFXP(path.c_str());
  plug::IPresetFile::Bank bank;
  const bool partial = isBank &&
      plug::IPresetFile::ParseBank(bytes.data(), bytes.size(),
                                   {plugin.GetUniqueID(), plugin.NParams(), plugin.NPresets()}, bank) &&
      !bank.complete;
  if (!loaded && !partial)
    fuzz::Expect(Snapshot(plugin) == before, "a refused file changed something");
  for (int i = 0; i < plugin.NParams(); ++i)
  {
    const plug::IParam& param = *plugin.GetParam(i);
    fuzz::Expect(param.GetValue() >= param.GetMin() && param.GetValue() <= param.GetMax(), "a value out of range");
  }
  fuzz::Expect(plugin.GetCurrentPresetIdx() >= 0 && plugin.GetCurrentPresetIdx() < plugin.NPresets(),
               "no current preset");
  return 0;
}
