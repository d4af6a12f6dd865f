// ISurface: the events from the platform. The pointer's go to the input part (IInputCapture), but
// for the corner resizer's drag, which the surface follows itself, and a drag while a text field
// is open, which goes nowhere; keys go to the control under the pointer, then to the key handler.

#include "checks/ThreadChecks.h"
#include "gfx/IControl.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ISurface.h"
#include "gfx/ISurfaceEditorDelegate.h"
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
  QM_MAIN_THREAD(mDelegate.EditorThread());
  mInput.SendParameterValueFromUI(paramIdx, normalizedValue);
}

// --- Pointer ---

void ISurface::OnMouseDown(const IMouseInfoList& points)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  mInput.OnMouseDown(points);
}

void ISurface::OnMouseUp(const IMouseInfoList& points)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  mInput.OnMouseUp(points);
  if (mResizingInProcess)
    EndDragResize();
}

void ISurface::OnMouseDrag(const IMouseInfoList& points)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
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
  QM_MAIN_THREAD(mDelegate.EditorThread());
  mInput.OnTouchCancelled(points);
}

bool ISurface::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  return mInput.OnMouseDblClick(x, y, mod);
}

bool ISurface::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  return mInput.OnMouseOver(x, y, mod);
}

void ISurface::OnMouseOut()
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  mCursorType = SetMouseCursor(ECursor::kArrow);
  mInput.OnMouseOut();
}

void ISurface::OnMouseWheel(float x, float y, const IMouseMod& mod, float delta)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  mInput.OnMouseWheel(x, y, mod, delta);
}

void ISurface::OnDrop(const char* str, float x, float y)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  mInput.OnDrop(str, x, y);
}

// --- Keys ---

// The background never takes keys.
bool ISurface::OnKeyDown(float x, float y, const IKeyPress& key)
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
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
  QM_MAIN_THREAD(mDelegate.EditorThread());
  IControl* control = mInput.GetMouseControl(x, y, false);
  bool handled = control && control != GetControl(0) && control->OnKeyUp(x, y, key);
  if (!handled && mKeyHandlerFunc)
    handled = mKeyHandlerFunc(key, true);
  return handled;
}

void ISurface::OnGUIIdle()
{
  QM_MAIN_THREAD(mDelegate.EditorThread());
  mControls.ForAll([](IControl* control) { control->OnGUIIdle(); });
}

} // namespace plug::gfx
