#include "gfx/IText.h"

#include "plug/Utf8Text.h"

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

} // namespace plug::gfx
