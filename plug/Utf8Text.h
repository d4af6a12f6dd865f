#pragma once

#include <cstddef>
#include <cstring>
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

} // namespace plug
