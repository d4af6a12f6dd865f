#include "gfx/IBubbleControl.h"

#include <algorithm>

#include "gfx/ISurface.h"

namespace plug::gfx {

namespace {

constexpr int kFadeMs = 200;
constexpr int kHoldMs = 1000;

} // namespace

IBubbleControl::IBubbleControl(const IText& text, const IColor& fillColor, const IColor& strokeColor, float roundness)
  : IControl(IRECT()),
    mRoundness(roundness),
    mFillColor(fillColor),
    mStrokeColor(strokeColor)
{
  mText = text;
  mHide = true;
  mIgnoreMouse = true;
}

void IBubbleControl::ShowBubble(IControl* caller, float x, float y, const char* str, EDirection dir,
                                IRECT minimumContentBounds, uintptr_t touchID)
{
  ISurface* ui = GetUI();
  if (!ui)
    return;
  mCaller = caller;
  mTouchID = touchID;
  mDirection = dir;
  mStr = str ? str : "";
  if (mMaxBounds.Empty())
    mMaxBounds = ui->GetBounds();

  IRECT measured;
  ui->MeasureText(mText, mStr.c_str(), measured);
  const float w = std::max(measured.W(), minimumContentBounds.W()) + 2.f * mHPadding;
  const float h = std::max(measured.H(), minimumContentBounds.H()) + 2.f * mVPadding;
  IRECT b;
  if (dir == EDirection::kHorizontal)
  {
    b = IRECT::MakeXYWH(x + mArrowSize, y - 0.5f * h, w, h);
    mArrowSide = EArrowSide::kLeft;
    if (b.R > mMaxBounds.R)
    {
      b = IRECT::MakeXYWH(x - mArrowSize - w, y - 0.5f * h, w, h);
      mArrowSide = EArrowSide::kRight;
    }
  }
  else
  {
    b = IRECT::MakeXYWH(x - 0.5f * w, y - mArrowSize - h, w, h);
    mArrowSide = EArrowSide::kBottom;
    if (b.T < mMaxBounds.T)
    {
      b = IRECT::MakeXYWH(x - 0.5f * w, y + mArrowSize, w, h);
      mArrowSide = EArrowSide::kTop;
    }
  }
  // Kept inside the maximum bounds (its left and top edges win when it is larger).
  b = b.GetTranslated(std::min(0.f, mMaxBounds.R - b.R), std::min(0.f, mMaxBounds.B - b.B));
  b = b.GetTranslated(std::max(0.f, mMaxBounds.L - b.L), std::max(0.f, mMaxBounds.T - b.T));
  mBubbleBounds = b;

  const IRECT area = b.GetPadded(mArrowSize).GetPadded(0.f, 0.f, mVPadding, mVPadding);
  SetTargetAndDrawRECTs(mArea.Empty() || mHide ? area : area.Union(mArea));
  mArea = area;
  mMoved = true;
  mMoveDrawn = false;

  if (mFade == EFade::kHidden)
  {
    Hide(false);
    StartFade(EFade::kFadingIn);
  }
  else if (mFade == EFade::kFadingOut)
    StartFade(EFade::kShown);
  SetDirty(false);
}

void IBubbleControl::StartFade(EFade fade)
{
  mFade = fade;
  if (fade == EFade::kHidden)
  {
    mOpacity = 0.f;
    Hide(true);
    return;
  }
  SetAnimation([](IControl* c) { static_cast<IBubbleControl*>(c)->Animate(c->GetAnimationProgress()); },
               fade == EFade::kShown ? kHoldMs : kFadeMs);
}

void IBubbleControl::Animate(double progress)
{
  if (mMoved && mMoveDrawn) // the frame that cleared the old place is drawn: only the new one now
  {
    SetTargetAndDrawRECTs(mArea);
    mMoved = false;
  }
  const double p = std::clamp(progress, 0.0, 1.0);
  switch (mFade)
  {
    case EFade::kFadingIn:
      mOpacity = static_cast<float>(p) * mMaxOpacity;
      break;
    case EFade::kShown:
      mOpacity = mMaxOpacity;
      break;
    case EFade::kFadingOut:
      mOpacity = static_cast<float>(1.0 - p) * mMaxOpacity;
      break;
    case EFade::kHidden:
      break;
  }
  if (progress > 1.0)
    OnEndAnimation();
}

void IBubbleControl::OnEndAnimation()
{
  IControl::OnEndAnimation();
  switch (mFade)
  {
    case EFade::kFadingIn:
      StartFade(EFade::kShown);
      break;
    case EFade::kShown:
    {
      ISurface* ui = GetUI();
      StartFade(ui && mCaller && ui->ControlIsCaptured(mCaller) ? EFade::kShown : EFade::kFadingOut);
      break;
    }
    case EFade::kFadingOut:
      StartFade(EFade::kHidden);
      break;
    case EFade::kHidden:
      break;
  }
}

void IBubbleControl::Draw(ISurface& g)
{
  if (mMoved)
    mMoveDrawn = true;
  if (!(mOpacity > 0.f) || mBubbleBounds.Empty())
    return;
  const IBlend blend(EBlend::kDefault, mOpacity);
  const IRECT& b = mBubbleBounds;
  // The arrow: a triangle from the bubble's edge to the point it was shown at.
  float x1 = 0.f, y1 = 0.f, x2 = 0.f, y2 = 0.f, x3 = 0.f, y3 = 0.f;
  const float half = 0.5f * mArrowSize;
  switch (mArrowSide)
  {
    case EArrowSide::kLeft:
      x1 = x2 = b.L + 1.f, y1 = b.MH() - half, y2 = b.MH() + half, x3 = b.L - mArrowSize, y3 = b.MH();
      break;
    case EArrowSide::kRight:
      x1 = x2 = b.R - 1.f, y1 = b.MH() - half, y2 = b.MH() + half, x3 = b.R + mArrowSize, y3 = b.MH();
      break;
    case EArrowSide::kTop:
      y1 = y2 = b.T + 1.f, x1 = b.MW() - half, x2 = b.MW() + half, x3 = b.MW(), y3 = b.T - mArrowSize;
      break;
    case EArrowSide::kBottom:
      y1 = y2 = b.B - 1.f, x1 = b.MW() - half, x2 = b.MW() + half, x3 = b.MW(), y3 = b.B + mArrowSize;
      break;
  }
  g.FillRoundRect(COLOR_BLACK.WithOpacity(0.25f), b.GetTranslated(mVPadding, mVPadding), mRoundness, &blend);
  g.FillRoundRect(mFillColor, b, mRoundness, &blend);
  g.FillTriangle(mFillColor, x1, y1, x2, y2, x3, y3, &blend);
  g.DrawRoundRect(mStrokeColor, b, mRoundness, &blend);
  g.DrawText(mText.WithAlign(EAlign::kCenter).WithVAlign(EVAlign::kMiddle), mStr.c_str(), b, &blend);
}

} // namespace plug::gfx
