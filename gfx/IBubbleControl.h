#pragma once

#include <cstdint>
#include <string>

#include "gfx/IControl.h"

namespace plug::gfx {

// A value bubble beside a control: hidden and ignoring the mouse until ShowBubble.
class IBubbleControl : public IControl
{
public:
  explicit IBubbleControl(const IText& text = IText(), const IColor& fillColor = COLOR_WHITE,
                          const IColor& outlineColor = COLOR_BLACK);

  void Draw(ISurface& g) override;

  void ShowBubble(IControl* caller, float x, float y, const char* str, EDirection dir, IRECT minimumContentBounds,
                  uintptr_t touchID = 0);
  uintptr_t GetTouchID() const { return mTouchID; }

protected:
  uintptr_t mTouchID = 0;
  IControl* mCaller = nullptr;
  std::string mStr;
  IColor mFillColor;
  IColor mOutlineColor;
};

} // namespace plug::gfx
