#include "gfx/IInputCapture.h"

#include <algorithm>
#include <utility>

#include "gfx/IControl.h"
#include "gfx/IControlTree.h"
#include "gfx/ICornerResizerControl.h"
#include "gfx/IFPSDisplayControl.h"
#include "gfx/INoticeControl.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "gfx/ITextEntryControl.h"
#include "plug/core/IParam.h"

namespace plug::gfx {

IInputCapture::IInputCapture(const IControlTree& controls, ISurfaceEditorDelegate& delegate,
                             IContextMenuFunc openContextMenu)
  : mControls(controls),
    mDelegate(delegate),
    mOpenContextMenu(std::move(openContextMenu))
{
}

template <typename Func>
void IInputCapture::ForHostGestureParams(const IControl& control, Func&& func) const
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

int IInputCapture::GetMouseControlIdx(float x, float y, bool mouseOver) const
{
  if (mouseOver && !mEnableMouseOver)
    return -1;
  const int lowest = mouseOver ? 1 : 0; // the background never gets mouse-over
  for (int i = mControls.NControls() - 1; i >= lowest; --i)
  {
    const IControl& control = *mControls.Get(i);
    const bool allowedWhenDisabled =
        mouseOver ? control.GetMouseOverWhenDisabled() : control.GetMouseEventsWhenDisabled();
    if (!control.IsHidden() && !control.GetIgnoreMouse() && (!control.IsDisabled() || allowedWhenDisabled) &&
        control.IsHit(x, y))
      return i;
  }
  return -1;
}

IControl* IInputCapture::GetMouseControl(float x, float y, bool capture, bool mouseOver, uintptr_t touchID)
{
  IControl* control = nullptr;
  IPopupMenuControl* menu = mControls.GetPopupMenu();
  ITextEntryControl* textEntry = mControls.GetTextEntry();
  INoticeControl* notice = mControls.GetNotice();
  ICornerResizerControl* resizer = mControls.GetCornerResizer();
  IFPSDisplayControl* perfDisplay = mControls.GetPerfDisplay();
  if (auto it = mCaptures.find(touchID); it != mCaptures.end())
    control = it->second.control;
  else if (menu && menu->GetExpanded())
    control = menu;
  else if (textEntry && textEntry->EditInProgress())
    control = textEntry;
  else if (notice && notice->IsHit(x, y))
    control = notice;
  else if (resizer && resizer->GetRECT().Contains(x, y))
    control = resizer;
  else if (perfDisplay && perfDisplay->GetRECT().Contains(x, y))
    control = perfDisplay;
  else
    control = mControls.Get(GetMouseControlIdx(x, y, mouseOver));

  if (control && capture)
  {
    if (mEnableMultiTouch && !control->GetWantsMultiTouch() && ControlIsCaptured(control) &&
        !mCaptures.contains(touchID))
      return nullptr;
    mCaptures.try_emplace(touchID, Capture{control, false});
  }
  return control;
}

bool IInputCapture::MenuExpanded() const
{
  const IPopupMenuControl* menu = mControls.GetPopupMenu();
  return menu && menu->GetExpanded();
}

// --- Capture and mouse-over ---

bool IInputCapture::ControlIsCaptured(const IControl* control) const
{
  return std::any_of(mCaptures.begin(), mCaptures.end(),
                     [control](const auto& entry) { return entry.second.control == control; });
}

void IInputCapture::EndCaptures(bool informHost)
{
  if (mCaptures.empty())
    return;
  const auto captures = std::move(mCaptures);
  mCaptures.clear();
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

void IInputCapture::EndCapture(uintptr_t touchID)
{
  auto it = mCaptures.find(touchID);
  if (it == mCaptures.end())
    return;
  const Capture capture = it->second;
  mCaptures.erase(it);
  if (capture.gestureBegun)
    ForHostGestureParams(*capture.control,
                         [this](int paramIdx) { mDelegate.EndInformHostOfParamChangeFromUI(paramIdx); });
}

int IInputCapture::GetMouseOverIdx() const
{
  return mControls.IndexOf(mMouseOver);
}

void IInputCapture::Forget(const IControl* control)
{
  if (ControlIsCaptured(control))
    EndCaptures(true);
  if (mMouseOver == control)
    mMouseOver = nullptr;
}

// --- Host gestures ---

bool IInputCapture::GestureOpenFor(int paramIdx) const
{
  return std::any_of(mCaptures.begin(), mCaptures.end(), [paramIdx](const auto& entry) {
    return entry.second.gestureBegun && entry.second.control->LinkedToParam(paramIdx) >= 0;
  });
}

// Hosts that record automation in touch mode keep only what arrives between a begin and an end:
// a change made without a press (the wheel), or after its press's gesture ended (a double click's
// reset, a typed or a picked value), gets a gesture of its own.
void IInputCapture::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
  const IParam* param = mDelegate.GetParam(paramIdx);
  const bool ownGesture = param && !param->GetHostPrivate() && !GestureOpenFor(paramIdx);
  if (ownGesture)
    mDelegate.BeginInformHostOfParamChangeFromUI(paramIdx);
  mDelegate.SendParameterValueFromUI(paramIdx, normalizedValue);
  if (ownGesture)
    mDelegate.EndInformHostOfParamChangeFromUI(paramIdx);
}

// --- Pointer events ---

void IInputCapture::OnMouseDown(const IMouseInfoList& points)
{
  const bool menuWasOpen = MenuExpanded();
  DispatchMouseDown(points);
  mPressToggledMenu = menuWasOpen != MenuExpanded();
}

void IInputCapture::DispatchMouseDown(const IMouseInfoList& points)
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
      EndCaptures(true);
      if (!mOpenContextMenu(*control, x, y) && !control->GetPromptDisabled())
        control->OnMouseDown(x, y, mod); // it asks for a typed or picked value; no gesture begins
      return;
    }
    ForHostGestureParams(*control, [this](int paramIdx) { mDelegate.BeginInformHostOfParamChangeFromUI(paramIdx); });
    if (auto it = mCaptures.find(mod.touchID); it != mCaptures.end() && it->second.control == control)
      it->second.gestureBegun = true;
    control->OnMouseDown(x, y, mod);
  }
}

// The end of a gesture follows the control's own mouse-up. When that mouse-up released the
// capture or removed the control, the release has ended the gesture already.
void IInputCapture::OnMouseUp(const IMouseInfoList& points)
{
  for (const IMouseInfo& point : points)
  {
    if (auto it = mCaptures.find(point.ms.touchID); it != mCaptures.end())
    {
      it->second.control->OnMouseUp(point.x, point.y, point.ms);
      EndCapture(point.ms.touchID);
    }
  }
}

void IInputCapture::OnMouseDrag(const IMouseInfoList& points)
{
  if (mCaptures.empty())
    return;
  for (const IMouseInfo& point : points)
  {
    auto it = mCaptures.find(point.ms.touchID);
    if (it != mCaptures.end() && (point.dX != 0.f || point.dY != 0.f))
      it->second.control->OnMouseDrag(point.x, point.y, point.dX, point.dY, point.ms);
  }
}

void IInputCapture::OnTouchCancelled(const IMouseInfoList& points)
{
  for (const IMouseInfo& point : points)
  {
    if (auto it = mCaptures.find(point.ms.touchID); it != mCaptures.end())
    {
      it->second.control->OnTouchCancelled(point.x, point.y, point.ms);
      EndCapture(point.ms.touchID);
    }
  }
}

// A double click's first press that opened a menu (or chose from one and so closed it) has done
// what the click was for: its second press would pick the item under the pointer, or reach the
// control under a menu that has just closed (and reset a knob), so it goes nowhere.
bool IInputCapture::OnMouseDblClick(float x, float y, const IMouseMod& mod)
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
    EndCaptures(true);
  }
  return true;
}

bool IInputCapture::OnMouseOver(float x, float y, const IMouseMod& mod)
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

void IInputCapture::OnMouseOut()
{
  mControls.ForAll([](IControl* control) { control->OnMouseOut(); });
  mMouseOver = nullptr;
}

void IInputCapture::OnMouseWheel(float x, float y, const IMouseMod& mod, float delta)
{
  if (IControl* control = GetMouseControl(x, y, false))
    control->OnMouseWheel(x, y, mod, delta);
}

void IInputCapture::OnDrop(const char* str, float x, float y)
{
  if (IControl* control = GetMouseControl(x, y, false))
    control->OnDrop(str ? str : "");
}

} // namespace plug::gfx
