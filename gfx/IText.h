#pragma once

#include "gfx/IColor.h"
#include "gfx/IRECT.h"

namespace plug::gfx {

enum class EAlign
{
  kNear,
  kCenter,
  kFar
};

enum class EVAlign
{
  kTop,
  kMiddle,
  kBottom
};

// A text style. The size is the height of one line: a font of size S is scaled so that its
// ascender-to-descender height is S.
struct IText
{
  static constexpr int kMaxFontLength = 64;

  char mFont[kMaxFontLength] = "Roboto-Regular"; // a font identifier given to LoadFont
  float mSize = 14.f;
  IColor mFGColor = DEFAULT_TEXT_FGCOLOR;
  IColor mTextEntryBGColor = DEFAULT_TEXTENTRY_BGCOLOR;
  IColor mTextEntryFGColor = DEFAULT_TEXTENTRY_FGCOLOR;
  float mAngle = 0.f; // degrees, clockwise
  EAlign mAlign = EAlign::kCenter;
  EVAlign mVAlign = EVAlign::kMiddle;

  IText() = default;
  explicit IText(float size, const IColor& color = DEFAULT_TEXT_FGCOLOR, const char* font = nullptr,
                 EAlign align = EAlign::kCenter, EVAlign valign = EVAlign::kMiddle, float angle = 0.f,
                 const IColor& textEntryBG = DEFAULT_TEXTENTRY_BGCOLOR,
                 const IColor& textEntryFG = DEFAULT_TEXTENTRY_FGCOLOR);

  // Copies the identifier, cut to 63 bytes at a UTF-8 character boundary; null keeps the default.
  void SetFont(const char* font);
  // Where a box of w x h lies inside bounds under this style's alignments.
  IRECT AlignedBox(const IRECT& bounds, float w, float h) const;

  IText WithFGColor(const IColor& c) const
  {
    IText t = *this;
    t.mFGColor = c;
    return t;
  }
  IText WithAlign(EAlign a) const
  {
    IText t = *this;
    t.mAlign = a;
    return t;
  }
  IText WithVAlign(EVAlign a) const
  {
    IText t = *this;
    t.mVAlign = a;
    return t;
  }
  IText WithSize(float size) const
  {
    IText t = *this;
    t.mSize = size;
    return t;
  }
};

} // namespace plug::gfx
