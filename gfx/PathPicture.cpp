#include "gfx/PathPicture.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace plug::gfx {

namespace {

static_assert(std::endian::native == std::endian::little, "path data is little-endian, read in place");

constexpr unsigned char kMagic[4] = {'Q', 'M', 'P', 'P'};
constexpr uint32_t kVersion = 1;
// A shape's fixed part: flags, cap, join, pad, two colours, pad, four doubles, a transform, counts.
constexpr std::size_t kShapeHeaderBytes = 4 + 8 + 4 * 8 + 6 * 8 + 2 * 4;

// Reads the bytes front to back; after the first read past the end every read fails.
class Reader
{
public:
  explicit Reader(std::span<const unsigned char> bytes)
    : mBytes(bytes)
  {
  }

  template <typename T>
  bool Read(T& value)
  {
    if (!mOk || Remaining() < sizeof(T))
      return mOk = false;
    std::memcpy(&value, mBytes.data() + mPos, sizeof(T));
    mPos += sizeof(T);
    return true;
  }
  bool ReadFinite(double& value) { return Read(value) && (mOk = std::isfinite(value)); }
  std::span<const unsigned char> Take(std::size_t n)
  {
    if (!mOk || Remaining() < n)
    {
      mOk = false;
      return {};
    }
    const auto taken = mBytes.subspan(mPos, n);
    mPos += n;
    return taken;
  }
  std::size_t Remaining() const { return mBytes.size() - mPos; }
  bool Ok() const { return mOk; }

private:
  std::span<const unsigned char> mBytes;
  std::size_t mPos = 0;
  bool mOk = true;
};

bool ValidCommand(unsigned char c)
{
  return c == 'M' || c == 'L' || c == 'Q' || c == 'C' || c == 'Z';
}

bool ReadPaint(Reader& in, PathPicture::Paint& paint)
{
  return in.Read(paint.r) && in.Read(paint.g) && in.Read(paint.b);
}

bool ReadShape(Reader& in, PathPicture::Shape& shape)
{
  uint8_t flags = 0, pad8 = 0;
  uint16_t pad16 = 0;
  if (!in.Read(flags) || !in.Read(shape.cap) || !in.Read(shape.join) || !in.Read(pad8) || !ReadPaint(in, shape.fill) ||
      !ReadPaint(in, shape.stroke) || !in.Read(pad16))
    return false;
  if ((flags & ~7u) != 0 || shape.cap > 2 || shape.join > 2)
    return false;
  shape.filled = flags & 1;
  shape.stroked = flags & 2;
  shape.evenOdd = flags & 4;
  if (!in.ReadFinite(shape.fill.opacity) || !in.ReadFinite(shape.stroke.opacity) || !in.ReadFinite(shape.strokeWidth) ||
      !in.ReadFinite(shape.miterLimit))
    return false;
  for (double& m : shape.transform)
  {
    if (!in.ReadFinite(m))
      return false;
  }
  if (shape.fill.opacity < 0.0 || shape.fill.opacity > 1.0 || shape.stroke.opacity < 0.0 ||
      shape.stroke.opacity > 1.0 || shape.strokeWidth < 0.0)
    return false;

  uint32_t nCommands = 0, nCoordinates = 0;
  if (!in.Read(nCommands) || !in.Read(nCoordinates) || nCommands > in.Remaining() ||
      nCoordinates > in.Remaining() / sizeof(double))
    return false;
  const auto commands = in.Take(nCommands);
  if (!in.Ok() || commands.empty() || commands[0] != 'M')
    return false;
  std::size_t needed = 0;
  shape.commands.reserve(commands.size());
  for (const unsigned char c : commands)
  {
    if (!ValidCommand(c))
      return false;
    shape.commands.push_back(static_cast<PathPicture::ECommand>(c));
    needed += static_cast<std::size_t>(PathPicture::Arity(shape.commands.back()));
  }
  if (needed != nCoordinates)
    return false;
  shape.coordinates.resize(nCoordinates);
  for (double& c : shape.coordinates)
  {
    if (!in.ReadFinite(c))
      return false;
  }
  return true;
}

} // namespace

int PathPicture::Arity(ECommand command)
{
  switch (command)
  {
    case ECommand::kMove:
    case ECommand::kLine:
      return 2;
    case ECommand::kQuadratic:
      return 4;
    case ECommand::kCubic:
      return 6;
    case ECommand::kClose:
      break;
  }
  return 0;
}

std::shared_ptr<const PathPicture> PathPicture::Decode(std::span<const unsigned char> bytes)
{
  Reader in(bytes);
  const auto magic = in.Take(sizeof kMagic);
  uint32_t version = 0, nShapes = 0;
  auto picture = std::make_shared<PathPicture>();
  if (!in.Ok() || std::memcmp(magic.data(), kMagic, sizeof kMagic) != 0 || !in.Read(version) || version != kVersion ||
      !in.ReadFinite(picture->mWidth) || !in.ReadFinite(picture->mHeight) || !(picture->mWidth > 0.0) ||
      !(picture->mHeight > 0.0) || !in.Read(nShapes) || nShapes > in.Remaining() / kShapeHeaderBytes)
    return nullptr;
  picture->mShapes.resize(nShapes);
  for (Shape& shape : picture->mShapes)
  {
    if (!ReadShape(in, shape))
      return nullptr;
  }
  if (in.Remaining() != 0)
    return nullptr;
  return picture;
}

} // namespace plug::gfx
