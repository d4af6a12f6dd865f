#include "plug/core/IByteChunk.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace plug {

namespace {

constexpr int64_t kMaxChunkSize = std::numeric_limits<int>::max();

} // namespace

int IByteChunk::PutText(const char* text)
{
  const std::size_t length = text ? std::strlen(text) : 0;
  if (static_cast<int64_t>(length) > kMaxChunkSize - Size() - 4)
    return Size();

  PutValue(static_cast<int32_t>(length));
  return PutBytes(text, static_cast<int>(length));
}

int IByteChunk::GetTextAt(std::string& text, int pos) const
{
  int32_t length = 0;
  const int start = GetValueAt(length, pos);
  if (start < 0 || length < 0)
    return -1;

  const int64_t end = static_cast<int64_t>(start) + length;
  if (end > Size())
    return -1;

  const auto first = mBytes.begin() + start;
  const auto last = first + length;
  text.assign(first, std::find(first, last, uint8_t{0}));
  return static_cast<int>(end);
}

int IByteChunk::PutBytes(const void* pData, int count)
{
  if (count <= 0 || !pData || static_cast<int64_t>(count) > kMaxChunkSize - Size())
    return Size();

  const uint8_t* bytes = static_cast<const uint8_t*>(pData);
  const std::less<const uint8_t*> before;
  const bool fromThisChunk =
      !mBytes.empty() && !before(bytes, mBytes.data()) && before(bytes, mBytes.data() + mBytes.size());
  if (fromThisChunk)
  {
    // Growing may move the source; copy it first.
    const std::vector<uint8_t> copy(bytes, bytes + count);
    mBytes.insert(mBytes.end(), copy.begin(), copy.end());
  }
  else
  {
    mBytes.insert(mBytes.end(), bytes, bytes + count);
  }
  return Size();
}

int IByteChunk::GetBytesAt(void* pDest, int count, int pos) const
{
  if (pos < 0 || count < 0 || static_cast<int64_t>(pos) + count > Size())
    return -1;
  if (count > 0)
    std::memcpy(pDest, mBytes.data() + pos, static_cast<std::size_t>(count));
  return pos + count;
}

int IByteChunk::AppendChunk(const IByteChunk& other)
{
  return PutBytes(other.GetData(), other.Size());
}

int IByteChunk::Resize(int newSize)
{
  if (newSize >= 0)
    mBytes.resize(static_cast<std::size_t>(newSize), 0);
  return Size();
}

void IByteChunk::WriteVersionHeader()
{
  PutValue(kMagic);
  PutValue(kVersion);
}

int IByteChunk::ReadVersionHeader(const IByteChunk& chunk, int32_t* pVersion)
{
  int32_t magic = 0;
  if (chunk.GetValueAt(magic, 0) < 0 || magic != kMagic)
    return 0;

  int32_t version = 0;
  const int pos = chunk.GetValueAt(version, 4);
  if (pos < 0)
    return -1;
  if (pVersion)
    *pVersion = version;
  return pos;
}

} // namespace plug
