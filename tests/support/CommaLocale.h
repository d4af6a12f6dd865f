#pragma once

#include <stdlib.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

// Switches LC_NUMERIC to a German locale, built into a scratch folder (glibc finds it through
// LOCPATH), and back to "C" when it goes. False when this machine cannot build it.
class CommaLocale
{
public:
  CommaLocale()
  {
    char folder[] = "/tmp/qm-locale-XXXXXX";
    if (!mkdtemp(folder))
      return;
    mFolder = folder;
    const std::string build = "localedef -i de_DE -f UTF-8 " + mFolder + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(build.c_str()) != 0)
      return;
    setenv("LOCPATH", mFolder.c_str(), 1);
    mActive = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  }
  ~CommaLocale()
  {
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
    std::error_code ignored;
    if (!mFolder.empty())
      std::filesystem::remove_all(mFolder, ignored);
  }
  explicit operator bool() const { return mActive; }

private:
  std::string mFolder;
  bool mActive = false;
};
