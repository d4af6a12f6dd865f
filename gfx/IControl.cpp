#include "gfx/IControl.h"

#include <algorithm>
#include <cmath>

#include "gfx/IPopupMenu.h"
#include "gfx/ISurface.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "plug/core/IParam.h"
#include "plug/core/Timer.h"

namespace plug::gfx {

namespace {

double Clamp01(double value)
{
  return std::clamp(value, 0.0, 1.0);
}

} // namespace

IControl::IControl(const IRECT& bounds, int paramIdx, IActionFunction actionFunc)
  : mRECT(bounds),
    mTargetRECT(bounds),
    mActionFunc(std::move(actionFunc)),
    mVals{{paramIdx, 0.0}}
{
}

IControl::IControl(const IRECT& bounds, const std::initializer_list<int>& params, IActionFunction actionFunc)
  : mRECT(bounds),
    mTargetRECT(bounds),
    mActionFunc(std::move(actionFunc))
{
  for (int paramIdx : params)
    mVals.push_back({paramIdx, 0.0});
  if (mVals.empty())
    mVals.push_back({});
}

IControl::IControl(const IRECT& bounds, IActionFunction actionFunc)
  : IControl(bounds, -1, std::move(actionFunc))
{
}

void IControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (mod.R)
    PromptUserInput(GetValIdxForPos(x, y));
}

void IControl::OnMouseDblClick(float x, float y, const IMouseMod&)
{
  SetValueToDefault(GetValIdxForPos(x, y));
}

void IControl::OnMouseOver(float, float, const IMouseMod&)
{
  if (mMouseIsOver)
    return;
  mMouseIsOver = true;
  SetDirty(false);
}

void IControl::OnMouseOut()
{
  if (!mMouseIsOver)
    return;
  mMouseIsOver = false;
  SetDirty(false);
}

void IControl::OnPopupMenuSelection(IPopupMenu* menu, int valIdx)
{
  const IParam* param = GetParam(valIdx);
  if (!menu || !param || mDisablePrompt || menu->GetChosenItemIdx() < 0)
    return;
  SetValueFromUserInput(param->ValueToNorm(menu->GetChosenItemIdx()), valIdx);
}

// --- Values ---

void IControl::SetValueFromDelegate(double value, int valIdx)
{
  if (mGraphics && mGraphics->ControlIsCaptured(this))
    return;
  if (GetValue(valIdx) != value)
  {
    SetValue(value, valIdx);
    SetDirty(false);
  }
}

void IControl::SetValueFromUserInput(double value, int valIdx)
{
  if (GetValue(valIdx) != value)
  {
    SetValue(value, valIdx);
    SetDirty(true, valIdx);
  }
}

void IControl::SetValueToDefault(int valIdx)
{
  if (NVals() == 1)
    valIdx = 0;
  for (int v = 0; v < NVals(); ++v)
  {
    if (valIdx >= 0 && v != valIdx)
      continue;
    if (const IParam* param = GetParam(v))
      SetValue(param->ValueToNorm(param->GetDefault()), v);
  }
  SetDirty(true, valIdx);
}

void IControl::SetValue(double value, int valIdx)
{
  if (valIdx >= 0 && valIdx < NVals())
    mVals[static_cast<std::size_t>(valIdx)].value = value;
}

double IControl::GetValue(int valIdx) const
{
  if (valIdx < 0 || valIdx >= NVals())
    return 0.0;
  return mVals[static_cast<std::size_t>(valIdx)].value;
}

int IControl::GetParamIdx(int valIdx) const
{
  if (valIdx < 0 || valIdx >= NVals())
    return -1;
  return mVals[static_cast<std::size_t>(valIdx)].idx;
}

void IControl::SetParamIdx(int paramIdx, int valIdx)
{
  if (valIdx >= 0 && valIdx < NVals())
    mVals[static_cast<std::size_t>(valIdx)].idx = paramIdx;
}

int IControl::LinkedToParam(int paramIdx) const
{
  if (paramIdx < 0)
    return -1;
  for (int v = 0; v < NVals(); ++v)
    if (mVals[static_cast<std::size_t>(v)].idx == paramIdx)
      return v;
  return -1;
}

const IParam* IControl::GetParam(int valIdx) const
{
  const int paramIdx = GetParamIdx(valIdx);
  if (paramIdx < 0 || !mDelegate)
    return nullptr;
  return mDelegate->GetParam(paramIdx);
}

// --- State ---

void IControl::SetPosition(float x, float y)
{
  x = std::max(0.f, x);
  y = std::max(0.f, y);
  const float dX = x - mRECT.L, dY = y - mRECT.T;
  mRECT = mRECT.GetTranslated(dX, dY);
  mTargetRECT = mTargetRECT.GetTranslated(dX, dY);
  mMouseIsOver = false;
  OnResize();
}

void IControl::SetSize(float w, float h)
{
  mRECT = {mRECT.L, mRECT.T, mRECT.L + std::max(0.f, w), mRECT.T + std::max(0.f, h)};
  mTargetRECT = mRECT;
  mMouseIsOver = false;
  OnResize();
}

void IControl::Hide(bool hide)
{
  mHide = hide;
  SetDirty(false);
}

void IControl::SetDisabled(bool disable)
{
  mBlend.mWeight = disable ? 0.25f : 1.f;
  mDisabled = disable;
  SetDirty(false);
}

void IControl::SetDirty(bool triggerAction, int valIdx)
{
  if (NVals() == 1)
    valIdx = 0;
  for (int v = 0; v < NVals(); ++v)
    if (valIdx < 0 || v == valIdx)
      SetValue(Clamp01(GetValue(v)), v);
  mDirty = true;
  if (!triggerAction)
    return;
  for (int v = 0; v < NVals(); ++v)
  {
    const int paramIdx = GetParamIdx(v);
    if ((valIdx >= 0 && v != valIdx) || paramIdx < 0 || !mDelegate)
      continue;
    if (mGraphics)
    {
      mGraphics->SendParameterValueFromUI(paramIdx, GetValue(v));
      mGraphics->UpdatePeers(this, v);
    }
    else
      mDelegate->SendParameterValueFromUI(paramIdx, GetValue(v));
  }
  if (mActionFunc)
    mActionFunc(this);
}

// A bounds of zero extent along the direction gives no position: the value is left as it is.
void IControl::SnapToMouse(float x, float y, EDirection direction, const IRECT& bounds, int valIdx, double minClip,
                           double maxClip)
{
  const bool horizontal = direction == EDirection::kHorizontal;
  const float extent = horizontal ? bounds.W() : bounds.H();
  if (!(extent > 0.f))
    return;
  x = std::min(std::max(x, bounds.L), bounds.R);
  y = std::min(std::max(y, bounds.T), bounds.B);
  double value = horizontal ? (x - bounds.L) / extent : 1.0 - (y - bounds.T) / extent;
  value = std::round(value / 0.001) * 0.001;
  value = std::min(std::max(value, minClip), maxClip);
  for (int v = 0; v < NVals(); ++v)
    if (valIdx < 0 || v == valIdx)
      SetValue(value, v);
  SetDirty(true, valIdx);
}

void IControl::OnEndAnimation()
{
  SetAnimation(nullptr);
  SetDirty(false);
  if (mAnimationEndActionFunc)
  {
    const IActionFunction endAction = mAnimationEndActionFunc; // it may replace itself
    endAction(this);
  }
}

// --- Prompts ---

void IControl::PromptUserInput(int valIdx)
{
  const IParam* param = GetParam(valIdx);
  if (!param || mDisablePrompt || !mGraphics)
    return;
  const float cx = mRECT.MW(), cy = mRECT.MH();
  const IRECT area = param->NDisplayTexts() > 0 ? mRECT : IRECT(cx - 20.f, cy - 8.f, cx + 20.f, cy + 8.f);
  mGraphics->PromptUserInput(*this, area, valIdx);
  SetDirty(false);
}

void IControl::PromptUserInput(const IRECT& bounds, int valIdx)
{
  if (!GetParam(valIdx) || mDisablePrompt || !mGraphics)
    return;
  mGraphics->PromptUserInput(*this, bounds, valIdx);
}

// --- Animation ---

const IAnimationFunction& IControl::GetAnimationFunction() const
{
  static const IAnimationFunction none;
  return mAnimationFunc ? *mAnimationFunc : none;
}

void IControl::SetAnimation(IAnimationFunction func)
{
  if (func)
    mAnimationFunc = std::make_shared<IAnimationFunction>(std::move(func));
  else
    mAnimationFunc.reset();
}

void IControl::StartAnimation(int durationMs)
{
  mAnimationStartMs = static_cast<double>(RunLoop::NowMs());
  mAnimationDurationMs = durationMs;
}

// A zero or negative duration counts as one millisecond, so the progress stays finite.
double IControl::GetAnimationProgress() const
{
  if (!mAnimationFunc)
    return 0.0;
  const double elapsed = static_cast<double>(RunLoop::NowMs()) - mAnimationStartMs;
  return elapsed / std::max(mAnimationDurationMs, 1.0);
}

void IControl::Animate()
{
  if (!mAnimationFunc)
    return;
  const std::shared_ptr<IAnimationFunction> running = mAnimationFunc;
  (*running)(this);
}

// --- Shared animation and action functions ---

void DefaultAnimationFunc(IControl* control)
{
  if (control->GetAnimationProgress() > 1.0)
    control->OnEndAnimation();
}

void DefaultClickActionFunc(IControl* control)
{
  control->SetAnimation(DefaultAnimationFunc, 100);
}

void EmptyClickActionFunc(IControl*) {}

namespace {

void ShowBubble(IControl* control, EDirection direction)
{
  ISurface* ui = control->GetUI();
  const IParam* param = control->GetParam();
  if (!ui || !param)
    return;
  std::string display;
  param->GetDisplayForHostWithLabel(display);
  const IRECT& r = control->GetRECT();
  const bool horizontal = direction == EDirection::kHorizontal;
  ui->ShowBubbleControl(control, horizontal ? r.R : r.MW(), horizontal ? r.MH() : r.T, display.c_str(), direction,
                        IRECT(0.f, 0.f, 50.f, 30.f));
}

} // namespace

void ShowBubbleHorizontalActionFunc(IControl* control)
{
  ShowBubble(control, EDirection::kHorizontal);
}

void ShowBubbleVerticalActionFunc(IControl* control)
{
  ShowBubble(control, EDirection::kVertical);
}

} // namespace plug::gfx
