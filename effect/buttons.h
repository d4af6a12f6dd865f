#pragma once

// The effect's push buttons.
//
// TButton runs its action once, from a 10 ms run-loop timer started by the release, so the action
// runs after the release and the redraw request have been handled. TToggleButton flips a value
// between 0 and 1 on every press. THelpButton drops down a small menu: the maker's web site and
// the about box (which the plug-in's IPresetDelegate shows). Threads: [main] throughout.

#include <functional>
#include <memory>
#include <string>

#include "effect/Palette.h"
#include "effect/TControl.h"
#include "gfx/IControl.h"
#include "gfx/IPopupMenu.h"
#include "plug/core/IPresetDelegate.h"
#include "plug/core/Timer.h"

namespace quillon {

// The maker's web site, shown in the about box and opened (with "?lang=en") from it and the help
// button.
inline constexpr const char* kMakerSiteText = "www.brannocksound.com";
inline constexpr const char* kMakerSiteURL = "https://www.brannocksound.com/?lang=en";
// What the editor says when the site cannot be handed to the desktop (xdg-open did not start).
inline constexpr const char* kMakerSiteFailure =
    "Cannot open www.brannocksound.com: xdg-open did not start (apt install xdg-utils).";

class TButton : public TControl
{
public:
  using Action = std::function<void(plug::gfx::IControl*)>;

  TButton(float x, float y, float w, float h, const char* caption, const plug::gfx::IText& text, const char* tooltip,
          Action action);
  TButton(float x, float y, float w, float h, const char* caption, const plug::gfx::IText& text, const char* tooltip,
          int paramIdx);
  ~TButton() override;

  void OnMouseDown(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnResize() override;
  void Draw(plug::gfx::ISurface& g) override;

  void SetCaption(const char* caption);
  const std::string& GetCaption() const { return mCaption; }
  bool IsPressed() const { return mPressed; }
  // A timer that runs the action once, at its first firing; none is made while one waits.
  void StartTimer();
  void DoStop();

protected:
  // Moves r by a pixel while the button is held, so the caption sinks with it.
  virtual void DrawPushed(plug::gfx::ISurface& g, plug::gfx::IRECT& r);
  void DoTimer();

  std::string mCaption;
  plug::gfx::IRECT mOuterRect;
  plug::gfx::IRECT mInnerRect;
  plug::gfx::IRECT mGlossRect;
  std::unique_ptr<plug::Timer> mTimer;
  bool mPressed = false;
};

class TToggleButton : public TButton
{
public:
  using TButton::TButton;

  void OnMouseDown(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseUp(float, float, const plug::gfx::IMouseMod&) override {}
  // Also the state drawn: on when value 0 is above 0.5.
  bool Pushed();

protected:
  void DrawPushed(plug::gfx::ISurface& g, plug::gfx::IRECT& r) override;

  plug::gfx::IColor mOnColor = COLOR_AGUA;
};

class THelpButton : public TButton
{
public:
  enum EItem
  {
    kWebSite = 1,
    kAbout = 2
  };

  // presets shows the about box, and outlives the button.
  THelpButton(float x, float y, float w, float h, const char* caption, const plug::gfx::IText& text,
              const char* tooltip, plug::IPresetDelegate& presets);

  void OnMouseDown(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnPopupMenuSelection(plug::gfx::IPopupMenu* menu, int valIdx) override;

private:
  plug::IPresetDelegate& mPresets;
  plug::gfx::IPopupMenu mMenu;
};

} // namespace quillon
