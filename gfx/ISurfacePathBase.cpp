#include "gfx/ISurfacePathBase.h"

#include <algorithm>
#include <cmath>

namespace plug::gfx {

void ISurfacePathBase::Stroke(const IColor& color, float thickness, const IBlend* blend, float dashLen)
{
  IStrokeOptions options;
  if (dashLen > 0.f)
  {
    options.mDash.mArray[0] = dashLen;
    options.mDash.mArray[1] = dashLen;
    options.mDash.mCount = 2;
  }
  PathStroke(color, thickness, options, blend);
}

void ISurfacePathBase::Fill(const IColor& color, const IBlend* blend)
{
  PathFill(color, IFillOptions(), blend);
}

void ISurfacePathBase::DrawPoint(const IColor& color, float x, float y, const IBlend* blend)
{
  FillRect(color, {x, y, x + 1.f, y + 1.f}, blend);
}

void ISurfacePathBase::DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend,
                                float thickness)
{
  PathClear();
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend,
                                      float thickness, float dashLen)
{
  PathClear();
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
  Stroke(color, thickness, blend, dashLen);
}

void ISurfacePathBase::DrawTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                                    const IBlend* blend, float thickness)
{
  PathClear();
  PathTriangle(x1, y1, x2, y2, x3, y3);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawRect(const IColor& color, const IRECT& bounds, const IBlend* blend, float thickness)
{
  PathClear();
  PathRect(bounds);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* blend,
                                     float thickness)
{
  PathClear();
  PathRoundRect(bounds, cornerRadius);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR,
                                     float cRBL, const IBlend* blend, float thickness)
{
  PathClear();
  PathRoundRect(bounds, cRTL, cRTR, cRBR, cRBL);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                               const IBlend* blend, float thickness)
{
  PathClear();
  PathArc(cx, cy, r, a1, a2);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend,
                                  float thickness)
{
  PathClear();
  PathCircle(cx, cy, r);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend, float thickness)
{
  PathClear();
  PathEllipse(bounds);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawEllipse(const IColor& color, float x, float y, float r1, float r2, float angle,
                                   const IBlend* blend, float thickness)
{
  PathClear();
  PathEllipse(x, y, r1, r2, angle);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawConvexPolygon(const IColor& color, const float* x, const float* y, int nPoints,
                                         const IBlend* blend, float thickness)
{
  PathClear();
  PathConvexPolygon(x, y, nPoints);
  Stroke(color, thickness, blend);
}

void ISurfacePathBase::DrawDottedRect(const IColor& color, const IRECT& bounds, const IBlend* blend, float thickness,
                                      float dashLen)
{
  PathClear();
  PathRect(bounds);
  Stroke(color, thickness, blend, dashLen);
}

void ISurfacePathBase::FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                                    const IBlend* blend)
{
  PathClear();
  PathTriangle(x1, y1, x2, y2, x3, y3);
  Fill(color, blend);
}

void ISurfacePathBase::FillRect(const IColor& color, const IRECT& bounds, const IBlend* blend)
{
  PathClear();
  PathRect(bounds);
  Fill(color, blend);
}

void ISurfacePathBase::FillRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* blend)
{
  PathClear();
  PathRoundRect(bounds, cornerRadius);
  Fill(color, blend);
}

void ISurfacePathBase::FillRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR,
                                     float cRBL, const IBlend* blend)
{
  PathClear();
  PathRoundRect(bounds, cRTL, cRTR, cRBR, cRBL);
  Fill(color, blend);
}

void ISurfacePathBase::FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend)
{
  PathClear();
  PathCircle(cx, cy, r);
  Fill(color, blend);
}

void ISurfacePathBase::FillEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend)
{
  PathClear();
  PathEllipse(bounds);
  Fill(color, blend);
}

void ISurfacePathBase::FillEllipse(const IColor& color, float x, float y, float r1, float r2, float angle,
                                   const IBlend* blend)
{
  PathClear();
  PathEllipse(x, y, r1, r2, angle);
  Fill(color, blend);
}

void ISurfacePathBase::FillArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                               const IBlend* blend)
{
  PathClear();
  PathMoveTo(cx, cy);
  PathArc(cx, cy, r, a1, a2);
  PathClose();
  Fill(color, blend);
}

void ISurfacePathBase::FillConvexPolygon(const IColor& color, const float* x, const float* y, int nPoints,
                                         const IBlend* blend)
{
  PathClear();
  PathConvexPolygon(x, y, nPoints);
  Fill(color, blend);
}

void ISurfacePathBase::PathRect(const IRECT& bounds)
{
  PathMoveTo(bounds.L, bounds.T);
  PathLineTo(bounds.R, bounds.T);
  PathLineTo(bounds.R, bounds.B);
  PathLineTo(bounds.L, bounds.B);
  PathClose();
}

void ISurfacePathBase::PathRoundRect(const IRECT& bounds, float cornerRadius)
{
  PathRoundRect(bounds, cornerRadius, cornerRadius, cornerRadius, cornerRadius);
}

void ISurfacePathBase::PathRoundRect(const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL)
{
  const float limit = 0.5f * std::min(std::abs(bounds.W()), std::abs(bounds.H()));
  auto clampRadius = [limit](float r) { return std::clamp(r, 0.f, limit); };
  cRTL = clampRadius(cRTL);
  cRTR = clampRadius(cRTR);
  cRBR = clampRadius(cRBR);
  cRBL = clampRadius(cRBL);
  if (cRTL == 0.f && cRTR == 0.f && cRBR == 0.f && cRBL == 0.f)
  {
    PathRect(bounds);
    return;
  }
  PathMoveTo(bounds.L, bounds.T + cRTL);
  PathArc(bounds.L + cRTL, bounds.T + cRTL, cRTL, 270.f, 360.f);
  PathArc(bounds.R - cRTR, bounds.T + cRTR, cRTR, 0.f, 90.f);
  PathArc(bounds.R - cRBR, bounds.B - cRBR, cRBR, 90.f, 180.f);
  PathArc(bounds.L + cRBL, bounds.B - cRBL, cRBL, 180.f, 270.f);
  PathClose();
}

void ISurfacePathBase::PathCircle(float cx, float cy, float r)
{
  PathEllipse(cx, cy, r, r);
}

void ISurfacePathBase::PathEllipse(const IRECT& bounds)
{
  PathEllipse(bounds.MW(), bounds.MH(), 0.5f * bounds.W(), 0.5f * bounds.H());
}

void ISurfacePathBase::PathEllipse(float x, float y, float r1, float r2, float angle)
{
  if (!(r1 > 0.f) || !(r2 > 0.f))
    return;
  PathTransformSave();
  PathTransformTranslate(x, y);
  PathTransformRotate(angle);
  PathTransformScale(r1, r2);
  PathMoveTo(0.f, -1.f);
  PathArc(0.f, 0.f, 1.f, 0.f, 360.f);
  PathClose();
  PathTransformRestore();
}

void ISurfacePathBase::PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3)
{
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
  PathLineTo(x3, y3);
  PathClose();
}

void ISurfacePathBase::PathConvexPolygon(const float* x, const float* y, int nPoints)
{
  if (!x || !y || nPoints < 1)
    return;
  PathMoveTo(x[0], y[0]);
  for (int i = 1; i < nPoints; ++i)
    PathLineTo(x[i], y[i]);
  PathClose();
}

} // namespace plug::gfx
