// The Cairo layer's drawing (see ISurfaceCairo.h). A drawing target (Target) is a Cairo context
// with the matrix that maps user points onto its pixels: the frame, made when first drawn into
// and remade on a change of size or scale, or the layer on top of the stack IFrameRegions keeps.
// Regions reset the target's clip and transform; paths, fills, strokes, transforms, text,
// pictures, bitmaps and drop shadows draw into it. What is drawn with, the fonts' faces, the
// pictures and the bitmaps, is loaded and cached by CairoResources.cpp; bitmaps and layers are
// both CairoBitmap.

#include "gfx/ISurfaceCairo.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "gfx/CairoResources.h"
#include "gfx/PathPicture.h"
#include "plug/core/Utf8Text.h"

namespace plug::gfx {

namespace {

constexpr double kPi = std::numbers::pi;

double Radians(double degrees)
{
  return degrees * kPi / 180.0;
}

// Cairo refuses invalid UTF-8 by putting the context (or the shared scaled font) into an error
// state for good: every malformed sequence becomes U+FFFD first. Returns str itself when it is
// valid.
const char* ValidUTF8(const char* str, std::string& repaired)
{
  bool valid = true;
  repaired.clear();
  for (const char* p = str; *p;)
  {
    char32_t c = 0;
    if (const int length = DecodeUtf8(p, c))
    {
      repaired.append(p, static_cast<std::size_t>(length));
      p += length;
    }
    else
    {
      valid = false;
      repaired.append("\xEF\xBF\xBD");
      p += 1; // resynchronise on the next byte
    }
  }
  return valid ? str : repaired.c_str();
}

cairo_operator_t Operator(const IBlend* blend)
{
  switch (blend ? blend->mMethod : EBlend::kDefault)
  {
    case EBlend::kSrcIn:
      return CAIRO_OPERATOR_IN;
    case EBlend::kSrcOut:
      return CAIRO_OPERATOR_OUT;
    case EBlend::kSrcAtop:
      return CAIRO_OPERATOR_ATOP;
    case EBlend::kDstOver:
      return CAIRO_OPERATOR_DEST_OVER;
    case EBlend::kDstIn:
      return CAIRO_OPERATOR_DEST_IN;
    case EBlend::kDstOut:
      return CAIRO_OPERATOR_DEST_OUT;
    case EBlend::kDstAtop:
      return CAIRO_OPERATOR_DEST_ATOP;
    case EBlend::kAdd:
      return CAIRO_OPERATOR_ADD;
    case EBlend::kXOR:
      return CAIRO_OPERATOR_XOR;
    case EBlend::kDefault:
      break;
  }
  return CAIRO_OPERATOR_OVER;
}

double Weight(const IBlend* blend)
{
  return std::clamp(static_cast<double>(BlendWeight(blend)), 0.0, 1.0);
}

double Channel(int v)
{
  return std::clamp(v, 0, 255) / 255.0;
}

bool Invertible(const cairo_matrix_t& m)
{
  const double d = m.xx * m.yy - m.xy * m.yx;
  return std::isfinite(m.xx) && std::isfinite(m.yx) && std::isfinite(m.xy) && std::isfinite(m.yy) &&
      std::isfinite(m.x0) && std::isfinite(m.y0) && std::isfinite(d) && d != 0.0;
}

cairo_extend_t Extend(EPatternExtend extend)
{
  switch (extend)
  {
    case EPatternExtend::kNone:
      return CAIRO_EXTEND_NONE;
    case EPatternExtend::kReflect:
      return CAIRO_EXTEND_REFLECT;
    case EPatternExtend::kRepeat:
      return CAIRO_EXTEND_REPEAT;
    case EPatternExtend::kPad:
      break;
  }
  return CAIRO_EXTEND_PAD;
}

// A Cairo source for the pattern with every alpha multiplied by weight. Every stop is used.
cairo_pattern_t* MakePattern(const IPattern& p, double weight)
{
  if (p.mType == EPatternType::kSolid || p.NStops() == 0)
  {
    const IColor c = p.NStops() > 0 ? p.GetStop(0).mColor : COLOR_TRANSPARENT;
    return cairo_pattern_create_rgba(Channel(c.R), Channel(c.G), Channel(c.B), Channel(c.A) * weight);
  }
  cairo_pattern_t* pattern = p.mType == EPatternType::kLinear
      ? cairo_pattern_create_linear(0.0, 0.0, 1.0, 0.0)
      : cairo_pattern_create_radial(0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
  for (int i = 0; i < p.NStops(); ++i)
  {
    const IColorStop& s = p.GetStop(i);
    cairo_pattern_add_color_stop_rgba(pattern, std::clamp(static_cast<double>(s.mOffset), 0.0, 1.0),
                                      Channel(s.mColor.R), Channel(s.mColor.G), Channel(s.mColor.B),
                                      Channel(s.mColor.A) * weight);
  }
  cairo_pattern_set_extend(pattern, Extend(p.mExtend));
  cairo_matrix_t m;
  const IMatrix& t = p.mTransform;
  cairo_matrix_init(&m, t.xx, t.yx, t.xy, t.yy, t.tx, t.ty);
  if (Invertible(m)) // a singular transform would put the context in an error state for good
    cairo_pattern_set_matrix(pattern, &m);
  return pattern;
}

void SetSource(cairo_t* cr, const IPattern& pattern, const IBlend* blend)
{
  cairo_pattern_t* source = MakePattern(pattern, Weight(blend));
  cairo_set_source(cr, source);
  cairo_pattern_destroy(source);
  cairo_set_operator(cr, Operator(blend));
}

// The shape's path as Cairo's current path; a quadratic curve is raised to the cubic one that
// traces it, from the point where it starts.
void AddPicturePath(cairo_t* cr, const PathPicture::Shape& shape)
{
  using ECommand = PathPicture::ECommand;
  const double* c = shape.coordinates.data();
  double x = 0.0, y = 0.0, startX = 0.0, startY = 0.0; // kept here: Cairo's own are rounded
  cairo_new_path(cr);
  for (const ECommand command : shape.commands)
  {
    switch (command)
    {
      case ECommand::kMove:
        cairo_move_to(cr, c[0], c[1]);
        x = startX = c[0], y = startY = c[1];
        break;
      case ECommand::kLine:
        cairo_line_to(cr, c[0], c[1]);
        x = c[0], y = c[1];
        break;
      case ECommand::kQuadratic:
        cairo_curve_to(cr, x + 2.0 / 3.0 * (c[0] - x), y + 2.0 / 3.0 * (c[1] - y), c[2] + 2.0 / 3.0 * (c[0] - c[2]),
                       c[3] + 2.0 / 3.0 * (c[1] - c[3]), c[2], c[3]);
        x = c[2], y = c[3];
        break;
      case ECommand::kCubic:
        cairo_curve_to(cr, c[0], c[1], c[2], c[3], c[4], c[5]);
        x = c[4], y = c[5];
        break;
      case ECommand::kClose:
        cairo_close_path(cr);
        x = startX, y = startY;
        break;
    }
    c += PathPicture::Arity(command);
  }
}

// One shape of a picture: its fill, then its stroke, in its own coordinates.
void DrawPictureShape(cairo_t* cr, const PathPicture::Shape& shape)
{
  cairo_matrix_t m;
  const double* t = shape.transform;
  cairo_matrix_init(&m, t[0], t[1], t[2], t[3], t[4], t[5]);
  if (!Invertible(m)) // draws nothing, and would leave the context in an error state for good
    return;
  cairo_save(cr);
  cairo_transform(cr, &m);
  AddPicturePath(cr, shape);
  if (shape.filled)
  {
    const PathPicture::Paint& p = shape.fill;
    cairo_set_fill_rule(cr, shape.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_set_source_rgba(cr, Channel(p.r), Channel(p.g), Channel(p.b), p.opacity);
    cairo_fill_preserve(cr);
  }
  if (shape.stroked)
  {
    static constexpr cairo_line_cap_t kCaps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_SQUARE};
    static constexpr cairo_line_join_t kJoins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL};
    const PathPicture::Paint& p = shape.stroke;
    cairo_set_line_width(cr, shape.strokeWidth);
    cairo_set_line_cap(cr, kCaps[shape.cap]);
    cairo_set_line_join(cr, kJoins[shape.join]);
    cairo_set_miter_limit(cr, shape.miterLimit);
    cairo_set_source_rgba(cr, Channel(p.r), Channel(p.g), Channel(p.b), p.opacity);
    cairo_stroke_preserve(cr);
  }
  cairo_new_path(cr);
  cairo_restore(cr);
}

} // namespace

// A drawing target: a context and the matrix that maps points onto its pixels.
struct ISurfaceCairo::Target
{
  cairo_t* cr = nullptr;
  cairo_matrix_t base;
  int* saveDepth = nullptr;
  IRECT area; // what clipping may reach, in points
};

struct ISurfaceCairo::Impl
{
  cairo_surface_t* frame = nullptr;
  cairo_t* frameContext = nullptr;
  int frameSaveDepth = 0;
  IRECT region; // the region being drawn
  Target target;
  cairo_font_options_t* fontOptions = nullptr;

  ~Impl()
  {
    DestroyFrame();
    if (fontOptions)
      cairo_font_options_destroy(fontOptions);
  }
  void DestroyFrame()
  {
    if (frameContext)
      cairo_destroy(frameContext);
    if (frame)
      cairo_surface_destroy(frame);
    frameContext = nullptr;
    frame = nullptr;
    frameSaveDepth = 0;
    target = {};
  }
};

ISurfaceCairo::ISurfaceCairo(ISurfaceEditorDelegate& dlg, int w, int h, int fps, float scale)
  : ISurfacePathBase(dlg, w, h, fps, scale),
    mImpl(std::make_unique<Impl>())
{
  CairoResources::Retain();
  // Unhinted outlines and metrics: text measures the same at every scale.
  mImpl->fontOptions = cairo_font_options_create();
  cairo_font_options_set_hint_style(mImpl->fontOptions, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(mImpl->fontOptions, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(mImpl->fontOptions, CAIRO_ANTIALIAS_GRAY);
}

ISurfaceCairo::~ISurfaceCairo()
{
  // Controls may hold bitmaps and pictures from the caches: they go first.
  RemoveAllControls();
  mImpl.reset();
  CairoResources::Release();
}

ISurfaceCairo::Target& ISurfaceCairo::Current()
{
  Impl& m = *mImpl;
  if (!m.target.cr) // the frame: made when missing, its context left as it was otherwise
  {
    const bool made = !m.frame;
    if (made)
    {
      const int w = std::max(1, WindowWidth() * GetScreenScale());
      const int h = std::max(1, WindowHeight() * GetScreenScale());
      m.frame = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
      m.frameContext = cairo_create(m.frame);
      m.region = GetBounds();
    }
    const double s = GetTotalScale();
    cairo_matrix_init_scale(&m.target.base, s, s);
    m.target.cr = m.frameContext;
    m.target.saveDepth = &m.frameSaveDepth;
    m.target.area = m.region;
    if (made)
      cairo_set_matrix(m.target.cr, &m.target.base);
  }
  return m.target;
}

void ISurfaceCairo::BeginFrame()
{
  Current();
  ISurface::BeginFrame();
}

void ISurfaceCairo::EndFrame()
{
  if (mImpl->frame)
    cairo_surface_flush(mImpl->frame);
}

void ISurfaceCairo::DrawResize()
{
  mImpl->DestroyFrame();
}

void ISurfaceCairo::PrepareRegion(const IRECT& r)
{
  mImpl->target = {};
  mImpl->region = r;
  Target& t = Current();
  cairo_t* cr = t.cr;
  while (*t.saveDepth > 0)
  {
    cairo_restore(cr);
    --*t.saveDepth;
  }
  cairo_reset_clip(cr);
  cairo_set_matrix(cr, &t.base);
  cairo_new_path(cr);
  cairo_rectangle(cr, r.L, r.T, r.W(), r.H());
  cairo_clip(cr);
}

void ISurfaceCairo::CompleteRegion(const IRECT& /*r*/)
{
  Target& t = Current();
  while (*t.saveDepth > 0) // a control that saved more than it restored
  {
    cairo_restore(t.cr);
    --*t.saveDepth;
  }
  cairo_new_path(t.cr);
}

// --- Paths ---

void ISurfaceCairo::PathClear()
{
  cairo_new_path(Current().cr);
}

void ISurfaceCairo::PathClose()
{
  cairo_close_path(Current().cr);
}

void ISurfaceCairo::PathMoveTo(float x, float y)
{
  cairo_move_to(Current().cr, x, y);
}

void ISurfaceCairo::PathLineTo(float x, float y)
{
  cairo_line_to(Current().cr, x, y);
}

void ISurfaceCairo::PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2)
{
  cairo_curve_to(Current().cr, c1x, c1y, c2x, c2y, x2, y2);
}

void ISurfaceCairo::PathQuadraticBezierTo(float cx, float cy, float x2, float y2)
{
  cairo_t* cr = Current().cr;
  double x0 = cx, y0 = cy;
  if (cairo_has_current_point(cr))
    cairo_get_current_point(cr, &x0, &y0);
  else
    cairo_move_to(cr, cx, cy);
  cairo_curve_to(cr, x0 + 2.0 / 3.0 * (cx - x0), y0 + 2.0 / 3.0 * (cy - y0), x2 + 2.0 / 3.0 * (cx - x2),
                 y2 + 2.0 / 3.0 * (cy - y2), x2, y2);
}

void ISurfaceCairo::PathArc(float cx, float cy, float r, float a1, float a2, EWinding winding)
{
  if (!(r > 0.f) || !std::isfinite(a1) || !std::isfinite(a2))
    return;
  cairo_t* cr = Current().cr;
  const double start = Radians(a1 - 90.0);
  if (std::abs(a2 - a1) >= 360.f)
  {
    const double turn = winding == EWinding::kCW ? 2.0 * kPi : -2.0 * kPi;
    if (winding == EWinding::kCW)
      cairo_arc(cr, cx, cy, r, start, start + turn);
    else
      cairo_arc_negative(cr, cx, cy, r, start, start + turn);
    return;
  }
  const double end = Radians(a2 - 90.0);
  if (winding == EWinding::kCW)
    cairo_arc(cr, cx, cy, r, start, end);
  else
    cairo_arc_negative(cr, cx, cy, r, start, end);
}

void ISurfaceCairo::PathStroke(const IPattern& pattern, float thickness, const IStrokeOptions& options,
                               const IBlend* blend)
{
  cairo_t* cr = Current().cr;
  if (!(thickness > 0.f) || !std::isfinite(thickness))
  {
    if (!options.mPreserve)
      cairo_new_path(cr);
    return;
  }
  cairo_set_line_width(cr, thickness);
  cairo_set_miter_limit(cr, std::max(1.f, options.mMiterLimit));
  cairo_set_line_cap(cr,
                     options.mCapOption == ELineCap::kRound        ? CAIRO_LINE_CAP_ROUND
                         : options.mCapOption == ELineCap::kSquare ? CAIRO_LINE_CAP_SQUARE
                                                                   : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr,
                      options.mJoinOption == ELineJoin::kRound       ? CAIRO_LINE_JOIN_ROUND
                          : options.mJoinOption == ELineJoin::kBevel ? CAIRO_LINE_JOIN_BEVEL
                                                                     : CAIRO_LINE_JOIN_MITER);
  // Cairo refuses (for good) negative dashes and dashes that are all zero: draw those solid.
  const int nDashes = std::clamp(options.mDash.mCount, 0, IStrokeOptions::DashOptions::kMaxDashes);
  double dashes[IStrokeOptions::DashOptions::kMaxDashes];
  double total = 0.0;
  bool valid = true;
  for (int i = 0; i < nDashes; ++i)
  {
    dashes[i] = options.mDash.mArray[i];
    valid = valid && std::isfinite(dashes[i]) && dashes[i] >= 0.0;
    total += dashes[i];
  }
  if (nDashes > 0 && valid && total > 0.0 && std::isfinite(options.mDash.mOffset))
    cairo_set_dash(cr, dashes, nDashes, options.mDash.mOffset);
  SetSource(cr, pattern, blend);
  if (options.mPreserve)
    cairo_stroke_preserve(cr);
  else
    cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0.0);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
}

void ISurfaceCairo::PathFill(const IPattern& pattern, const IFillOptions& options, const IBlend* blend)
{
  cairo_t* cr = Current().cr;
  cairo_set_fill_rule(cr,
                      options.mFillRule == EFillRule::kEvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  SetSource(cr, pattern, blend);
  if (options.mPreserve)
    cairo_fill_preserve(cr);
  else
    cairo_fill(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
}

// --- Transforms ---

void ISurfaceCairo::PathTransformSave()
{
  Target& t = Current();
  cairo_save(t.cr);
  ++*t.saveDepth;
}

void ISurfaceCairo::PathTransformRestore()
{
  Target& t = Current();
  if (*t.saveDepth == 0)
    return;
  cairo_restore(t.cr);
  --*t.saveDepth;
}

void ISurfaceCairo::PathTransformReset()
{
  Target& t = Current();
  cairo_set_matrix(t.cr, &t.base);
}

void ISurfaceCairo::PathTransformTranslate(float x, float y)
{
  if (std::isfinite(x) && std::isfinite(y))
    cairo_translate(Current().cr, x, y);
}

void ISurfaceCairo::PathTransformScale(float sx, float sy)
{
  PathTransformMatrix(IMatrix(sx, 0.0, 0.0, sy, 0.0, 0.0));
}

void ISurfaceCairo::PathTransformRotate(float angle)
{
  if (std::isfinite(angle))
    cairo_rotate(Current().cr, Radians(angle));
}

void ISurfaceCairo::PathTransformSkew(float xAngle, float yAngle)
{
  PathTransformMatrix(IMatrix(1.0, std::tan(Radians(yAngle)), std::tan(Radians(xAngle)), 1.0, 0.0, 0.0));
}

void ISurfaceCairo::PathTransformMatrix(const IMatrix& matrix)
{
  cairo_matrix_t m;
  cairo_matrix_init(&m, matrix.xx, matrix.yx, matrix.xy, matrix.yy, matrix.tx, matrix.ty);
  if (Invertible(m))
    cairo_transform(Current().cr, &m);
}

void ISurfaceCairo::PathClipRegion(const IRECT& r)
{
  Target& t = Current();
  cairo_t* cr = t.cr;
  const IRECT clip = r.Empty() ? t.area : r.Intersect(t.area);
  cairo_matrix_t user;
  cairo_get_matrix(cr, &user);
  cairo_path_t* path = cairo_copy_path(cr); // clipping consumes the path; the caller's stays
  cairo_new_path(cr);
  cairo_reset_clip(cr);
  cairo_set_matrix(cr, &t.base);
  cairo_rectangle(cr, clip.L, clip.T, clip.W(), clip.H());
  cairo_clip(cr);
  cairo_set_matrix(cr, &user);
  cairo_append_path(cr, path);
  cairo_path_destroy(path);
}

// --- Text ---

bool ISurfaceCairo::LoadFont(const char* fontID, const char* fileNameOrResID)
{
  return CairoResources::LoadFont(fontID, fileNameOrResID, GetSharedResourcesSubPath());
}

float ISurfaceCairo::DoMeasureText(const IText& text, const char* str, IRECT& bounds) const
{
  CairoFont font;
  if (!CairoResources::FindFont(text.mFont, font) || !(text.mSize > 0.f))
    return 0.f;
  cairo_matrix_t fontMatrix, ctm;
  const double em = font.EmSize(text.mSize);
  cairo_matrix_init_scale(&fontMatrix, em, em);
  cairo_matrix_init_identity(&ctm);
  cairo_scaled_font_t* scaled = cairo_scaled_font_create(font.face, &fontMatrix, &ctm, mImpl->fontOptions);
  cairo_text_extents_t extents{};
  std::string repaired;
  cairo_scaled_font_text_extents(scaled, ValidUTF8(str, repaired), &extents);
  cairo_scaled_font_destroy(scaled);
  const float w = static_cast<float>(extents.x_advance);
  bounds = text.AlignedBox(bounds, w, text.mSize);
  return w;
}

void ISurfaceCairo::DoDrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* blend)
{
  CairoFont font;
  if (!CairoResources::FindFont(text.mFont, font) || !(text.mSize > 0.f))
    return;
  IRECT box = bounds;
  DoMeasureText(text, str, box);
  cairo_t* cr = Current().cr;
  cairo_save(cr);
  if (text.mAngle != 0.f && std::isfinite(text.mAngle))
  {
    const IRECT anchor = text.AlignedBox(bounds, 0.f, 0.f); // the point the text turns about
    const double ax = anchor.L, ay = anchor.T;
    cairo_translate(cr, ax, ay);
    cairo_rotate(cr, Radians(text.mAngle));
    cairo_translate(cr, -ax, -ay);
  }
  cairo_set_font_face(cr, font.face);
  cairo_set_font_size(cr, font.EmSize(text.mSize));
  cairo_set_font_options(cr, mImpl->fontOptions);
  const IColor& c = text.mFGColor;
  cairo_set_source_rgba(cr, Channel(c.R), Channel(c.G), Channel(c.B), Channel(c.A) * Weight(blend));
  cairo_set_operator(cr, Operator(blend));
  cairo_new_path(cr);
  cairo_move_to(cr, box.L, box.T + text.mSize * font.ascender / font.height);
  std::string repaired;
  cairo_show_text(cr, ValidUTF8(str, repaired));
  cairo_new_path(cr);
  cairo_restore(cr);
}

// --- Pictures ---

ISVG ISurfaceCairo::LoadSVG(const char* fileNameOrResID, const char* units, float dpi)
{
  return CairoResources::LoadSVG(fileNameOrResID, units, dpi, GetSharedResourcesSubPath());
}

void ISurfaceCairo::DrawSVG(const ISVG& svg, const IRECT& bounds, const IBlend* blend)
{
  if (!svg.IsValid() || !(svg.W() > 0.f) || !(svg.H() > 0.f))
    return;
  const double s = std::min(bounds.W() / svg.W(), bounds.H() / svg.H());
  if (!(s > 0.0) || !std::isfinite(s))
    return;
  const PathPicture& picture = *svg.mPicture;
  cairo_t* cr = Current().cr;
  cairo_save(cr);
  cairo_translate(cr, bounds.L, bounds.T);
  cairo_scale(cr, s, s);
  // The picture's pixels fill its size in its units.
  cairo_scale(cr, svg.W() / picture.Width(), svg.H() / picture.Height());
  cairo_new_path(cr);
  cairo_push_group(cr);
  for (const PathPicture::Shape& shape : picture.Shapes())
    DrawPictureShape(cr, shape);
  cairo_pop_group_to_source(cr);
  cairo_set_operator(cr, Operator(blend));
  cairo_paint_with_alpha(cr, Weight(blend));
  cairo_restore(cr);
}

void ISurfaceCairo::DrawRotatedSVG(const ISVG& svg, float destCentreX, float destCentreY, float width, float height,
                                   float angle, const IBlend* blend)
{
  cairo_t* cr = Current().cr;
  cairo_save(cr);
  cairo_translate(cr, destCentreX, destCentreY);
  cairo_rotate(cr, Radians(angle));
  DrawSVG(svg, {-0.5f * width, -0.5f * height, 0.5f * width, 0.5f * height}, blend);
  cairo_restore(cr);
}

// --- Bitmaps ---

IBitmap ISurfaceCairo::LoadBitmap(const char* fileNameOrResID, int nStates, bool framesAreHorizontal, int targetScale)
{
  const int scale = targetScale > 0 ? targetScale : GetScreenScale();
  return CairoResources::LoadBitmap(fileNameOrResID, nStates, framesAreHorizontal, scale, GetSharedResourcesSubPath());
}

// Paints surface (pixelsPerPoint of its pixels to a point) with its pixel (0, 0) at the origin of
// placement, clipped to clip when given.
void ISurfaceCairo::DrawSurface(void* surface, double pixelsPerPoint, const IMatrix& placement, const IRECT* clip,
                                const IBlend* blend)
{
  if (!surface || !(pixelsPerPoint > 0.0))
    return;
  cairo_t* cr = Current().cr;
  cairo_save(cr);
  cairo_new_path(cr);
  if (clip)
  {
    cairo_rectangle(cr, clip->L, clip->T, clip->W(), clip->H());
    cairo_clip(cr);
  }
  cairo_matrix_t m;
  cairo_matrix_init(&m, placement.xx, placement.yx, placement.xy, placement.yy, placement.tx, placement.ty);
  if (Invertible(m))
  {
    cairo_transform(cr, &m);
    cairo_scale(cr, 1.0 / pixelsPerPoint, 1.0 / pixelsPerPoint);
    cairo_set_source_surface(cr, static_cast<cairo_surface_t*>(surface), 0.0, 0.0);
    cairo_set_operator(cr, Operator(blend));
    cairo_paint_with_alpha(cr, Weight(blend));
  }
  cairo_restore(cr);
}

void ISurfaceCairo::DrawBitmap(const IBitmap& bitmap, const IRECT& bounds, int srcX, int srcY, const IBlend* blend)
{
  auto* b = dynamic_cast<CairoBitmap*>(bitmap.GetAPIBitmap());
  if (!b)
    return;
  const IMatrix at(1.0, 0.0, 0.0, 1.0, bounds.L - srcX, bounds.T - srcY);
  DrawSurface(b->Surface(), b->GetScale() * double(b->GetDrawScale()), at, &bounds, blend);
}

void ISurfaceCairo::DrawFittedBitmap(const IBitmap& bitmap, const IRECT& bounds, const IBlend* blend)
{
  auto* b = dynamic_cast<CairoBitmap*>(bitmap.GetAPIBitmap());
  if (!b || !(bitmap.W() > 0.f) || !(bitmap.H() > 0.f))
    return;
  const double ppp = b->GetScale() * double(b->GetDrawScale());
  const double sx = bounds.W() / (b->GetWidth() / ppp), sy = bounds.H() / (b->GetHeight() / ppp);
  DrawSurface(b->Surface(), ppp, IMatrix(sx, 0.0, 0.0, sy, bounds.L, bounds.T), &bounds, blend);
}

void ISurfaceCairo::DrawRotatedBitmap(const IBitmap& bitmap, float destCentreX, float destCentreY, double angle,
                                      const IBlend* blend)
{
  auto* b = dynamic_cast<CairoBitmap*>(bitmap.GetAPIBitmap());
  if (!b)
    return;
  const double ppp = b->GetScale() * double(b->GetDrawScale());
  const double c = std::cos(Radians(angle)), s = std::sin(Radians(angle));
  const double hw = 0.5 * b->GetWidth() / ppp, hh = 0.5 * b->GetHeight() / ppp;
  // Rotate about the centre: the corner (-hw, -hh) relative to it goes to the origin.
  const IMatrix at(c, s, -s, c, destCentreX - c * hw + s * hh, destCentreY - s * hw - c * hh);
  DrawSurface(b->Surface(), ppp, at, nullptr, blend);
}

// --- Layers ---

std::unique_ptr<APIBitmap> ISurfaceCairo::CreateAPIBitmap(int widthPixels, int heightPixels, int scale, float drawScale)
{
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, widthPixels), std::max(1, heightPixels));
  return std::make_unique<CairoBitmap>(surface, scale, drawScale);
}

void ISurfaceCairo::UpdateLayer()
{
  ILayer* layer = CurrentLayer();
  auto* b = layer ? dynamic_cast<CairoBitmap*>(layer->GetAPIBitmap()) : nullptr;
  if (!b)
  {
    mImpl->target = {};
    Current();
    return;
  }
  Target& t = mImpl->target;
  t.cr = b->Context();
  const double s = b->GetScale() * double(b->GetDrawScale());
  const IRECT& r = layer->Bounds();
  cairo_matrix_init_scale(&t.base, s, s);
  cairo_matrix_translate(&t.base, -r.L, -r.T);
  t.saveDepth = &b->saveDepth;
  t.area = r;
  cairo_set_matrix(t.cr, &t.base);
}

bool ISurfaceCairo::GetLayerBitmapData(const ILayerPtr& layer, std::vector<unsigned char>& data, int& stride)
{
  auto* b = layer ? dynamic_cast<CairoBitmap*>(layer->GetAPIBitmap()) : nullptr;
  if (!b)
    return false;
  cairo_surface_t* s = b->Surface();
  cairo_surface_flush(s);
  const unsigned char* pixels = cairo_image_surface_get_data(s);
  stride = cairo_image_surface_get_stride(s);
  const int h = cairo_image_surface_get_height(s);
  if (!pixels || h <= 0)
    return false;
  data.assign(pixels, pixels + static_cast<std::size_t>(stride) * h);
  return true;
}

void ISurfaceCairo::ApplyShadowMask(ILayerPtr& layer, const std::vector<unsigned char>& mask, const IShadow& shadow)
{
  auto* b = layer ? dynamic_cast<CairoBitmap*>(layer->GetAPIBitmap()) : nullptr;
  if (!b)
    return;
  const int w = b->GetWidth(), h = b->GetHeight();
  if (mask.size() < static_cast<std::size_t>(w) * h)
    return;
  // The mask as an alpha-only surface (its rows padded to Cairo's stride).
  cairo_surface_t* alpha = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_surface_flush(alpha);
  unsigned char* alphaData = cairo_image_surface_get_data(alpha);
  const int alphaStride = cairo_image_surface_get_stride(alpha);
  for (int y = 0; y < h; ++y)
    std::memcpy(alphaData + y * alphaStride, mask.data() + static_cast<std::size_t>(y) * w, w);
  cairo_surface_mark_dirty(alpha);

  // Tint: the shadow's pattern where the mask is (source-in), in the layer's points.
  cairo_surface_t* tinted = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* tc = cairo_create(tinted);
  const double s = b->GetScale() * double(b->GetDrawScale());
  const IRECT& r = layer->Bounds();
  cairo_scale(tc, s, s);
  cairo_translate(tc, -r.L, -r.T);
  cairo_pattern_t* tint = MakePattern(shadow.mPattern, 1.0);
  cairo_set_source(tc, tint);
  cairo_pattern_destroy(tint);
  cairo_identity_matrix(tc);
  cairo_mask_surface(tc, alpha, 0.0, 0.0);
  cairo_destroy(tc);
  cairo_surface_destroy(alpha);

  // Behind the layer's content (destination-over), offset, at the shadow's opacity.
  cairo_t* cr = cairo_create(b->Surface());
  if (!shadow.mDrawForeground)
  {
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
  }
  cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OVER);
  const double dx = std::isfinite(shadow.mXOffset) ? shadow.mXOffset * s : 0.0;
  const double dy = std::isfinite(shadow.mYOffset) ? shadow.mYOffset * s : 0.0;
  cairo_set_source_surface(cr, tinted, dx, dy);
  const double opacity = std::isfinite(shadow.mOpacity) ? std::clamp(double(shadow.mOpacity), 0.0, 1.0) : 0.0;
  cairo_paint_with_alpha(cr, opacity);
  cairo_destroy(cr);
  cairo_surface_destroy(tinted);
  cairo_surface_flush(b->Surface());
}

// --- The frame ---

const unsigned char* ISurfaceCairo::GetFramePixels(int& width, int& height, int& stride)
{
  cairo_surface_t* frame = mImpl->frame;
  if (!frame)
    return nullptr;
  cairo_surface_flush(frame);
  width = cairo_image_surface_get_width(frame);
  height = cairo_image_surface_get_height(frame);
  stride = cairo_image_surface_get_stride(frame);
  return cairo_image_surface_get_data(frame);
}

IColor ISurfaceCairo::GetFramePixel(int x, int y)
{
  int w = 0, h = 0, stride = 0;
  const unsigned char* data = GetFramePixels(w, h, stride);
  if (!data || x < 0 || y < 0 || x >= w || y >= h)
    return COLOR_TRANSPARENT;
  const uint32_t p = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
  const int a = static_cast<int>(p >> 24);
  if (a == 0)
    return COLOR_TRANSPARENT;
  auto unpremultiply = [a](uint32_t c) { return static_cast<int>(((c & 0xff) * 255 + a / 2) / a); };
  return {a, unpremultiply(p >> 16), unpremultiply(p >> 8), unpremultiply(p)};
}

bool ISurfaceCairo::WritePNG(const char* path)
{
  return path && mImpl->frame && cairo_surface_write_to_png(mImpl->frame, path) == CAIRO_STATUS_SUCCESS;
}

ISurfaceCairo::CacheSizes ISurfaceCairo::GetCacheSizes()
{
  return CairoResources::Sizes();
}

} // namespace plug::gfx
