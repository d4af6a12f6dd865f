#pragma once

// A notice inside the editor: a short message for the user (a file that did not load, a desktop
// service that failed or is missing) on a panel at the top of the control's bounds, centred, its
// text wrapped into lines that fit them (in smaller type, down to the style's smallest size, when
// they do not fit otherwise). It fades in, stays for a time that grows with the text's length and
// fades out; a press on it takes it away at once. The surface keeps one (ISurface::ShowNotice);
// while it shows nothing it neither draws nor takes the mouse. Times run on the run loop's clock.
// [main] throughout.

#include <cstdint>
#include <string>
#include <vector>

#include "gfx/IControl.h"
#include "gfx/IPopupStyle.h"

namespace plug::gfx {

class INoticeControl : public IControl
{
public:
  static constexpr int kMinShowMs = 3000;
  static constexpr int kShowMsPerCharacter = 50;
  static constexpr int kFadeMs = 150;

  // bounds: where notices may lie (empty: the whole editor when the first one shows).
  explicit INoticeControl(const IPopupStyle& style = IPopupStyle(), const IRECT& bounds = IRECT());

  // Replaces what is shown; an empty text takes it away.
  void Show(const char* text);
  void Dismiss();
  // The text shown, "" when none; as laid out: its lines, the panel and the size of its type.
  const std::string& GetNotice() const { return mNotice; }
  const std::vector<std::string>& GetLines() const { return mLines; }
  const IRECT& GetPanelBounds() const { return mPanel; }
  float GetTextSize() const { return mTextSize; }
  // How long text stays.
  static int ShowMs(const std::string& text);

  void Draw(ISurface& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  bool IsHit(float x, float y) const override { return !mNotice.empty() && mPanel.Contains(x, y); }
  // Also ends a notice whose time is over; dirty while it fades.
  bool IsDirty() override;

private:
  void LayOut();
  float Opacity(int64_t nowMs) const;

  IPopupStyle mStyle;
  IRECT mMaxBounds;
  std::string mNotice;
  std::vector<std::string> mLines;
  IRECT mPanel;
  float mTextSize = 0.f;
  int64_t mShownMs = 0;
  int64_t mEndMs = 0;
};

} // namespace plug::gfx
