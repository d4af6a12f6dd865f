#pragma once

#include <cstdint>
#include <string>

namespace plug {

// Builds a four-character code with the first character in the most significant byte.
constexpr int32_t MakeFourCC(char a, char b, char c, char d)
{
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                              static_cast<uint32_t>(static_cast<unsigned char>(d)));
}

// A four-character code as text, for messages: 'QLMN' for 0x514C4D4E; bytes that are not
// printable ASCII as '?'.
inline std::string FourCCText(int32_t code)
{
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8)
  {
    const auto c = static_cast<unsigned char>(static_cast<uint32_t>(code) >> shift);
    text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  return text;
}

// Packed version: major in bits 16-31, minor in bits 8-15, bug-fix in bits 0-7.
constexpr int32_t PackVersion(int major, int minor, int bugFix)
{
  return static_cast<int32_t>((static_cast<uint32_t>(major) << 16) | ((static_cast<uint32_t>(minor) & 0xFFu) << 8) |
                              (static_cast<uint32_t>(bugFix) & 0xFFu));
}

constexpr int VersionMajor(int32_t packed)
{
  return static_cast<int>((static_cast<uint32_t>(packed) >> 16) & 0xFFFFu);
}
constexpr int VersionMinor(int32_t packed)
{
  return static_cast<int>((static_cast<uint32_t>(packed) >> 8) & 0xFFu);
}
constexpr int VersionBugFix(int32_t packed)
{
  return static_cast<int>(static_cast<uint32_t>(packed) & 0xFFu);
}

// major * 10000 + minor * 100 + bug-fix
constexpr int VersionDecimal(int32_t packed)
{
  return VersionMajor(packed) * 10000 + VersionMinor(packed) * 100 + VersionBugFix(packed);
}

// The plug-in's configuration, fixed at build time. A plain aggregate, filled with designated
// initialisers in field order (Config{.nParams = 4, .nPresets = 20, ...}); a field left out keeps
// its default here.
struct Config
{
  int nParams = 0;
  int nPresets = 0;
  const char* channelIOStr = "";
  const char* pluginName = "";
  const char* productName = "";
  const char* mfrName = "";
  int32_t vendorVersion = 0; // packed version
  int32_t uniqueID = 0;      // four-character code
  int32_t mfrID = 0;         // four-character code
  int latency = 0;           // samples
  bool plugDoesMidiIn = false;
  bool plugDoesMidiOut = false;
  bool plugDoesMPE = false;
  bool plugDoesChunks = false;
  int plugType = 0; // 0 effect, 1 instrument
  bool plugHasUI = false;
  int plugWidth = 0;
  int plugHeight = 0;
  const char* bundleID = "";
  // The plug-in's URI, for bindings whose hosts know plug-ins by one (LV2).
  const char* uri = "";
};

} // namespace plug
