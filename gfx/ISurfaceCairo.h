#pragma once

// The drawing back end on Cairo: the frame is a Cairo ARGB32 image surface of the editor's size
// times its draw scale times the screen scale, drawn in user points. Text goes through FreeType
// faces (a font of size S is scaled so that its ascender-to-descender height is S), pictures are
// the paths the build made of SVG files (gfx/PathPicture.h), filled and stroked here as librsvg
// drew those files, bitmaps go through stb_image; fonts, pictures and bitmaps are cached
// process-wide under mutexes and emptied when the last surface closes. Layers are image surfaces
// of their own.
//
// Unlike a back end limited to two-colour gradients and solid strokes, every gradient stop and
// every dash is drawn.
//
// Its sources are two: the drawing (ISurfaceCairo.cpp) and the resources (CairoResources.h and
// .cpp: caches, font faces, decoding). They are the plug-in's only files that include Cairo's and
// FreeType's headers, and with stb's compilation units (StbImage.cpp, ITextEntryControl.cpp) the
// only ones that include stb's; tools/check_includes.py checks it.

#include <memory>
#include <string>
#include <vector>

#include "gfx/ISurfacePathBase.h"

namespace plug::gfx {

class ISurfaceCairo : public ISurfacePathBase
{
public:
  ISurfaceCairo(ISurfaceEditorDelegate& dlg, int w, int h, int fps = 0, float scale = 1.f);
  ~ISurfaceCairo() override;

  const char* GetDrawingAPIStr() const override { return "Cairo"; }

  void BeginFrame() override;
  void EndFrame() override;

  void PathClear() override;
  void PathClose() override;
  void PathMoveTo(float x, float y) override;
  void PathLineTo(float x, float y) override;
  void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) override;
  void PathQuadraticBezierTo(float cx, float cy, float x2, float y2) override;
  void PathArc(float cx, float cy, float r, float a1, float a2, EWinding winding = EWinding::kCW) override;
  // Cairo fills by rule, not by the orientation recorded per sub-path: a no-op. A sub-path drawn
  // in the opposite direction is a hole under the non-zero rule anyway.
  void PathSetWinding(EWinding /*winding*/) override {}
  void PathStroke(const IPattern& pattern, float thickness, const IStrokeOptions& options = {},
                  const IBlend* blend = nullptr) override;
  void PathFill(const IPattern& pattern, const IFillOptions& options = {}, const IBlend* blend = nullptr) override;
  void PathTransformSave() override;
  // An unmatched restore is ignored.
  void PathTransformRestore() override;
  void PathTransformReset() override;
  void PathTransformTranslate(float x, float y) override;
  // A zero or non-finite scale, skew or matrix that cannot be inverted is ignored: it would leave
  // nothing drawable.
  void PathTransformScale(float sx, float sy) override;
  void PathTransformRotate(float angle) override;
  void PathTransformSkew(float xAngle, float yAngle) override;
  void PathTransformMatrix(const IMatrix& matrix) override;
  // Clips to r within the region being drawn (or the layer); an empty r: the whole of it.
  void PathClipRegion(const IRECT& r = IRECT()) override;

  bool LoadFont(const char* fontID, const char* fileNameOrResID) override;
  // The picture's size in pixels converted to units ("px", "pt", "pc", "mm", "cm", "in") at dpi; an
  // SVG file's own text is refused (an invalid ISVG): only its paths made by the build are drawn,
  // so that no SVG parser and its libraries enter the host's process.
  ISVG LoadSVG(const char* fileNameOrResID, const char* units = "px", float dpi = 72.f) override;
  // The picture scaled uniformly by min(w / W, h / H), at the top-left corner of bounds, composed
  // as a whole with the blend.
  void DrawSVG(const ISVG& svg, const IRECT& bounds, const IBlend* blend = nullptr) override;
  void DrawRotatedSVG(const ISVG& svg, float destCentreX, float destCentreY, float width, float height, float angle,
                      const IBlend* blend = nullptr) override;
  // Looks for "name@2x.png" first at scale 2 (and so on), then for the name itself at scale 1.
  IBitmap LoadBitmap(const char* fileNameOrResID, int nStates = 1, bool framesAreHorizontal = false,
                     int targetScale = 0) override;
  void DrawBitmap(const IBitmap& bitmap, const IRECT& bounds, int srcX = 0, int srcY = 0,
                  const IBlend* blend = nullptr) override;
  void DrawFittedBitmap(const IBitmap& bitmap, const IRECT& bounds, const IBlend* blend = nullptr) override;
  void DrawRotatedBitmap(const IBitmap& bitmap, float destCentreX, float destCentreY, double angle,
                         const IBlend* blend = nullptr) override;

  // --- The frame ---

  // The frame's pixels as Cairo's ARGB32 (premultiplied, one native-endian 32-bit word a pixel:
  // bytes B, G, R, A on this platform), width x height pixels (the editor's window size times the
  // screen scale) in rows of stride bytes. Null before the first frame.
  const unsigned char* GetFramePixels(int& width, int& height, int& stride);
  // One pixel of the frame, not premultiplied; transparent outside it.
  IColor GetFramePixel(int x, int y);
  // Writes the frame as a PNG file; false when there is no frame or it cannot be written.
  bool WritePNG(const char* path);

  // [any] Entries of the process-wide caches, for tests and tools.
  struct CacheSizes
  {
    int fonts = 0;
    int svgs = 0;
    int bitmaps = 0;
  };
  static CacheSizes GetCacheSizes();

protected:
  float DoMeasureText(const IText& text, const char* str, IRECT& bounds) const override;
  void DoDrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* blend) override;
  // Every control drawn into a region gets its own clip (its rectangle within the region); the
  // frame keeps its pixels between frames, so the background control paints every region first.
  void PrepareRegion(const IRECT& r) override;
  void CompleteRegion(const IRECT& r) override;
  void DrawResize() override;
  std::unique_ptr<APIBitmap> CreateAPIBitmap(int widthPixels, int heightPixels, int scale, float drawScale) override;
  void UpdateLayer() override;
  bool GetLayerBitmapData(const ILayerPtr& layer, std::vector<unsigned char>& data, int& stride) override;
  void ApplyShadowMask(ILayerPtr& layer, const std::vector<unsigned char>& mask, const IShadow& shadow) override;

private:
  struct Target;
  struct Impl;

  // The drawing target (the frame, made when missing, or the current layer).
  Target& Current();
  void DrawSurface(void* surface, double pixelsPerPoint, const IMatrix& placement, const IRECT* clip,
                   const IBlend* blend);

  std::unique_ptr<Impl> mImpl;
};

} // namespace plug::gfx
