#include "gfx/IRECT.h"

#include <algorithm>
#include <cmath>

namespace plug::gfx {

bool IRECT::Intersects(const IRECT& r) const
{
  return !Empty() && !r.Empty() && L < r.R && R > r.L && T < r.B && B > r.T;
}

IRECT IRECT::Intersect(const IRECT& r) const
{
  if (!Intersects(r))
    return {};
  return {std::max(L, r.L), std::max(T, r.T), std::min(R, r.R), std::min(B, r.B)};
}

IRECT IRECT::Union(const IRECT& r) const
{
  if (Empty())
    return r;
  if (r.Empty())
    return *this;
  return {std::min(L, r.L), std::min(T, r.T), std::max(R, r.R), std::max(B, r.B)};
}

IRECT IRECT::GetCentredInside(float w, float h) const
{
  const float x = MW(), y = MH();
  return {x - 0.5f * w, y - 0.5f * h, x + 0.5f * w, y + 0.5f * h};
}

IRECT IRECT::GetPixelAligned(float scale) const
{
  if (!(scale > 0.f) || !std::isfinite(scale))
    return *this;
  return {std::floor(L * scale) / scale, std::floor(T * scale) / scale, std::ceil(R * scale) / scale,
          std::ceil(B * scale) / scale};
}

bool IRECT::Mergeable(const IRECT& r) const
{
  if (Empty() || r.Empty())
    return true;
  if (L == r.L && R == r.R && ((T >= r.T && T <= r.B) || (r.T >= T && r.T <= B)))
    return true;
  return T == r.T && B == r.B && ((L >= r.L && L <= r.R) || (r.L >= L && r.L <= R));
}

IRECT IRECTList::Bounds() const
{
  IRECT bounds;
  for (const IRECT& r : mRects)
    if (!r.Empty())
      bounds = bounds.Union(r);
  return bounds;
}

void IRECTList::PixelAlign(float scale)
{
  for (IRECT& r : mRects)
    r.PixelAlign(scale);
}

// Two passes: first every overlap is cut away (containment deletes, a neighbour that covers a
// whole band of the other shrinks it, anything else splits the smaller one), then neighbours
// whose union is exact are merged until none are left.
void IRECTList::Optimize()
{
  for (int i = 0; i < Size(); ++i)
  {
    for (int j = i + 1; j < Size(); ++j)
    {
      if (Get(i).Contains(Get(j)))
      {
        mRects.erase(mRects.begin() + j);
        --j;
      }
      else if (Get(j).Contains(Get(i)))
      {
        mRects.erase(mRects.begin() + i);
        j = i; // the walk starts again for the rectangle now at i
      }
      else if (Get(i).Intersects(Get(j)))
      {
        const IRECT x = Get(i).Intersect(Get(j));
        if (Get(i).Mergeable(x))
          Shrink(i, x);
        else if (Get(j).Mergeable(x))
          Shrink(j, x);
        else if (Get(i).Area() < Get(j).Area())
          Split(i, x);
        else
          Split(j, x);
      }
    }
  }

  for (int i = 0; i < Size(); ++i)
  {
    for (int j = i + 1; j < Size(); ++j)
    {
      if (Get(i).Mergeable(Get(j)))
      {
        Get(j) = Get(i).Union(Get(j));
        mRects.erase(mRects.begin() + i);
        i = -1;
        break;
      }
    }
  }
}

// x spans rectangle i fully in one direction. Rectangle i keeps its part on one side of x; when x
// lies in the middle of i, the part on the other side is appended, so no area is lost.
void IRECTList::Shrink(int i, const IRECT& x)
{
  const IRECT r = Get(i);
  if (x.L != r.L)
  {
    Get(i) = {r.L, r.T, x.L, r.B};
    if (x.R != r.R)
      Add({x.R, r.T, r.R, r.B});
  }
  else if (x.T != r.T)
  {
    Get(i) = {r.L, r.T, r.R, x.T};
    if (x.B != r.B)
      Add({r.L, x.B, r.R, r.B});
  }
  else if (x.R != r.R)
    Get(i) = {x.R, r.T, r.R, r.B};
  else
    Get(i) = {r.L, x.B, r.R, r.B};
}

// What is left of rectangle i around x, in at most four pieces: the full-width bands above and
// below x and the parts left and right of it. Rectangle i keeps the band below (else the side
// piece), the others are appended.
void IRECTList::Split(int i, const IRECT& x)
{
  const IRECT r = Get(i);
  IRECT pieces[4];
  int n = 0;
  if (x.B < r.B)
    pieces[n++] = {r.L, x.B, r.R, r.B};
  if (x.T > r.T)
    pieces[n++] = {r.L, r.T, r.R, x.T};
  if (x.L > r.L)
    pieces[n++] = {r.L, x.T, x.L, x.B};
  if (x.R < r.R)
    pieces[n++] = {x.R, x.T, r.R, x.B};
  if (n == 0) // x covers all of it: the containment test has dealt with that already
    return;
  int kept = 0;
  if (!(x.B < r.B)) // no band below: keep the side piece, append the band above first
    kept = n - 1;
  Get(i) = pieces[kept];
  for (int k = 0; k < n; ++k)
    if (k != kept)
      Add(pieces[k]);
}

} // namespace plug::gfx
