// The Cairo drawing layer, checked by its pixels (with tolerances: FreeType versions differ).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "gfx/EmbeddedResources.h"
#include "gfx/IControl.h"
#include "gfx/IResourceLocator.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "gfx/PathPicture.h"
#include "gfx/platform/ISurfaceHeadless.h"
#include "tests/support/TempFolder.h"

using namespace plug::gfx;

namespace {

const char* const kRoboto = "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf";

class TestDelegate : public ISurfaceEditorDelegate
{
public:
  TestDelegate()
    : ISurfaceEditorDelegate(1)
  {
  }
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}
};

// The bounding box of the pixels whose alpha passes a threshold, in pixels.
struct Ink
{
  int l = 1 << 20, t = 1 << 20, r = -1, b = -1;
  bool Empty() const { return r < 0; }
};

Ink FindInk(ISurfaceCairo& g, int threshold = 128)
{
  Ink ink;
  int w = 0, h = 0, stride = 0;
  if (!g.GetFramePixels(w, h, stride))
    return ink;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (g.GetFramePixel(x, y).A >= threshold)
      {
        ink.l = std::min(ink.l, x), ink.t = std::min(ink.t, y);
        ink.r = std::max(ink.r, x + 1), ink.b = std::max(ink.b, y + 1);
      }
  return ink;
}

// Draws a function through the surface's own frame: one region covering the editor.
class Canvas : public ISurfaceHeadless
{
public:
  Canvas(TestDelegate& dlg, int w, int h, float scale = 1.f)
    : ISurfaceHeadless(dlg, w, h, 60, scale)
  {
  }
  // A fresh frame each time.
  template <typename F>
  void Paint(F&& f)
  {
    DrawResize();
    BeginFrame();
    PrepareRegion(GetBounds());
    f(*this);
    CompleteRegion(GetBounds());
    EndFrame();
  }
};

void ExpectColor(const IColor& c, int r, int g, int b, int a = 255, int tolerance = 4)
{
  EXPECT_NEAR(c.R, r, tolerance);
  EXPECT_NEAR(c.G, g, tolerance);
  EXPECT_NEAR(c.B, b, tolerance);
  EXPECT_NEAR(c.A, a, tolerance);
}

} // namespace

TEST(CairoDrawing, GradientsDrawEveryStopAndBlendWeightScalesAlpha)
{
  TestDelegate dlg;
  Canvas g(dlg, 100, 40, 2.f);
  g.Paint([](ISurface& s) {
    IPattern p = IPattern::CreateLinearGradient(
        0.f, 0.f, 100.f, 0.f, {{COLOR_RED, 0.f}, {IColor(255, 0, 255, 0), 0.5f}, {IColor(255, 0, 0, 255), 1.f}});
    s.PathClear();
    s.PathRect({0.f, 0.f, 100.f, 20.f});
    s.PathFill(p);
    s.FillRect(COLOR_WHITE, {0.f, 20.f, 100.f, 40.f}, nullptr);
    const IBlend half(EBlend::kDefault, 0.5f);
    s.FillRect(COLOR_BLACK, {50.f, 20.f, 100.f, 40.f}, &half);
  });
  // Pixels at draw scale 2: the middle stop is drawn, not skipped.
  ExpectColor(g.GetFramePixel(100, 10), 0, 255, 0, 255, 6);
  ExpectColor(g.GetFramePixel(50, 10), 128, 128, 0, 255, 6);
  ExpectColor(g.GetFramePixel(199, 10), 0, 0, 255, 255, 6);
  ExpectColor(g.GetFramePixel(20, 60), 255, 255, 255);
  ExpectColor(g.GetFramePixel(150, 60), 128, 128, 128);
}

TEST(CairoDrawing, ArcsRunClockwiseFromUpAndDashesAreDrawn)
{
  TestDelegate dlg;
  Canvas g(dlg, 100, 100);
  g.Paint([](ISurface& s) { s.DrawArc(COLOR_BLACK, 50.f, 50.f, 40.f, -135.f, 135.f, nullptr, 4.f); });
  auto inkAt = [&g](float degrees) {
    const double a = (degrees - 90.0) * M_PI / 180.0;
    return g.GetFramePixel(int(50.0 + 40.0 * std::cos(a)), int(50.0 + 40.0 * std::sin(a))).A;
  };
  EXPECT_GT(inkAt(0.f), 200);   // top
  EXPECT_GT(inkAt(-90.f), 200); // left
  EXPECT_GT(inkAt(130.f), 200); // just before the end
  EXPECT_LT(inkAt(145.f), 30);  // just after it
  EXPECT_LT(inkAt(180.f), 30);  // the gap at the bottom
  EXPECT_LT(inkAt(-145.f), 30);

  g.Paint([](ISurface& s) { s.DrawDottedLine(COLOR_BLACK, 0.f, 10.5f, 100.f, 10.5f, nullptr, 1.f, 5.f); });
  for (int x = 0; x < 40; x += 10)
  {
    EXPECT_GT(g.GetFramePixel(x + 2, 10).A, 200) << x;
    EXPECT_LT(g.GetFramePixel(x + 7, 10).A, 30) << x;
  }
}

TEST(CairoDrawing, TextIsSizedByLineHeightAndPlacedByItsAlignment)
{
  TestDelegate dlg;
  Canvas g(dlg, 200, 100);
  ASSERT_TRUE(g.LoadFont("Roboto-Regular", kRoboto));
  EXPECT_FALSE(g.LoadFont("Missing", "no-such-font.ttf"));

  IText text(20.f, COLOR_BLACK, "Roboto-Regular");
  IRECT box(20.f, 10.f, 180.f, 90.f);
  const float width = g.MeasureText(text.WithAlign(EAlign::kFar).WithVAlign(EVAlign::kBottom), "HH", box);
  EXPECT_EQ(box.R, 180.f);
  EXPECT_EQ(box.B, 90.f);
  EXPECT_FLOAT_EQ(box.H(), 20.f); // one line is exactly the size high
  EXPECT_FLOAT_EQ(box.W(), width);
  // Roboto's "H" advances 1461 of 2048 units; at an em of 20 x 2048 / 2400 that is 12.175.
  EXPECT_NEAR(width, 2.f * 12.175f, 0.3f);

  // Cap height 1456 units: 12.1 points high with the line sized to 20 (14.2 if the em were 20).
  // The baseline lies 1900/2400 of the line below its top.
  const struct
  {
    EAlign h;
    EVAlign v;
    float inkL, inkR, baseline;
  } cases[] = {
      {EAlign::kNear, EVAlign::kTop, 20.f, 20.f + 2 * 12.175f, 10.f + 15.83f},
      {EAlign::kCenter, EVAlign::kMiddle, 100.f - 12.175f, 100.f + 12.175f, 50.f - 10.f + 15.83f},
      {EAlign::kFar, EVAlign::kBottom, 180.f - 2 * 12.175f, 180.f, 90.f - 20.f + 15.83f},
  };
  for (const auto& c : cases)
  {
    g.Paint([&](ISurface& s) { s.DrawText(text.WithAlign(c.h).WithVAlign(c.v), "HH", {20.f, 10.f, 180.f, 90.f}); });
    const Ink ink = FindInk(g);
    ASSERT_FALSE(ink.Empty());
    EXPECT_NEAR(ink.b, c.baseline, 1.f);
    EXPECT_NEAR(ink.b - ink.t, 12.1f, 1.f);
    EXPECT_NEAR(ink.l, c.inkL, 2.5f); // side bearings
    EXPECT_NEAR(ink.r, c.inkR, 2.5f);
  }

  // Turned by 90 degrees about its anchor (the centre here), the line stands upright.
  g.Paint([&](ISurface& s) {
    IText turned = text;
    turned.mAngle = 90.f;
    s.DrawText(turned, "HHHHHH", {20.f, 10.f, 180.f, 90.f});
  });
  const Ink upright = FindInk(g);
  EXPECT_GT(upright.b - upright.t, 60);
  EXPECT_LT(upright.r - upright.l, 16);
  EXPECT_NEAR(0.5f * (upright.t + upright.b), 50.f, 2.f);
}

TEST(CairoDrawing, PicturesSitTopLeftScaledToFitAndBitmapsFollowTheirScale)
{
  TestDelegate dlg;
  Canvas g(dlg, 100, 50);
  // 100 x 20 pixels of blue from a view box of half that size and a moved rectangle.
  const ISVG svg = g.LoadSVG(QM_TEST_PICTURE);
  ASSERT_TRUE(svg.IsValid());
  EXPECT_FLOAT_EQ(svg.W(), 100.f);
  EXPECT_FLOAT_EQ(g.LoadSVG(QM_TEST_PICTURE, "pt", 144.f).W(), 50.f);
  EXPECT_FALSE(g.LoadSVG("missing.svg").IsValid());
  // An SVG file's own text is not parsed at run time.
  const TempFolder scratch("qm_gfx");
  const std::string svgPath = scratch.PathOf("text.svg");
  std::ofstream(svgPath) << "<svg xmlns='http://www.w3.org/2000/svg' width='100' height='20'>"
                            "<rect width='100' height='20' fill='#0000ff'/></svg>";
  EXPECT_FALSE(g.LoadSVG(svgPath.c_str()).IsValid());
  g.Paint([&](ISurface& s) { s.DrawSVG(svg, {10.f, 10.f, 79.f, 27.f}); }); // 69 x 17: scale 0.69
  const Ink ink = FindInk(g);
  EXPECT_EQ(ink.l, 10);
  EXPECT_EQ(ink.t, 10);
  EXPECT_EQ(ink.r, 79);
  EXPECT_NEAR(ink.b, 10 + 20 * 0.69, 1.0);
  ExpectColor(g.GetFramePixel(40, 15), 0, 0, 255);

  // A bitmap written by the frame itself, loaded at scale 2 from its "@2x" file: 20 x 10 pixels
  // cover 10 x 5 points.
  const std::string png = scratch.PathOf("dot.png"), png2x = scratch.PathOf("dot@2x.png");
  Canvas source(dlg, 20, 10);
  source.Paint([](ISurface& s) { s.FillRect(COLOR_RED, {0.f, 0.f, 20.f, 10.f}); });
  ASSERT_TRUE(source.WritePNG(png2x.c_str()));
  const IBitmap bitmap = g.LoadBitmap(png.c_str(), 1, false, 2);
  ASSERT_TRUE(bitmap.IsValid());
  EXPECT_FLOAT_EQ(bitmap.W(), 10.f);
  g.Paint([&](ISurface& s) { s.DrawBitmap(bitmap, {30.f, 20.f, 60.f, 40.f}); });
  const Ink dot = FindInk(g);
  EXPECT_EQ(dot.l, 30);
  EXPECT_EQ(dot.r, 40);
  EXPECT_EQ(dot.b - dot.t, 5);
  EXPECT_FALSE(g.LoadBitmap("missing.png").IsValid());
}

// Path data is read from files too: whatever it holds is checked before it is drawn.
TEST(CairoDrawing, PicturePathsCutShortOrInconsistentAreRefused)
{
  std::ifstream file(QM_TEST_PICTURE, std::ios::binary);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const auto picture = PathPicture::Decode(bytes);
  ASSERT_NE(picture, nullptr);
  ASSERT_EQ(picture->Shapes().size(), 1u);
  EXPECT_EQ(picture->Shapes()[0].commands.size(), 5u); // a rectangle: move, three lines, close
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_EQ(PathPicture::Decode(std::span(bytes).first(n)), nullptr) << n << " bytes";
  std::vector<unsigned char> longer = bytes;
  longer.push_back(0);
  EXPECT_EQ(PathPicture::Decode(longer), nullptr);
  // The last coordinate not a number; then the coordinate count one short of what the commands take.
  std::vector<unsigned char> bad = bytes;
  const double nan = std::nan("");
  std::memcpy(bad.data() + bad.size() - sizeof nan, &nan, sizeof nan);
  EXPECT_EQ(PathPicture::Decode(bad), nullptr);
  bad = bytes;
  const std::size_t countAt = bytes.size() - 8 * sizeof(double) - 5 - 4;
  ASSERT_EQ(bad[countAt], 8);
  bad[countAt] = 7;
  EXPECT_EQ(PathPicture::Decode(bad), nullptr);
}

// Faults that would otherwise leave a Cairo context unusable for the rest of the frame.
TEST(CairoDrawing, BadTransformsDashesAndRestoresDoNotStopLaterDrawing)
{
  TestDelegate dlg;
  Canvas g(dlg, 40, 40);
  ASSERT_TRUE(g.LoadFont("Roboto-Regular", kRoboto));
  const IText text(12.f, COLOR_BLACK, "Roboto-Regular");
  IRECT box(0.f, 0.f, 40.f, 40.f);
  EXPECT_GT(g.MeasureText(text, "caf\xe9 \xff", box), 0.f); // Latin-1, not UTF-8
  g.Paint([&](ISurface& s) {
    s.DrawText(text, "caf\xe9", {0.f, 0.f, 40.f, 40.f});
    s.PathTransformRestore(); // nothing saved
    s.PathTransformScale(0.f, 0.f);
    s.PathTransformMatrix(IMatrix(NAN, 0.0, 0.0, 1.0, 0.0, 0.0));
    IStrokeOptions options;
    options.mDash.mCount = 2; // all zero
    s.PathClear();
    s.PathMoveTo(0.f, 5.5f);
    s.PathLineTo(40.f, 5.5f);
    s.PathStroke(COLOR_BLACK, 1.f, options);
    IPattern singular = IPattern::CreateLinearGradient(0.f, 0.f, 10.f, 0.f, {{COLOR_RED, 0.f}, {COLOR_RED, 1.f}});
    singular.mTransform = IMatrix(0.0, 0.0, 0.0, 0.0, 0.0, 0.0);
    s.PathRect({0.f, 10.f, 10.f, 20.f});
    s.PathFill(singular);
    s.PathTransformSave(); // never restored: the region's end unwinds it
    s.FillRect(COLOR_BLACK, {20.f, 20.f, 40.f, 40.f});
  });
  EXPECT_GT(g.GetFramePixel(20, 5).A, 200);
  EXPECT_GT(g.GetFramePixel(5, 15).A, 200);
  EXPECT_GT(g.GetFramePixel(30, 30).A, 200);
  g.Paint([](ISurface& s) { s.FillRect(COLOR_BLACK, {0.f, 0.f, 10.f, 10.f}); });
  EXPECT_GT(g.GetFramePixel(5, 5).A, 200);
  EXPECT_NEAR(g.MeasureText(text, "HH", box), 2.f * 12.175f * 12.f / 20.f, 0.2f);
}

TEST(ResourceLookup, EmbeddedFirstThenTheSharedFolderThenAPlainPath)
{
  static const unsigned char kBytes[] = {1, 2, 3};
  static const EmbeddedResource kResources[] = {{"inside.svg", kBytes}};
  RegisterEmbeddedResources(kResources);

  const TempFolder scratch("qm_gfx");
  const std::string music = scratch.PathOf("music");
  std::filesystem::create_directories(music + "/Sub/Resources");
  std::ofstream(music + "/Sub/Resources/shared.svg") << "x";
  setenv("XDG_MUSIC_DIR", music.c_str(), 1);
  EXPECT_EQ(MusicFolder(), music);

  IResourceLocation where;
  ASSERT_TRUE(LocateResource("some/folder/inside.svg", "SVG", "Sub", where));
  ASSERT_NE(where.embedded, nullptr);
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(ReadResource(where, bytes));
  EXPECT_EQ(bytes.size(), 3u);
  EXPECT_FALSE(LocateResource("inside.png", "svg", "Sub", where)); // the type must match

  ASSERT_TRUE(LocateResource("elsewhere/shared.svg", "svg", "Sub", where));
  EXPECT_EQ(where.path, music + "/Sub/Resources/shared.svg");
  EXPECT_FALSE(LocateResource("shared.svg", "svg", "", where)); // no sub-path: no shared folder

  ASSERT_TRUE(LocateResource((music + "/Sub/Resources/shared.svg").c_str(), "ttf", "", where));
  EXPECT_FALSE(LocateResource(nullptr, "svg", "Sub", where));
  EXPECT_FALSE(where.Found());
  unsetenv("XDG_MUSIC_DIR");
}

namespace {

// A square drawn once into a cached layer with a drop shadow below it.
class LayerControl : public IControl
{
public:
  explicit LayerControl(const IRECT& r)
    : IControl(r)
  {
  }
  void Draw(ISurface& g) override
  {
    if (!g.CheckLayer(mLayer))
    {
      ++mBuilds;
      g.StartLayer(this, mRECT);
      g.FillRect(COLOR_RED, mRECT.GetPadded(-10.f));
      mLayer = g.EndLayer();
      IShadow shadow;
      shadow.mBlurSize = 1.f;
      shadow.mYOffset = 6.f;
      g.ApplyLayerDropShadow(mLayer, shadow);
    }
    g.DrawLayer(mLayer);
  }
  int mBuilds = 0;

private:
  ILayerPtr mLayer;
};

} // namespace

TEST(CairoLayers, ALayerIsReusedUntilItsScaleChangesAndCarriesItsShadow)
{
  TestDelegate dlg;
  ISurfaceHeadless g(dlg, 100, 60, 60, 2.f);
  auto* control = new LayerControl({10.f, 0.f, 90.f, 60.f}); // the square: 20..80 x 10..50
  g.AttachControl(control);
  ASSERT_TRUE(g.DrawFrame());
  EXPECT_EQ(control->mBuilds, 1);
  ExpectColor(g.GetFramePixel(100, 40), 255, 0, 0);
  // Below the square, the shadow: black, offset by 6 points, softened over about 3 pixels.
  ExpectColor(g.GetFramePixel(100, 108), 0, 0, 0, 255, 12);
  EXPECT_EQ(g.GetFramePixel(100, 116).A, 0);
  EXPECT_EQ(g.GetFramePixel(30, 40).A, 0); // the layer around the square stays clear

  control->SetDirty(false);
  ASSERT_TRUE(g.DrawFrame());
  EXPECT_EQ(control->mBuilds, 1);
  ExpectColor(g.GetFramePixel(100, 40), 255, 0, 0);

  g.Resize(100, 60, 1.5f);
  ASSERT_TRUE(g.DrawFrame());
  EXPECT_EQ(control->mBuilds, 2);
  g.SetScreenScale(2);
  ASSERT_TRUE(g.DrawFrame());
  EXPECT_EQ(control->mBuilds, 3);
  ExpectColor(g.GetFramePixel(int(50 * 3.f), int(30 * 3.f)), 255, 0, 0);
}

// Opening and closing an editor a thousand times: the caches hold the same entries after every
// opening and nothing once the last editor is gone (ASan's leak checker watches the rest).
TEST(CairoLayers, CachesDoNotGrowOverAThousandOpenings)
{
  const TempFolder scratch("qm_gfx");
  const std::string pngPath = scratch.PathOf("cache.png");
  TestDelegate dlg;
  {
    Canvas source(dlg, 4, 4);
    source.Paint([](ISurface& s) { s.FillRect(COLOR_RED, {0.f, 0.f, 4.f, 4.f}); });
    ASSERT_TRUE(source.WritePNG(pngPath.c_str()));
  }
  ISurfaceCairo::CacheSizes first;
  for (int i = 0; i < 1000; ++i)
  {
    Canvas g(dlg, 60, 30, 2.f);
    ASSERT_TRUE(g.LoadFont("Roboto-Regular", kRoboto));
    const ISVG svg = g.LoadSVG(QM_TEST_PICTURE);
    const IBitmap bitmap = g.LoadBitmap(pngPath.c_str());
    g.AttachControl(new LayerControl({0.f, 0.f, 30.f, 30.f}));
    g.DrawFrame();
    g.Paint([&](ISurface& s) {
      s.DrawSVG(svg, {0.f, 0.f, 10.f, 10.f});
      s.DrawBitmap(bitmap, {10.f, 0.f, 14.f, 4.f});
      s.DrawText(IText(12.f, COLOR_BLACK, "Roboto-Regular"), "Mix", {20.f, 0.f, 60.f, 30.f});
    });
    const ISurfaceCairo::CacheSizes sizes = ISurfaceCairo::GetCacheSizes();
    if (i == 0)
      first = sizes;
    ASSERT_EQ(sizes.fonts, first.fonts);
    ASSERT_EQ(sizes.svgs, first.svgs);
    ASSERT_EQ(sizes.bitmaps, first.bitmaps);
  }
  EXPECT_EQ(first.fonts, 1);
  EXPECT_EQ(first.svgs, 1);
  EXPECT_EQ(first.bitmaps, 1);
  const ISurfaceCairo::CacheSizes after = ISurfaceCairo::GetCacheSizes();
  EXPECT_EQ(after.fonts + after.svgs + after.bitmaps, 0);
}
