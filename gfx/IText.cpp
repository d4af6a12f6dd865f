#include "gfx/IText.h"

#include <cstring>

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
  if (!font)
    return;
  std::size_t n = std::strlen(font);
  if (n >= kMaxFontLength)
  {
    n = kMaxFontLength - 1;
    // The first byte left out continues a character that began before it: leave that one out too.
    while (n > 0 && (static_cast<unsigned char>(font[n]) & 0xC0) == 0x80)
      --n;
  }
  std::memcpy(mFont, font, n);
  mFont[n] = '\0';
}

} // namespace plug::gfx
