#include "effect/bgctrl.h"

#include <cmath>
#include <numbers>

#include "effect/Palette.h"
#include "effect/knobs.h"
#include "gfx/ISurface.h"

namespace quillon {

using namespace plug::gfx;

namespace {

constexpr float kCorner = 4.f;
constexpr float kPanelInset = 3.5f;
constexpr float kHeaderHeight = 24.f;
constexpr int kNumScales = 4;

struct Legend
{
  const char* text;
  float angle;
};

// The printed scale of the knob bound to the parameter of the index: legends at their angles.
constexpr Legend kDecayLegends[] = {{"0.1", -135.f}, {"1", -45.f}, {"10", 45.f}, {"100", 135.f}};
constexpr Legend kWidthLegends[] = {{"mono", -135.f}, {"wide", 135.f}};
constexpr Legend kColorLegends[] = {{"lo", -135.f}, {"hi", 135.f}};
constexpr Legend kMixLegends[] = {{"dry", -135.f}, {"wet", 135.f}};

struct Scale
{
  const Legend* legends;
  int count;
};

constexpr Scale kScales[kNumScales] = {{kDecayLegends, 4}, {kWidthLegends, 2}, {kColorLegends, 2}, {kMixLegends, 2}};

IPattern VerticalGradient(const IRECT& r, const IColor& top, const IColor& bottom)
{
  return IPattern::CreateLinearGradient(r.MW(), r.T, r.MW(), r.B, {{top, 0.f}, {bottom, 1.f}});
}

} // namespace

TBGControl::TBGControl(const IRECT& bounds, const IText& text, const ISVG&, const ISVG& title)
  : IControl(bounds),
    mTitleSVG(title)
{
  SetText(text.WithAlign(EAlign::kNear).WithVAlign(EVAlign::kTop));
  SetIgnoreMouse(true);
}

void TBGControl::OnResize()
{
  const IRECT& b = mRECT;
  mPanelRect = b.GetPadded(-kPanelInset);
  mHeaderRect = {b.L + kPanelInset, b.T + kPanelInset, b.R - kPanelInset, b.T + kPanelInset + kHeaderHeight};
  if (mBGLayer)
    mBGLayer->Invalidate();
}

void TBGControl::Draw(ISurface& g)
{
  if (!g.CheckLayer(mBGLayer))
  {
    g.StartLayer(this, mRECT);
    DrawPanel(g);
    DrawScales(g);
    mBGLayer = g.EndLayer();
  }
  g.DrawLayer(mBGLayer);
}

void TBGControl::DrawPanel(ISurface& g)
{
  g.FillRect(COLOR_BG, mRECT);
  g.PathClear();
  g.PathRect(mRECT);
  g.PathFill(VerticalGradient(mRECT, COLOR_TOP_HDR, COLOR_BTM_HDR), IFillOptions(), &mBlend);

  // The tab on the panel's top left, joined to the body by a concave fillet.
  const IRECT& h = mHeaderRect;
  const IRECT& p = mPanelRect;
  const float tabRight = h.L + kTabWidth;
  g.PathClear();
  g.PathMoveTo(h.L, h.T + kCorner);
  g.PathArc(h.L + kCorner, h.T + kCorner, kCorner, 270.f, 360.f);
  g.PathArc(tabRight - kCorner, h.T + kCorner, kCorner, 0.f, 90.f);
  g.PathArc(tabRight + kCorner, h.B - kCorner, kCorner, 270.f, 180.f, EWinding::kCCW);
  g.PathArc(p.R - kCorner, h.B + kCorner, kCorner, 0.f, 90.f);
  g.PathArc(p.R - kCorner, p.B - kCorner, kCorner, 90.f, 180.f);
  g.PathArc(p.L + kCorner, p.B - kCorner, kCorner, 180.f, 270.f);
  g.PathClose();

  IFillOptions fill;
  fill.mPreserve = true;
  g.PathFill(VerticalGradient(p, COLOR_TOP_BG, COLOR_BOT_BG), fill);
  g.PathStroke(COLOR_LIGH_FRAME, 1.f, IStrokeOptions());

  // The title sits 4 points inside the tab's inner edge.
  const IRECT tab(h.L, h.T, tabRight, h.B);
  const IRECT titleRect = tab.GetPadded(-kPanelInset).GetTranslated(4.f, 4.f);
  g.DrawSVG(mTitleSVG, titleRect);
}

void TBGControl::AddScaleAround(const TKnob& knob)
{
  if (knob.GetParamIdx() >= 0 && knob.GetParamIdx() < kNumScales)
    mScaleKnobs.push_back(&knob);
  if (mBGLayer)
    mBGLayer->Invalidate();
}

void TBGControl::DrawScales(ISurface& g)
{
  for (const TKnob* knob : mScaleKnobs)
  {
    const IRECT& k = knob->GetKnobRect();
    const Scale& scale = kScales[knob->GetParamIdx()];
    for (int i = 0; i < scale.count; ++i)
      DrawTick(g, scale.legends[i].text, k.MW(), k.MH(), scale.legends[i].angle);
  }
}

void TBGControl::DrawTick(ISurface& g, const char* text, float cx, float cy, float angle)
{
  const float r1 = mTickInner * mScaleSize;
  const float r2 = mTickOuter * mScaleSize;
  const float phi = (angle - 90.f) * std::numbers::pi_v<float> / 180.f;
  const float x1 = cx + r1 * std::cos(phi);
  const float y1 = cy + r1 * std::sin(phi);
  const float x2 = cx + r2 * std::cos(phi);
  const float y2 = cy + r2 * std::sin(phi);
  g.DrawLine(COLOR_EDIT, x1, y1, x2, y2, nullptr, 1.f);
  if (!text || !*text)
    return;

  IRECT measured = mRECT;
  const float w = g.MeasureText(RISC_TEXT, text, measured);
  const float h = measured.H();
  IText style = RISC_TEXT.WithAlign(angle < 0.f ? EAlign::kFar : EAlign::kNear);
  IRECT r;
  r.L = angle < 0.f ? x2 - w : x2;
  r.R = r.L + w;
  const bool lower = angle < -90.f || angle > 90.f;
  r.T = lower ? y1 + 1.f : y1 - 1.f - h;
  r.B = r.T + h;
  g.DrawText(style, text, r);
}

} // namespace quillon
