#include "tools/FxFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
constexpr size_t kProgramHeaderSize = 56; // up to the values or the chunk size
constexpr size_t kBankHeaderSize = 156;
constexpr size_t kNameSize = 28;

constexpr uint32_t Tag(const char (&text)[5])
{
  return (static_cast<uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
      (static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
      (static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
      static_cast<uint32_t>(static_cast<unsigned char>(text[3]));
}

constexpr uint32_t kChunkMagic = Tag("CcnK");
constexpr uint32_t kProgramParams = Tag("FxCk");
constexpr uint32_t kProgramChunk = Tag("FPCh");
constexpr uint32_t kBankParams = Tag("FxBk");
constexpr uint32_t kBankChunk = Tag("FBCh");

uint32_t ReadU32(const uint8_t* p)
{
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
      (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

int32_t ReadI32(const uint8_t* p)
{
  return static_cast<int32_t>(ReadU32(p));
}

float ReadF32(const uint8_t* p)
{
  const uint32_t bits = ReadU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string ReadName(const uint8_t* p)
{
  size_t length = 0;
  while (length < kNameSize && p[length] != 0)
    ++length;
  return std::string(reinterpret_cast<const char*>(p), length);
}

std::string Bytes(size_t n)
{
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// Checks that `size` is exactly `expected`; the reason names what is wrong.
bool ExactSize(size_t size, size_t expected, const char* what, std::string& error)
{
  if (size < expected)
    error = std::string("truncated ") + what + ": " + Bytes(size) + " where " + Bytes(expected) + " are declared";
  else if (size > expected)
    error = std::string("oversized ") + what + ": " + Bytes(size - expected) + " after its declared end";
  return size == expected;
}

// A program record in the parameter form at `data`, `size` bytes available;
// `consumed` receives its length. `label` names it in reasons ("program file", "bank record 3").
bool ParseParamRecord(const uint8_t* data, size_t size, const std::string& label, FxProgram& out, size_t& consumed,
                      std::string& error)
{
  const uint32_t count = ReadU32(data + 24);
  if (count > FxFile::kMaxCount)
  {
    error = "oversized " + label + ": it claims " + std::to_string(count) + " parameters";
    return false;
  }
  const size_t length = kProgramHeaderSize + 4 * static_cast<size_t>(count);
  if (size < length)
  {
    error = "truncated " + label + ": " + Bytes(size) + " where " + Bytes(length) + " are declared";
    return false;
  }
  FxProgram program;
  program.pluginId = ReadU32(data + 16);
  program.pluginVersion = ReadI32(data + 20);
  program.name = ReadName(data + 28);
  program.values.resize(count);
  for (uint32_t k = 0; k < count; ++k)
  {
    const float value = ReadF32(data + kProgramHeaderSize + 4 * k);
    if (!(value >= 0.0f && value <= 1.0f))
    {
      char text[32];
      std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
      error = "malformed " + label + ": parameter " + std::to_string(k) + " holds " + text + ", not a value in 0..1";
      return false;
    }
    program.values[k] = value;
  }
  out = std::move(program);
  consumed = length;
  return true;
}

// The chunk of a chunk-form file: a 32-bit size at `offset`, then the bytes.
bool ParseChunk(const uint8_t* data, size_t size, size_t offset, const char* what, std::vector<uint8_t>& chunk,
                std::string& error)
{
  if (size < offset + 4)
  {
    error = std::string("truncated ") + what + ": " + Bytes(size) + ", too short for its chunk size";
    return false;
  }
  const uint32_t length = ReadU32(data + offset);
  if (length > FxFile::kMaxFileSize)
  {
    error = std::string("oversized ") + what + ": it claims a chunk of " + Bytes(length);
    return false;
  }
  if (!ExactSize(size, offset + 4 + length, what, error))
    return false;
  chunk.assign(data + offset + 4, data + offset + 4 + length);
  return true;
}
// The checks a program file and a bank file share: the chunk magic, not the
// other kind of file, the whole header present, a known form. `form` receives
// the form tag.
bool CheckHeader(const uint8_t* data, size_t size, bool bank, uint32_t& form, std::string& error)
{
  const std::string kind = bank ? "bank" : "program";
  const uint32_t ownParams = bank ? kBankParams : kProgramParams;
  const uint32_t ownChunk = bank ? kBankChunk : kProgramChunk;
  const uint32_t otherParams = bank ? kProgramParams : kBankParams;
  const uint32_t otherChunk = bank ? kProgramChunk : kBankChunk;
  const size_t headerSize = bank ? kBankHeaderSize : kProgramHeaderSize;
  if (size < 4 || ReadU32(data) != kChunkMagic)
  {
    error = "not a VST " + kind + " file (no 'CcnK' at its start)";
    return false;
  }
  form = size >= 12 ? ReadU32(data + 8) : 0;
  if (form == otherParams || form == otherChunk)
  {
    error = std::string("this is a ") + (bank ? "program file, not a bank file" : "bank file, not a program file");
    return false;
  }
  if (size < headerSize)
  {
    error = "truncated " + kind + " file: " + Bytes(size) + ", the header alone has " + Bytes(headerSize);
    return false;
  }
  if (form != ownParams && form != ownChunk)
  {
    error = "malformed " + kind + " file: unknown form '" + FxFile::FourCCText(form) + "'";
    return false;
  }
  return true;
}
} // namespace

bool FxFile::ParseProgram(const uint8_t* data, size_t size, FxProgram& out, std::string& error)
{
  uint32_t form = 0;
  if (!CheckHeader(data, size, false, form, error))
    return false;
  const int32_t version = ReadI32(data + 12);
  if (version != 1)
  {
    error = "program file of format version " + std::to_string(version) + " (only 1 is known)";
    return false;
  }
  FxProgram program;
  if (form == kProgramParams)
  {
    size_t consumed = 0;
    if (!ParseParamRecord(data, size, "program file", program, consumed, error) ||
        !ExactSize(size, consumed, "program file", error))
      return false;
  }
  else
  {
    program.pluginId = ReadU32(data + 16);
    program.pluginVersion = ReadI32(data + 20);
    program.name = ReadName(data + 28);
    program.isChunk = true;
    if (!ParseChunk(data, size, kProgramHeaderSize, "program file", program.chunk, error))
      return false;
  }
  out = std::move(program);
  return true;
}

bool FxFile::ParseBank(const uint8_t* data, size_t size, FxBank& out, std::string& error)
{
  uint32_t form = 0;
  if (!CheckHeader(data, size, true, form, error))
    return false;
  const int32_t version = ReadI32(data + 12);
  const uint32_t count = ReadU32(data + 24);
  if (count > kMaxCount)
  {
    error = "oversized bank file: it claims " + std::to_string(count) + " programs";
    return false;
  }
  FxBank bank;
  bank.pluginId = ReadU32(data + 16);
  bank.pluginVersion = ReadI32(data + 20);
  if (form == kBankChunk)
  {
    bank.isChunk = true;
    if (!ParseChunk(data, size, kBankHeaderSize, "bank file", bank.chunk, error))
      return false;
    out = std::move(bank);
    return true;
  }

  // Only version 2 files carry the current program; older ones keep the field reserved.
  if (version >= 2)
  {
    const int32_t current = ReadI32(data + 28);
    if (current < 0 || (count > 0 && static_cast<uint32_t>(current) >= count))
    {
      error = "malformed bank file: current program " + std::to_string(current) + " of " + std::to_string(count);
      return false;
    }
    bank.currentProgram = count > 0 ? current : -1;
  }
  size_t offset = kBankHeaderSize;
  bank.programs.resize(count);
  for (uint32_t i = 0; i < count; ++i)
  {
    const std::string label = "bank record " + std::to_string(i);
    const size_t left = size - offset;
    if (left < kProgramHeaderSize)
    {
      error = "truncated bank file: it ends inside " + label;
      return false;
    }
    const uint8_t* record = data + offset;
    if (ReadU32(record) != kChunkMagic || ReadU32(record + 8) != kProgramParams || ReadI32(record + 12) != 1)
    {
      error = "malformed " + label + ": not a version 1 'FxCk' program";
      return false;
    }
    size_t consumed = 0;
    if (!ParseParamRecord(record, left, label, bank.programs[i], consumed, error))
      return false;
    if (i > 0 && bank.programs[i].values.size() != bank.programs[0].values.size())
    {
      error = "malformed " + label + ": " + std::to_string(bank.programs[i].values.size()) +
          " parameters where record 0 has " + std::to_string(bank.programs[0].values.size());
      return false;
    }
    offset += consumed;
  }
  if (!ExactSize(size, offset, "bank file", error))
    return false;
  out = std::move(bank);
  return true;
}

bool FxFile::ReadFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file)
  {
    error = "cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> content;
  uint8_t buffer[65536];
  size_t n;
  bool tooLarge = false;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
  {
    if (content.size() + n > kMaxFileSize)
    {
      tooLarge = true;
      break;
    }
    content.insert(content.end(), buffer, buffer + n);
  }
  const int readError = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (tooLarge)
  {
    error = "'" + path + "' is larger than " + std::to_string(kMaxFileSize >> 20) + " MiB; not a preset file";
    return false;
  }
  if (readError != 0)
  {
    error = "cannot read '" + path + "': " + std::strerror(readError);
    return false;
  }
  bytes = std::move(content);
  return true;
}

std::string FxFile::FourCCText(uint32_t id)
{
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8)
  {
    const unsigned char c = static_cast<unsigned char>(id >> shift);
    text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  return text;
}
