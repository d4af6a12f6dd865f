#include "ini/ini_store.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "files/AtomicFile.h"

namespace {

constexpr std::size_t kCachedFiles = 32;
constexpr std::size_t kMaxLineLength = std::size_t{32} << 20;
// Without a section header within this many characters the file is taken not to be
// an INI file and is not read whole.
constexpr std::size_t kHeaderlessReadLimit = 262144;

// ---------------------------------------------------------------------------
// Names

char AsciiLower(char c)
{
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int CompareIgnoreCase(std::string_view a, std::string_view b)
{
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i)
  {
    const auto ca = static_cast<unsigned char>(AsciiLower(a[i]));
    const auto cb = static_cast<unsigned char>(AsciiLower(b[i]));
    if (ca != cb)
      return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size())
    return 0;
  return a.size() < b.size() ? -1 : 1;
}

struct LessIgnoreCase
{
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return CompareIgnoreCase(a, b) < 0; }
};

bool IsBlank(char c)
{
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text)
{
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// What a reader sees of a stored value: blanks around it and one pair of matching
// quotes dropped. Stops at an embedded zero, as the value is handed out as C text.
std::string_view VisibleValue(const std::string& stored)
{
  std::string_view value = TrimBlanks(std::string_view(stored.c_str()));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
  {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Names and values that would not read back as written are refused: the file format
// has no escapes, so a line break in a value, for instance, would forge new entries.
bool IsStorableSection(std::string_view name)
{
  return !name.empty() && name.find_first_of("]\r\n") == std::string_view::npos;
}

bool IsStorableKey(std::string_view key)
{
  return !key.empty() && !IsBlank(key.front()) && key.front() != '[' &&
      key.find_first_of("=\r\n") == std::string_view::npos;
}

bool IsStorableValue(std::string_view value)
{
  return value.find_first_of("\r\n") == std::string_view::npos;
}

// ---------------------------------------------------------------------------
// Parsed contents

struct IniEntry
{
  std::string key;
  std::string value;
};

struct IniSection
{
  std::string name;
  std::vector<IniEntry> entries; // sorted by key, ignoring case
};

using Sections = std::vector<IniSection>; // sorted by name, ignoring case

Sections::iterator LowerBoundSection(Sections& sections, std::string_view name)
{
  return std::lower_bound(sections.begin(), sections.end(), name,
                          [](const IniSection& s, std::string_view n) { return CompareIgnoreCase(s.name, n) < 0; });
}

IniSection* FindSection(Sections& sections, std::string_view name)
{
  const auto it = LowerBoundSection(sections, name);
  return (it != sections.end() && CompareIgnoreCase(it->name, name) == 0) ? &*it : nullptr;
}

std::vector<IniEntry>::iterator LowerBoundEntry(std::vector<IniEntry>& entries, std::string_view key)
{
  return std::lower_bound(entries.begin(), entries.end(), key,
                          [](const IniEntry& e, std::string_view k) { return CompareIgnoreCase(e.key, k) < 0; });
}

IniEntry* FindEntry(IniSection& section, std::string_view key)
{
  const auto it = LowerBoundEntry(section.entries, key);
  return (it != section.entries.end() && CompareIgnoreCase(it->key, key) == 0) ? &*it : nullptr;
}

// Sorts by key; of several entries with one key the one read last wins.
void SortEntries(std::vector<IniEntry>& entries)
{
  std::stable_sort(entries.begin(), entries.end(),
                   [](const IniEntry& a, const IniEntry& b) { return CompareIgnoreCase(a.key, b.key) < 0; });
  std::vector<IniEntry> unique;
  unique.reserve(entries.size());
  for (IniEntry& entry : entries)
  {
    if (!unique.empty() && CompareIgnoreCase(unique.back().key, entry.key) == 0)
    {
      unique.back() = std::move(entry);
    }
    else
    {
      unique.push_back(std::move(entry));
    }
  }
  entries.swap(unique);
}

// Applies one write to the parsed contents. Returns whether anything changed.
bool ApplyWrite(Sections& sections, std::string_view section, const char* key, const char* value)
{
  if (key == nullptr)
  {
    const auto it = LowerBoundSection(sections, section);
    if (it == sections.end() || CompareIgnoreCase(it->name, section) != 0)
      return false;
    sections.erase(it);
    return true;
  }
  IniSection* target = FindSection(sections, section);
  if (value == nullptr)
  {
    if (target == nullptr)
      return false;
    const auto it = LowerBoundEntry(target->entries, key);
    if (it == target->entries.end() || CompareIgnoreCase(it->key, key) != 0)
      return false;
    target->entries.erase(it);
    return true;
  }
  if (target == nullptr)
  {
    target = &*sections.insert(LowerBoundSection(sections, section), IniSection{std::string(section), {}});
  }
  if (IniEntry* entry = FindEntry(*target, key))
  {
    if (entry->value == value)
      return false;
    entry->value = value;
    return true;
  }
  target->entries.insert(LowerBoundEntry(target->entries, key), IniEntry{key, value});
  return true;
}

std::string Serialise(const Sections& sections)
{
  std::string text;
  for (const IniSection& section : sections)
  {
    text += '[';
    text += section.name;
    text += "]\n";
    for (const IniEntry& entry : section.entries)
    {
      if (entry.key.empty())
        continue;
      text += entry.key;
      text += '=';
      text += entry.value;
      text += '\n';
    }
    text += '\n';
  }
  return text;
}

// ---------------------------------------------------------------------------
// Reading

// Builds the sections from the file's lines, one line at a time.
class IniLineParser
{
public:
  explicit IniLineParser(Sections& sections)
    : mSections(sections)
  {
  }

  void TakeLine(std::string_view line)
  {
    while (!line.empty() && (IsBlank(line.back()) || line.back() == '\r' || line.back() == '\n'))
    {
      line.remove_suffix(1);
    }
    while (!line.empty() && IsBlank(line.front()))
      line.remove_prefix(1);
    if (line.empty())
      return;
    if (line.front() == '[')
    {
      TakeHeader(line);
      return;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0 || mCurrent == kNoSection)
      return;
    mSections[mCurrent].entries.push_back(
        IniEntry{std::string(line.substr(0, equals)), std::string(line.substr(equals + 1))});
  }

  bool SawHeader() const { return mSawHeader; }

  void Finish()
  {
    std::sort(mSections.begin(), mSections.end(),
              [](const IniSection& a, const IniSection& b) { return CompareIgnoreCase(a.name, b.name) < 0; });
    for (IniSection& section : mSections)
      SortEntries(section.entries);
  }

private:
  static constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);

  void TakeHeader(std::string_view line)
  {
    const std::size_t close = line.find(']', 1);
    if (close == std::string_view::npos)
      return;
    mSawHeader = true;
    const std::string_view name = line.substr(1, close - 1);
    if (name.empty())
    {
      mCurrent = kNoSection;
      return;
    }
    const auto [it, added] = mIndex.try_emplace(std::string(name), mSections.size());
    if (added)
    {
      mSections.push_back(IniSection{std::string(name), {}});
    }
    else
    {
      mSections[it->second].entries.clear();
    }
    mCurrent = it->second;
  }

  Sections& mSections;
  std::map<std::string, std::size_t, LessIgnoreCase> mIndex;
  std::size_t mCurrent = kNoSection;
  bool mSawHeader = false;
};

enum class ReadOutcome
{
  Whole,   // every line was taken in
  Partial, // something was left out (a line over the length limit, or not an INI file)
  Failed   // reading failed
};

bool AtEndOfFile(int fd)
{
  char probe;
  for (;;)
  {
    const ssize_t n = read(fd, &probe, 1);
    if (n >= 0)
      return n == 0;
    if (errno != EINTR)
      return false;
  }
}

ReadOutcome ReadIniFile(int fd, Sections& sections)
{
  IniLineParser parser(sections);
  std::string line;
  bool lineTooLong = false;
  bool leftOut = false;
  std::size_t consumed = 0;
  std::array<char, 16384> chunk;

  for (;;)
  {
    const ssize_t count = read(fd, chunk.data(), chunk.size());
    if (count < 0)
    {
      if (errno == EINTR)
        continue;
      return ReadOutcome::Failed;
    }
    if (count == 0)
      break;
    const char* pos = chunk.data();
    const char* const end = pos + count;
    while (pos < end)
    {
      const auto* newline = static_cast<const char*>(std::memchr(pos, '\n', static_cast<std::size_t>(end - pos)));
      const char* const stop = newline != nullptr ? newline : end;
      const auto length = static_cast<std::size_t>(stop - pos);
      if (!lineTooLong)
      {
        if (line.size() + length > kMaxLineLength)
        {
          lineTooLong = true;
          std::string().swap(line);
        }
        else
        {
          line.append(pos, length);
        }
      }
      consumed += length;
      pos = stop;
      if (newline != nullptr)
      {
        consumed += 1;
        pos = newline + 1;
        if (lineTooLong)
        {
          leftOut = true;
          lineTooLong = false;
        }
        else
        {
          parser.TakeLine(line);
        }
        line.clear();
      }
      if (!parser.SawHeader() && consumed > kHeaderlessReadLimit)
      {
        parser.Finish();
        const bool tookEverything = !leftOut && !lineTooLong && line.empty() && pos == end && AtEndOfFile(fd);
        return tookEverything ? ReadOutcome::Whole : ReadOutcome::Partial;
      }
    }
  }
  if (lineTooLong)
  {
    leftOut = true;
  }
  else
  {
    parser.TakeLine(line);
  }
  parser.Finish();
  return leftOut ? ReadOutcome::Partial : ReadOutcome::Whole;
}

// ---------------------------------------------------------------------------
// Files

// Identity and state of a file on disk; all zero when it does not exist.
struct FileStamp
{
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modifiedSeconds = 0;
  long modifiedNanoseconds = 0;

  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const struct stat& info)
{
  return FileStamp{info.st_dev, info.st_ino, info.st_size, static_cast<std::int64_t>(info.st_mtim.tv_sec),
                   info.st_mtim.tv_nsec};
}

FileStamp CurrentStamp(const std::string& path)
{
  struct stat info;
  if (stat(path.c_str(), &info) != 0)
    return FileStamp{};
  return StampOf(info);
}

bool LockFile(int fd, int operation)
{
  while (flock(fd, operation) != 0)
  {
    if (errno != EINTR)
      return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// The store

struct CachedFile
{
  bool used = false;
  bool current = false; // false: read the file again at the next call, whatever its stamp
  bool complete = true; // false: the file exists but was not read whole, so it must not be rewritten
  std::uint64_t lastUse = 0;
  std::string path;
  FileStamp stamp;
  Sections sections;
};

class IniStore
{
public:
  static IniStore& Instance()
  {
    static IniStore store;
    return store;
  }

  // [any]
  int Read(const char* section, const char* key, const char* defaultValue, char* buffer, int bufferSize,
           const char* path)
  {
    if (buffer == nullptr || bufferSize <= 0)
      return 0;
    std::string_view text = defaultValue != nullptr ? defaultValue : "";
    std::lock_guard<std::mutex> lock(mMutex);
    if (section != nullptr && key != nullptr && path != nullptr && *path != '\0')
    {
      CachedFile& file = Load(path);
      if (IniSection* s = FindSection(file.sections, section))
      {
        if (IniEntry* entry = FindEntry(*s, key))
          text = VisibleValue(entry->value);
      }
    }
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(bufferSize - 1));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
  }

  // [any]
  bool Write(const char* section, const char* key, const char* value, const char* path)
  {
    if (section == nullptr || path == nullptr || *path == '\0')
      return false;
    const bool setsValue = key != nullptr && value != nullptr;
    if (setsValue ? !(IsStorableSection(section) && IsStorableKey(key) && IsStorableValue(value))
                  : (*section == '\0' || (key != nullptr && *key == '\0')))
    {
      return false;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    CachedFile& file = Load(path);
    if (!file.complete)
      return false;
    if (!ApplyWrite(file.sections, section, key, value))
      return true;
    // Every writer, in any process, goes through one shared temporary file, so the stamp taken
    // while its lock is held cannot be another writer's.
    struct stat written;
    if (!files::ReplaceFile(file.path, Serialise(file.sections), files::ETemporaryFile::kShared, &written))
    {
      file.current = false; // drop the change that did not reach the disk
      return false;
    }
    file.stamp = StampOf(written);
    return true;
  }

private:
  CachedFile& SlotFor(std::string_view path)
  {
    // Paths compare exactly: on this system "a.ini" and "A.ini" are two files.
    CachedFile* leastRecent = &mFiles[0];
    for (CachedFile& file : mFiles)
    {
      if (!file.used || file.path == path)
        return file;
      if (file.lastUse < leastRecent->lastUse)
        leastRecent = &file;
    }
    return *leastRecent;
  }

  CachedFile& Load(std::string_view path)
  {
    CachedFile& file = SlotFor(path);
    file.lastUse = ++mUseCounter;
    if (file.used && file.current && file.path == path && file.stamp == CurrentStamp(file.path))
      return file;
    file.used = true;
    file.path = path;
    ReadFile(file);
    return file;
  }

  static void ReadFile(CachedFile& file)
  {
    file.sections.clear();
    file.stamp = FileStamp{};
    file.current = true;
    file.complete = true;
    // Non-blocking, so that a FIFO in the file's place cannot hang the caller.
    const int fd = open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
    {
      // A missing file is simply empty; any other failure is tried again next time.
      file.complete = file.current = (errno == ENOENT);
      return;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    {
      file.complete = file.current = false;
      close(fd);
      return;
    }
    LockFile(fd, LOCK_SH); // advisory; reading goes on without it
    const ReadOutcome outcome = ReadIniFile(fd, file.sections);
    LockFile(fd, LOCK_UN);
    close(fd);
    if (outcome == ReadOutcome::Failed)
    {
      file.complete = file.current = false;
      return;
    }
    file.complete = outcome == ReadOutcome::Whole;
    // Taken before reading: a change made while reading shows at the next call.
    file.stamp = StampOf(info);
  }

  std::mutex mMutex;
  std::array<CachedFile, kCachedFiles> mFiles; // guarded by mMutex
  std::uint64_t mUseCounter = 0;               // guarded by mMutex
};

} // namespace

int GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                            int bufferSize, const char* path)
{
  return IniStore::Instance().Read(section, key, defaultValue, buffer, bufferSize, path);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path)
{
  return IniStore::Instance().Write(section, key, value, path);
}
