#include "plug/IPresetFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "plug/Config.h"
#include "plug/core/NumberText.h"
#include "plug/core/Utf8Text.h"

namespace plug {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kChunkMagic = MakeFourCC('C', 'c', 'n', 'K');
constexpr int32_t kProgramForm = MakeFourCC('F', 'x', 'C', 'k');
constexpr int32_t kProgramChunkForm = MakeFourCC('F', 'P', 'C', 'h');
constexpr int32_t kBankForm = MakeFourCC('F', 'x', 'B', 'k');
constexpr int32_t kBankChunkForm = MakeFourCC('F', 'B', 'C', 'h');
constexpr int32_t kProgramFormatVersion = 1;
constexpr int32_t kBankFormatVersion = 2;

constexpr std::size_t kNameOffset = 28;
constexpr std::size_t kBankReservedSize = 124;
constexpr std::size_t kValueSize = 4;
constexpr std::size_t kChunkSizeSize = 4;

// --- Big-endian fields ---

void PutInt32(Bytes& out, int32_t value)
{
  const auto bits = static_cast<uint32_t>(value);
  out.push_back(static_cast<uint8_t>(bits >> 24));
  out.push_back(static_cast<uint8_t>(bits >> 16));
  out.push_back(static_cast<uint8_t>(bits >> 8));
  out.push_back(static_cast<uint8_t>(bits));
}

// The fields that open program files, bank files and bank records alike.
void PutHeader(Bytes& out, int32_t form, int32_t formatVersion, int32_t uniqueID, int32_t packedVersion)
{
  PutInt32(out, kChunkMagic);
  PutInt32(out, 0); // byte size: never trusted by readers
  PutInt32(out, form);
  PutInt32(out, formatVersion);
  PutInt32(out, uniqueID);
  PutInt32(out, VersionDecimal(packedVersion));
}

// The caller has checked that the four bytes lie within the file.
int32_t GetInt32(const uint8_t* data)
{
  return static_cast<int32_t>((static_cast<uint32_t>(data[0]) << 24) | (static_cast<uint32_t>(data[1]) << 16) |
                              (static_cast<uint32_t>(data[2]) << 8) | static_cast<uint32_t>(data[3]));
}

// --- Reasons ---

bool Refuse(std::string* reason, const std::string& text)
{
  if (reason)
    *reason = text;
  return false;
}

std::string ByteCount(std::size_t n)
{
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

bool CheckExactSize(std::size_t size, std::size_t expected, const std::string& what, std::string* reason)
{
  if (size < expected)
    return Refuse(reason,
                  "truncated " + what + ": " + ByteCount(size) + " where " + ByteCount(expected) + " are declared");
  if (size > expected)
    return Refuse(reason, "oversized " + what + ": " + ByteCount(size - expected) + " after its declared end");
  return true;
}

// --- Records ---

std::string ReadName(const uint8_t* record)
{
  const auto* name = reinterpret_cast<const char*>(record + kNameOffset);
  return std::string(name, strnlen(name, IPresetFile::kNameSize));
}

// count normalised values; false naming the first one that is not a finite number.
bool ReadValues(const uint8_t* data, std::size_t count, const std::string& what, std::vector<double>& values,
                std::string* reason)
{
  values.clear();
  for (std::size_t i = 0; i < count; ++i)
  {
    const double value = std::bit_cast<float>(GetInt32(data + i * kValueSize));
    if (!std::isfinite(value))
      return Refuse(reason,
                    "malformed " + what + ": parameter " + std::to_string(i) + " holds " + FixedText(value, 0) +
                        ", not a number");
    values.push_back(std::clamp(value, 0.0, 1.0));
  }
  return true;
}

// The chunk of a chunk-form file: its size at offset, then exactly that many bytes to the end.
bool ReadChunk(const uint8_t* data, std::size_t size, std::size_t offset, const std::string& what, Bytes& chunk,
               std::string* reason)
{
  if (size < offset + kChunkSizeSize)
    return Refuse(reason, "truncated " + what + ": " + ByteCount(size) + ", too short for its chunk size");
  const auto length = static_cast<uint32_t>(GetInt32(data + offset));
  if (!CheckExactSize(size, offset + kChunkSizeSize + length, what, reason))
    return false;
  chunk.assign(data + offset + kChunkSizeSize, data + size);
  return true;
}

// What program files and bank files share: the chunk magic, a form of their own kind, the whole
// header, the plug-in. form receives the form tag.
bool CheckHeader(const uint8_t* data, std::size_t size, bool bank, const IPresetFile::Target& target, int32_t& form,
                 std::string* reason)
{
  const std::string what = bank ? "bank file" : "program file";
  if (size < 4 || GetInt32(data) != kChunkMagic)
    return Refuse(reason, "not a VST " + what + " (no 'CcnK' at its start)");
  form = size >= 12 ? GetInt32(data + 8) : 0;
  if (form == (bank ? kProgramForm : kBankForm) || form == (bank ? kProgramChunkForm : kBankChunkForm))
    return Refuse(reason, bank ? "this is a program file, not a bank file" : "this is a bank file, not a program file");
  const std::size_t headerSize = bank ? IPresetFile::kBankHeaderSize : IPresetFile::kProgramHeaderSize;
  if (size < headerSize)
    return Refuse(reason,
                  "truncated " + what + ": " + ByteCount(size) + ", the header alone has " + ByteCount(headerSize));
  if (form != (bank ? kBankForm : kProgramForm) && form != (bank ? kBankChunkForm : kProgramChunkForm))
    return Refuse(reason, "malformed " + what + ": unknown form '" + FourCCText(form) + "'");
  if (!bank && GetInt32(data + 12) != kProgramFormatVersion)
    return Refuse(reason,
                  "program file of format version " + std::to_string(GetInt32(data + 12)) + " (only 1 is known)");
  const int32_t id = GetInt32(data + 16);
  if (id != target.uniqueID)
    return Refuse(reason,
                  "the " + what + " is for plug-in '" + FourCCText(id) + "', not for this one ('" +
                      FourCCText(target.uniqueID) + "')");
  return true;
}

// A bank record whose header fits: a version 1 program in the parameter form with the plug-in's
// number of parameters.
bool RecordFits(const uint8_t* record, int nParams)
{
  return GetInt32(record) == kChunkMagic && GetInt32(record + 8) == kProgramForm &&
      GetInt32(record + 12) == kProgramFormatVersion && GetInt32(record + 24) == nParams;
}

} // namespace

bool IPresetFile::ParseProgram(const uint8_t* data, std::size_t size, const Target& target, Program& out,
                               std::string* reason)
{
  int32_t form = 0;
  if (!CheckHeader(data, size, false, target, form, reason))
    return false;
  Program program;
  program.name = ReadName(data);
  if (form == kProgramChunkForm)
  {
    program.isChunk = true;
    if (!ReadChunk(data, size, kProgramHeaderSize, "program file", program.chunk, reason))
      return false;
  }
  else
  {
    const int32_t count = GetInt32(data + 24);
    if (count < 0)
      return Refuse(reason, "malformed program file: " + std::to_string(count) + " parameters");
    if (!CheckExactSize(size, kProgramHeaderSize + kValueSize * static_cast<std::size_t>(count), "program file",
                        reason) ||
        !ReadValues(data + kProgramHeaderSize, static_cast<std::size_t>(count), "program file", program.values, reason))
      return false;
  }
  out = std::move(program);
  return true;
}

bool IPresetFile::ParseBank(const uint8_t* data, std::size_t size, const Target& target, Bank& out, std::string* reason)
{
  int32_t form = 0;
  if (!CheckHeader(data, size, true, target, form, reason))
    return false;
  Bank bank;
  if (form == kBankChunkForm)
  {
    bank.isChunk = true;
    if (!ReadChunk(data, size, kBankHeaderSize, "bank file", bank.chunk, reason))
      return false;
    out = std::move(bank);
    return true;
  }

  const int32_t count = GetInt32(data + 24);
  bank.currentProgram = GetInt32(data + 28);
  if (count < 0)
    return Refuse(reason, "malformed bank file: " + std::to_string(count) + " programs");
  if (bank.currentProgram < 0 || bank.currentProgram >= target.nPrograms)
    return Refuse(reason,
                  "malformed bank file: its current program " + std::to_string(bank.currentProgram) +
                      " is none of the plug-in's " + std::to_string(target.nPrograms));
  // Every record holds the plug-in's number of parameters, so the length follows from the count;
  // it is checked before anything is allocated for the records.
  const std::size_t recordSize =
      kProgramHeaderSize + kValueSize * static_cast<std::size_t>(std::max(target.nParams, 0));
  const std::size_t available = size - kBankHeaderSize;
  if (static_cast<std::size_t>(count) > available / recordSize)
    return Refuse(reason,
                  "truncated bank file: " + ByteCount(size) + " for " + std::to_string(count) + " programs of " +
                      ByteCount(recordSize));
  if (!CheckExactSize(available, recordSize * static_cast<std::size_t>(count), "bank file", reason))
    return false;

  for (int32_t i = 0; i < count; ++i)
  {
    const uint8_t* record = data + kBankHeaderSize + recordSize * static_cast<std::size_t>(i);
    const std::string what = "bank record " + std::to_string(i);
    if (!RecordFits(record, target.nParams))
    {
      bank.complete = false;
      if (reason)
        *reason = "malformed " + what + ": not a version 1 'FxCk' program of " + std::to_string(target.nParams) +
            " parameters";
      break;
    }
    Program program;
    program.name = ReadName(record);
    if (!ReadValues(record + kProgramHeaderSize, static_cast<std::size_t>(target.nParams), what, program.values,
                    reason))
      return false;
    bank.programs.push_back(std::move(program));
  }
  out = std::move(bank);
  return true;
}

bool IPresetFile::ReadFile(const char* path, std::vector<uint8_t>& bytes, std::string* reason)
{
  std::string shown = "'"; // the path as messages show it
  shown.append(path ? path : "").append("'");
  const int fd = path && *path ? open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK) : -1;
  if (fd < 0)
    return Refuse(reason, "cannot read " + shown + ": " + std::strerror(path && *path ? errno : ENOENT));

  struct stat info;
  std::string failure;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    failure = shown + " is not a file";
  else if (static_cast<uint64_t>(info.st_size) > kMaxFileSize)
    failure = shown + " is larger than " + ByteCount(kMaxFileSize) + "; not a preset file";
  Bytes content;
  std::size_t total = 0;
  if (failure.empty())
    content.resize(static_cast<std::size_t>(info.st_size) + 1); // one more, to notice growth
  while (failure.empty())
  {
    if (total == content.size())
    {
      if (total > kMaxFileSize)
      {
        failure = shown + " is larger than " + ByteCount(kMaxFileSize) + "; not a preset file";
        break;
      }
      content.resize(std::min(total * 2, kMaxFileSize + 1));
    }
    const ssize_t n = read(fd, content.data() + total, content.size() - total);
    if (n > 0)
      total += static_cast<std::size_t>(n);
    else if (n == 0)
      break;
    else if (errno != EINTR)
      failure = "cannot read " + shown + ": " + std::strerror(errno);
  }
  close(fd);
  if (!failure.empty())
    return Refuse(reason, failure);
  content.resize(total);
  bytes = std::move(content);
  return true;
}

void IPresetFile::AppendProgram(std::vector<uint8_t>& out, int32_t uniqueID, int32_t packedVersion, const char* name,
                                const std::vector<float>& normalizedValues)
{
  PutHeader(out, kProgramForm, kProgramFormatVersion, uniqueID, packedVersion);
  PutInt32(out, static_cast<int32_t>(normalizedValues.size()));
  char field[kNameSize] = {}; // at most 27 bytes, so that a zero always ends the name
  CopyUtf8Text(field, kNameSize, name);
  out.insert(out.end(), field, field + kNameSize);
  for (float value : normalizedValues)
    PutInt32(out, std::bit_cast<int32_t>(value));
}

void IPresetFile::AppendBankHeader(std::vector<uint8_t>& out, int32_t uniqueID, int32_t packedVersion, int nPrograms,
                                   int currentProgram)
{
  PutHeader(out, kBankForm, kBankFormatVersion, uniqueID, packedVersion);
  PutInt32(out, nPrograms);
  PutInt32(out, currentProgram);
  out.insert(out.end(), kBankReservedSize, uint8_t{0});
}

} // namespace plug
