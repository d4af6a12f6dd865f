#include "effect/about.h"

#include <algorithm>
#include <cmath>

#include "effect/Palette.h"
#include "gfx/ISurface.h"
#include "plug/core/Timer.h"

namespace quillon {

using namespace plug::gfx;

namespace {

constexpr const char* kCopyrightText = "Copyright \xC2\xA9 2026 Brannock Sound";
constexpr const char* kCreditText = "VST plugin technology by Steinberg";
constexpr float kOKWidth = 46.f;
constexpr float kOKHeight = 25.f;

} // namespace

TAboutBox::TAboutBox(const IRECT& bounds, const ISVG& logo, const ISVG& title, const plug::IPresetDelegate& plugin)
  : TControl(bounds),
    mVersionText("Version: " + plugin.GetVersionText() + " (" + plugin.GetBindingName() + ", Linux)"),
    mLogoSVG(logo),
    mTitleSVG(title),
    mUnattachedOKButton(std::make_unique<TButton>(0.f, 0.f, kOKWidth, kOKHeight, "OK", ABOUT_CPR_TEXT, "",
                                                  [this](IControl*) { Hide(true); })),
    mOKButton(mUnattachedOKButton.get())
{
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::OnInit()
{
  IControl::Hide(true);
  mOKButton->Hide(true);
}

void TAboutBox::OnAttached()
{
  if (mUnattachedOKButton)
    GetUI()->AttachControl(mUnattachedOKButton.release());
}

void TAboutBox::OnResize()
{
  mBoxRect = mRECT;
  IRECT url(mRECT.L + 140.f, mRECT.B - 48.f, mRECT.R, mRECT.B - 16.f);
  IRECT measured = url;
  const float w = GetUI() ? GetUI()->MeasureText(ABOUT_URL_TEXT, kMakerSiteText, measured) : 0.f;
  mURLRect = IRECT::MakeXYWH(url.L, url.T, w, measured.H());
  mOKButton->SetPosition(mRECT.R - 55.f, mRECT.B - 35.f);
  if (mLayer)
    mLayer->Invalidate();
}

// ---------------------------------------------------------------------------
// Showing and hiding

void TAboutBox::Hide(bool hide)
{
  // A box that is hidden already has nothing to fade out (and would never be drawn to end it).
  if (hide && IsHidden())
    return;
  mAnimating = true;
  mAlpha = hide ? 1.f : 0.f;
  mHiding = hide;
  mFadeStartMs = plug::RunLoop::NowMs();
  if (!hide)
  {
    mHide = false;
    mOKButton->Hide(false);
  }
  mDirty = true;
}

bool TAboutBox::IsDirty()
{
  return !IsHidden() || mAnimating;
}

void TAboutBox::EndFade()
{
  mAnimating = false;
  const bool hidden = mAlpha == 0.f;
  mHide = hidden;
  mOKButton->Hide(hidden);
  // The panel lies under the whole editor: redrawn, it takes everything the box covered with it.
  if (IControl* background = GetUI()->GetBackgroundControl())
    background->SetDirty(false);
}

// ---------------------------------------------------------------------------
// Drawing

// The fade follows the clock, not the frames: hosts call the editor's idle every 15 to 66 ms.
void TAboutBox::Draw(ISurface& g)
{
  bool fadeEnded = false;
  if (mAnimating)
  {
    const double progress = static_cast<double>(plug::RunLoop::NowMs() - mFadeStartMs) / kFadeMs;
    fadeEnded = progress >= 1.0;
    const float done = static_cast<float>(std::clamp(progress, 0.0, 1.0));
    mAlpha = mHiding ? 1.f - done : done;
  }
  mBlend.mWeight = mAlpha * mAlpha;
  mOKButton->SetBlend(mBlend);

  g.FillRect(COLOR_ABOUT, mRECT, &mBlend);
  if (!g.CheckLayer(mLayer))
  {
    g.StartLayer(this, mRECT);
    DrawStatic(g);
    mLayer = g.EndLayer();
  }
  g.DrawLayer(mLayer, &mBlend);

  const IColor linkColor = mURLHot ? COLOR_HOT_URL : COLOR_EDIT;
  g.DrawText(ABOUT_URL_TEXT.WithFGColor(linkColor), kMakerSiteText, mURLRect, &mBlend);
  const float y = std::trunc(mURLRect.B) - 0.5f;
  g.DrawLine(linkColor, mURLRect.L, y, mURLRect.R, y, &mBlend, 1.f);

  if (fadeEnded)
    EndFade();
}

void TAboutBox::DrawStatic(ISurface& g)
{
  const IRECT& b = mRECT;
  g.DrawSVG(mTitleSVG, IRECT(b.L + 130.f, b.T + 20.f, b.R, b.T + 42.f));
  g.DrawText(ABOUT_CPR_TEXT, mVersionText.c_str(), IRECT(b.L, b.T + 50.f, b.R, b.T + 70.f));
  g.DrawText(ABOUT_CPR_TEXT, kCopyrightText, IRECT(b.L, b.T + 65.f, b.R, b.T + 85.f));
  g.DrawText(ABOUT_CPR_TEXT, kCreditText, IRECT(b.L, b.T + 80.f, b.R, b.T + 100.f));
  g.DrawSVG(mLogoSVG, IRECT(b.L + 33.f, b.B - 56.f, b.R, b.B - 24.f));
}

// ---------------------------------------------------------------------------
// Mouse

void TAboutBox::OnMouseDown(float, float, const IMouseMod&)
{
  if (mURLHot)
    GetUI()->OpenURL(kMakerSiteURL, nullptr, nullptr, kMakerSiteFailure);
}

void TAboutBox::OnMouseOver(float x, float y, const IMouseMod&)
{
  mURLHot = mURLRect.Contains(x, y);
  GetUI()->SetMouseCursor(mURLHot ? ECursor::kHand : ECursor::kArrow);
  mDirty = true;
}

void TAboutBox::OnMouseOut()
{
  GetUI()->SetMouseCursor(ECursor::kArrow);
  mURLHot = false;
  mDirty = true;
}

} // namespace quillon
