// A settings file as found on disc (after a section and a key name of up to 16 bytes each): read
// as the store and the effect's accessor read it, then a value written into it and read back.

#include <unistd.h>

#include "effect/inifile.h"
#include "ini/ini_store.h"
#include "tests/fuzz/Fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static unsigned counter = 0;
  // A new name each time: the store keeps files it has parsed while their size and time agree.
  const std::string path = fuzz::ScratchFolder() + "/" + std::to_string(counter++) + ".ini";
  fuzz::Reader input(data, size);
  const std::vector<uint8_t> sectionBytes = input.Bytes(16), keyBytes = input.Bytes(16), content = input.Rest();
  const std::string section(sectionBytes.begin(), sectionBytes.end()), key(keyBytes.begin(), keyBytes.end());
  FILE* file = std::fopen(path.c_str(), "wb");
  fuzz::Expect(file && std::fwrite(content.data(), 1, content.size(), file) == content.size() && std::fclose(file) == 0,
               "cannot write the file");

  char value[64];
  const int length = GetPrivateProfileString(section.c_str(), key.c_str(), "none", value, sizeof(value), path.c_str());
  fuzz::Expect(length >= 0 && length < int(sizeof(value)) && std::strlen(value) == std::size_t(length),
               "a value that does not fit");
  const float scale = quillon::TIniFile(path).ReadFloat("Params", "Scale", 1.0f);
  fuzz::Expect(std::isfinite(scale), "a scale that is not a number");
  if (WritePrivateProfileString(section.c_str(), key.c_str(), "1.5", path.c_str()))
  {
    GetPrivateProfileString(section.c_str(), key.c_str(), "none", value, sizeof(value), path.c_str());
    fuzz::Expect(std::strcmp(value, "1.5") == 0, "a written value does not read back");
  }
  unlink(path.c_str());
  return 0;
}
