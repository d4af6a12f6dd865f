#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// A short text that any thread may replace while others read it, without locks: the preset name
// the editor shows, which program changes set on the host's thread while the editor draws on the
// main thread.
//
// Each write goes to the next of a few slots, each guarded by its own sequence number; a reader
// copies the latest complete slot and checks that its sequence did not move meanwhile, or tries
// again. Writers never wait; a reader repeats only while writes overtake it.
class TSharedText
{
public:
  // Bytes kept, terminator included; longer texts are cut (at a UTF-8 character boundary).
  static constexpr std::size_t kCapacity = 256;

  TSharedText() = default;
  TSharedText(const TSharedText&) = delete;
  TSharedText& operator=(const TSharedText&) = delete;

  void Set(std::string_view text); // [any]
  std::string Get() const;         // [any]
  // [any] Grows with every Set: a reader that saw this number saw at least that text.
  uint64_t Version() const { return mLatest.load(std::memory_order_acquire); }

private:
  static constexpr int kSlots = 4;

  struct Slot
  {
    std::atomic<uint64_t> sequence{0}; // odd while being written
    std::atomic<uint32_t> length{0};
    std::atomic<char> chars[kCapacity - 1] = {};
  };

  Slot mSlots[kSlots];
  std::atomic<uint64_t> mNextWrite{0};
  std::atomic<uint64_t> mLatest{0}; // number of the latest complete write, 0 before any
};

} // namespace quillon
