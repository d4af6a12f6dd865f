#pragma once

#include "gfx/IControl.h"

namespace plug::gfx {

// The grip in the editor's lower-right corner. Dragging it zooms the whole editor (scale mode) or
// changes its size (size mode), as the surface's resizer mode says; a double click returns to the
// size it was made for at scale 1. It keeps its size on screen whatever the draw scale.
class ICornerResizerControl : public IControl
{
public:
  // editorBounds: the editor's bounds when the grip is made; size: the grip's side in pixels.
  ICornerResizerControl(const IRECT& editorBounds, float size, const IColor& color = COLOR_TRANSLUCENT,
                        const IColor& mouseOverColor = COLOR_DARK_GRAY, const IColor& dragColor = COLOR_DARK_GRAY);

  void Draw(ISurface& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
  void OnMouseOver(float x, float y, const IMouseMod& mod) override;
  void OnMouseOut() override;
  void OnRescale() override;

  const IRECT& GetInitialEditorBounds() const { return mInitialEditorBounds; }

private:
  float mSize;
  IRECT mInitialEditorBounds;
  IColor mColor;
  IColor mMouseOverColor;
  IColor mDragColor;
  ECursor mPrevCursor = ECursor::kArrow;
};

} // namespace plug::gfx
