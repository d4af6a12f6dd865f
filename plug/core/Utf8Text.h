#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace plug {

// Texts cut to fit a field of bytes: names in preset slots, in files and in a host's buffers. A
// cut never splits a UTF-8 character, so what is left is still text. Bytes that are not UTF-8
// are cut where the field ends.

// [any] The length of the longest start of text that fits in maxBytes bytes.
constexpr std::size_t Utf8FittingLength(std::string_view text, std::size_t maxBytes)
{
  if (text.size() <= maxBytes)
    return text.size();
  auto isContinuation = [&text](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0u) == 0x80u; };
  // A character has at most three continuation bytes; the cut moves back to the byte that starts it.
  std::size_t length = maxBytes;
  while (length > 0 && maxBytes - length < 3 && isContinuation(length))
    --length;
  return isContinuation(length) ? maxBytes : length;
}

// [any] Copies text (null counts as empty) into a field of capacity bytes, terminator included, cut as
// above. Reads at most capacity bytes of text, so a host's buffer need not be terminated within it.
inline void CopyUtf8Text(char* field, std::size_t capacity, const char* text)
{
  if (!field || capacity == 0)
    return;
  const std::string_view source(text ? text : "", text ? strnlen(text, capacity) : 0);
  const std::size_t length = Utf8FittingLength(source, capacity - 1);
  std::memmove(field, source.data(), length);
  field[length] = '\0';
}

// Single characters: decoded from and encoded to UTF-8.

// [any] The character at the start of a terminated text: its length in bytes (1 to 4), with its
// code point in c, or 0 when the bytes there start no character (a stray continuation byte, a
// sequence cut short, an overlong form, a surrogate, beyond U+10FFFF). Reads nothing past the
// terminator.
constexpr int DecodeUtf8(const char* text, char32_t& c)
{
  const auto lead = static_cast<unsigned char>(text[0]);
  const int extra = lead < 0x80 ? 0
      : (lead & 0xE0) == 0xC0   ? 1
      : (lead & 0xF0) == 0xE0   ? 2
      : (lead & 0xF8) == 0xF0   ? 3
                                : -1;
  if (extra < 0)
    return 0;
  c = extra == 0 ? lead : extra == 1 ? (lead & 0x1Fu) : extra == 2 ? (lead & 0x0Fu) : (lead & 0x07u);
  for (int i = 1; i <= extra; ++i)
  {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80)
      return 0;
    c = (c << 6) | (next & 0x3Fu);
  }
  constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
  return c >= kShortest[extra] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF) ? extra + 1 : 0;
}

// [any] Writes the UTF-8 bytes of the code point c to out: how many (1 to 4), 0 beyond U+10FFFF.
constexpr int EncodeUtf8(char32_t c, char* out)
{
  if (c < 0x80)
  {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800)
  {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000)
  {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  if (c < 0x110000)
  {
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
  }
  return 0;
}

// [any] Appends the UTF-8 bytes of the code point c to text (nothing beyond U+10FFFF).
inline void AppendUtf8(std::string& text, char32_t c)
{
  char bytes[4] = {};
  text.append(bytes, static_cast<std::size_t>(EncodeUtf8(c, bytes)));
}

} // namespace plug
