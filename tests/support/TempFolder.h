#pragma once

// Folders of their own for the tests and benchmarks, so that nothing they do reads or writes the
// user's files, and nothing they leave outlives them.

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

// A fresh folder PREFIX_XXXXXX in the system's temporary folder, removed with everything in it
// when the object goes. Path() is empty when no folder could be made.
class TempFolder
{
public:
  explicit TempFolder(const std::string& prefix)
  {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
      base = "/tmp";
    std::string pattern = (base / (prefix + "_XXXXXX")).string();
    if (mkdtemp(pattern.data()))
      mPath = pattern;
  }
  ~TempFolder()
  {
    std::error_code ignored;
    if (!mPath.empty())
      std::filesystem::remove_all(mPath, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return mPath; }
  std::string PathOf(const std::string& name) const { return mPath + "/" + name; }

private:
  std::string mPath;
};

// Sets an environment variable while it lives, and puts back what was there (or nothing) when it
// goes.
class ScopedEnvironmentVariable
{
public:
  ScopedEnvironmentVariable(const char* name, const std::string& value)
    : mName(name)
  {
    if (const char* old = getenv(name))
      mOld = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironmentVariable()
  {
    if (mOld)
      setenv(mName.c_str(), mOld->c_str(), 1);
    else
      unsetenv(mName.c_str());
  }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
  std::string mName;
  std::optional<std::string> mOld;
};

// A TempFolder in place of the user's settings: XDG_CONFIG_HOME and HOME point at it while it
// lives. Made before a plug-in looks for its settings (a plug-in reads its settings path once, when
// it is made).
class TempSettingsFolder
{
public:
  explicit TempSettingsFolder(const std::string& prefix)
    : mFolder(prefix),
      mConfigHome("XDG_CONFIG_HOME", mFolder.Path()),
      mHome("HOME", mFolder.Path())
  {
  }

  const std::string& Path() const { return mFolder.Path(); }
  std::string PathOf(const std::string& name) const { return mFolder.PathOf(name); }

private:
  TempFolder mFolder;
  ScopedEnvironmentVariable mConfigHome;
  ScopedEnvironmentVariable mHome;
};
