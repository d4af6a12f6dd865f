#pragma once

#include <atomic>

namespace plug {

// A value that one thread publishes and another takes, where only the latest counts (a newer one
// supersedes an older one not yet taken): three slots, one being written, one being read and one
// between them, swapped by one atomic exchange. Neither side waits, locks or allocates, so either
// may be an audio thread.
//
// Threads: one producer thread (WriteSlot, Publish) and one consumer thread (Take, ReadSlot) at a
// time; a side that several threads share holds a lock of its own around its calls.
template <typename T>
class ILatestValue
{
public:
  // [any] The producer: the slot to fill before Publish; holds whatever it held before.
  T& WriteSlot() { return mSlots[mWriting]; }
  // [any] The producer: the filled slot becomes the latest value.
  void Publish()
  {
    const int previous = mBetween.exchange(mWriting | kFresh, std::memory_order_acq_rel);
    mWriting = previous & kIndexMask;
  }

  // [any] The consumer: true when a value was published since the last Take: ReadSlot then holds it.
  bool Take()
  {
    if (!(mBetween.load(std::memory_order_acquire) & kFresh))
      return false;
    const int previous = mBetween.exchange(mReading, std::memory_order_acq_rel);
    mReading = previous & kIndexMask;
    return true;
  }
  // [any] The consumer: the value last taken (a default one before the first Take).
  T& ReadSlot() { return mSlots[mReading]; }

  // For the owner, before the two threads start: every slot, to size them alike.
  template <typename Func>
  void ForEachSlot(Func&& func)
  {
    for (T& slot : mSlots)
      func(slot);
  }

private:
  static constexpr int kIndexMask = 3;
  static constexpr int kFresh = 4;

  T mSlots[3];
  std::atomic<int> mBetween{1};
  int mWriting = 0;
  int mReading = 2;
};

} // namespace plug
