#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "plug/core/ILatestValue.h"
#include "plug/core/IQueue.h"
#include "plug/core/IQueueEntries.h"

using namespace plug;

namespace {

// Each entry kind carries a sequence number and enough redundancy to tell a torn entry from a whole
// one. MakeEntry builds entry number seq; SequenceOf reads the number back; IsWhole checks that every
// field agrees with it.

ParamChange MakeEntry(uint32_t seq, ParamChange*)
{
  return ParamChange(static_cast<int32_t>(seq), seq * 1.5 + 0.25);
}
uint32_t SequenceOf(const ParamChange& e)
{
  return static_cast<uint32_t>(e.idx);
}
bool IsWhole(const ParamChange& e)
{
  return e.value == SequenceOf(e) * 1.5 + 0.25;
}

uint8_t MidiCheck(uint32_t seq)
{
  return static_cast<uint8_t>((seq * 31u + 7u) & 0x7Fu);
}
IMidiMsg MakeEntry(uint32_t seq, IMidiMsg*)
{
  return IMidiMsg(static_cast<int>(seq), static_cast<uint8_t>(0x80u | (seq & 0x7Fu)),
                  static_cast<uint8_t>((seq >> 7) & 0x7Fu), MidiCheck(seq));
}
uint32_t SequenceOf(const IMidiMsg& e)
{
  return static_cast<uint32_t>(e.mOffset);
}
bool IsWhole(const IMidiMsg& e)
{
  const uint32_t seq = SequenceOf(e);
  return e.mStatus == (0x80u | (seq & 0x7Fu)) && e.mData1 == ((seq >> 7) & 0x7Fu) && e.mData2 == MidiCheck(seq);
}

uint8_t SysExByte(uint32_t seq, int i)
{
  return static_cast<uint8_t>((seq * 13u + static_cast<uint32_t>(i) * 7u) & 0xFFu);
}
SysExData MakeEntry(uint32_t seq, SysExData*)
{
  uint8_t bytes[SysExData::kMaxDataSize];
  const int size = static_cast<int>(seq % (SysExData::kMaxDataSize + 1));
  for (int i = 0; i < size; ++i)
    bytes[i] = SysExByte(seq, i);
  SysExData entry;
  EXPECT_TRUE(entry.Assign(ISysEx(static_cast<int>(seq), bytes, size)));
  return entry;
}
uint32_t SequenceOf(const SysExData& e)
{
  return static_cast<uint32_t>(e.mOffset);
}
bool IsWhole(const SysExData& e)
{
  const uint32_t seq = SequenceOf(e);
  if (e.mSize != static_cast<int>(seq % (SysExData::kMaxDataSize + 1)))
    return false;
  for (int i = 0; i < SysExData::kMaxDataSize; ++i)
  {
    if (e.mData[i] != (i < e.mSize ? SysExByte(seq, i) : 0))
      return false;
  }
  return true;
}

// Runs a producer and a consumer on one ring at the same time. The producer insists on delivering
// every even-numbered entry (retrying while the ring is full) and gives up odd-numbered ones at the
// first refusal, so the run sees both accepted and dropped pushes.
template <typename T>
void RunProducerAndConsumer(int usableEntries, uint32_t count)
{
  IQueue<T> queue(usableEntries);
  std::vector<uint32_t> accepted;
  std::vector<T> received;
  accepted.reserve(count);
  received.reserve(count);
  std::atomic<bool> producerDone{false};

  std::thread producer([&] {
    for (uint32_t seq = 0; seq < count; ++seq)
    {
      const T entry = MakeEntry(seq, static_cast<T*>(nullptr));
      bool pushed = queue.Push(entry);
      while (!pushed && seq % 2 == 0)
      {
        std::this_thread::yield();
        pushed = queue.Push(entry);
      }
      if (pushed)
        accepted.push_back(seq);
    }
    producerDone.store(true, std::memory_order_release);
  });

  std::thread consumer([&] {
    T entry;
    for (;;)
    {
      const bool done = producerDone.load(std::memory_order_acquire);
      bool gotAny = false;
      while (queue.Pop(entry))
      {
        received.push_back(entry);
        gotAny = true;
      }
      if (done)
        break; // everything pushed before done was set has now been popped
      if (!gotAny)
        std::this_thread::yield();
    }
  });

  producer.join();
  consumer.join();

  EXPECT_TRUE(queue.Empty());
  ASSERT_EQ(received.size(), accepted.size()) << "entries lost or duplicated";
  int torn = 0;
  int misordered = 0;
  for (size_t i = 0; i < received.size(); ++i)
  {
    if (!IsWhole(received[i]))
      ++torn;
    if (SequenceOf(received[i]) != accepted[i])
      ++misordered;
  }
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(misordered, 0);
  EXPECT_GE(accepted.size(), count / 2); // every even entry arrives
}

} // namespace

TEST(QueueThreads, ParameterRingDeliversEveryAcceptedEntryOnceAndWhole)
{
  RunProducerAndConsumer<ParamChange>(kParamChangeQueueSize, 200000);
}

TEST(QueueThreads, MidiRingDeliversEveryAcceptedEntryOnceAndWhole)
{
  RunProducerAndConsumer<IMidiMsg>(kMidiMsgQueueSize, 100000);
}

TEST(QueueThreads, SysExRingDeliversEveryAcceptedEntryOnceAndWhole)
{
  RunProducerAndConsumer<SysExData>(kSysExQueueSize, 20000);
}

// The latest of a value handed over: the consumer sees only whole values, never an older one after a
// newer, and the last one published.
TEST(QueueThreads, LatestValueHandsOverWholeValuesNewestLast)
{
  struct Slot
  {
    std::vector<uint32_t> words = std::vector<uint32_t>(1024, 0);
  };
  ILatestValue<Slot> latest;
  constexpr uint32_t kValues = 20000;
  std::thread producer([&latest] {
    for (uint32_t n = 1; n <= kValues; ++n)
    {
      for (uint32_t& word : latest.WriteSlot().words)
        word = n;
      latest.Publish();
    }
  });
  uint32_t last = 0;
  bool whole = true;
  bool ordered = true;
  while (last < kValues)
  {
    if (!latest.Take())
      continue;
    const std::vector<uint32_t>& words = latest.ReadSlot().words;
    whole = whole && std::all_of(words.begin(), words.end(), [&words](uint32_t w) { return w == words[0]; });
    ordered = ordered && words[0] > last;
    last = words[0];
  }
  producer.join();
  EXPECT_TRUE(whole);
  EXPECT_TRUE(ordered);
  EXPECT_FALSE(latest.Take()); // nothing newer than the last
  EXPECT_EQ(latest.ReadSlot().words[0], kValues);
}

TEST(Queue, HoldsExactlyTheUsableEntriesAndWrapsAround)
{
  for (int usable : {kParamChangeQueueSize, kMidiMsgQueueSize, kSysExQueueSize, 1})
  {
    IQueue<ParamChange> queue(usable);
    EXPECT_EQ(queue.UsableEntries(), usable);
    for (int i = 0; i < usable; ++i)
      EXPECT_TRUE(queue.Push(ParamChange(i, i)));
    EXPECT_FALSE(queue.Push(ParamChange(-1, -1))) << "full ring must drop the new entry";
    EXPECT_EQ(queue.ElementsAvailable(), static_cast<size_t>(usable));

    // Several passes around the ring keep order and never lose the oldest entries.
    int next = 0;
    for (int round = 0; round < 3 * usable; ++round)
    {
      ParamChange entry;
      ASSERT_TRUE(queue.Pop(entry));
      EXPECT_EQ(entry.idx, next);
      ++next;
      EXPECT_TRUE(queue.Push(ParamChange(next + usable - 1, 0)));
      EXPECT_FALSE(queue.Push(ParamChange(-1, -1)));
    }
    ParamChange entry;
    for (int i = 0; i < usable; ++i)
    {
      ASSERT_NE(queue.Peek(), nullptr);
      EXPECT_EQ(queue.Peek()->idx, next);
      ASSERT_TRUE(queue.Pop(entry));
      EXPECT_EQ(entry.idx, next++);
    }
    EXPECT_FALSE(queue.Pop(entry));
    EXPECT_EQ(queue.Peek(), nullptr);
    EXPECT_TRUE(queue.Empty());
  }
}

TEST(Queue, SysExEntryRejectsWhatItCannotHoldAndNeverWritesPastItself)
{
  struct Guarded
  {
    SysExData entry;
    uint8_t guard[64];
  } block;
  std::memset(block.guard, 0xAB, sizeof(block.guard));
  uint8_t big[SysExData::kMaxDataSize + 64];
  std::memset(big, 0x5A, sizeof(big));

  ASSERT_TRUE(block.entry.Assign(ISysEx(7, big, 3)));
  EXPECT_FALSE(block.entry.Assign(ISysEx(9, big, SysExData::kMaxDataSize + 1)));
  EXPECT_FALSE(block.entry.Assign(ISysEx(9, big, -1)));
  EXPECT_FALSE(block.entry.Assign(ISysEx(9, nullptr, 5)));
  // Rejections leave the entry as it was.
  EXPECT_EQ(block.entry.mOffset, 7);
  EXPECT_EQ(block.entry.mSize, 3);
  for (uint8_t g : block.guard)
    EXPECT_EQ(g, 0xAB);

  // Exactly the limit fits; an empty message zeroes the data.
  EXPECT_TRUE(block.entry.Assign(ISysEx(1, big, SysExData::kMaxDataSize)));
  EXPECT_EQ(block.entry.mData[SysExData::kMaxDataSize - 1], 0x5A);
  EXPECT_TRUE(block.entry.Assign(ISysEx(2, nullptr, 0)));
  EXPECT_EQ(block.entry.mSize, 0);
  for (uint8_t b : block.entry.mData)
    EXPECT_EQ(b, 0);
  for (uint8_t g : block.guard)
    EXPECT_EQ(g, 0xAB);

  // A view of the entry points at its own copy.
  const ISysEx view = block.entry.AsSysEx();
  EXPECT_EQ(view.mData, block.entry.mData);
  EXPECT_EQ(view.mOffset, 2);
}
