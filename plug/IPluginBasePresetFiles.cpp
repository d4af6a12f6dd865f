// Program (.fxp) and bank (.fxb) files and the preset source dumps of IPluginBase.
// Everything here runs on the main thread.

#include "plug/IPluginBase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "plug/Config.h"
#include "plug/NumberText.h"

namespace plug {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kChunkMagic = MakeFourCC('C', 'c', 'n', 'K');
constexpr int32_t kProgramFormMagic = MakeFourCC('F', 'x', 'C', 'k');
constexpr int32_t kBankFormMagic = MakeFourCC('F', 'x', 'B', 'k');
constexpr int32_t kProgramFormatVersion = 1;
constexpr int32_t kBankFormatVersion = 2;

constexpr std::size_t kProgramNameOffset = 28;
constexpr std::size_t kProgramNameSize = 28;
// A program record up to and including its name; the values follow.
constexpr std::size_t kProgramHeaderSize = kProgramNameOffset + kProgramNameSize;
constexpr std::size_t kBankReservedSize = 124;
constexpr std::size_t kBankHeaderSize = 32 + kBankReservedSize;
constexpr std::size_t kValueSize = 4;

// --- Big-endian fields ---

void PutInt32(Bytes& out, int32_t value)
{
  const auto bits = static_cast<uint32_t>(value);
  out.push_back(static_cast<uint8_t>(bits >> 24));
  out.push_back(static_cast<uint8_t>(bits >> 16));
  out.push_back(static_cast<uint8_t>(bits >> 8));
  out.push_back(static_cast<uint8_t>(bits));
}

void PutFloat(Bytes& out, float value)
{
  PutInt32(out, std::bit_cast<int32_t>(value));
}

// The caller has checked that the four bytes lie within the file.
int32_t GetInt32(const uint8_t* data)
{
  const uint32_t bits = (static_cast<uint32_t>(data[0]) << 24) | (static_cast<uint32_t>(data[1]) << 16) |
      (static_cast<uint32_t>(data[2]) << 8) | static_cast<uint32_t>(data[3]);
  return static_cast<int32_t>(bits);
}

float GetFloat(const uint8_t* data)
{
  return std::bit_cast<float>(GetInt32(data));
}

// --- Program records ---

// At most 27 bytes of the name, so that a zero always ends it, then zero padding. A cut never
// splits a UTF-8 sequence.
void PutProgramName(Bytes& out, const char* name)
{
  if (!name)
    name = "";
  std::size_t length = strnlen(name, kProgramNameSize - 1);
  if (name[length] != '\0')
  {
    while (length > 0 && (static_cast<uint8_t>(name[length]) & 0xC0u) == 0x80u)
      --length;
  }
  out.insert(out.end(), name, name + length);
  out.insert(out.end(), kProgramNameSize - length, uint8_t{0});
}

void AppendProgramRecord(Bytes& out, int32_t uniqueID, int32_t packedVersion, const char* name,
                         const std::vector<float>& normalizedValues)
{
  PutInt32(out, kChunkMagic);
  PutInt32(out, 0); // byte size: never trusted by readers
  PutInt32(out, kProgramFormMagic);
  PutInt32(out, kProgramFormatVersion);
  PutInt32(out, uniqueID);
  PutInt32(out, VersionDecimal(packedVersion));
  PutInt32(out, static_cast<int32_t>(normalizedValues.size()));
  PutProgramName(out, name);
  for (float value : normalizedValues)
    PutFloat(out, value);
}

struct ProgramHeader
{
  int32_t chunkMagic = 0;
  int32_t formMagic = 0;
  int32_t formatVersion = 0;
  int32_t uniqueID = 0;
  int32_t numParams = 0;
  std::string name;
};

// The caller has checked that kProgramHeaderSize bytes lie within the file.
ProgramHeader ReadProgramHeader(const uint8_t* record)
{
  ProgramHeader header;
  header.chunkMagic = GetInt32(record);
  header.formMagic = GetInt32(record + 8);
  header.formatVersion = GetInt32(record + 12);
  header.uniqueID = GetInt32(record + 16);
  header.numParams = GetInt32(record + 24);
  const auto* name = reinterpret_cast<const char*>(record + kProgramNameOffset);
  header.name.assign(name, strnlen(name, kProgramNameSize));
  return header;
}

// A program's name and normalised values, checked and ready to apply.
struct Program
{
  std::string name;
  std::vector<double> values;
};

// Reads count normalised values. False when one is not finite; finite values outside 0..1 are
// clamped into it.
bool ReadNormalizedValues(const uint8_t* data, std::size_t count, std::vector<double>& values)
{
  values.clear();
  values.reserve(count);
  for (std::size_t i = 0; i < count; ++i)
  {
    const double value = GetFloat(data + i * kValueSize);
    if (!std::isfinite(value))
      return false;
    values.push_back(std::clamp(value, 0.0, 1.0));
  }
  return true;
}

// The parameters held in the program take its values (the others keep theirs); then the current
// slot stores the result, and the program's name when it has one.
void ApplyProgram(IPluginBase& plugin, const Program& program)
{
  const std::size_t count = std::min(program.values.size(), static_cast<std::size_t>(plugin.NParams()));
  for (std::size_t i = 0; i < count; ++i)
    plugin.GetParam(static_cast<int>(i))->SetNormalizedValue(program.values[i]);
  plugin.ModifyCurrentPreset(program.name.c_str());
}

// A slot's stored plain values as normalised floats; values its state lacks count as 0.
std::vector<float> StoredNormalizedValues(const IPluginBase& plugin, const IByteChunk& state)
{
  std::vector<float> values;
  int pos = 0;
  for (int i = 0; i < plugin.NParams(); ++i)
  {
    double value = 0.0;
    pos = state.GetValueAt(value, pos); // once a read fails, every later one does too
    values.push_back(static_cast<float>(plugin.GetParam(i)->ValueToNorm(value)));
  }
  return values;
}

// --- Files ---

// Reads the whole regular file at path. False for a missing or unreadable file, a directory or
// other non-regular file, and a file larger than maxSize (checked before reading, and again while
// reading in case the file grows).
bool ReadWholeFile(const char* path, Bytes& out, std::size_t maxSize)
{
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return false;

  struct stat info;
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
      static_cast<uint64_t>(info.st_size) <= maxSize;
  Bytes bytes;
  std::size_t total = 0;
  if (ok)
    bytes.resize(static_cast<std::size_t>(info.st_size) + 1); // one more, to notice growth
  while (ok)
  {
    if (total == bytes.size())
    {
      if (total > maxSize)
      {
        ok = false;
        break;
      }
      bytes.resize(std::min(total * 2, maxSize + 1));
    }
    const ssize_t n = read(fd, bytes.data() + total, bytes.size() - total);
    if (n > 0)
      total += static_cast<std::size_t>(n);
    else if (n == 0)
      break;
    else if (errno != EINTR)
      ok = false;
  }
  close(fd);
  if (!ok)
    return false;
  bytes.resize(total);
  out = std::move(bytes);
  return true;
}

bool WriteAll(int fd, const uint8_t* data, std::size_t size)
{
  while (size > 0)
  {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SyncFile(int fd)
{
  while (fsync(fd) != 0)
  {
    if (errno != EINTR)
      return false;
  }
  return true;
}

std::string DirectoryOf(const std::string& path)
{
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A fresh name beside path, e.g. "dir/.Bank.fxb.1234-7.tmp"; the file name part is cut so that
// the temporary name stays within the usual 255-byte limit.
std::string TemporaryPathFor(const std::string& path)
{
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, nameStart) + "." + path.substr(nameStart, 200) + "." + std::to_string(getpid()) + "-" +
      std::to_string(counter++) + ".tmp";
}

// Opens a new temporary file beside path (mode 0666 less the umask); -1 on failure.
int CreateTemporaryFile(const std::string& path, std::string& temporaryPath)
{
  constexpr int kAttempts = 16;
  for (int attempt = 0; attempt < kAttempts; ++attempt)
  {
    temporaryPath = TemporaryPathFor(path);
    const int fd = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

// A file being replaced keeps its permissions.
bool KeepPermissionsOf(const char* path, int fd)
{
  struct stat info;
  if (stat(path, &info) != 0 || !S_ISREG(info.st_mode))
    return true;
  return fchmod(fd, info.st_mode & 0777) == 0;
}

// Replaces the file at path with the given bytes: they are written to a new file beside it,
// flushed and renamed over it, so that a failure at any step leaves an existing file as it was and
// never leaves a partly written one.
bool ReplaceFile(const char* path, const void* data, std::size_t size)
{
  const std::string target = path ? path : "";
  if (target.empty() || target.back() == '/')
    return false;

  std::string temporaryPath;
  const int fd = CreateTemporaryFile(target, temporaryPath);
  if (fd < 0)
    return false;
  const bool written =
      KeepPermissionsOf(path, fd) && WriteAll(fd, static_cast<const uint8_t*>(data), size) && SyncFile(fd);
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temporaryPath.c_str(), path) != 0)
  {
    unlink(temporaryPath.c_str());
    return false;
  }

  // Makes the rename itself durable; the new file is in place whatever happens here.
  const int dirFd = open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0)
  {
    SyncFile(dirFd);
    close(dirFd);
  }
  return true;
}

bool ReplaceFile(const char* path, const std::string& text)
{
  return ReplaceFile(path, text.data(), text.size());
}

// --- Source text ---

std::string EncodeBase64(const uint8_t* data, std::size_t size)
{
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3)
  {
    const std::size_t left = size - i;
    const uint32_t bits = (static_cast<uint32_t>(data[i]) << 16) |
        (left > 1 ? static_cast<uint32_t>(data[i + 1]) << 8 : 0u) |
        (left > 2 ? static_cast<uint32_t>(data[i + 2]) : 0u);
    text += kAlphabet[(bits >> 18) & 63u];
    text += kAlphabet[(bits >> 12) & 63u];
    text += left > 1 ? kAlphabet[(bits >> 6) & 63u] : '=';
    text += left > 2 ? kAlphabet[bits & 63u] : '=';
  }
  return text;
}

// The text as the inside of a C string literal.
std::string EscapedForSource(const char* text)
{
  std::string escaped;
  for (const char* c = text ? text : ""; *c; ++c)
  {
    const auto byte = static_cast<unsigned char>(*c);
    if (*c == '"' || *c == '\\')
    {
      escaped += '\\';
      escaped += *c;
    }
    else if (byte < 0x20 || byte == 0x7F)
    {
      char octal[8];
      std::snprintf(octal, sizeof(octal), "\\%03o", byte);
      escaped += octal;
    }
    else
    {
      escaped += *c;
    }
  }
  return escaped;
}

std::string ValueTextForSource(const IParam& param)
{
  const double value = param.GetValue();
  switch (param.Type())
  {
    case IParam::kTypeBool:
      return value >= 0.5 ? "true" : "false";
    case IParam::kTypeInt:
    case IParam::kTypeEnum:
    case IParam::kTypeNote:
      return std::to_string(static_cast<int>(value));
    default:
      return FixedText(value, 6);
  }
}

// Appends "MakePresetFromBlob(\"name\", \"base64\", size);\n" (the size twice when asked); false
// when the state is too large for a dump.
bool AppendBlobLine(std::string& text, const IPresetEntry& preset, bool sizeTwice)
{
  const IByteChunk& state = preset.mChunk;
  if (state.Size() > IPluginBase::kMaxBlobStateSize)
    return false;
  const std::string size = std::to_string(state.Size());
  text += "MakePresetFromBlob(\"" + EscapedForSource(preset.mName) + "\", \"";
  text += EncodeBase64(state.GetData(), static_cast<std::size_t>(state.Size()));
  text += "\", " + size;
  if (sizeTwice)
    text += ", " + size;
  text += ");\n";
  return true;
}

// Writes one blob line per preset to path, replacing the file; false, and nothing written, when
// the path is empty or a state is too large.
bool DumpBlobLines(const char* path, const std::vector<std::unique_ptr<IPresetEntry>>& presets, bool sizeTwice)
{
  if (!path || !*path)
    return false;
  std::string text;
  for (const auto& preset : presets)
  {
    if (!AppendBlobLine(text, *preset, sizeTwice))
      return false;
  }
  return ReplaceFile(path, text);
}

} // namespace

// --- Program and bank files ---

bool IPluginBase::SaveProgramAsFXP(const char* path) const
{
  if (!path || !*path)
    return false;

  std::vector<float> values;
  for (int i = 0; i < NParams(); ++i)
    values.push_back(static_cast<float>(GetParam(i)->GetNormalizedValue()));

  Bytes file;
  AppendProgramRecord(file, GetUniqueID(), mPluginVersion, GetPresetName(mCurrentPresetIdx), values);
  return ReplaceFile(path, file.data(), file.size());
}

bool IPluginBase::LoadProgramFromFXP(const char* path)
{
  if (!path || !*path)
    return false;

  Bytes file;
  if (!ReadWholeFile(path, file, kMaxPresetFileSize) || file.size() < kProgramHeaderSize)
    return false;

  // The parameter count is only used to check the file's length: a file may hold fewer values
  // than the plug-in has parameters (those keep their values) or more (the surplus is ignored).
  const ProgramHeader header = ReadProgramHeader(file.data());
  if (header.chunkMagic != kChunkMagic || header.formMagic != kProgramFormMagic ||
      header.formatVersion != kProgramFormatVersion || header.uniqueID != GetUniqueID() || header.numParams < 0 ||
      file.size() != kProgramHeaderSize + kValueSize * static_cast<std::size_t>(header.numParams))
    return false;

  Program program;
  program.name = header.name;
  if (!ReadNormalizedValues(file.data() + kProgramHeaderSize, static_cast<std::size_t>(header.numParams),
                            program.values))
    return false;

  ApplyProgram(*this, program);
  RestorePreset(mCurrentPresetIdx);
  InformHostOfProgramChange();
  return true;
}

bool IPluginBase::SaveBankAsFXB(const char* path) const
{
  if (!path || !*path)
    return false;

  Bytes file;
  PutInt32(file, kChunkMagic);
  PutInt32(file, 0); // byte size: never trusted by readers
  PutInt32(file, kBankFormMagic);
  PutInt32(file, kBankFormatVersion);
  PutInt32(file, GetUniqueID());
  PutInt32(file, VersionDecimal(mPluginVersion));
  PutInt32(file, NPresets());
  PutInt32(file, mCurrentPresetIdx);
  file.insert(file.end(), kBankReservedSize, uint8_t{0});

  for (const auto& preset : mPresets)
  {
    AppendProgramRecord(file, GetUniqueID(), mPluginVersion, preset->mName,
                        StoredNormalizedValues(*this, preset->mChunk));
  }
  return ReplaceFile(path, file.data(), file.size());
}

bool IPluginBase::LoadBankFromFXB(const char* path)
{
  if (!path || !*path)
    return false;

  Bytes file;
  if (!ReadWholeFile(path, file, kMaxPresetFileSize) || file.size() < kBankHeaderSize)
    return false;

  const uint8_t* header = file.data();
  const int32_t numPrograms = GetInt32(header + 24);
  const int32_t currentProgram = GetInt32(header + 28);
  // Every record has the plug-in's parameter count, so the file's length follows from the count.
  const std::size_t recordSize = kProgramHeaderSize + kValueSize * static_cast<std::size_t>(NParams());
  if (GetInt32(header) != kChunkMagic || GetInt32(header + 8) != kBankFormMagic ||
      GetInt32(header + 16) != GetUniqueID() || numPrograms < 0 ||
      file.size() != kBankHeaderSize + recordSize * static_cast<std::size_t>(numPrograms))
    return false;

  // Everything that can be checked is checked before anything is applied, so that the only way
  // to stop half way is a record whose header fields are wrong: the load then ends there, after
  // the records before it.
  std::vector<Program> programs;
  bool stoppedEarly = false;
  for (int32_t i = 0; i < numPrograms; ++i)
  {
    const uint8_t* record = file.data() + kBankHeaderSize + recordSize * static_cast<std::size_t>(i);
    const ProgramHeader recordHeader = ReadProgramHeader(record);
    if (recordHeader.chunkMagic != kChunkMagic || recordHeader.formMagic != kProgramFormMagic ||
        recordHeader.formatVersion != kProgramFormatVersion || recordHeader.numParams != NParams())
    {
      stoppedEarly = true;
      break;
    }
    Program program;
    program.name = recordHeader.name;
    if (!ReadNormalizedValues(record + kProgramHeaderSize, static_cast<std::size_t>(NParams()), program.values))
      return false;
    programs.push_back(std::move(program));
  }

  // Records beyond the last slot go to the slot that is current at that moment.
  for (std::size_t i = 0; i < programs.size(); ++i)
  {
    RestorePreset(static_cast<int>(i));
    ApplyProgram(*this, programs[i]);
  }

  if (stoppedEarly)
  {
    if (!programs.empty())
      InformHostOfProgramChange();
    return false;
  }

  RestorePreset(currentProgram);
  InformHostOfProgramChange();
  return true;
}

// --- Source dumps ---

bool IPluginBase::DumpPresetSrcCode(const char* path, const char* const* paramNames) const
{
  if (!path || !*path)
    return false;

  const std::string name = EscapedForSource(GetPresetName(mCurrentPresetIdx));
  std::string text;
  if (paramNames)
  {
    text = "  MakePresetFromNamedParams(\"" + name + "\", " + std::to_string(NParams());
    for (int i = 0; i < NParams(); ++i)
    {
      text += ",\n    ";
      text += paramNames[i] ? paramNames[i] : "";
      text += ", " + ValueTextForSource(*GetParam(i));
    }
  }
  else
  {
    text = "  MakePreset(\"" + name + "\"";
    for (int i = 0; i < NParams(); ++i)
      text += ", " + ValueTextForSource(*GetParam(i));
  }
  text += ");\n";
  return ReplaceFile(path, text);
}

bool IPluginBase::DumpPresetBlob(const char* path) const
{
  const IPresetEntry* preset = GetPreset(mCurrentPresetIdx);
  if (!path || !*path || !preset)
    return false;

  std::string text;
  return AppendBlobLine(text, *preset, false) && ReplaceFile(path, text);
}

bool IPluginBase::DumpAllPresetsBlob(const char* path) const
{
  return DumpBlobLines(path, mPresets, true);
}

bool IPluginBase::DumpBankBlob(const char* path) const
{
  return DumpBlobLines(path, mPresets, false);
}

} // namespace plug
