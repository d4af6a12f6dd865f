// ISurface: finding the control under a point, mouse capture and mouse-over, and the dispatch of
// pointer, wheel, key and drop events, with the host gestures that bracket a user's edit.

#include <algorithm>
#include <utility>

#include "gfx/ICornerResizerControl.h"
#include "gfx/IFPSDisplayControl.h"
#include "gfx/INoticeControl.h"
#include "gfx/IPopupMenu.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ISurface.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "gfx/ITextEntryControl.h"
#include "plug/core/IParam.h"

namespace plug::gfx {

template <typename Func>
void ISurface::ForHostGestureParams(const IControl& control, Func&& func) const
{
  for (int v = 0; v < control.NVals(); ++v)
  {
    const int paramIdx = control.GetParamIdx(v);
    const IParam* param = mDelegate.GetParam(paramIdx);
    if (param && !param->GetHostPrivate())
      func(paramIdx);
  }
}

// --- Target search ---

int ISurface::GetMouseControlIdx(float x, float y, bool mouseOver) const
{
  if (mouseOver && !mEnableMouseOver)
    return -1;
  const int lowest = mouseOver ? 1 : 0; // the background never gets mouse-over
  for (int i = NControls() - 1; i >= lowest; --i)
  {
    const IControl& control = *mControls[static_cast<std::size_t>(i)];
    const bool allowedWhenDisabled =
        mouseOver ? control.GetMouseOverWhenDisabled() : control.GetMouseEventsWhenDisabled();
    if (!control.IsHidden() && !control.GetIgnoreMouse() && (!control.IsDisabled() || allowedWhenDisabled) &&
        control.IsHit(x, y))
      return i;
  }
  return -1;
}

IControl* ISurface::GetMouseControl(float x, float y, bool capture, bool mouseOver, uintptr_t touchID)
{
  IControl* control = nullptr;
  if (auto it = mCapturedMap.find(touchID); it != mCapturedMap.end())
    control = it->second.control;
  else if (mPopupControl && mPopupControl->GetExpanded())
    control = mPopupControl.get();
  else if (mTextEntryControl && mTextEntryControl->EditInProgress())
    control = mTextEntryControl.get();
  else if (mNoticeControl && mNoticeControl->IsHit(x, y))
    control = mNoticeControl.get();
  else if (mCornerResizer && mCornerResizer->GetRECT().Contains(x, y))
    control = mCornerResizer.get();
  else if (mPerfDisplay && mPerfDisplay->GetRECT().Contains(x, y))
    control = mPerfDisplay.get();
  else
    control = GetControl(GetMouseControlIdx(x, y, mouseOver));

  if (control && capture)
  {
    if (mEnableMultiTouch && !control->GetWantsMultiTouch() && ControlIsCaptured(control) &&
        !mCapturedMap.contains(touchID))
      return nullptr;
    mCapturedMap.try_emplace(touchID, Capture{control, false});
  }
  if (mouseOver)
    mMouseOverIdx = control ? GetControlIdx(control) : -1;
  return control;
}

// --- Capture ---

bool ISurface::ControlIsCaptured(const IControl* control) const
{
  return std::any_of(mCapturedMap.begin(), mCapturedMap.end(),
                     [control](const auto& entry) { return entry.second.control == control; });
}

void ISurface::ReleaseMouseCapture()
{
  EndCaptures(true);
}

void ISurface::EndCaptures(bool informHost)
{
  if (mCapturedMap.empty())
    return;
  const auto captures = std::move(mCapturedMap);
  mCapturedMap.clear();
  if (!informHost)
    return;
  for (const auto& [touchID, capture] : captures)
  {
    capture.control->OnCaptureLost();
    if (capture.gestureBegun)
      ForHostGestureParams(*capture.control,
                           [this](int paramIdx) { mDelegate.EndInformHostOfParamChangeFromUI(paramIdx); });
  }
}

bool ISurface::GestureOpenFor(int paramIdx) const
{
  return std::any_of(mCapturedMap.begin(), mCapturedMap.end(), [paramIdx](const auto& entry) {
    return entry.second.gestureBegun && entry.second.control->LinkedToParam(paramIdx) >= 0;
  });
}

// Hosts that record automation in touch mode keep only what arrives between a begin and an end:
// a change made without a press (the wheel), or after its press's gesture ended (a double click's
// reset, a typed or a picked value), gets a gesture of its own.
void ISurface::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
  const IParam* param = mDelegate.GetParam(paramIdx);
  const bool ownGesture = param && !param->GetHostPrivate() && !GestureOpenFor(paramIdx);
  if (ownGesture)
    mDelegate.BeginInformHostOfParamChangeFromUI(paramIdx);
  mDelegate.SendParameterValueFromUI(paramIdx, normalizedValue);
  if (ownGesture)
    mDelegate.EndInformHostOfParamChangeFromUI(paramIdx);
}

// --- Pointer ---

void ISurface::OnMouseDown(const IMouseInfoList& points)
{
  const bool menuWasOpen = mPopupControl && mPopupControl->GetExpanded();
  DispatchMouseDown(points);
  mPressToggledMenu = menuWasOpen != (mPopupControl && mPopupControl->GetExpanded());
}

void ISurface::DispatchMouseDown(const IMouseInfoList& points)
{
  if (points.size() == 1)
  {
    mMouseDownX = points.front().x;
    mMouseDownY = points.front().y;
  }
  for (const IMouseInfo& point : points)
  {
    const float x = point.x, y = point.y;
    const IMouseMod& mod = point.ms;
    IControl* control = GetMouseControl(x, y, true, false, mod.touchID);
    if (!control)
      continue;
    const int valIdx = control->GetValIdxForPos(x, y);
    if (valIdx == -1 && mod.R)
    {
      control->OnMouseDown(x, y, mod);
      return;
    }
    if (control->GetParamIdx(valIdx == -1 ? 0 : valIdx) >= 0 && mod.R)
    {
      ReleaseMouseCapture();
      mPromptPopupMenu->Clear();
      control->CreateContextMenu(*mPromptPopupMenu);
      if (mPromptPopupMenu->NItems() > 0)
        DoCreatePopupMenu(*control, *mPromptPopupMenu, IRECT(x, y, x, y), -1, true);
      else if (!control->GetPromptDisabled())
        control->OnMouseDown(x, y, mod); // it asks for a typed or picked value; no gesture begins
      return;
    }
    ForHostGestureParams(*control, [this](int paramIdx) { mDelegate.BeginInformHostOfParamChangeFromUI(paramIdx); });
    if (auto it = mCapturedMap.find(mod.touchID); it != mCapturedMap.end() && it->second.control == control)
      it->second.gestureBegun = true;
    control->OnMouseDown(x, y, mod);
  }
}

// The end of a gesture follows the control's own mouse-up. When that mouse-up released the
// capture or removed the control, the release has ended the gesture already.
void ISurface::OnMouseUp(const IMouseInfoList& points)
{
  for (const IMouseInfo& point : points)
  {
    if (auto it = mCapturedMap.find(point.ms.touchID); it != mCapturedMap.end())
    {
      it->second.control->OnMouseUp(point.x, point.y, point.ms);
      EndCapture(point.ms.touchID);
    }
  }
  if (mResizingInProcess)
    EndDragResize();
}

void ISurface::EndCapture(uintptr_t touchID)
{
  auto it = mCapturedMap.find(touchID);
  if (it == mCapturedMap.end())
    return;
  const Capture capture = it->second;
  mCapturedMap.erase(it);
  if (capture.gestureBegun)
    ForHostGestureParams(*capture.control,
                         [this](int paramIdx) { mDelegate.EndInformHostOfParamChangeFromUI(paramIdx); });
}

void ISurface::OnMouseDrag(const IMouseInfoList& points)
{
  if (mResizingInProcess && points.size() == 1)
  {
    OnDragResize(points.front().x, points.front().y);
    return;
  }
  if (mCapturedMap.empty() || mInTextEntry)
    return;
  for (const IMouseInfo& point : points)
  {
    auto it = mCapturedMap.find(point.ms.touchID);
    if (it != mCapturedMap.end() && (point.dX != 0.f || point.dY != 0.f))
      it->second.control->OnMouseDrag(point.x, point.y, point.dX, point.dY, point.ms);
  }
}

void ISurface::OnTouchCancelled(const IMouseInfoList& points)
{
  for (const IMouseInfo& point : points)
  {
    if (auto it = mCapturedMap.find(point.ms.touchID); it != mCapturedMap.end())
    {
      it->second.control->OnTouchCancelled(point.x, point.y, point.ms);
      EndCapture(point.ms.touchID);
    }
  }
}

// A double click's first press that opened a menu (or chose from one and so closed it) has done
// what the click was for: its second press would pick the item under the pointer, or reach the
// control under a menu that has just closed (and reset a knob), so it goes nowhere.
bool ISurface::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
  if (std::exchange(mPressToggledMenu, false))
    return true;
  IControl* control = GetMouseControl(x, y, true, false, mod.touchID);
  if (!control)
    return false;
  if (control->GetMouseDblAsSingleClick())
    OnMouseDown(IMouseInfoList{{x, y, 0.f, 0.f, mod}});
  else
  {
    control->OnMouseDblClick(x, y, mod);
    ReleaseMouseCapture();
  }
  return true;
}

bool ISurface::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  IControl* control = GetMouseControl(x, y, false, true);
  if (control != mMouseOver)
  {
    if (mMouseOver)
      mMouseOver->OnMouseOut();
    mMouseOver = control;
  }
  if (control)
    control->OnMouseOver(x, y, mod);
  return control != nullptr;
}

void ISurface::OnMouseOut()
{
  mCursorType = SetMouseCursor(ECursor::kArrow);
  for (int i = 0; i < NAllControls(); ++i)
    GetAnyControl(i)->OnMouseOut();
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
}

void ISurface::OnMouseWheel(float x, float y, const IMouseMod& mod, float delta)
{
  if (IControl* control = GetMouseControl(x, y, false))
    control->OnMouseWheel(x, y, mod, delta);
}

void ISurface::OnDrop(const char* str, float x, float y)
{
  if (IControl* control = GetMouseControl(x, y, false))
    control->OnDrop(str ? str : "");
}

// --- Keys ---

bool ISurface::OnKeyDown(float x, float y, const IKeyPress& key)
{
  IControl* control = GetMouseControl(x, y, false);
  bool handled = control && control != GetControl(0) && control->OnKeyDown(x, y, key);
  if (!handled && mKeyHandlerFunc)
    handled = mKeyHandlerFunc(key, false);
  return handled;
}

bool ISurface::KeysTakenByEntryOrMenu() const
{
  return (mTextEntryControl && mTextEntryControl->EditInProgress()) || (mPopupControl && mPopupControl->GetExpanded());
}

bool ISurface::OnKeyUp(float x, float y, const IKeyPress& key)
{
  IControl* control = GetMouseControl(x, y, false);
  bool handled = control && control != GetControl(0) && control->OnKeyUp(x, y, key);
  if (!handled && mKeyHandlerFunc)
    handled = mKeyHandlerFunc(key, true);
  return handled;
}

void ISurface::OnGUIIdle()
{
  for (int i = 0; i < NAllControls(); ++i)
    GetAnyControl(i)->OnGUIIdle();
}

} // namespace plug::gfx
