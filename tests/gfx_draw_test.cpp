#include <gtest/gtest.h>

#include "gfx/IControlTree.h"
#include "gfx/IFrameRegions.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/GfxTestSurface.h"

using namespace gfxtest;

TEST(ISurfaceDraw, AFrameWithNothingDirtyDrawsAndAllocatesNothing)
{
  TestEditor e;
  e.ui.AttachPanelBackground(COLOR_GRAY);
  for (int i = 0; i < 12; ++i)
    e.Attach(IRECT::MakeXYWH(10.f * i, 10.f, 8.f, 8.f), i % 4);
  e.ui.AttachCornerResizer();
  e.ui.AttachTextEntryControl();
  e.delegate.OnUIOpen();
  IRECTList rects;
  e.ui.DrawDirtyRegions(rects);
  ASSERT_FALSE(e.ui.mRegions.empty());
  e.ui.mRegions.clear();
  e.ui.mCalls.clear();
  e.ui.mRegions.reserve(16);

  const long before = AllocationsSoFar();
  e.ui.DrawDirtyRegions(rects);
  e.ui.DrawDirtyRegions(rects);
  EXPECT_EQ(AllocationsSoFar() - before, 0);
  EXPECT_TRUE(e.ui.mRegions.empty());
  EXPECT_TRUE(e.ui.mCalls.empty());

  e.ui.GetControl(2)->SetDirty(false); // one control: the background and it draw its region
  e.ui.DrawDirtyRegions(rects);
  EXPECT_EQ(e.ui.mRegions, (std::vector<IRECT>{{9, 9, 19, 19}, {9, 9, 19, 19}}));
}

// Each dirty control's rectangle, padded for its edges and aligned to whole pixels, is drawn once,
// every control within it clipped to its own; under strict drawing the union is one region.
TEST(IFrameRegions, DirtyControlsGiveRegionsThatEachControlDrawsOnce)
{
  IControlTree tree;
  auto add = [&tree](const IRECT& r) { return AppendTestControl(tree, r); };
  TestControl* background = add({0, 0, 300, 200});
  TestControl* a = add({10.2f, 10.2f, 20.2f, 20.2f});
  TestControl* b = add({15.f, 10.2f, 30.f, 20.2f});
  TestControl* c = add({100.f, 100.f, 110.f, 110.f});
  TestControl* unsized = add({});
  IFrameRegions regions(tree);
  tree.ForAll([](IControl* control) { control->SetClean(); });
  IRECTList rects;
  EXPECT_FALSE(regions.CollectDirty(rects));

  a->SetDirty(false);
  unsized->SetDirty(false); // dirty, but with no area to draw
  ASSERT_TRUE(regions.CollectDirty(rects));
  EXPECT_EQ(rects.Size(), 1);
  const IRECTList& drawn = regions.RegionsToDraw(rects, 1.f);
  ASSERT_EQ(drawn.Size(), 1);
  const IRECT region = drawn.Get(0);
  EXPECT_EQ(region, IRECT(9, 9, 21, 21));
  IRECT clip;
  ASSERT_TRUE(regions.ClipFor(*b, region, 1.f, clip));
  EXPECT_EQ(clip, IRECT(14, 9, 21, 21));
  EXPECT_FALSE(regions.ClipFor(*c, region, 1.f, clip));
  EXPECT_FALSE(regions.ClipFor(*unsized, region, 1.f, clip));
  a->Hide(true);
  background->Hide(true);
  EXPECT_FALSE(regions.ClipFor(*a, region, 1.f, clip));
  EXPECT_TRUE(regions.ClipFor(*background, region, 1.f, clip)); // it always draws

  rects.Clear(); // two dirty controls far apart: two regions, one under strict drawing
  rects.Add({9.45f, 9.45f, 20.95f, 20.95f});
  rects.Add({99.25f, 99.25f, 110.75f, 110.75f});
  regions.SetStrict(true);
  EXPECT_EQ(regions.RegionsToDraw(rects, 2.f).Get(0), IRECT(9, 9, 111, 111));
  EXPECT_EQ(rects.Get(0), IRECT(9.45f, 9.45f, 20.95f, 20.95f)); // left for the platform to present
  regions.SetStrict(false);
  EXPECT_EQ(regions.RegionsToDraw(rects, 2.f).Size(), 2);
  EXPECT_EQ(rects.Get(1), IRECT(99, 99, 111, 111));
}

// A cached layer is drawn again only while its control keeps its bounds and the scales stay.
TEST(IFrameRegions, LayersStackAndGoStaleWithTheirControlOrTheScales)
{
  IControlTree tree;
  auto* owner = new TestControl({10.3f, 10.3f, 20.f, 20.f});
  tree.Append(owner);
  IFrameRegions regions(tree);
  int w = 0, h = 0;
  const IRECT bounds = IFrameRegions::LayerBounds(owner->GetRECT(), 2.f, w, h);
  EXPECT_EQ(bounds, IRECT(10, 10, 20, 20));
  EXPECT_EQ(w, 20);
  IFrameRegions::LayerBounds({5, 5, 5, 5}, 1.f, w, h);
  EXPECT_EQ(w * h, 1);

  auto make = [&] {
    return std::make_unique<ILayer>(std::make_unique<APIBitmap>(20, 20, 2, 1.f), bounds, owner, owner->GetRECT());
  };
  regions.PushLayer(make());
  regions.PushLayer(make());
  ILayer* inner = regions.CurrentLayer();
  ILayerPtr layer = regions.PopLayer();
  EXPECT_EQ(layer.get(), inner);
  EXPECT_NE(regions.CurrentLayer(), inner);
  regions.PopLayer();
  EXPECT_EQ(regions.PopLayer(), nullptr);
  EXPECT_EQ(regions.CurrentLayer(), nullptr);

  EXPECT_TRUE(IFrameRegions::CheckLayer(layer, 2, 1.f));
  EXPECT_FALSE(IFrameRegions::CheckLayer(layer, 1, 1.f));
  EXPECT_FALSE(IFrameRegions::CheckLayer(layer, 2, 1.5f));
  owner->SetPosition(12.f, 10.3f);
  EXPECT_FALSE(IFrameRegions::CheckLayer(layer, 2, 1.f));
  owner->SetPosition(10.3f, 10.3f);
  EXPECT_FALSE(IFrameRegions::CheckLayer(layer, 2, 1.f)); // stale until made again
  EXPECT_FALSE(IFrameRegions::CheckLayer(nullptr, 2, 1.f));
}

TEST(ISurfaceDraw, GridsAndRadialLinesPlaceTheirLines)
{
  TestEditor e;
  e.ui.DrawGrid(COLOR_BLACK, {0, 0, 100, 100}, 0.f, 25.f); // no columns rather than endless ones
  EXPECT_EQ(e.ui.mLines, (std::vector<IRECT>{{0, 25, 100, 25}, {0, 50, 100, 50}, {0, 75, 100, 75}}));
  e.ui.mLines.clear();
  e.ui.DrawRadialLine(COLOR_BLACK, 50, 50, 90.f, 10.f, 20.f); // 0 is up, clockwise: 90 points right
  ASSERT_EQ(e.ui.mLines.size(), 1u);
  EXPECT_NEAR(e.ui.mLines[0].L, 60.f, 1e-4f);
  EXPECT_NEAR(e.ui.mLines[0].T, 50.f, 1e-4f);
  EXPECT_NEAR(e.ui.mLines[0].R, 70.f, 1e-4f);
}

// The surface makes a layer's bitmap at its scales, draws it into its bounds, and a change of
// scale makes it stale.
TEST(ISurfaceLayers, LayersAreMadeAtTheScalesAndCheckedAgainstThem)
{
  TestEditor e;
  TestControl* owner = e.Attach({10.3f, 10.3f, 20.f, 20.f});
  e.ui.SetScreenScale(2);
  e.ui.StartLayer(owner, owner->GetRECT());
  ILayerPtr layer = e.ui.EndLayer();
  ASSERT_TRUE(layer);
  EXPECT_EQ(layer->Bounds(), IRECT(10, 10, 20, 20));
  EXPECT_EQ(layer->GetAPIBitmap()->GetWidth(), 20);
  EXPECT_TRUE(e.ui.CheckLayer(layer));
  e.ui.DrawLayer(layer);
  EXPECT_EQ(e.ui.mBitmapTargets, (std::vector<IRECT>{{10, 10, 20, 20}}));
  e.ui.Resize(300, 200, 1.5f);
  EXPECT_FALSE(e.ui.CheckLayer(layer));
  EXPECT_EQ(e.ui.EndLayer(), nullptr);
}

// The mask is the layer's alpha blurred over ceil(blur x scales + 1) taps each side.
TEST(ISurfaceLayers, TheDropShadowBlursTheAlphaOverTheScaledRadius)
{
  TestEditor e;
  e.ui.StartLayer(nullptr, {0, 0, 9, 9});
  ILayerPtr layer = e.ui.EndLayer();
  e.ui.mLayerPixels.assign(9 * 9 * 4, 0);
  e.ui.mLayerPixels[(4 * 9 + 4) * 4 + 3] = 255; // one opaque pixel in the centre (alpha byte)

  e.ui.ApplyLayerDropShadow(layer, IShadow{COLOR_BLACK, 0.f, 0.f, 0.f, 1.f, true});
  std::vector<unsigned char> alpha(81, 0);
  alpha[40] = 255;
  EXPECT_EQ(e.ui.mShadowMask, alpha); // no blur: the alpha itself

  e.ui.SetScreenScale(2); // blur 1 at scale 2: three taps each side
  e.ui.ApplyLayerDropShadow(layer, IShadow{COLOR_BLACK, 1.f, 0.f, 0.f, 1.f, true});
  ASSERT_EQ(e.ui.mShadowMask.size(), 81u);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x)
    {
      const int m = e.ui.mShadowMask[y * 9 + x];
      EXPECT_EQ(m > 0, std::abs(x - 4) <= 2 && std::abs(y - 4) <= 2) << x << "," << y;
      EXPECT_EQ(m, e.ui.mShadowMask[x * 9 + y]);
      EXPECT_LE(m, e.ui.mShadowMask[40]);
    }
  e.ui.mLayerPixels.clear(); // no pixels: nothing happens
  e.ui.mShadowMask.clear();
  e.ui.ApplyLayerDropShadow(layer, IShadow{});
  EXPECT_TRUE(e.ui.mShadowMask.empty());
}
