#pragma once

// The Cairo drawing layer's resources, apart from its drawing (ISurfaceCairo.cpp): the
// process-wide caches of fonts, pictures and bitmaps that every editor of the process shares, the
// FreeType faces behind the fonts, the decoding of bitmap files, and the pictures as the paths the
// build made of SVG files.
//
// How the two halves meet: every ISurfaceCairo retains the caches while it lives (the last one to
// go empties them) and loads through the functions below; its drawing finds a font's face and
// metrics with FindFont, and draws bitmaps and layers, both CairoBitmap, with Cairo.
//
// It includes Cairo's header: only ISurfaceCairo.cpp and CairoResources.cpp include it
// (tools/check_includes.py holds every file to that).

#include <cairo.h>

#include "gfx/IBitmap.h"
#include "gfx/ISurfaceCairo.h"

namespace plug::gfx {

// Pixels owned by Cairo: a decoded bitmap or a layer. A layer also keeps the context that draws
// into it.
class CairoBitmap : public APIBitmap
{
public:
  // Takes the surface over.
  CairoBitmap(cairo_surface_t* surface, int scale, float drawScale)
    : APIBitmap(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface), scale, drawScale),
      mSurface(surface)
  {
  }
  ~CairoBitmap() override
  {
    if (mContext)
      cairo_destroy(mContext);
    cairo_surface_destroy(mSurface);
  }
  cairo_surface_t* Surface() const { return mSurface; }
  cairo_t* Context()
  {
    if (!mContext)
      mContext = cairo_create(mSurface);
    return mContext;
  }
  int saveDepth = 0;

private:
  cairo_surface_t* mSurface;
  cairo_t* mContext = nullptr;
};

// A font registered with LoadFont: its Cairo face, which the cache keeps alive, and its vertical
// metrics in font units.
struct CairoFont
{
  cairo_font_face_t* face = nullptr;
  double unitsPerEm = 1.0;
  double ascender = 1.0; // above the baseline
  double height = 1.0;   // ascender - descender

  // The em size that makes a line (ascender to descender) size points high.
  double EmSize(double size) const { return size * unitsPerEm / height; }
};

// Each cache is guarded by a mutex of its own, as the editors of several plug-in instances share
// them: every operation here may run on any thread.
class CairoResources
{
public:
  // [any] A surface begins to use the caches.
  static void Retain();
  // [any] A surface is done with them: the last one empties them. Fonts' faces are kept aside
  // rather than destroyed (Cairo's own caches may still hold them) and come back when a font of
  // the same identifier is loaded again.
  static void Release();

  // [any] Registers the font file (or embedded resource) under fontID; true when it is registered
  // already. False when it cannot be found or read or FreeType refuses it.
  static bool LoadFont(const char* fontID, const char* fileNameOrResID, const char* sharedResourcesSubPath);
  // [any] False when no font is registered under fontID.
  static bool FindFont(const char* fontID, CairoFont& font);
  // [any] See ISurfaceCairo::LoadSVG.
  static ISVG LoadSVG(const char* fileNameOrResID, const char* units, float dpi, const char* sharedResourcesSubPath);
  // [any] The bitmap at scale: "name@2x.png" first at scale 2 (and so on), then the name itself at
  // scale 1. Invalid when the extension is not one stb_image decodes, or nothing is found or
  // decoded.
  static IBitmap LoadBitmap(const char* fileNameOrResID, int nStates, bool framesAreHorizontal, int scale,
                            const char* sharedResourcesSubPath);
  // [any] Entries of the caches.
  static ISurfaceCairo::CacheSizes Sizes();
};

} // namespace plug::gfx
