#pragma once

// Every shape of the drawing interface built from the back end's path primitives: a shape
// operation starts a fresh path, adds the composite path for the shape and strokes or fills it
// with the colour as a solid pattern and the given blend. Strokes use the default options
// (miter limit 10, butt caps, miter joins), the dotted shapes dashes of dashLen on, dashLen off.

#include "gfx/ISurface.h"

namespace plug::gfx {

class ISurfacePathBase : public ISurface
{
public:
  using ISurface::ISurface;

  bool HasPathSupport() const override { return true; }

  void DrawPoint(const IColor& color, float x, float y, const IBlend* blend = nullptr) override;
  void DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend = nullptr,
                float thickness = 1.f) override;
  void DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend = nullptr,
                      float thickness = 1.f, float dashLen = 2.f) override;
  void DrawTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                    const IBlend* blend = nullptr, float thickness = 1.f) override;
  void DrawRect(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr,
                float thickness = 1.f) override;
  void DrawRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius = 5.f, const IBlend* blend = nullptr,
                     float thickness = 1.f) override;
  void DrawRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL,
                     const IBlend* blend = nullptr, float thickness = 1.f) override;
  void DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2, const IBlend* blend = nullptr,
               float thickness = 1.f) override;
  void DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend = nullptr,
                  float thickness = 1.f) override;
  void DrawEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr,
                   float thickness = 1.f) override;
  void DrawEllipse(const IColor& color, float x, float y, float r1, float r2, float angle = 0.f,
                   const IBlend* blend = nullptr, float thickness = 1.f) override;
  void DrawConvexPolygon(const IColor& color, const float* x, const float* y, int nPoints,
                         const IBlend* blend = nullptr, float thickness = 1.f) override;
  void DrawDottedRect(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr, float thickness = 1.f,
                      float dashLen = 2.f) override;
  void FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                    const IBlend* blend = nullptr) override;
  void FillRect(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr) override;
  void FillRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius = 5.f,
                     const IBlend* blend = nullptr) override;
  void FillRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL,
                     const IBlend* blend = nullptr) override;
  void FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend = nullptr) override;
  void FillEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr) override;
  void FillEllipse(const IColor& color, float x, float y, float r1, float r2, float angle = 0.f,
                   const IBlend* blend = nullptr) override;
  void FillArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
               const IBlend* blend = nullptr) override;
  void FillConvexPolygon(const IColor& color, const float* x, const float* y, int nPoints,
                         const IBlend* blend = nullptr) override;

  void PathRect(const IRECT& bounds) override;
  void PathRoundRect(const IRECT& bounds, float cornerRadius) override;
  // Radii larger than half the shorter side are reduced to it.
  void PathRoundRect(const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL) override;
  void PathCircle(float cx, float cy, float r) override;
  void PathEllipse(const IRECT& bounds) override;
  // Radii r1 (along x) and r2 (along y), turned clockwise by angle degrees about (x, y).
  void PathEllipse(float x, float y, float r1, float r2, float angle = 0.f) override;
  void PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3) override;
  void PathConvexPolygon(const float* x, const float* y, int nPoints) override;

private:
  // A fresh path, the shape that addShape adds, stroked (dashed when dashLen > 0) or filled.
  template <typename AddShape>
  void StrokeShape(const IColor& color, float thickness, const IBlend* blend, AddShape&& addShape, float dashLen = 0.f);
  template <typename AddShape>
  void FillShape(const IColor& color, const IBlend* blend, AddShape&& addShape);
};

} // namespace plug::gfx
