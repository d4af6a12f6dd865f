#include "gfx/IFPSDisplayControl.h"

#include <algorithm>
#include <cstdio>

#include "gfx/ISurface.h"

namespace plug::gfx {

IFPSDisplayControl::IFPSDisplayControl(const IRECT& bounds, const char* caption)
  : IControl(bounds),
    mCaption(caption ? caption : "")
{
  mText = IText(12.f, COLOR_WHITE, nullptr, EAlign::kNear, EVAlign::kTop);
}

void IFPSDisplayControl::Update(float frameSeconds)
{
  mFrameTimes[static_cast<std::size_t>(mNext)] = frameSeconds;
  mNext = (mNext + 1) % kNumFrames;
  mCount = std::min(mCount + 1, kNumFrames);
}

float IFPSDisplayControl::GetLatest() const
{
  if (mCount == 0)
    return 0.f;
  return mFrameTimes[static_cast<std::size_t>((mNext + kNumFrames - 1) % kNumFrames)];
}

void IFPSDisplayControl::OnMouseDown(float, float, const IMouseMod&)
{
  mStyle = static_cast<EStyle>((static_cast<int>(mStyle) + 1) % 3);
  SetDirty(false);
}

// The graph spans 0 to the slowest frame shown (at least 1/30 s), oldest on the left.
void IFPSDisplayControl::Draw(ISurface& g)
{
  g.FillRect(IColor(180, 0, 0, 0), mRECT);
  std::array<float, kNumFrames> points{};
  const float top = std::max(1.f / 30.f, *std::max_element(mFrameTimes.begin(), mFrameTimes.end()));
  for (int i = 0; i < kNumFrames; ++i)
    points[static_cast<std::size_t>(i)] = mFrameTimes[static_cast<std::size_t>((mNext + i) % kNumFrames)] / top;
  g.DrawData(COLOR_RED, mRECT.GetPadded(-2.f), points.data(), kNumFrames);

  char reading[48] = "";
  const float latest = GetLatest();
  if (mStyle == EStyle::kFPS)
    std::snprintf(reading, sizeof reading, "%s: %.1f FPS", mCaption.c_str(), latest > 0.f ? 1.f / latest : 0.f);
  else if (mStyle == EStyle::kMilliseconds)
    std::snprintf(reading, sizeof reading, "%s: %.2f ms", mCaption.c_str(), latest * 1000.f);
  g.DrawText(mText, reading, mRECT.GetPadded(-3.f));
}

} // namespace plug::gfx
