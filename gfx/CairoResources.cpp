// The Cairo layer's resources (see CairoResources.h): the process-wide caches, each under its own
// mutex; fonts as FreeType faces made from the font's bytes, wrapped in Cairo faces that own them;
// bitmap files decoded by stb_image into premultiplied Cairo surfaces; pictures decoded from the
// paths the build made of SVG files. The drawing side (ISurfaceCairo.cpp) only finds and draws
// what is loaded here.

#include "gfx/CairoResources.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <stb_image.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

#include "gfx/IResourceLocator.h"
#include "gfx/PathPicture.h"

namespace plug::gfx {

namespace {

// What the Cairo font face owns: the font's bytes and the FreeType face made from them.
struct FontData
{
  std::vector<unsigned char> bytes;
  FT_Face face = nullptr;
};

struct Caches
{
  std::mutex fontMutex;
  std::map<std::string, CairoFont> fonts;
  // Faces of fonts no live surface uses: Cairo's own caches may still hold them, so a face made
  // anew at every opening of an editor would pile up there. They come back when a font of the same
  // identifier is loaded again.
  std::map<std::string, CairoFont> retiredFonts;
  FT_Library library = nullptr;
  std::mutex svgMutex;
  std::map<std::string, std::shared_ptr<const PathPicture>> svgs;
  std::mutex bitmapMutex;
  std::map<std::string, std::shared_ptr<APIBitmap>> bitmaps;
  std::mutex countMutex;
  int liveSurfaces = 0;
};

Caches& GetCaches()
{
  // Never destroyed: the retired fonts stay reachable to the end, as Cairo's own caches do.
  static Caches* caches = new Caches;
  return *caches;
}

const cairo_user_data_key_t kFontDataKey{};

void DestroyFontData(void* p)
{
  auto* data = static_cast<FontData*>(p);
  std::lock_guard lock(GetCaches().fontMutex); // FreeType's library is not safe for concurrent use
  FT_Done_Face(data->face);
  delete data;
}

// A retired font of that identifier is live again: true when there was one.
bool ReviveFont(const char* fontID)
{
  Caches& c = GetCaches();
  std::lock_guard lock(c.fontMutex);
  auto retired = c.retiredFonts.extract(fontID);
  if (!retired)
    return false;
  c.fonts.insert(std::move(retired));
  return true;
}

cairo_surface_t* SurfaceFromRGBA(const unsigned char* rgba, int w, int h)
{
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
  {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < h; ++y)
  {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < w; ++x)
    {
      const unsigned char* p = rgba + (static_cast<std::size_t>(y) * w + x) * 4;
      const uint32_t a = p[3];
      auto premultiply = [a](uint32_t c) { return (c * a + 127) / 255; };
      row[x] = (a << 24) | (premultiply(p[0]) << 16) | (premultiply(p[1]) << 8) | premultiply(p[2]);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

std::shared_ptr<APIBitmap> DecodeBitmap(const IResourceLocation& location, int scale)
{
  std::vector<unsigned char> bytes;
  if (!ReadResource(location, bytes) || bytes.empty())
    return nullptr;
  int w = 0, h = 0, channels = 0;
  unsigned char* rgba = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &channels, 4);
  if (!rgba)
    return nullptr;
  cairo_surface_t* surface = SurfaceFromRGBA(rgba, w, h);
  stbi_image_free(rgba);
  if (!surface)
    return nullptr;
  return std::make_shared<CairoBitmap>(surface, scale, 1.f);
}

bool BitmapExtensionSupported(const std::string& ext)
{
  static const char* const kSupported[] = {"png", "jpg", "jpeg", "bmp", "gif", "tga", "psd", "pnm", "ppm", "pgm"};
  for (const char* s : kSupported)
    if (strcasecmp(ext.c_str(), s) == 0)
      return true;
  return false;
}

// A picture's size in pixels at dpi, converted to units.
double FromPixels(double px, const char* units, double dpi)
{
  const std::string u = units ? units : "px";
  if (u == "pt")
    return px * 72.0 / dpi;
  if (u == "pc")
    return px * 6.0 / dpi;
  if (u == "mm")
    return px * 25.4 / dpi;
  if (u == "cm")
    return px * 2.54 / dpi;
  if (u == "in")
    return px / dpi;
  return px;
}

} // namespace

// --- The caches' life ---

void CairoResources::Retain()
{
  Caches& c = GetCaches();
  std::lock_guard lock(c.countMutex);
  ++c.liveSurfaces;
}

void CairoResources::Release()
{
  Caches& c = GetCaches();
  std::lock_guard lock(c.countMutex);
  if (--c.liveSurfaces > 0)
    return;
  {
    std::lock_guard bitmapLock(c.bitmapMutex);
    c.bitmaps.clear();
  }
  {
    std::lock_guard svgLock(c.svgMutex);
    c.svgs.clear();
  }
  std::lock_guard fontLock(c.fontMutex);
  c.retiredFonts.merge(c.fonts);
  for (auto& [id, entry] : c.fonts) // an identifier retired already keeps its first face
    cairo_font_face_destroy(entry.face);
  c.fonts.clear();
}

// --- Fonts ---

bool CairoResources::LoadFont(const char* fontID, const char* fileNameOrResID, const char* sharedResourcesSubPath)
{
  if (!fontID || !*fontID)
    return false;
  CairoFont existing;
  if (FindFont(fontID, existing) || ReviveFont(fontID))
    return true;
  IResourceLocation location;
  auto data = std::make_unique<FontData>();
  if (!LocateResource(fileNameOrResID, "ttf", sharedResourcesSubPath, location) ||
      !ReadResource(location, data->bytes) || data->bytes.empty())
    return false;
  Caches& c = GetCaches();
  std::lock_guard lock(c.fontMutex);
  if (c.fonts.count(fontID))
    return true;
  if (!c.library && FT_Init_FreeType(&c.library) != 0)
    return false;
  if (FT_New_Memory_Face(c.library, data->bytes.data(), static_cast<FT_Long>(data->bytes.size()), 0, &data->face) != 0)
    return false;
  CairoFont entry;
  const FT_Face face = data->face;
  entry.unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 1000.0;
  entry.ascender = face->ascender;
  entry.height = face->ascender - face->descender;
  if (!(entry.height > 0.0)) // no vertical metrics: the em square stands in
  {
    entry.ascender = 0.8 * entry.unitsPerEm;
    entry.height = entry.unitsPerEm;
  }
  entry.face = cairo_ft_font_face_create_for_ft_face(face, 0);
  if (cairo_font_face_set_user_data(entry.face, &kFontDataKey, data.get(), DestroyFontData) != CAIRO_STATUS_SUCCESS)
  {
    cairo_font_face_destroy(entry.face);
    FT_Done_Face(face);
    return false;
  }
  data.release(); // owned by the Cairo face now
  c.fonts.emplace(fontID, entry);
  return true;
}

bool CairoResources::FindFont(const char* fontID, CairoFont& font)
{
  Caches& c = GetCaches();
  std::lock_guard lock(c.fontMutex);
  auto it = c.fonts.find(fontID);
  if (it == c.fonts.end())
    return false;
  font = it->second;
  return true;
}

// --- Pictures ---

ISVG CairoResources::LoadSVG(const char* fileNameOrResID, const char* units, float dpi,
                             const char* sharedResourcesSubPath)
{
  if (!fileNameOrResID || !(dpi > 0.f))
    return {};
  const std::string key = std::string(fileNameOrResID) + "|" + (units ? units : "px") + "|" + std::to_string(dpi);
  Caches& c = GetCaches();
  std::shared_ptr<const PathPicture> picture;
  {
    std::lock_guard lock(c.svgMutex);
    auto it = c.svgs.find(key);
    if (it != c.svgs.end())
      picture = it->second;
  }
  if (!picture)
  {
    IResourceLocation location;
    std::vector<unsigned char> bytes;
    if (!LocateResource(fileNameOrResID, "svg", sharedResourcesSubPath, location) || !ReadResource(location, bytes))
      return {};
    picture = PathPicture::Decode(bytes);
    if (!picture)
      return {};
    std::lock_guard lock(c.svgMutex);
    c.svgs.emplace(key, picture);
  }
  ISVG svg;
  svg.mPicture = picture;
  svg.mWidth = static_cast<float>(FromPixels(picture->Width(), units, dpi));
  svg.mHeight = static_cast<float>(FromPixels(picture->Height(), units, dpi));
  return svg;
}

// --- Bitmaps ---

IBitmap CairoResources::LoadBitmap(const char* fileNameOrResID, int nStates, bool framesAreHorizontal, int scale,
                                   const char* sharedResourcesSubPath)
{
  if (!fileNameOrResID || !*fileNameOrResID)
    return {};
  const std::string name = fileNameOrResID;
  const std::string ext = ResourceExtension(fileNameOrResID);
  if (!BitmapExtensionSupported(ext))
    return {};
  const std::string key = name + "@" + std::to_string(scale);
  Caches& c = GetCaches();
  {
    std::lock_guard lock(c.bitmapMutex);
    auto it = c.bitmaps.find(key);
    if (it != c.bitmaps.end())
      return IBitmap(it->second, nStates, framesAreHorizontal, name);
  }
  std::shared_ptr<APIBitmap> bitmap;
  IResourceLocation location;
  if (scale > 1)
  {
    const std::string scaled = name.substr(0, name.size() - ext.size() - 1) + "@" + std::to_string(scale) + "x." + ext;
    if (LocateResource(scaled.c_str(), ext.c_str(), sharedResourcesSubPath, location))
      bitmap = DecodeBitmap(location, scale);
  }
  if (!bitmap && LocateResource(fileNameOrResID, ext.c_str(), sharedResourcesSubPath, location))
    bitmap = DecodeBitmap(location, 1);
  if (!bitmap)
    return {};
  std::lock_guard lock(c.bitmapMutex);
  c.bitmaps.emplace(key, bitmap);
  return IBitmap(bitmap, nStates, framesAreHorizontal, name);
}

ISurfaceCairo::CacheSizes CairoResources::Sizes()
{
  Caches& c = GetCaches();
  ISurfaceCairo::CacheSizes sizes;
  {
    std::lock_guard lock(c.fontMutex);
    sizes.fonts = static_cast<int>(c.fonts.size());
  }
  {
    std::lock_guard lock(c.svgMutex);
    sizes.svgs = static_cast<int>(c.svgs.size());
  }
  std::lock_guard lock(c.bitmapMutex);
  sizes.bitmaps = static_cast<int>(c.bitmaps.size());
  return sizes;
}

} // namespace plug::gfx
