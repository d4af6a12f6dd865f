#pragma once

#include <string>

namespace quillon {

// The effect's settings file: typed values kept as text entries of an INI file.
// Every operation may be called from any thread; the INI store serialises them.
class TIniFile
{
public:
  // [any]
  explicit TIniFile(std::string fileName);

  // [any] Fills fileName with the settings file's path,
  // $XDG_CONFIG_HOME/QuillonMini/Settings.ini, or ~/.config/QuillonMini/Settings.ini
  // when XDG_CONFIG_HOME is unset or not absolute, and creates the folder when it is
  // missing. Returns true when the folder exists afterwards. When it cannot be
  // created the path is filled all the same (reads give defaults, writes fail);
  // when no home folder is known at all, fileName becomes empty.
  static bool GetIniFileName(std::string& fileName);

  // [any] The Write operations return false, storing nothing, for arguments
  // that cannot be stored (see WritePrivateProfileString) or when the file could not
  // be rewritten.
  bool WriteString(const char* section, const char* key, const char* text) const;
  bool WriteString(const char* section, const char* key, const std::string& text) const;
  bool WriteInt(const char* section, const char* key, int value) const;
  bool WriteBool(const char* section, const char* key, bool value) const;
  // Written with six decimals ("1.500000"). NaN and infinities are refused.
  bool WriteFloat(const char* section, const char* key, float value) const;

  // [any] Results longer than 16 382 characters are cut.
  void ReadString(const char* section, const char* key, const char* defaultText, std::string& result) const;
  // The leading decimal integer of the text, 0 when there is none; clamped to the
  // range of int.
  int ReadInt(const char* section, const char* key, int defaultValue) const;
  bool ReadBool(const char* section, const char* key, bool defaultValue) const;
  // The leading decimal number of the text; 0 when there is none or when it is not
  // a finite float.
  float ReadFloat(const char* section, const char* key, float defaultValue) const;

private:
  std::string mFileName;
};

} // namespace quillon
