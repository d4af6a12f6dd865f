#pragma once

#include <cstdint>

namespace plug {

// One short MIDI message, timed by its frame offset within the current block.
struct IMidiMsg
{
  int mOffset = 0;
  std::uint8_t mStatus = 0;
  std::uint8_t mData1 = 0;
  std::uint8_t mData2 = 0;

  constexpr IMidiMsg() = default;
  constexpr IMidiMsg(int offset, std::uint8_t status, std::uint8_t data1 = 0, std::uint8_t data2 = 0)
    : mOffset(offset),
      mStatus(status),
      mData1(data1),
      mData2(data2)
  {
  }

  constexpr void Clear() { *this = IMidiMsg(); }
};

// One system-exclusive message. The bytes are not owned: they belong to whoever made the message
// and must outlive every use of it.
struct ISysEx
{
  int mOffset = 0;
  const std::uint8_t* mData = nullptr;
  int mSize = 0;

  constexpr ISysEx() = default;
  constexpr ISysEx(int offset, const std::uint8_t* data, int size)
    : mOffset(offset),
      mData(data),
      mSize(size)
  {
  }

  constexpr void Clear() { *this = ISysEx(); }
};

} // namespace plug
