#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A VST 2 program (.fxp) or bank (.fxb) file as a host reads it: the
// parameter forms "FxCk"/"FxBk" carry normalised values, the chunk forms
// "FPCh"/"FBCh" an opaque block for the plug-in. All fields are big-endian.
// Parsing checks the whole file before anything is handed out, so a caller
// that applies the result never applies half of a bad file.

// One program: a record of a bank, or the whole of a program file.
struct FxProgram
{
  uint32_t pluginId = 0;
  int32_t pluginVersion = 0;
  std::string name;           // at most 28 characters
  std::vector<float> values;  // parameter form: normalised, each in 0..1
  std::vector<uint8_t> chunk; // chunk form
  bool isChunk = false;
};

struct FxBank
{
  uint32_t pluginId = 0;
  int32_t pluginVersion = 0;
  int currentProgram = -1;         // -1 when the file does not say
  std::vector<FxProgram> programs; // parameter form
  std::vector<uint8_t> chunk;      // chunk form
  bool isChunk = false;
};

class FxFile
{
public:
  // Files larger than this are refused rather than read.
  static constexpr size_t kMaxFileSize = 64u << 20;
  // More parameters or programs than this cannot be a real plug-in's.
  static constexpr uint32_t kMaxCount = 1u << 20;

  // The parsers take the whole file; false with a one-line reason in
  // `error` (and `out` untouched) for anything truncated, malformed or
  // oversized, including bytes left over after the declared content.
  static bool ParseProgram(const uint8_t* data, size_t size, FxProgram& out, std::string& error);
  static bool ParseBank(const uint8_t* data, size_t size, FxBank& out, std::string& error);

  // Reads a whole file (at most kMaxFileSize bytes).
  static bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

  // 'QLMN' for 0x514C4D4E; non-printable bytes as '?'.
  static std::string FourCCText(uint32_t id);
};
