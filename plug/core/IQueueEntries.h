#pragma once

#include <cstdint>
#include <cstring>

#include "plug/core/IMidi.h"

// Entries of the rings between the editor and the processing side. MIDI messages travel as
// plug::IMidiMsg itself (sample offset and three bytes).
namespace plug {

// Usable entries of each ring.
constexpr int kParamChangeQueueSize = 512; // parameter changes, processing side to editor
constexpr int kMidiMsgQueueSize = 32;      // MIDI, each direction
constexpr int kSysExQueueSize = 4;         // system exclusive, each direction

// A parameter's new plain value.
struct ParamChange
{
  int32_t idx = 0;
  double value = 0.0;

  constexpr ParamChange() = default;
  constexpr ParamChange(int32_t paramIdx, double plainValue)
    : idx(paramIdx),
      value(plainValue)
  {
  }
};

// A system-exclusive message copied into the entry, so that it outlives the caller's buffer.
//
// A message longer than the entry holds is rejected, not cut short: a truncated system-exclusive
// dump would lose its end byte and reach the receiver as a different, malformed message. So are a
// negative size and a null data pointer with a non-zero size. A rejected message leaves the entry
// unchanged and is never queued.
struct SysExData
{
  static constexpr int kMaxDataSize = 512;

  int32_t mOffset = 0;
  int32_t mSize = 0;
  uint8_t mData[kMaxDataSize] = {};

  static constexpr bool CanHold(const ISysEx& msg)
  {
    return msg.mSize >= 0 && msg.mSize <= kMaxDataSize && (msg.mData != nullptr || msg.mSize == 0);
  }

  // Copies offset, size and data; the bytes after the message are zero. False when the message
  // cannot be held (see above).
  bool Assign(const ISysEx& msg)
  {
    if (!CanHold(msg))
      return false;
    mOffset = msg.mOffset;
    mSize = msg.mSize;
    if (msg.mSize > 0)
      std::memcpy(mData, msg.mData, static_cast<size_t>(msg.mSize));
    std::memset(mData + msg.mSize, 0, static_cast<size_t>(kMaxDataSize - msg.mSize));
    return true;
  }

  // A message that points into this entry; valid while the entry lives and is unchanged.
  ISysEx AsSysEx() const { return ISysEx(mOffset, mData, mSize); }
};

} // namespace plug
