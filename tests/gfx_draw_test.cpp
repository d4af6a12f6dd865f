#include <gtest/gtest.h>

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
}

TEST(ISurfaceDraw, DirtyRegionsArePaddedAlignedAndEachDrawnOnce)
{
  TestEditor e;
  TestControl* a = e.Attach({10.2f, 10.2f, 20.2f, 20.2f});
  TestControl* b = e.Attach({15.f, 10.2f, 30.f, 20.2f});
  TestControl* c = e.Attach({100.f, 100.f, 110.f, 110.f});
  e.Attach({50.f, 50.f, 60.f, 60.f}); // between a and c, never dirty
  IRECTList rects;
  e.ui.DrawDirtyRegions(rects);
  e.ui.mRegions.clear();

  a->SetDirty(false);
  rects.Clear();
  ASSERT_TRUE(e.ui.IsDirty(rects));
  ASSERT_EQ(rects.Size(), 1);
  EXPECT_EQ(rects.Get(0), IRECT(9.45f, 9.45f, 20.95f, 20.95f));
  e.ui.SetAllControlsClean();
  e.ui.Draw(rects);
  // The region (9, 9, 21, 21) clipped to a and to b, each control drawing once.
  EXPECT_EQ(e.ui.mRegions, (std::vector<IRECT>{{9, 9, 21, 21}, {14, 9, 21, 21}}));

  e.ui.mRegions.clear(); // two dirty controls far apart: two regions, a single one under strict drawing
  a->SetDirty(false);
  c->SetDirty(false);
  e.ui.DrawDirtyRegions(rects);
  EXPECT_EQ(e.ui.mRegions, (std::vector<IRECT>{{9, 9, 21, 21}, {14, 9, 21, 21}, {99, 99, 111, 111}}));
  e.ui.SetStrictDrawing(true);
  b->Hide(true);
  e.ui.DrawDirtyRegions(rects);
  e.ui.mRegions.clear();
  a->SetDirty(false);
  c->SetDirty(false);
  e.ui.DrawDirtyRegions(rects);
  EXPECT_EQ(e.ui.mRegions, (std::vector<IRECT>{{9, 9, 21, 21}, {99, 99, 111, 111}, {49, 49, 61, 61}}));
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

  owner->SetPosition(12.f, 10.3f);
  EXPECT_FALSE(e.ui.CheckLayer(layer));
  EXPECT_FALSE(e.ui.CheckLayer(layer)); // it stays invalid until it is made again
  e.ui.StartLayer(owner, owner->GetRECT());
  layer = e.ui.EndLayer();
  EXPECT_TRUE(e.ui.CheckLayer(layer));
  e.ui.Resize(300, 200, 1.5f);
  EXPECT_FALSE(e.ui.CheckLayer(layer));
  EXPECT_FALSE(e.ui.CheckLayer(nullptr));
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
