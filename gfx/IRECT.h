#pragma once

#include <vector>

namespace plug::gfx {

// A rectangle in points of the unscaled editor (not pixels): left, top, right, bottom. A
// rectangle whose four values are all exactly 0 is empty; the empty rectangle is the default.
struct IRECT
{
  float L = 0.f;
  float T = 0.f;
  float R = 0.f;
  float B = 0.f;

  IRECT() = default;
  IRECT(float l, float t, float r, float b)
    : L(l),
      T(t),
      R(r),
      B(b)
  {
  }
  static IRECT MakeXYWH(float x, float y, float w, float h) { return {x, y, x + w, y + h}; }

  bool operator==(const IRECT&) const = default;

  bool Empty() const { return L == 0.f && T == 0.f && R == 0.f && B == 0.f; }
  float W() const { return R - L; }
  float H() const { return B - T; }
  float MW() const { return 0.5f * (L + R); }
  float MH() const { return 0.5f * (T + B); }
  float Area() const { return W() * H(); }

  // Left and top inclusive, right and bottom exclusive; an empty rectangle contains nothing.
  bool Contains(float x, float y) const { return !Empty() && x >= L && x < R && y >= T && y < B; }
  // The other rectangle lies within this one, edges inclusive; an empty rectangle contains nothing.
  bool Contains(const IRECT& r) const { return !Empty() && r.L >= L && r.R <= R && r.T >= T && r.B <= B; }
  // The two share an area (touching edges do not); false when either is empty.
  bool Intersects(const IRECT& r) const;
  // The common area; empty when either is empty or they do not overlap.
  IRECT Intersect(const IRECT& r) const;
  // The smallest rectangle holding both; when one side is empty, the other.
  IRECT Union(const IRECT& r) const;

  IRECT GetPadded(float p) const { return {L - p, T - p, R + p, B + p}; }
  IRECT GetPadded(float l, float t, float r, float b) const { return {L + l, T + t, R + r, B + b}; }
  IRECT GetTranslated(float dx, float dy) const { return {L + dx, T + dy, R + dx, B + dy}; }
  IRECT GetScaled(float s) const { return {L * s, T * s, R * s, B * s}; }
  // A w x h rectangle centred on this one's centre.
  IRECT GetCentredInside(float w, float h) const;
  // Multiplied by scale, left and top floored, right and bottom ceiled, divided by scale: the
  // smallest rectangle of whole pixels at that scale that holds this one.
  IRECT GetPixelAligned(float scale) const;
  void PixelAlign(float scale) { *this = GetPixelAligned(scale); }

  // True when either is empty, or the two share their left and right edges and their vertical
  // spans touch or overlap, or share their top and bottom edges and their horizontal spans touch
  // or overlap (exact comparisons): their union is then exactly the area of the two.
  bool Mergeable(const IRECT& r) const;
};

// The dirty regions of a frame.
class IRECTList
{
public:
  void Add(const IRECT& r) { mRects.push_back(r); }
  void Clear() { mRects.clear(); }
  int Size() const { return static_cast<int>(mRects.size()); }
  const IRECT& Get(int i) const { return mRects[static_cast<std::size_t>(i)]; }
  IRECT& Get(int i) { return mRects[static_cast<std::size_t>(i)]; }
  // The union of every non-empty rectangle.
  IRECT Bounds() const;
  void PixelAlign(float scale);

  // Rewrites the list into rectangles that do not overlap and cover the same area, merging
  // neighbours whose union is exact, so that no pixel is drawn twice.
  void Optimize();

private:
  // Cuts x, a part of rectangle i, out of it: i keeps one piece, another is appended.
  void Split(int i, const IRECT& x);
  void Shrink(int i, const IRECT& x);

  std::vector<IRECT> mRects;
};

} // namespace plug::gfx
