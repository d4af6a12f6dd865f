#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace plug {

// A fixed ring of entries with exactly one producer thread and one consumer thread, without locks.
// The producer writes the entry and then publishes it by advancing the write index (release); the
// consumer sees it through the write index (acquire), copies the entry out and only then advances
// the read index, which hands the slot back to the producer.
//
// One slot of the storage always stays free so that a full ring can be told from an empty one;
// the capacity given to the constructor is the number of usable entries. Pushing onto a full ring
// drops the new entry and reports false. The storage is allocated once, in the constructor.
//
// T must be default-constructible and copy-assignable; entries are copied in and out.
template <typename T>
class IQueue
{
public:
  // Construction and destruction: while no other thread uses the ring.
  explicit IQueue(int usableEntries)
    : mNumSlots(static_cast<std::size_t>(usableEntries > 0 ? usableEntries : 0) + 1),
      mSlots(std::make_unique<T[]>(mNumSlots))
  {
  }

  IQueue(const IQueue&) = delete;
  IQueue& operator=(const IQueue&) = delete;

  // Producer thread only. False (and nothing stored) when the ring is full.
  bool Push(const T& entry)
  {
    const std::size_t writeIndex = mWriteIndex.load(std::memory_order_relaxed);
    const std::size_t nextIndex = Advance(writeIndex);
    if (nextIndex == mReadIndex.load(std::memory_order_acquire))
      return false;
    mSlots[writeIndex] = entry;
    mWriteIndex.store(nextIndex, std::memory_order_release);
    return true;
  }

  // Consumer thread only. False (and entry untouched) when the ring is empty.
  bool Pop(T& entry)
  {
    const std::size_t readIndex = mReadIndex.load(std::memory_order_relaxed);
    if (readIndex == mWriteIndex.load(std::memory_order_acquire))
      return false;
    entry = mSlots[readIndex];
    mReadIndex.store(Advance(readIndex), std::memory_order_release);
    return true;
  }

  // Consumer thread: the oldest entry without removing it, or nullptr when empty. The pointer stays
  // valid until the consumer pops that entry.
  const T* Peek() const
  {
    const std::size_t readIndex = mReadIndex.load(std::memory_order_relaxed);
    if (readIndex == mWriteIndex.load(std::memory_order_acquire))
      return nullptr;
    return &mSlots[readIndex];
  }

  // [any] Exact on the consumer thread as a lower bound, on the producer thread as an upper
  // bound; elsewhere only a snapshot.
  std::size_t ElementsAvailable() const
  {
    const std::size_t writeIndex = mWriteIndex.load(std::memory_order_acquire);
    const std::size_t readIndex = mReadIndex.load(std::memory_order_acquire);
    return writeIndex >= readIndex ? writeIndex - readIndex : writeIndex + mNumSlots - readIndex;
  }

  bool Empty() const { return ElementsAvailable() == 0; } // [any] a snapshot

  // [any]
  int UsableEntries() const { return static_cast<int>(mNumSlots - 1); }

private:
  std::size_t Advance(std::size_t index) const { return index + 1 == mNumSlots ? 0 : index + 1; }

  const std::size_t mNumSlots;
  std::unique_ptr<T[]> mSlots;
  // Kept on separate cache lines so producer and consumer do not contend for one line.
  alignas(64) std::atomic<std::size_t> mWriteIndex{0};
  alignas(64) std::atomic<std::size_t> mReadIndex{0};
};

} // namespace plug
