#include "gfx/INoticeControl.h"

#include <algorithm>
#include <cmath>

#include "gfx/ISurface.h"
#include "gfx/ITextFit.h"
#include "plug/core/Timer.h"

namespace plug::gfx {

namespace {

constexpr float kMargin = 4.f;    // between the bounds and the panel
constexpr float kSizeStep = 0.5f; // the steps in which type gets smaller until the text fits

float LineHeight(float size)
{
  return 1.25f * size;
}
float PadX(float size)
{
  return 0.8f * size;
}
float PadY(float size)
{
  return 0.5f * size;
}

} // namespace

INoticeControl::INoticeControl(const IPopupStyle& style, const IRECT& bounds)
  : IControl(IRECT()),
    mStyle(style),
    mMaxBounds(bounds)
{
  mText = style.text.WithAlign(EAlign::kCenter).WithVAlign(EVAlign::kMiddle);
}

int INoticeControl::ShowMs(const std::string& text)
{
  return kMinShowMs + kShowMsPerCharacter * static_cast<int>(text.size());
}

void INoticeControl::Show(const char* text)
{
  mNotice = text ? text : "";
  if (mNotice.empty() || !GetUI())
  {
    Dismiss();
    return;
  }
  if (mMaxBounds.Empty())
    mMaxBounds = GetUI()->GetBounds();
  SetTargetAndDrawRECTs(mMaxBounds);
  LayOut();
  mShownMs = RunLoop::NowMs();
  mEndMs = mShownMs + ShowMs(mNotice);
  SetDirty(false);
}

void INoticeControl::Dismiss()
{
  mNotice.clear();
  mLines.clear();
  SetDirty(false); // the panel's place is drawn again without it
}

void INoticeControl::LayOut()
{
  const IRECT room = mMaxBounds.GetPadded(-kMargin);
  const float minSize = std::min(mStyle.minTextSize, mStyle.text.mSize);
  for (float size = mStyle.text.mSize;; size = std::max(minSize, size - kSizeStep))
  {
    mTextSize = size;
    mLines = WrappedToWidth(*GetUI(), mText.WithSize(size), mNotice, room.W() - 2.f * PadX(size));
    if (float(mLines.size()) * LineHeight(size) + 2.f * PadY(size) <= room.H() || size <= minSize)
      break;
  }
  // In the smallest type still too long: the lines that fit, the last one ending in an ellipsis.
  const float textWidth = room.W() - 2.f * PadX(mTextSize);
  const auto fitting =
      static_cast<std::size_t>(std::max(1.f, std::floor((room.H() - 2.f * PadY(mTextSize)) / LineHeight(mTextSize))));
  if (mLines.size() > fitting)
  {
    mLines.resize(fitting);
    mLines.back() = EllipsizedToWidth(*GetUI(), mText.WithSize(mTextSize), mLines.back() + " \xE2\x80\xA6", textWidth);
  }
  float widest = 0.f;
  for (const std::string& line : mLines)
  {
    IRECT r;
    widest = std::max(widest, GetUI()->MeasureText(mText.WithSize(mTextSize), line.c_str(), r));
  }
  const float w = std::min(room.W(), std::ceil(widest + 2.f * PadX(mTextSize)));
  const float h = std::ceil(float(mLines.size()) * LineHeight(mTextSize) + 2.f * PadY(mTextSize));
  mPanel = IRECT::MakeXYWH(std::round(room.MW() - 0.5f * w), room.T, w, std::min(h, room.H()));
}

float INoticeControl::Opacity(int64_t nowMs) const
{
  const auto in = static_cast<float>(nowMs - mShownMs);
  const auto out = static_cast<float>(mEndMs - nowMs);
  return std::clamp(std::min(in, out) / float(kFadeMs), 0.f, 1.f);
}

bool INoticeControl::IsDirty()
{
  if (mNotice.empty())
    return IControl::IsDirty();
  const int64_t now = RunLoop::NowMs();
  if (now >= mEndMs)
    Dismiss();
  else if (now - mShownMs <= kFadeMs || mEndMs - now <= kFadeMs)
    SetDirty(false);
  return IControl::IsDirty();
}

void INoticeControl::OnMouseDown(float, float, const IMouseMod&)
{
  Dismiss();
}

void INoticeControl::Draw(ISurface& g)
{
  const float opacity = mNotice.empty() ? 0.f : Opacity(RunLoop::NowMs());
  if (!(opacity > 0.f))
    return;
  const IBlend blend(EBlend::kDefault, opacity);
  if (mStyle.shadow.A > 0)
    g.FillRoundRect(mStyle.shadow, mPanel.GetTranslated(2.f, 3.f), mStyle.cornerRadius, &blend);
  g.FillRoundRect(mStyle.panel, mPanel, mStyle.cornerRadius, &blend);
  g.DrawRoundRect(mStyle.border, mPanel, mStyle.cornerRadius, &blend);
  const IText text = mText.WithSize(mTextSize);
  IRECT line = mPanel.GetPadded(PadX(mTextSize), PadY(mTextSize), -PadX(mTextSize), -PadY(mTextSize));
  line.B = line.T + LineHeight(mTextSize);
  for (const std::string& l : mLines)
  {
    g.DrawText(text, l.c_str(), line, &blend);
    line = line.GetTranslated(0.f, LineHeight(mTextSize));
  }
}

} // namespace plug::gfx
