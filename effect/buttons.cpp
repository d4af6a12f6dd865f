#include "effect/buttons.h"

#include "gfx/ISurface.h"

namespace quillon {

using namespace plug::gfx;

namespace {

constexpr float kCornerRadius = 4.f;
constexpr uint32_t kActionDelayMs = 10;

} // namespace

// ---------------------------------------------------------------------------
// TButton

TButton::TButton(float x, float y, float w, float h, const char* caption, const IText& text, const char* tooltip,
                 Action action)
  : TControl(IRECT::MakeXYWH(x, y, w, h), std::move(action)),
    mCaption(caption ? caption : "")
{
  SetText(text);
  SetTooltip(tooltip);
}

TButton::TButton(float x, float y, float w, float h, const char* caption, const IText& text, const char* tooltip,
                 int paramIdx)
  : TControl(IRECT::MakeXYWH(x, y, w, h), paramIdx),
    mCaption(caption ? caption : "")
{
  SetText(text);
  SetTooltip(tooltip);
}

TButton::~TButton()
{
  DoStop();
}

void TButton::OnMouseDown(float, float, const IMouseMod&)
{
  mPressed = true;
  SetDirty(false);
}

void TButton::OnMouseUp(float, float, const IMouseMod&)
{
  mPressed = false;
  SetDirty(false);
  StartTimer();
}

void TButton::OnResize()
{
  const IRECT& b = mRECT;
  mOuterRect = b.GetPadded(-0.5f);
  mInnerRect = b.GetPadded(-1.5f);
  const IRECT gloss = b.GetPadded(-2.5f);
  mGlossRect = {gloss.L, gloss.T, gloss.R, gloss.MH()};
}

void TButton::Draw(ISurface& g)
{
  const IBlend* blend = &mBlend;
  g.FillRoundRect(COLOR_DARK_LINE, mOuterRect, kCornerRadius, blend);
  g.DrawRoundRect(COLOR_LIGHT_LINE, mOuterRect, kCornerRadius, blend, 1.f);
  g.FillRoundRect(COLOR_BACK, mInnerRect, kCornerRadius, blend);
  g.DrawRoundRect(COLOR_DARK_LINE, mInnerRect, kCornerRadius, blend, 1.f);
  IRECT r = mInnerRect;
  DrawPushed(g, r);
  if (!mPressed)
    g.FillRoundRect(COLOR_TOP_BG, mGlossRect, kCornerRadius, blend);
  g.DrawText(mText, mCaption.c_str(), r, blend);
}

void TButton::DrawPushed(ISurface&, IRECT& r)
{
  if (mPressed)
    r = r.GetTranslated(1.f, 1.f);
}

void TButton::SetCaption(const char* caption)
{
  mCaption = caption ? caption : "";
  mDirty = true;
}

void TButton::StartTimer()
{
  if (!mTimer)
    mTimer = plug::Timer::Create([this](plug::Timer&) { DoTimer(); }, kActionDelayMs);
}

// Releasing the timer from inside its own callback is allowed: the run loop keeps the callback
// alive until it returns.
void TButton::DoTimer()
{
  DoStop();
  if (const IActionFunction& action = GetActionFunction())
    action(this);
}

void TButton::DoStop()
{
  if (mTimer)
  {
    mTimer->Stop();
    mTimer.reset();
  }
}

// ---------------------------------------------------------------------------
// TToggleButton

void TToggleButton::OnMouseDown(float, float, const IMouseMod&)
{
  mPressed = GetValue() > 0.5;
  SetValue(mPressed ? 0.0 : 1.0);
  SetDirty(GetParamIdx() >= 0);
  StartTimer();
}

bool TToggleButton::Pushed()
{
  mPressed = GetValue() > 0.5;
  return mPressed;
}

void TToggleButton::DrawPushed(ISurface& g, IRECT&)
{
  if (Pushed())
  {
    g.FillRoundRect(mOnColor, mInnerRect.GetPadded(-0.5f), kCornerRadius, &mBlend);
    g.DrawRoundRect(COLOR_SELECTED, mInnerRect.GetPadded(-1.f), kCornerRadius, &mBlend, 1.f);
    mText.mFGColor = COLOR_BLACK;
  }
  else
  {
    mText.mFGColor = COLOR_EDIT;
  }
}

// ---------------------------------------------------------------------------
// THelpButton

THelpButton::THelpButton(float x, float y, float w, float h, const char* caption, const IText& text,
                         const char* tooltip, plug::IPresetDelegate& presets)
  : TButton(x, y, w, h, caption, text, tooltip, -1),
    mPresets(presets)
{
  mMenu.AddItem(new IPopupMenu::Item("Brannock Sound Web Site...", IPopupMenu::Item::kNoFlags, kWebSite));
  mMenu.AddSeparator();
  mMenu.AddItem(new IPopupMenu::Item("About...", IPopupMenu::Item::kNoFlags, kAbout));
}

void THelpButton::OnMouseDown(float, float, const IMouseMod&)
{
  mPressed = true;
  SetDirty(false);
  // An empty area at the bottom-left corner: the menu drops down from there.
  GetUI()->CreatePopupMenu(*this, mMenu, IRECT(mRECT.L, mRECT.B, mRECT.L, mRECT.B), 0);
}

void THelpButton::OnMouseUp(float, float, const IMouseMod&)
{
  SetDirty(false);
}

void THelpButton::OnPopupMenuSelection(IPopupMenu* menu, int)
{
  mPressed = false;
  SetDirty(false);
  const IPopupMenu::Item* item = menu ? menu->GetChosenItem() : nullptr;
  if (!item)
    return;
  switch (item->GetTag())
  {
    case kWebSite:
      GetUI()->OpenURL(kMakerSiteURL, nullptr, nullptr, kMakerSiteFailure);
      break;
    case kAbout:
      mPresets.ShowAboutBox();
      break;
    default:
      break;
  }
}

} // namespace quillon
