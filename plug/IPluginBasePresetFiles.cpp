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
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plug/Config.h"
#include "plug/IPresetFile.h"
#include "plug/core/NumberText.h"

namespace plug {

namespace {

using Bytes = std::vector<uint8_t>;

// The parameters held in the program take its values (the others keep theirs); then the current
// slot stores the result, and the program's name when it has one.
void ApplyProgram(IPluginBase& plugin, const IPresetFile::Program& program)
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

// The file a save to path replaces: path itself, or the file a symbolic link there leads to (the
// link stays as it is). False when the save may not replace it: a file the user may not write (the
// rename would replace it all the same), something other than a regular file, or a link that
// leads nowhere.
bool FindFileToReplace(const std::string& path, std::string& target)
{
  target = path;
  struct stat info;
  if (lstat(path.c_str(), &info) != 0)
    return errno == ENOENT; // a new file
  if (S_ISLNK(info.st_mode))
  {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
      return false;
    target = resolved;
    std::free(resolved);
    if (stat(target.c_str(), &info) != 0)
      return false;
  }
  return S_ISREG(info.st_mode) && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

// Replaces the file at path with the given bytes: they are written to a new file beside it,
// flushed and renamed over it, so that a failure at any step leaves an existing file as it was and
// never leaves a partly written one.
bool ReplaceFile(const char* path, const void* data, std::size_t size)
{
  const std::string given = path ? path : "";
  std::string target;
  if (given.empty() || given.back() == '/' || !FindFileToReplace(given, target))
    return false;

  std::string temporaryPath;
  const int fd = CreateTemporaryFile(target, temporaryPath);
  if (fd < 0)
    return false;
  const bool written =
      KeepPermissionsOf(target.c_str(), fd) && WriteAll(fd, static_cast<const uint8_t*>(data), size) && SyncFile(fd);
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temporaryPath.c_str(), target.c_str()) != 0)
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

} // namespace

// --- Program and bank files ---

IPresetFile::Target IPluginBase::PresetFileTarget() const
{
  return IPresetFile::Target{GetUniqueID(), NParams(), NPresets()};
}

bool IPluginBase::SaveProgramAsFXP(const char* path) const
{
  if (!path || !*path)
    return false;

  Bytes file;
  {
    const auto lock = LockPresets(); // the values and the name of one moment
    std::vector<float> values;
    for (int i = 0; i < NParams(); ++i)
      values.push_back(static_cast<float>(GetParam(i)->GetNormalizedValue()));
    IPresetFile::AppendProgram(file, GetUniqueID(), mPluginVersion, GetPresetName(GetCurrentPresetIdx()).c_str(),
                               values);
  }
  return ReplaceFile(path, file.data(), file.size());
}

bool IPluginBase::LoadProgramFromFXP(const char* path)
{
  Bytes file;
  IPresetFile::Program program;
  if (!IPresetFile::ReadFile(path, file) ||
      !IPresetFile::ParseProgram(file.data(), file.size(), PresetFileTarget(), program) || program.isChunk)
    return false;

  {
    const auto lock = LockPresets();
    ApplyProgram(*this, program);
    RestorePreset(GetCurrentPresetIdx());
  }
  InformHostOfProgramChange();
  return true;
}

bool IPluginBase::SaveBankAsFXB(const char* path) const
{
  if (!path || !*path)
    return false;

  Bytes file;
  {
    const auto lock = LockPresets();
    IPresetFile::AppendBankHeader(file, GetUniqueID(), mPluginVersion, NPresets(), GetCurrentPresetIdx());
    for (const auto& preset : mPresets)
    {
      IPresetFile::AppendProgram(file, GetUniqueID(), mPluginVersion, preset->mName,
                                 StoredNormalizedValues(*this, preset->mChunk));
    }
  }
  return ReplaceFile(path, file.data(), file.size());
}

// Everything that can be checked is checked before anything is applied, so that the only way to
// stop half way is a record whose header fields are wrong: the load then ends there, after the
// records before it.
bool IPluginBase::LoadBankFromFXB(const char* path)
{
  Bytes file;
  IPresetFile::Bank bank;
  if (!IPresetFile::ReadFile(path, file) ||
      !IPresetFile::ParseBank(file.data(), file.size(), PresetFileTarget(), bank) || bank.isChunk)
    return false;

  {
    const auto lock = LockPresets();
    // Records beyond the last slot go to the slot that is current at that moment.
    for (std::size_t i = 0; i < bank.programs.size(); ++i)
    {
      RestorePreset(static_cast<int>(i));
      ApplyProgram(*this, bank.programs[i]);
    }
    if (bank.complete)
      RestorePreset(bank.currentProgram);
  }

  if (bank.complete || !bank.programs.empty())
    InformHostOfProgramChange();
  return bank.complete;
}

// --- Source dumps ---

bool IPluginBase::DumpPresetSrcCode(const char* path, const char* const* paramNames) const
{
  if (!path || !*path)
    return false;

  auto lock = LockPresets(); // released before the file is written
  const std::string name = EscapedForSource(GetPresetName(GetCurrentPresetIdx()).c_str());
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
  lock.unlock();
  return ReplaceFile(path, text);
}

bool IPluginBase::DumpPresetBlob(const char* path) const
{
  const std::optional<IPresetEntry> preset = GetPreset(GetCurrentPresetIdx());
  if (!path || !*path || !preset)
    return false;

  std::string text;
  return AppendBlobLine(text, *preset, false) && ReplaceFile(path, text);
}

bool IPluginBase::DumpAllPresetsBlob(const char* path) const
{
  return DumpBlobLines(path, true);
}

bool IPluginBase::DumpBankBlob(const char* path) const
{
  return DumpBlobLines(path, false);
}

bool IPluginBase::DumpBlobLines(const char* path, bool sizeTwice) const
{
  if (!path || !*path)
    return false;
  std::string text;
  {
    const auto lock = LockPresets();
    for (const auto& preset : mPresets)
    {
      if (!AppendBlobLine(text, *preset, sizeTwice))
        return false;
    }
  }
  return ReplaceFile(path, text);
}

} // namespace plug
