#pragma once

#include <algorithm>
#include <cctype>
#include <string>

// Small text helpers of the command-line tools.

inline std::string Trimmed(const std::string& text)
{
  size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first])))
    ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1])))
    --last;
  return text.substr(first, last - first);
}

inline bool SameIgnoringCase(const std::string& a, const std::string& b)
{
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}
