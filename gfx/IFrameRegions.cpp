#include "gfx/IFrameRegions.h"

#include <algorithm>
#include <cmath>

#include "gfx/IControl.h"
#include "gfx/IControlTree.h"

namespace plug::gfx {

namespace {

// Far enough around a control's rectangle to hold its anti-aliased edges.
constexpr float kEdgePadding = 0.75f;

} // namespace

IFrameRegions::IFrameRegions(const IControlTree& controls)
  : mControls(controls)
{
}

// --- Dirty regions ---

bool IFrameRegions::CollectDirty(IRECTList& rects) const
{
  mControls.ForAll([](IControl* control) { control->Animate(); });
  bool dirty = false;
  for (int i = 0; i < mControls.NAll(); ++i)
  {
    IControl* control = mControls.GetAny(i);
    if (!control->IsDirty())
      continue;
    dirty = true;
    if (!control->GetRECT().Empty())
      rects.Add(control->GetRECT().GetPadded(kEdgePadding));
  }
  return dirty;
}

const IRECTList& IFrameRegions::RegionsToDraw(IRECTList& rects, float scale)
{
  if (mStrict)
  {
    mStrictRegion.Clear();
    mStrictRegion.Add(rects.Bounds().GetPixelAligned(scale));
    return mStrictRegion;
  }
  rects.PixelAlign(scale);
  rects.Optimize();
  return rects;
}

// Controls without a rectangle (an idle text field) draw nothing.
bool IFrameRegions::ClipFor(const IControl& control, const IRECT& region, float scale, IRECT& clip) const
{
  if ((control.IsHidden() && &control != mControls.Get(0)) || control.GetRECT().Empty())
    return false;
  clip = region.Intersect(control.GetRECT().GetPadded(kEdgePadding).GetPixelAligned(scale));
  return clip.W() > 0.f && clip.H() > 0.f;
}

// --- Layers ---

IRECT IFrameRegions::LayerBounds(const IRECT& r, float scale, int& widthPixels, int& heightPixels)
{
  const IRECT aligned = r.GetPixelAligned(scale);
  widthPixels = std::max(1, static_cast<int>(std::lround(aligned.W() * scale)));
  heightPixels = std::max(1, static_cast<int>(std::lround(aligned.H() * scale)));
  return aligned;
}

void IFrameRegions::PushLayer(ILayerPtr layer)
{
  if (layer)
    mLayers.push_back(std::move(layer));
}

ILayerPtr IFrameRegions::PopLayer()
{
  if (mLayers.empty())
    return nullptr;
  ILayerPtr layer = std::move(mLayers.back());
  mLayers.pop_back();
  return layer;
}

bool IFrameRegions::CheckLayer(const ILayerPtr& layer, int screenScale, float drawScale)
{
  if (!layer || !layer->GetAPIBitmap())
    return false;
  if (const IControl* control = layer->GetControl(); control && control->GetRECT() != layer->mControlRECT)
  {
    layer->mControlRECT = control->GetRECT();
    layer->Invalidate();
  }
  if (layer->IsInvalid())
    return false;
  const APIBitmap& bitmap = *layer->GetAPIBitmap();
  return bitmap.GetScale() == screenScale && bitmap.GetDrawScale() == drawScale;
}

} // namespace plug::gfx
