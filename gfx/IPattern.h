#pragma once

#include <cmath>
#include <initializer_list>

#include "gfx/IColor.h"

namespace plug::gfx {

// How drawing combines with what is already there; a null IBlend* means source-over at weight 1.
enum class EBlend
{
  kDefault = 0, // source over
  kSrcIn,
  kSrcOut,
  kSrcAtop,
  kDstOver,
  kDstIn,
  kDstOut,
  kDstAtop,
  kAdd,
  kXOR
};

struct IBlend
{
  EBlend mMethod = EBlend::kDefault;
  float mWeight = 1.f; // 0..1, multiplies the alpha of what is drawn

  IBlend() = default;
  IBlend(EBlend method, float weight)
    : mMethod(method),
      mWeight(weight)
  {
  }
};

inline float BlendWeight(const IBlend* blend)
{
  return blend ? blend->mWeight : 1.f;
}

// A 2-D affine transform: x' = xx x + xy y + tx, y' = yx x + yy y + ty.
struct IMatrix
{
  double xx = 1.0, yx = 0.0, xy = 0.0, yy = 1.0, tx = 0.0, ty = 0.0;

  IMatrix() = default;
  IMatrix(double xx_, double yx_, double xy_, double yy_, double tx_, double ty_)
    : xx(xx_),
      yx(yx_),
      xy(xy_),
      yy(yy_),
      tx(tx_),
      ty(ty_)
  {
  }
  void TransformPoint(double& x, double& y) const
  {
    const double x0 = x;
    x = xx * x0 + xy * y + tx;
    y = yx * x0 + yy * y + ty;
  }
  // The inverse; the identity for a singular matrix.
  IMatrix Inverted() const
  {
    const double d = xx * yy - xy * yx;
    if (d == 0.0 || !std::isfinite(d))
      return {};
    return {yy / d, -yx / d, -xy / d, xx / d, (xy * ty - yy * tx) / d, (yx * tx - xx * ty) / d};
  }
};

enum class EPatternType
{
  kSolid,
  kLinear,
  kRadial
};

enum class EPatternExtend
{
  kNone,
  kPad,
  kReflect,
  kRepeat
};

struct IColorStop
{
  IColor mColor;
  float mOffset = 0.f;
};

// A solid colour or a gradient. The transform maps user space into pattern space, where a
// linear gradient runs along the x axis from 0 to 1 and a radial one from the origin out to
// radius 1.
struct IPattern
{
  static constexpr int kMaxStops = 16;

  EPatternType mType = EPatternType::kSolid;
  EPatternExtend mExtend = EPatternExtend::kPad;
  IColorStop mStops[kMaxStops];
  int mNStops = 0;
  IMatrix mTransform;

  IPattern() = default;
  IPattern(const IColor& color) // a solid colour
  {
    AddStop(color, 0.f);
  }
  explicit IPattern(EPatternType type)
    : mType(type)
  {
  }

  // A linear gradient along the segment from (x1, y1) to (x2, y2).
  static IPattern CreateLinearGradient(float x1, float y1, float x2, float y2,
                                       std::initializer_list<IColorStop> stops = {});
  // A radial gradient around (x, y) out to radius r.
  static IPattern CreateRadialGradient(float x, float y, float r, std::initializer_list<IColorStop> stops = {});

  // Ignored beyond kMaxStops.
  void AddStop(const IColor& color, float offset)
  {
    if (mNStops < kMaxStops)
      mStops[mNStops++] = {color, offset};
  }
  int NStops() const { return mNStops; }
  const IColorStop& GetStop(int i) const { return mStops[i]; }
};

inline IPattern IPattern::CreateLinearGradient(float x1, float y1, float x2, float y2,
                                               std::initializer_list<IColorStop> stops)
{
  IPattern p(EPatternType::kLinear);
  const double dx = x2 - x1, dy = y2 - y1;
  const double len2 = dx * dx + dy * dy;
  if (len2 > 0.0)
    p.mTransform = {
        dx / len2, -dy / len2, dy / len2, dx / len2, -(x1 * dx + y1 * dy) / len2, (x1 * dy - y1 * dx) / len2};
  for (const IColorStop& s : stops)
    p.AddStop(s.mColor, s.mOffset);
  return p;
}

inline IPattern IPattern::CreateRadialGradient(float x, float y, float r, std::initializer_list<IColorStop> stops)
{
  IPattern p(EPatternType::kRadial);
  if (r > 0.f)
    p.mTransform = {1.0 / r, 0.0, 0.0, 1.0 / r, -x / double(r), -y / double(r)};
  for (const IColorStop& s : stops)
    p.AddStop(s.mColor, s.mOffset);
  return p;
}

enum class ELineCap
{
  kButt,
  kRound,
  kSquare
};

enum class ELineJoin
{
  kMiter,
  kRound,
  kBevel
};

enum class EFillRule
{
  kWinding = 0, // non-zero
  kEvenOdd = 1,
  kPreserve = 2 // keep the windings set on the sub-paths
};

enum class EWinding
{
  kCW,
  kCCW
};

struct IStrokeOptions
{
  struct DashOptions
  {
    static constexpr int kMaxDashes = 8;
    float mArray[kMaxDashes] = {};
    int mCount = 0;
    float mOffset = 0.f;
  };

  float mMiterLimit = 10.f;
  bool mPreserve = false;
  ELineCap mCapOption = ELineCap::kButt;
  ELineJoin mJoinOption = ELineJoin::kMiter;
  DashOptions mDash;
};

struct IFillOptions
{
  EFillRule mFillRule = EFillRule::kWinding;
  bool mPreserve = false;
};

// A drop shadow for a layer: the layer's alpha, blurred, tinted with the pattern, drawn behind it.
struct IShadow
{
  IPattern mPattern = COLOR_BLACK;
  float mBlurSize = 0.f;
  float mXOffset = 0.f;
  float mYOffset = 0.f;
  float mOpacity = 1.f;
  bool mDrawForeground = true;
};

} // namespace plug::gfx
