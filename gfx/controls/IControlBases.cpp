#include "gfx/controls/IControlBases.h"

#include <cmath>

#include "gfx/ISurface.h"
#include "plug/core/IParam.h"

namespace plug::gfx {

namespace {

// The value change for a movement of delta points over a span of extent points (negative for the
// vertical, where up raises); nothing when the span or the gearing gives no ratio.
void MoveValue(IControl& control, float delta, float extent, double gearing)
{
  if (extent == 0.f || !(gearing > 0.0))
    return;
  control.SetValue(control.GetValue() + delta / extent / gearing);
  control.SetDirty(true);
}

void MoveValueByWheel(IControl& control, const IMouseMod& mod, float delta)
{
  control.SetValue(control.GetValue() + delta * (IsFineControl(mod) ? 0.001 : 0.01));
  control.SetDirty(true);
}

} // namespace

// --- Knob ---

IKnobControlBase::IKnobControlBase(const IRECT& bounds, int paramIdx, EDirection direction, double gearing)
  : IControl(bounds, paramIdx),
    mDirection(direction),
    mGearing(gearing)
{
}

void IKnobControlBase::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  mMouseDown = true;
  if (mHideCursorOnDrag && GetUI())
    GetUI()->HideMouseCursor(true, true);
  IControl::OnMouseDown(x, y, mod);
}

void IKnobControlBase::OnMouseUp(float, float, const IMouseMod&)
{
  mMouseDown = false;
  if (mHideCursorOnDrag && GetUI())
    GetUI()->HideMouseCursor(false, true);
}

void IKnobControlBase::OnCaptureLost()
{
  if (mMouseDown)
    IKnobControlBase::OnMouseUp(0.f, 0.f, IMouseMod());
}

void IKnobControlBase::OnMouseDrag(float, float, float dX, float dY, const IMouseMod& mod)
{
  const IRECT bounds = GetKnobDragBounds();
  const double gearing = IsFineControl(mod) ? mGearing * 10.0 : mGearing;
  if (mDirection == EDirection::kVertical)
    MoveValue(*this, dY, bounds.T - bounds.B, gearing);
  else
    MoveValue(*this, dX, bounds.R - bounds.L, gearing);
}

void IKnobControlBase::OnMouseWheel(float, float, const IMouseMod& mod, float delta)
{
  MoveValueByWheel(*this, mod, delta);
}

// --- Slider ---

ISliderControlBase::ISliderControlBase(const IRECT& bounds, int paramIdx, EDirection direction, double gearing,
                                       float handleSize)
  : IControl(bounds, paramIdx),
    mDirection(direction),
    mHandleSize(handleSize),
    mGearing(gearing)
{
}

void ISliderControlBase::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  mMouseDown = true;
  SnapToMouse(x, y, mDirection, mTrack);
  if (mHideCursorOnDrag && GetUI())
    GetUI()->HideMouseCursor(true, true);
  IControl::OnMouseDown(x, y, mod);
}

void ISliderControlBase::OnMouseUp(float, float, const IMouseMod&)
{
  mMouseDown = false;
  if (mHideCursorOnDrag && GetUI())
    GetUI()->HideMouseCursor(false, true);
}

void ISliderControlBase::OnCaptureLost()
{
  if (mMouseDown)
    ISliderControlBase::OnMouseUp(0.f, 0.f, IMouseMod());
}

void ISliderControlBase::OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod)
{
  if (mod.touchID != 0)
  {
    SnapToMouse(x, y, mDirection, mTrack);
    return;
  }
  const double gearing = IsFineControl(mod) ? mGearing * 10.0 : mGearing;
  if (mDirection == EDirection::kVertical)
    MoveValue(*this, dY, mTrack.T - mTrack.B, gearing);
  else
    MoveValue(*this, dX, mTrack.R - mTrack.L, gearing);
}

void ISliderControlBase::OnMouseWheel(float, float, const IMouseMod& mod, float delta)
{
  MoveValueByWheel(*this, mod, delta);
}

// --- Switch ---

ISwitchControlBase::ISwitchControlBase(const IRECT& bounds, int paramIdx, IActionFunction actionFunc, int numStates)
  : IControl(bounds, paramIdx, std::move(actionFunc)),
    mNumStates(numStates)
{
  mDblAsSingleClick = true;
}

void ISwitchControlBase::OnInit()
{
  if (const IParam* param = GetParam())
    mNumStates = static_cast<int>(param->GetMax() - param->GetMin()) + 1;
}

// Steps by state number rather than by adding 1 / (states - 1), which can overshoot 1 by a
// rounding error and wrap a state too early.
void ISwitchControlBase::OnMouseDown(float, float, const IMouseMod&)
{
  if (mNumStates == 2)
    SetValue(GetValue() != 0.0 ? 0.0 : 1.0);
  else if (mNumStates > 2)
  {
    const double last = mNumStates - 1;
    const long state = std::lround(GetValue() * last) + 1;
    SetValue(state > mNumStates - 1 ? 0.0 : static_cast<double>(state) / last);
  }
  mMouseDown = true;
  SetDirty(true);
}

void ISwitchControlBase::OnMouseUp(float, float, const IMouseMod&)
{
  mMouseDown = false;
  SetDirty(false);
}

// --- Button ---

IButtonControlBase::IButtonControlBase(const IRECT& bounds, IActionFunction actionFunc)
  : IControl(bounds, -1, std::move(actionFunc))
{
  mDblAsSingleClick = true;
}

void IButtonControlBase::OnMouseDown(float, float, const IMouseMod&)
{
  SetValue(1.0);
  SetDirty(true);
}

void IButtonControlBase::OnEndAnimation()
{
  SetValue(0.0);
  IControl::OnEndAnimation();
}

} // namespace plug::gfx
