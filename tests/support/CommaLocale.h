#pragma once

#include <stdlib.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "tests/support/TempFolder.h"

// Switches LC_NUMERIC to a German locale, built into a scratch folder (glibc finds it through
// LOCPATH), and back to "C" when it goes. False when this machine cannot build it.
class CommaLocale
{
public:
  CommaLocale()
  {
    if (mFolder.Path().empty())
      return;
    const std::string build = "localedef -i de_DE -f UTF-8 " + mFolder.Path() + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(build.c_str()) != 0)
      return;
    setenv("LOCPATH", mFolder.Path().c_str(), 1);
    mActive = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  }
  ~CommaLocale()
  {
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
  }
  explicit operator bool() const { return mActive; }

private:
  TempFolder mFolder{"qm-locale"};
  bool mActive = false;
};
