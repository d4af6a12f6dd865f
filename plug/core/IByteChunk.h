#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace plug {

// A growable byte buffer with typed appends and bounds-checked reads. Values are stored as their
// raw in-memory bytes (little-endian here), without padding or type tags. Every read returns the
// position after what it read, or -1; a read at -1 fails too, so one failed read makes every
// later read of a chain fail.
// Threads: not shared; one thread at a time.
class IByteChunk
{
public:
  // "tffp" in the stored bytes.
  static constexpr int32_t kMagic = 0x70666674;
  // Framework version 1.0.0, packed.
  static constexpr int32_t kVersion = 0x00010000;

  // Appends the bytes of v; returns the new size.
  template <typename T>
  int PutValue(const T& v)
  {
    static_assert(std::is_trivially_copyable_v<T>, "only plain values");
    return PutBytes(&v, static_cast<int>(sizeof(T)));
  }

  // Reads sizeof(T) bytes at pos into v; returns pos + sizeof(T), or -1 leaving v alone.
  template <typename T>
  int GetValueAt(T& v, int pos) const
  {
    static_assert(std::is_trivially_copyable_v<T>, "only plain values");
    if constexpr (std::is_same_v<T, bool>)
    {
      // Any byte is read as a valid bool.
      uint8_t byte = 0;
      const int next = GetBytesAt(&byte, 1, pos);
      if (next >= 0)
        v = byte != 0;
      return next;
    }
    else
    {
      return GetBytesAt(&v, static_cast<int>(sizeof(T)), pos);
    }
  }

  // Appends a 32-bit length and the characters without terminator; null appends an empty text.
  int PutText(const char* text);

  // Reads a text written by PutText. A zero byte inside the characters ends the text early.
  // Returns the position after the text, or -1 when the length cannot be read, is negative or
  // runs past the end; text is left unchanged on failure.
  int GetTextAt(std::string& text, int pos) const;

  // Appends count raw bytes; returns the new size. A negative count or a null pointer with a
  // positive count appends nothing.
  int PutBytes(const void* pData, int count);

  // Copies count bytes at pos into pDest; returns pos + count, or -1 leaving pDest alone.
  int GetBytesAt(void* pDest, int count, int pos) const;

  int AppendChunk(const IByteChunk& other);

  void ClearChunk() { mBytes.clear(); }
  // Resizes the chunk (new bytes are zero); returns the new size.
  int Resize(int newSize);

  int Size() const { return static_cast<int>(mBytes.size()); }
  const uint8_t* GetData() const { return mBytes.data(); }
  uint8_t* GetData() { return mBytes.data(); }

  bool IsEqual(const IByteChunk& other) const { return mBytes == other.mBytes; }

  // Appends the magic and the framework version.
  void WriteVersionHeader();

  // Where the payload of chunk starts: 8 after a complete header, 0 when the chunk does not begin
  // with the magic, -1 when the magic is there but the version is cut off. The version is written
  // to pVersion when a complete header is present.
  static int ReadVersionHeader(const IByteChunk& chunk, int32_t* pVersion = nullptr);

private:
  std::vector<uint8_t> mBytes;
};

} // namespace plug
