#include "effect/TSharedText.h"

#include <algorithm>

namespace quillon {

namespace {

// The longest prefix of at most limit bytes that does not end inside a UTF-8 character.
std::size_t CutAtCharacter(std::string_view text, std::size_t limit)
{
  if (text.size() <= limit)
    return text.size();
  std::size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
    --n;
  return n;
}

} // namespace

// Sequence numbers of write k: 2k - 1 while it is being written, 2k when complete.
void TSharedText::Set(std::string_view text)
{
  const uint64_t k = mNextWrite.fetch_add(1, std::memory_order_relaxed) + 1;
  Slot& slot = mSlots[k % kSlots];
  const std::size_t n = CutAtCharacter(text, kCapacity - 1);
  // Release stores keep the odd sequence ahead of the text: a reader that sees any of the new
  // text sees the sequence moved when it checks again.
  slot.sequence.store(2 * k - 1, std::memory_order_relaxed);
  slot.length.store(static_cast<uint32_t>(n), std::memory_order_release);
  for (std::size_t i = 0; i < n; ++i)
    slot.chars[i].store(text[i], std::memory_order_release);
  slot.sequence.store(2 * k, std::memory_order_release);

  // Concurrent writers may complete out of order: the latest number only grows.
  uint64_t latest = mLatest.load(std::memory_order_relaxed);
  while (latest < k && !mLatest.compare_exchange_weak(latest, k, std::memory_order_release))
  {
  }
}

std::string TSharedText::Get() const
{
  std::string text;
  for (;;)
  {
    const uint64_t k = mLatest.load(std::memory_order_acquire);
    if (k == 0)
      return {};
    const Slot& slot = mSlots[k % kSlots];
    const uint64_t before = slot.sequence.load(std::memory_order_acquire);
    if (before != 2 * k)
      continue; // overwritten by a later write: take the newer one
    const std::size_t n = std::min<std::size_t>(slot.length.load(std::memory_order_acquire), kCapacity - 1);
    text.resize(n);
    for (std::size_t i = 0; i < n; ++i)
      text[i] = slot.chars[i].load(std::memory_order_acquire);
    if (slot.sequence.load(std::memory_order_relaxed) == before)
      return text;
  }
}

} // namespace quillon
