#include "plug/core/NumberText.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>

namespace plug {

std::string FixedText(double value, int decimals, bool plusSign)
{
  char text[512]; // room for every double with up to 150 decimals
  char* start = text;
  if (plusSign && !std::signbit(value))
    *start++ = '+';
  const auto result = std::to_chars(start, text + sizeof(text), value, std::chars_format::fixed, decimals);
  return result.ec == std::errc() ? std::string(text, result.ptr) : std::string();
}

bool ReadNumber(const char* text, double& value)
{
  // The C locale whatever locale the host has switched the process to. glibc hands out its
  // built-in object for "C", so this cannot fail.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
  char* end = nullptr;
  value = strtod_l(text, &end, cLocale);
  if (end != text)
    return true;
  value = 0.0;
  return false;
}

} // namespace plug
