#pragma once

// A transient value bubble beside a control: shown by ISurface::ShowBubbleControl (the action
// functions ShowBubbleHorizontalActionFunc / ShowBubbleVerticalActionFunc), it fades in over
// 200 ms, stays while the control that showed it holds a mouse capture, then fades out over 200 ms.

#include <cstdint>
#include <string>

#include "gfx/IControl.h"

namespace plug::gfx {

class IBubbleControl : public IControl
{
public:
  enum class EFade
  {
    kHidden,
    kFadingIn,
    kShown,
    kFadingOut
  };

  explicit IBubbleControl(const IText& text = IText(12.f), const IColor& fillColor = COLOR_WHITE,
                          const IColor& strokeColor = COLOR_BLACK, float roundness = 5.f);

  // Shows str beside (x, y): to the right of the point (left when it would not fit) for a
  // horizontal bubble, above it (below when it would not fit) for a vertical one, kept inside the
  // maximum bounds (the editor's bounds unless set).
  void ShowBubble(IControl* caller, float x, float y, const char* str, EDirection dir, IRECT minimumContentBounds,
                  uintptr_t touchID = 0);
  void SetMaxBounds(const IRECT& bounds) { mMaxBounds = bounds; }
  uintptr_t GetTouchID() const { return mTouchID; }
  EFade GetFade() const { return mFade; }
  float GetOpacity() const { return mOpacity; }
  const IRECT& GetBubbleBounds() const { return mBubbleBounds; }
  const std::string& GetStr() const { return mStr; }

  void Draw(ISurface& g) override;
  void OnEndAnimation() override;

private:
  enum class EArrowSide
  {
    kLeft,
    kRight,
    kTop,
    kBottom
  };

  void StartFade(EFade fade);
  void Animate(double progress);

  uintptr_t mTouchID = 0;
  EDirection mDirection = EDirection::kHorizontal;
  IRECT mMaxBounds;
  IRECT mBubbleBounds;
  // What the control's rectangle covers: the bubble, its arrow and its shadow. While it moves, the
  // rectangle also covers where it was, until that frame has been drawn.
  IRECT mArea;
  bool mMoved = false;
  bool mMoveDrawn = false;
  IControl* mCaller = nullptr;
  EArrowSide mArrowSide = EArrowSide::kLeft;
  std::string mStr;
  float mOpacity = 0.f;
  float mRoundness = 5.f;
  float mArrowSize = 10.f;
  float mHPadding = 10.f;
  float mVPadding = 2.f;
  float mMaxOpacity = 0.95f;
  IColor mFillColor;
  IColor mStrokeColor;
  EFade mFade = EFade::kHidden;
};

} // namespace plug::gfx
