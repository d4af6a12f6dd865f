#include "effect/knobs.h"

#include <algorithm>

#include "effect/Palette.h"
#include "gfx/ISurface.h"
#include "plug/core/IParam.h"

namespace quillon {

using namespace plug::gfx;

namespace {

constexpr double kFineFactor = 10.0;
// The value field's room in bytes: any number its characters can form, with more decimals than a
// parameter's step keeps.
constexpr int kValueFieldLength = 16;
constexpr double kWheelStep = 0.01;
constexpr double kFineWheelStep = 0.001;

IShadow BodyShadow()
{
  IShadow shadow;
  shadow.mPattern = COLOR_BLACK;
  shadow.mBlurSize = 5.f;
  shadow.mXOffset = 0.f;
  shadow.mYOffset = 2.f;
  shadow.mOpacity = 0.5f;
  shadow.mDrawForeground = true;
  return shadow;
}

} // namespace

TKnob::TKnob(const IRECT& bounds, int paramIdx, const char* label, float anchorAngle)
  : TControl(bounds, paramIdx),
    mLabelText(LABEL_TEXT),
    mValueText(VALUE_TEXT),
    mLabel(label ? label : ""),
    mAnchorAngle(anchorAngle)
{
  DisablePrompt(false);
  SetTextEntryLength(kValueFieldLength);
}

// ---------------------------------------------------------------------------
// Layout

IRECT TKnob::MakeRects(const IRECT& bounds, bool inset)
{
  const ISurface* ui = GetUI();
  mLabelRect = {};
  if (!mLabel.empty() && ui)
  {
    IRECT measured = bounds;
    const float tw = ui->MeasureText(mLabelText, mLabel.c_str(), measured);
    const float th = measured.H();
    const float w = std::max(1.f, tw);
    const float h = th + mLabelGap;
    const float cy = bounds.T + 0.5f * th;
    mLabelRect = {bounds.MW() - 0.5f * w, cy - 0.5f * h, bounds.MW() + 0.5f * w, cy + 0.5f * h};
  }

  IRECT rest = bounds;
  if (mLabelRect.H() != 0.f)
    rest.T += mLabelRect.H();

  float term = 10.f;
  float vh = 0.f;
  if (const plug::IParam* param = GetParam(); param && ui)
  {
    std::string minText, maxText;
    param->GetDisplayForHost(param->GetMin(), false, minText);
    param->GetDisplayForHost(param->GetMax(), false, maxText);
    IRECT minRect = rest, maxRect = rest;
    const float minW = ui->MeasureText(mValueText, minText.c_str(), minRect);
    const float maxW = ui->MeasureText(mValueText, maxText.c_str(), maxRect);
    term = std::max(minW, maxW) + 10.f;
    vh = maxRect.H();
  }
  const float hw = mValueWidthFactor * term;
  const float cx = rest.MW();

  switch (mValueText.mVAlign)
  {
    case EVAlign::kBottom:
      mValueRect = {cx - hw, rest.B - vh, cx + hw, rest.B};
      mKnobRect = {rest.L, rest.T, rest.R, rest.B - vh};
      break;
    case EVAlign::kTop:
      mValueRect = {cx - hw, rest.T, cx + hw, rest.T + vh};
      mKnobRect = {rest.L, rest.T + vh, rest.R, rest.B};
      break;
    case EVAlign::kMiddle:
      mValueRect = {cx - hw, rest.MH() - 0.5f * vh, cx + hw, rest.MH() + 0.5f * vh};
      mKnobRect = rest;
      break;
  }
  if (inset)
    mKnobRect = rest.GetPadded(-1.f);
  return rest;
}

void TKnob::OnResize()
{
  SetTargetRECT(MakeRects(mRECT, false));
  mMouseIsOver = false;
  if (mBGLayer)
    mBGLayer->Invalidate();
  SetDirty(false);
}

void TKnob::OnInit()
{
  RefreshValueStr();
}

void TKnob::OnAttached()
{
  SetTag(GetParamIdx(0));
}

// ---------------------------------------------------------------------------
// Values

bool TKnob::IsFineControl(const IMouseMod& mod, bool)
{
  return mod.C || mod.S;
}

double TKnob::ForceGetValue() const
{
  const plug::IParam* param = GetParam();
  if (!param)
    return GetValue(0);
  return std::clamp(param->ValueToNorm(param->ConstrainValue(param->GetValue())), 0.0, 1.0);
}

float TKnob::GetRadius() const
{
  return 0.5f * std::min(mKnobRect.W(), mKnobRect.H());
}

void TKnob::SetDirty(bool triggerAction, int)
{
  TControl::SetDirty(triggerAction, -1);
  RefreshValueStr();
}

void TKnob::RefreshValueStr()
{
  if (const plug::IParam* param = GetParam())
    param->GetDisplayForHostWithLabel(mValueStr, true);
}

void TKnob::SetDisabled(bool disable)
{
  if (disable == mDisabledState)
    return;
  if (mBGLayer)
    mBGLayer->Invalidate();
  TControl::SetDisabled(disable);
}

// ---------------------------------------------------------------------------
// Drawing

void TKnob::Draw(ISurface& g)
{
  const float cx = mKnobRect.MW();
  const float cy = mKnobRect.MH();
  const float a = GetRadius() - 0.5f * mTrackWidth;

  DrawBG(g, a);
  g.DrawArc(COLOR_KNOB_GLINE, cx, cy, a, mAngle1, mAngle2, &mBlend, mTrackWidth);

  const float t = mAngle1 + (mAngle2 - mAngle1) * static_cast<float>(ForceGetValue());
  if (t != mAnchorAngle)
    g.DrawArc(COLOR_KNOB_LINE, cx, cy, a, std::min(mAnchorAngle, t), std::max(mAnchorAngle, t), &mBlend, mTrackWidth);
  g.DrawRadialLine(COLOR_KNOB_LINE, cx, cy, t, mPointerInner * a, mPointerOuter * a, &mBlend, mPointerWidth);

  if (mLabelRect.H() != 0.f)
    g.DrawText(mLabelText, mLabel.c_str(), mLabelRect, &mBlend);

  // The text field covers the value while it is open.
  mTextEditing = mTextEditing && g.GetControlInTextEntry() != nullptr;
  if (!mTextEditing)
    g.DrawText(mValueText, mValueStr.c_str(), mValueRect, &mBlend);
}

void TKnob::DrawBG(ISurface& g, float a)
{
  if (!g.CheckLayer(mBGLayer))
  {
    g.StartLayer(this, mRECT);
    DrawBGLayer(g, a);
    mBGLayer = g.EndLayer();
    g.ApplyLayerDropShadow(mBGLayer, BodyShadow());
  }
  g.DrawLayer(mBGLayer);
}

void TKnob::DrawBGLayer(ISurface& g, float a)
{
  const float d = std::max(1.f, 2.f * (a - mBodyInset));
  const IRECT e = mKnobRect.GetCentredInside(d, d);
  g.FillEllipse(COLOR_KNOB_OUTC, e, &mBlend);
  g.FillEllipse(COLOR_KNOB_HL, IRECT(e.L + 2.f, e.T + 2.f, e.R - 2.f, e.B - 3.f), &mBlend);
  const IRECT face(e.L + 2.f, e.T + 3.f, e.R - 2.f, e.B - 2.f);
  const IPattern gradient = IPattern::CreateLinearGradient(face.MW(), face.T, face.MW(), face.B,
                                                           {{COLOR_KNOB_TOP, 0.f}, {COLOR_KNOB_BOTTOM, 1.f}});
  g.PathClear();
  g.PathEllipse(face);
  g.PathFill(gradient, IFillOptions(), &mBlend);
}

// ---------------------------------------------------------------------------
// Gestures

// A right press anywhere on the knob opens the same field as a press on the value text.
void TKnob::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (mod.R || mValueRect.Contains(x, y))
    OpenValueField();
  else if (mKnobRect.Contains(x, y))
  {
    mDragging = true;
    if (mHideCursorOnDrag)
      GetUI()->HideMouseCursor(true, true);
  }
  SetDirty(false);
}

void TKnob::OpenValueField()
{
  const plug::IParam* param = GetParam();
  if (!param)
    return;
  std::string text;
  param->GetDisplayForHost(text);
  GetUI()->CreateTextEntry(*this, mValueText, mValueRect, text.c_str(), 0);
  mTextEditing = true;
}

void TKnob::OnMouseUp(float, float, const IMouseMod&)
{
  EndDrag();
  SetDirty(true);
}

// Only a drag hid the pointer; a press on the value text leaves it where it is.
void TKnob::EndDrag()
{
  if (mDragging && mHideCursorOnDrag)
    GetUI()->HideMouseCursor(false, true);
  mDragging = false;
}

void TKnob::OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod)
{
  if (!mKnobRect.Contains(x, y))
    return;
  const double gearing = IsFineControl(mod, false) ? kFineFactor * mGearing : mGearing;
  const double span = mDirection == 0 ? mRECT.T - mRECT.B : mRECT.R - mRECT.L;
  if (span == 0.0 || gearing == 0.0)
    return;
  const double travel = (double(dY) - double(dX)) / span / gearing;
  SetValue(ForceGetValue() + travel, 0);
  SetDirty(true);
}

void TKnob::OnMouseWheel(float, float, const IMouseMod& mod, float delta)
{
  const double step = IsFineControl(mod, true) ? kFineWheelStep : kWheelStep;
  SetValue(ForceGetValue() + double(delta) * step, 0);
  SetDirty(true);
}

// The press's release never comes (a double click, a menu or a text field took the capture, the
// editor closed): the drag ends here and the pointer shows again where it began.
void TKnob::OnCaptureLost()
{
  EndDrag();
}

void TKnob::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
  if (mKnobRect.Contains(x, y))
    TControl::OnMouseDblClick(x, y, mod);
}

void TKnob::OnMouseOver(float x, float y, const IMouseMod&)
{
  GetUI()->SetMouseCursor(mValueRect.Contains(x, y) ? ECursor::kHand : ECursor::kArrow);
}

void TKnob::OnMouseOut()
{
  GetUI()->SetMouseCursor(ECursor::kArrow);
  TControl::OnMouseOut();
}

} // namespace quillon
