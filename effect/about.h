#pragma once

// The about box: a veil over the whole editor with the product title, the version, copyright and
// credit lines, the maker's logo, a link to the maker's web site and an "OK" button. It starts
// hidden, fades in over a third of a second when shown and fades out as long when "OK" is pressed;
// while it is not hidden it lies on top and takes every press. Threads: [main] throughout.

#include <cstdint>
#include <memory>
#include <string>

#include "effect/buttons.h"
#include "gfx/IBitmap.h"
#include "plug/core/IPresetDelegate.h"

namespace quillon {

class TAboutBox : public TControl
{
public:
  // How long a fade lasts: the twenty frames of the editor's 60 per second.
  static constexpr int kFadeMs = 333;

  // The version line names plugin's version and binding.
  TAboutBox(const plug::gfx::IRECT& bounds, const plug::gfx::ISVG& logo, const plug::gfx::ISVG& title,
            const plug::IPresetDelegate& plugin);
  ~TAboutBox() override;

  void OnMouseDown(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseOver(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseOut() override;
  void OnResize() override;
  void OnInit() override;
  // Attaches the "OK" button after the box, so it lies above it.
  void OnAttached() override;
  void Draw(plug::gfx::ISurface& g) override;
  // Starts a fade: in (shown at once, from transparent) or out (hidden when it ends).
  void Hide(bool hide) override;
  bool IsDirty() override;

  // "Version: 1.0.4 (VST 2, Linux)"
  const std::string& GetVersionText() const { return mVersionText; }
  TButton* GetOKButton() const { return mOKButton; }
  const plug::gfx::IRECT& GetURLRect() const { return mURLRect; }
  bool IsAnimating() const { return mAnimating; }
  float GetAlpha() const { return mAlpha; }
  bool IsURLHot() const { return mURLHot; }

private:
  void DrawStatic(plug::gfx::ISurface& g);
  void EndFade();

  bool mAnimating = false;
  bool mHiding = true;
  bool mURLHot = false;
  float mAlpha = 0.f;
  int64_t mFadeStartMs = 0; // on the run loop's clock
  std::string mVersionText;
  plug::gfx::ISVG mLogoSVG;
  plug::gfx::ISVG mTitleSVG;
  plug::gfx::IRECT mBoxRect;
  plug::gfx::IRECT mURLRect;
  plug::gfx::ILayerPtr mLayer;
  // Owned here until attached; the surface owns it afterwards.
  std::unique_ptr<TButton> mUnattachedOKButton;
  TButton* mOKButton;
};

} // namespace quillon
