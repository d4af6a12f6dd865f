#include "plug/NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

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
  value = 0.0;
  while (std::isspace(static_cast<unsigned char>(*text)))
    ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+')
    ++text;
  // from_chars takes a minus sign of its own, which strtod would not after the first sign.
  if (*text == '-' || *text == '+')
    return false;
  double number = 0.0;
  if (std::from_chars(text, text + std::strlen(text), number).ec != std::errc())
    return false;
  value = negative ? -number : number;
  return true;
}

} // namespace plug
