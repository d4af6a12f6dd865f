// ISurface: the events from the platform. The pointer's go to the input part (IInputCapture), but
// for the corner resizer's drag, which the surface follows itself, and a drag while a text field
// is open, which goes nowhere; keys go to the control under the pointer, then to the key handler.

#include "gfx/IControl.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ISurface.h"
#include "gfx/ITextEntryControl.h"

namespace plug::gfx {

// --- Capture and gestures ---

void ISurface::ReleaseMouseCapture()
{
  mInput.EndCaptures(true);
}

bool ISurface::ControlIsCaptured(const IControl* control) const
{
  return mInput.ControlIsCaptured(control);
}

void ISurface::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
  mInput.SendParameterValueFromUI(paramIdx, normalizedValue);
}

// --- Pointer ---

void ISurface::OnMouseDown(const IMouseInfoList& points)
{
  mInput.OnMouseDown(points);
}

void ISurface::OnMouseUp(const IMouseInfoList& points)
{
  mInput.OnMouseUp(points);
  if (mResizingInProcess)
    EndDragResize();
}

void ISurface::OnMouseDrag(const IMouseInfoList& points)
{
  if (mResizingInProcess && points.size() == 1)
  {
    OnDragResize(points.front().x, points.front().y);
    return;
  }
  if (!mInTextEntry)
    mInput.OnMouseDrag(points);
}

void ISurface::OnTouchCancelled(const IMouseInfoList& points)
{
  mInput.OnTouchCancelled(points);
}

bool ISurface::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
  return mInput.OnMouseDblClick(x, y, mod);
}

bool ISurface::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  return mInput.OnMouseOver(x, y, mod);
}

void ISurface::OnMouseOut()
{
  mCursorType = SetMouseCursor(ECursor::kArrow);
  mInput.OnMouseOut();
}

void ISurface::OnMouseWheel(float x, float y, const IMouseMod& mod, float delta)
{
  mInput.OnMouseWheel(x, y, mod, delta);
}

void ISurface::OnDrop(const char* str, float x, float y)
{
  mInput.OnDrop(str, x, y);
}

// --- Keys ---

// The background never takes keys.
bool ISurface::OnKeyDown(float x, float y, const IKeyPress& key)
{
  IControl* control = mInput.GetMouseControl(x, y, false);
  bool handled = control && control != GetControl(0) && control->OnKeyDown(x, y, key);
  if (!handled && mKeyHandlerFunc)
    handled = mKeyHandlerFunc(key, false);
  return handled;
}

bool ISurface::KeysTakenByEntryOrMenu() const
{
  const ITextEntryControl* textEntry = mControls.GetTextEntry();
  const IPopupMenuControl* menu = mControls.GetPopupMenu();
  return (textEntry && textEntry->EditInProgress()) || (menu && menu->GetExpanded());
}

bool ISurface::OnKeyUp(float x, float y, const IKeyPress& key)
{
  IControl* control = mInput.GetMouseControl(x, y, false);
  bool handled = control && control != GetControl(0) && control->OnKeyUp(x, y, key);
  if (!handled && mKeyHandlerFunc)
    handled = mKeyHandlerFunc(key, true);
  return handled;
}

void ISurface::OnGUIIdle()
{
  mControls.ForAll([](IControl* control) { control->OnGUIIdle(); });
}

} // namespace plug::gfx
