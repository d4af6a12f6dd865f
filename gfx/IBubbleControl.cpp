#include "gfx/IBubbleControl.h"

#include "gfx/ISurface.h"

namespace plug::gfx {

IBubbleControl::IBubbleControl(const IText& text, const IColor& fillColor, const IColor& outlineColor)
  : IControl(IRECT()),
    mFillColor(fillColor),
    mOutlineColor(outlineColor)
{
  mText = text;
  mHide = true;
  mIgnoreMouse = true;
}

void IBubbleControl::Draw(ISurface&) {}

void IBubbleControl::ShowBubble(IControl* caller, float, float, const char* str, EDirection, IRECT, uintptr_t touchID)
{
  mCaller = caller;
  mStr = str ? str : "";
  mTouchID = touchID;
}

} // namespace plug::gfx
