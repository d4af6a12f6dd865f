#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

// A fresh folder /tmp/PREFIX_XXXXXX in place of the user's settings: XDG_CONFIG_HOME and HOME
// point at it, so that nothing a test does reads or writes the user's own files. It is removed,
// with everything in it, when the object goes. Path() is empty when no folder could be made.
class TempSettingsFolder
{
public:
  explicit TempSettingsFolder(const std::string& prefix)
  {
    std::string pattern = "/tmp/" + prefix + "_XXXXXX";
    if (!mkdtemp(pattern.data()))
      return;
    mPath = pattern;
    setenv("XDG_CONFIG_HOME", mPath.c_str(), 1);
    setenv("HOME", mPath.c_str(), 1);
  }
  ~TempSettingsFolder()
  {
    std::error_code ignored;
    if (!mPath.empty())
      std::filesystem::remove_all(mPath, ignored);
  }
  TempSettingsFolder(const TempSettingsFolder&) = delete;
  TempSettingsFolder& operator=(const TempSettingsFolder&) = delete;

  const std::string& Path() const { return mPath; }

private:
  std::string mPath;
};

// One such folder for a whole test program, made before its first test runs (so before a plug-in
// that the program loads first looks for its settings):
//   ::testing::AddGlobalTestEnvironment(new TempSettingsEnvironment("qm_something"));
class TempSettingsEnvironment : public ::testing::Environment
{
public:
  explicit TempSettingsEnvironment(const char* prefix)
    : mPrefix(prefix)
  {
  }
  void SetUp() override
  {
    mFolder = std::make_unique<TempSettingsFolder>(mPrefix);
    ASSERT_FALSE(mFolder->Path().empty()) << "no temporary settings folder";
  }
  void TearDown() override { mFolder.reset(); }

private:
  const char* mPrefix;
  std::unique_ptr<TempSettingsFolder> mFolder;
};
