#include "effect/inifile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "ini/ini_store.h"
#include "plug/core/NumberText.h"

namespace quillon {

namespace {

constexpr const char* kSettingsFolder = "QuillonMini";
constexpr const char* kSettingsFile = "Settings.ini";
constexpr std::size_t kReadBufferSize = 16384;

// ---------------------------------------------------------------------------
// Where the file lives

std::string HomeFolder()
{
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0)
    size = 16384;
  std::vector<char> buffer(static_cast<std::size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && *found->pw_dir != '\0')
  {
    return found->pw_dir;
  }
  return {};
}

void DropTrailingSlashes(std::string& path)
{
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
}

// The per-user configuration folder: $XDG_CONFIG_HOME, or ~/.config. A relative
// XDG_CONFIG_HOME is ignored, as the XDG base directory rules ask.
std::string ConfigFolder()
{
  std::string folder;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
  {
    folder = xdg;
  }
  else
  {
    folder = HomeFolder();
    if (folder.empty())
      return {};
    DropTrailingSlashes(folder);
    folder += "/.config";
  }
  DropTrailingSlashes(folder);
  return folder;
}

bool IsDirectory(const std::string& path)
{
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeDirectories(const std::string& path, mode_t mode)
{
  if (IsDirectory(path))
    return true;
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1))
  {
    const std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST)
      return false;
    if (slash == std::string::npos)
      break;
  }
  return IsDirectory(path);
}

// ---------------------------------------------------------------------------
// Numbers as text, independent of the process locale (a host may change it)

std::string FormatInt(int value)
{
  std::array<char, 16> text;
  const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
  return std::string(text.data(), end);
}

// As "%f": six decimals.
std::string FormatFloat(float value)
{
  return plug::FixedText(value, 6);
}

bool IsDigit(char c)
{
  return c >= '0' && c <= '9';
}

// Skips white space and reads an optional sign.
std::string_view SkipSpaceAndSign(std::string_view text, bool& negative)
{
  while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r')))
  {
    text.remove_prefix(1);
  }
  negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+'))
    text.remove_prefix(1);
  return text;
}

int ParseLeadingInt(std::string_view text)
{
  bool negative = false;
  text = SkipSpaceAndSign(text, negative);
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  long long magnitude = 0;
  for (std::size_t i = 0; i < text.size() && IsDigit(text[i]); ++i)
  {
    magnitude = std::min(kLimit, magnitude * 10 + (text[i] - '0'));
  }
  const long long value = negative ? -magnitude : magnitude;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

std::size_t CountDigits(std::string_view text, std::size_t from)
{
  std::size_t end = from;
  while (end < text.size() && IsDigit(text[end]))
    ++end;
  return end - from;
}

// The leading decimal number (digits, point, exponent); no hexadecimal forms, no
// "inf" or "nan". 0 when there is none or it is out of range.
double ParseLeadingDecimal(std::string_view text)
{
  bool negative = false;
  text = SkipSpaceAndSign(text, negative);
  std::size_t length = CountDigits(text, 0);
  std::size_t digits = length;
  if (length < text.size() && text[length] == '.')
  {
    const std::size_t fraction = CountDigits(text, length + 1);
    digits += fraction;
    length += 1 + fraction;
  }
  if (digits == 0)
    return 0.0;
  if (length < text.size() && (text[length] == 'e' || text[length] == 'E'))
  {
    std::size_t exponent = length + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
      ++exponent;
    const std::size_t exponentDigits = CountDigits(text, exponent);
    if (exponentDigits > 0)
      length = exponent + exponentDigits;
  }
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + length, value, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value))
    return 0.0;
  return negative ? -value : value;
}

} // namespace

TIniFile::TIniFile(std::string fileName)
  : mFileName(std::move(fileName))
{
}

bool TIniFile::GetIniFileName(std::string& fileName)
{
  const std::string base = ConfigFolder();
  if (base.empty())
  {
    fileName.clear();
    return false;
  }
  // The base folder is private to the user, as the XDG rules ask when creating it.
  const bool baseExists = MakeDirectories(base, 0700);
  const std::string folder = base + "/" + kSettingsFolder;
  // The process's file-creation mask is left alone: it is shared with every other
  // thread of the host, and it decides who else may write into the folder.
  if (baseExists && !IsDirectory(folder))
    mkdir(folder.c_str(), 0777);
  fileName = folder + "/" + kSettingsFile;
  return IsDirectory(folder);
}

bool TIniFile::WriteString(const char* section, const char* key, const char* text) const
{
  return WritePrivateProfileString(section, key, text, mFileName.c_str());
}

bool TIniFile::WriteString(const char* section, const char* key, const std::string& text) const
{
  // The store takes C text: a zero inside would silently cut the value.
  if (text.find('\0') != std::string::npos)
    return false;
  return WriteString(section, key, text.c_str());
}

bool TIniFile::WriteInt(const char* section, const char* key, int value) const
{
  return WriteString(section, key, FormatInt(value));
}

bool TIniFile::WriteBool(const char* section, const char* key, bool value) const
{
  return WriteInt(section, key, value ? 1 : 0);
}

bool TIniFile::WriteFloat(const char* section, const char* key, float value) const
{
  if (!std::isfinite(value))
    return false;
  return WriteString(section, key, FormatFloat(value));
}

void TIniFile::ReadString(const char* section, const char* key, const char* defaultText, std::string& result) const
{
  std::array<char, kReadBufferSize> buffer;
  const int length = GetPrivateProfileString(section, key, defaultText, buffer.data(),
                                             static_cast<int>(kReadBufferSize - 1), mFileName.c_str());
  result.assign(buffer.data(), static_cast<std::size_t>(length));
}

int TIniFile::ReadInt(const char* section, const char* key, int defaultValue) const
{
  std::string text;
  ReadString(section, key, FormatInt(defaultValue).c_str(), text);
  return ParseLeadingInt(text);
}

bool TIniFile::ReadBool(const char* section, const char* key, bool defaultValue) const
{
  return ReadInt(section, key, defaultValue ? 1 : 0) != 0;
}

float TIniFile::ReadFloat(const char* section, const char* key, float defaultValue) const
{
  std::string text;
  ReadString(section, key, FormatFloat(defaultValue).c_str(), text);
  const double value = ParseLeadingDecimal(text);
  if (std::fabs(value) > static_cast<double>(FLT_MAX))
    return 0.0f;
  return static_cast<float>(value);
}

} // namespace quillon
