#include "gfx/IText.h"

#include "plug/core/Utf8Text.h"

namespace plug::gfx {

IText::IText(float size, const IColor& color, const char* font, EAlign align, EVAlign valign, float angle,
             const IColor& textEntryBG, const IColor& textEntryFG)
  : mSize(size),
    mFGColor(color),
    mTextEntryBGColor(textEntryBG),
    mTextEntryFGColor(textEntryFG),
    mAngle(angle),
    mAlign(align),
    mVAlign(valign)
{
  SetFont(font);
}

void IText::SetFont(const char* font)
{
  if (font)
    CopyUtf8Text(mFont, kMaxFontLength, font);
}

IRECT IText::AlignedBox(const IRECT& bounds, float w, float h) const
{
  const float x = mAlign == EAlign::kNear ? bounds.L
      : mAlign == EAlign::kCenter         ? bounds.MW() - 0.5f * w
                                          : bounds.R - w;
  const float y = mVAlign == EVAlign::kTop ? bounds.T
      : mVAlign == EVAlign::kMiddle        ? bounds.MH() - 0.5f * h
                                           : bounds.B - h;
  return {x, y, x + w, y + h};
}

} // namespace plug::gfx
