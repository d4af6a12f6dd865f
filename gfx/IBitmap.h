#pragma once

#include <memory>
#include <string>

#include "gfx/IRECT.h"

namespace plug::gfx {

class IControl;

// Pixels owned by the drawing back end, made at a screen scale (backing pixels per point) and a
// draw scale (the editor's zoom). The back end derives its own kind.
class APIBitmap
{
public:
  APIBitmap(int width, int height, int scale, float drawScale)
    : mWidth(width),
      mHeight(height),
      mScale(scale),
      mDrawScale(drawScale)
  {
  }
  virtual ~APIBitmap() = default;
  APIBitmap(const APIBitmap&) = delete;
  APIBitmap& operator=(const APIBitmap&) = delete;

  int GetWidth() const { return mWidth; } // pixels
  int GetHeight() const { return mHeight; }
  int GetScale() const { return mScale; }
  float GetDrawScale() const { return mDrawScale; }

private:
  int mWidth;
  int mHeight;
  int mScale;
  float mDrawScale;
};

// A bitmap resource, shared by every control (and editor) that loaded it; it may hold several
// frames side by side or stacked.
class IBitmap
{
public:
  IBitmap() = default;
  IBitmap(std::shared_ptr<APIBitmap> bitmap, int nFrames, bool framesAreHorizontal, std::string name)
    : mBitmap(std::move(bitmap)),
      mN(nFrames < 1 ? 1 : nFrames),
      mFramesAreHorizontal(framesAreHorizontal),
      mResourceName(std::move(name))
  {
  }

  bool IsValid() const { return mBitmap != nullptr; }
  APIBitmap* GetAPIBitmap() const { return mBitmap.get(); }
  // Sizes in points: pixels divided by the resource's scale.
  float W() const { return mBitmap ? float(mBitmap->GetWidth()) / float(mBitmap->GetScale()) : 0.f; }
  float H() const { return mBitmap ? float(mBitmap->GetHeight()) / float(mBitmap->GetScale()) : 0.f; }
  float FW() const { return mFramesAreHorizontal ? W() / float(mN) : W(); }
  float FH() const { return mFramesAreHorizontal ? H() : H() / float(mN); }
  int N() const { return mN; }
  bool GetFramesAreHorizontal() const { return mFramesAreHorizontal; }
  const std::string& GetResourceName() const { return mResourceName; }

private:
  std::shared_ptr<APIBitmap> mBitmap;
  int mN = 1;
  bool mFramesAreHorizontal = false;
  std::string mResourceName;
};

class PathPicture; // the picture's paths (gfx/PathPicture.h)

// An SVG picture, as the build turned it into paths, shared by every control (and editor) that
// loaded it.
struct ISVG
{
  std::shared_ptr<const PathPicture> mPicture;
  float mWidth = 0.f; // in the picture's own units
  float mHeight = 0.f;

  bool IsValid() const { return mPicture != nullptr; }
  float W() const { return mWidth; }
  float H() const { return mHeight; }
};

// An off-screen drawing target owned by the control that made it (see ISurface::StartLayer).
class ILayer
{
public:
  ILayer(std::unique_ptr<APIBitmap> bitmap, const IRECT& layerRect, IControl* control, const IRECT& controlRect)
    : mBitmap(std::move(bitmap)),
      mControl(control),
      mControlRECT(controlRect),
      mRECT(layerRect)
  {
  }

  // The owner calls this when what it draws into the layer changes.
  void Invalidate() { mInvalid = true; }
  bool IsInvalid() const { return mInvalid; }
  APIBitmap* GetAPIBitmap() const { return mBitmap.get(); }
  // The pixel-aligned area the layer covers, in points.
  const IRECT& Bounds() const { return mRECT; }
  IControl* GetControl() const { return mControl; }
  const IRECT& ControlBounds() const { return mControlRECT; }

private:
  friend class IFrameRegions; // checks the control's bounds against those recorded

  std::unique_ptr<APIBitmap> mBitmap;
  IControl* mControl;
  IRECT mControlRECT;
  IRECT mRECT;
  bool mInvalid = false;
};

using ILayerPtr = std::unique_ptr<ILayer>;

} // namespace plug::gfx
