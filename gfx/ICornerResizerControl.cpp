#include "gfx/ICornerResizerControl.h"

#include "gfx/ISurface.h"

namespace plug::gfx {

ICornerResizerControl::ICornerResizerControl(const IRECT& editorBounds, float size, const IColor& color,
                                             const IColor& mouseOverColor, const IColor& dragColor)
  : IControl(IRECT(editorBounds.R - size, editorBounds.B - size, editorBounds.R, editorBounds.B).GetPadded(-1.f)),
    mSize(size),
    mInitialEditorBounds(editorBounds),
    mColor(color),
    mMouseOverColor(mouseOverColor),
    mDragColor(dragColor)
{
}

void ICornerResizerControl::Draw(ISurface& g)
{
  const bool resizing = g.IsResizingInProcess();
  const IColor& color = resizing ? mDragColor : (mMouseIsOver ? mMouseOverColor : mColor);
  const IRECT& r = mRECT;
  g.FillTriangle(color, r.L, r.B, r.R, r.T, r.R, r.B);
  for (int i = 1; i <= 3; ++i)
  {
    const float f = 0.25f * static_cast<float>(i);
    g.DrawLine(color, r.R - f * r.W(), r.B, r.R, r.B - f * r.H());
  }
}

void ICornerResizerControl::OnMouseDown(float, float, const IMouseMod&)
{
  GetUI()->StartDragResize();
  SetDirty(false);
}

void ICornerResizerControl::OnMouseDblClick(float, float, const IMouseMod&)
{
  GetUI()->Resize(static_cast<int>(mInitialEditorBounds.W()), static_cast<int>(mInitialEditorBounds.H()), 1.f);
}

void ICornerResizerControl::OnMouseOver(float, float, const IMouseMod&)
{
  if (!mMouseIsOver)
    mPrevCursor = GetUI()->SetMouseCursor(ECursor::kSizeNWSE);
  mMouseIsOver = true;
  SetDirty(false);
}

void ICornerResizerControl::OnMouseOut()
{
  if (mMouseIsOver)
    GetUI()->SetMouseCursor(mPrevCursor);
  mMouseIsOver = false;
  SetDirty(false);
}

void ICornerResizerControl::OnRescale()
{
  const float size = mSize / GetUI()->GetDrawScale();
  const IRECT bounds = GetUI()->GetBounds();
  SetTargetAndDrawRECTs({bounds.R - size, bounds.B - size, bounds.R, bounds.B});
}

} // namespace plug::gfx
