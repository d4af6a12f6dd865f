#include "gfx/ISurfacePathBase.h"

#include <algorithm>
#include <cmath>

namespace plug::gfx {

template <typename AddShape>
void ISurfacePathBase::StrokeShape(const IColor& color, float thickness, const IBlend* blend, AddShape&& addShape,
                                   float dashLen)
{
  PathClear();
  addShape();
  IStrokeOptions options;
  if (dashLen > 0.f)
  {
    options.mDash.mArray[0] = dashLen;
    options.mDash.mArray[1] = dashLen;
    options.mDash.mCount = 2;
  }
  PathStroke(color, thickness, options, blend);
}

template <typename AddShape>
void ISurfacePathBase::FillShape(const IColor& color, const IBlend* blend, AddShape&& addShape)
{
  PathClear();
  addShape();
  PathFill(color, IFillOptions(), blend);
}

void ISurfacePathBase::DrawPoint(const IColor& color, float x, float y, const IBlend* blend)
{
  FillRect(color, {x, y, x + 1.f, y + 1.f}, blend);
}

void ISurfacePathBase::DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend,
                                float thickness)
{
  StrokeShape(color, thickness, blend, [&] {
    PathMoveTo(x1, y1);
    PathLineTo(x2, y2);
  });
}

void ISurfacePathBase::DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend,
                                      float thickness, float dashLen)
{
  const auto line = [&] {
    PathMoveTo(x1, y1);
    PathLineTo(x2, y2);
  };
  StrokeShape(color, thickness, blend, line, dashLen);
}

void ISurfacePathBase::DrawTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                                    const IBlend* blend, float thickness)
{
  StrokeShape(color, thickness, blend, [&] { PathTriangle(x1, y1, x2, y2, x3, y3); });
}

void ISurfacePathBase::DrawRect(const IColor& color, const IRECT& bounds, const IBlend* blend, float thickness)
{
  StrokeShape(color, thickness, blend, [&] { PathRect(bounds); });
}

void ISurfacePathBase::DrawRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* blend,
                                     float thickness)
{
  StrokeShape(color, thickness, blend, [&] { PathRoundRect(bounds, cornerRadius); });
}

void ISurfacePathBase::DrawRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR,
                                     float cRBL, const IBlend* blend, float thickness)
{
  StrokeShape(color, thickness, blend, [&] { PathRoundRect(bounds, cRTL, cRTR, cRBR, cRBL); });
}

void ISurfacePathBase::DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                               const IBlend* blend, float thickness)
{
  StrokeShape(color, thickness, blend, [&] { PathArc(cx, cy, r, a1, a2); });
}

void ISurfacePathBase::DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend,
                                  float thickness)
{
  StrokeShape(color, thickness, blend, [&] { PathCircle(cx, cy, r); });
}

void ISurfacePathBase::DrawEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend, float thickness)
{
  StrokeShape(color, thickness, blend, [&] { PathEllipse(bounds); });
}

void ISurfacePathBase::DrawEllipse(const IColor& color, float x, float y, float r1, float r2, float angle,
                                   const IBlend* blend, float thickness)
{
  StrokeShape(color, thickness, blend, [&] { PathEllipse(x, y, r1, r2, angle); });
}

void ISurfacePathBase::DrawConvexPolygon(const IColor& color, const float* x, const float* y, int nPoints,
                                         const IBlend* blend, float thickness)
{
  StrokeShape(color, thickness, blend, [&] { PathConvexPolygon(x, y, nPoints); });
}

void ISurfacePathBase::DrawDottedRect(const IColor& color, const IRECT& bounds, const IBlend* blend, float thickness,
                                      float dashLen)
{
  const auto rect = [&] { PathRect(bounds); };
  StrokeShape(color, thickness, blend, rect, dashLen);
}

void ISurfacePathBase::FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                                    const IBlend* blend)
{
  FillShape(color, blend, [&] { PathTriangle(x1, y1, x2, y2, x3, y3); });
}

void ISurfacePathBase::FillRect(const IColor& color, const IRECT& bounds, const IBlend* blend)
{
  FillShape(color, blend, [&] { PathRect(bounds); });
}

void ISurfacePathBase::FillRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* blend)
{
  FillShape(color, blend, [&] { PathRoundRect(bounds, cornerRadius); });
}

void ISurfacePathBase::FillRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR,
                                     float cRBL, const IBlend* blend)
{
  FillShape(color, blend, [&] { PathRoundRect(bounds, cRTL, cRTR, cRBR, cRBL); });
}

void ISurfacePathBase::FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend)
{
  FillShape(color, blend, [&] { PathCircle(cx, cy, r); });
}

void ISurfacePathBase::FillEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend)
{
  FillShape(color, blend, [&] { PathEllipse(bounds); });
}

void ISurfacePathBase::FillEllipse(const IColor& color, float x, float y, float r1, float r2, float angle,
                                   const IBlend* blend)
{
  FillShape(color, blend, [&] { PathEllipse(x, y, r1, r2, angle); });
}

void ISurfacePathBase::FillArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                               const IBlend* blend)
{
  FillShape(color, blend, [&] {
    PathMoveTo(cx, cy);
    PathArc(cx, cy, r, a1, a2);
    PathClose();
  });
}

void ISurfacePathBase::FillConvexPolygon(const IColor& color, const float* x, const float* y, int nPoints,
                                         const IBlend* blend)
{
  FillShape(color, blend, [&] { PathConvexPolygon(x, y, nPoints); });
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
