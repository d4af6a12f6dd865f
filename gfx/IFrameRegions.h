#pragma once

// What a frame redraws, and the layers being drawn into. The surface owns one, over its control
// tree, and asks it at every tick of the platform's frame timer:
//
//   CollectDirty     the dirty controls' rectangles (after their animations ran),
//   RegionsToDraw    those rectangles made into the regions the frame draws: aligned to whole
//                    pixels and cut so that no pixel is drawn twice, or their union alone under
//                    strict drawing,
//   ClipFor          for each region and control, where that control draws (nothing for a
//                    hidden control other than the background).
//
// The surface's back end then draws each control into its clip. A control that caches its look
// draws into a layer (an off-screen bitmap of the back end's) between the surface's StartLayer
// and EndLayer; this class keeps the stack of those layers and decides when a cached one must be
// made again.
//
// Threads: the editor's thread only ([main]).

#include <vector>

#include "gfx/IBitmap.h"
#include "gfx/IRECT.h"

namespace plug::gfx {

class IControl;
class IControlTree;

class IFrameRegions
{
public:
  explicit IFrameRegions(const IControlTree& controls);
  IFrameRegions(const IFrameRegions&) = delete;
  IFrameRegions& operator=(const IFrameRegions&) = delete;

  void SetStrict(bool strict) { mStrict = strict; }
  bool Strict() const { return mStrict; }

  // --- Dirty regions ---

  // Runs every control's animation, then adds every dirty control's rectangle, padded by 0.75, to
  // rects (controls without a rectangle add none). True when any control is dirty. Allocates
  // nothing when nothing is dirty.
  bool CollectDirty(IRECTList& rects) const;
  // The regions a frame draws for rects at scale (pixels per point): rects itself, pixel-aligned
  // and optimised so that no pixel is drawn twice; or, under strict drawing, a list of the one
  // aligned union of rects, which are then left as they were.
  const IRECTList& RegionsToDraw(IRECTList& rects, float scale);
  // Where the control draws within region: its rectangle padded by 0.75 and pixel-aligned at
  // scale, within the region. False when it draws nothing there: it is hidden (and not the
  // background, which always draws), has no rectangle, or lies outside the region.
  bool ClipFor(const IControl& control, const IRECT& region, float scale, IRECT& clip) const;

  // --- Layers ---

  // The area a layer drawn over r covers (r aligned to whole pixels at scale) and its size in
  // pixels, at least 1 x 1.
  static IRECT LayerBounds(const IRECT& r, float scale, int& widthPixels, int& heightPixels);
  void PushLayer(ILayerPtr layer);
  // The layer drawn into last, taken off the stack; null when there is none.
  ILayerPtr PopLayer();
  // The layer being drawn into; null when drawing goes into the frame.
  ILayer* CurrentLayer() const { return mLayers.empty() ? nullptr : mLayers.back().get(); }
  // Whether a cached layer can be drawn as it is: false when it is missing or has no bitmap, when
  // it was marked invalid, when its control's bounds changed since it was made (it is then marked
  // invalid, and stays so until made again), or when it was made at another screen or draw scale.
  static bool CheckLayer(const ILayerPtr& layer, int screenScale, float drawScale);

private:
  const IControlTree& mControls;
  bool mStrict = false;
  IRECTList mStrictRegion;        // the one region of a strict frame
  std::vector<ILayerPtr> mLayers; // layers being drawn into, innermost last
};

} // namespace plug::gfx
