#include "gfx/IPictureControls.h"

#include <algorithm>
#include <cmath>

#include "gfx/ISurface.h"

namespace plug::gfx {

IBitmapControl::IBitmapControl(const IRECT& bounds, const IBitmap& bitmap, int paramIdx, EBlend blend)
  : IControl(bounds, paramIdx),
    mBitmap(bitmap)
{
  mBlend = IBlend(blend, 1.f);
}

void IBitmapControl::Draw(ISurface& g)
{
  if (!mBitmap.IsValid())
    return;
  int srcX = 0, srcY = 0;
  if (mBitmap.N() > 1)
  {
    const int frame = static_cast<int>(std::lround(GetValue() * (mBitmap.N() - 1)));
    const int clamped = std::clamp(frame, 0, mBitmap.N() - 1);
    if (mBitmap.GetFramesAreHorizontal())
      srcX = static_cast<int>(static_cast<float>(clamped) * mBitmap.FW());
    else
      srcY = static_cast<int>(static_cast<float>(clamped) * mBitmap.FH());
  }
  g.DrawBitmap(mBitmap, mRECT, srcX, srcY, &mBlend);
}

void IBitmapControl::OnRescale()
{
  if (!mBitmap.IsValid() || !GetUI())
    return;
  IBitmap reloaded =
      GetUI()->LoadBitmap(mBitmap.GetResourceName().c_str(), mBitmap.N(), mBitmap.GetFramesAreHorizontal());
  if (reloaded.IsValid())
    mBitmap = reloaded;
}

ISVGControl::ISVGControl(const IRECT& bounds, const ISVG& svg, bool useLayer)
  : IControl(bounds),
    mSVG(svg),
    mUseLayer(useLayer)
{
}

void ISVGControl::Draw(ISurface& g)
{
  if (!mUseLayer)
  {
    g.DrawSVG(mSVG, mRECT, &mBlend);
    return;
  }
  if (!g.CheckLayer(mLayer))
  {
    g.StartLayer(this, mRECT);
    g.DrawSVG(mSVG, mRECT);
    mLayer = g.EndLayer();
  }
  g.DrawLayer(mLayer, &mBlend);
}

IPanelControl::IPanelControl(const IRECT& bounds, const IPattern& pattern)
  : IControl(bounds),
    mPattern(pattern)
{
  mIgnoreMouse = true;
}

void IPanelControl::SetPattern(const IPattern& pattern)
{
  mPattern = pattern;
  SetDirty(false);
}

void IPanelControl::Draw(ISurface& g)
{
  if (mPattern.mType == EPatternType::kSolid || !g.HasPathSupport())
  {
    g.FillRect(mPattern.NStops() > 0 ? mPattern.GetStop(0).mColor : COLOR_TRANSPARENT, mRECT, &mBlend);
    return;
  }
  g.PathClear();
  g.PathRect(mRECT);
  g.PathFill(mPattern, {}, &mBlend);
}

} // namespace plug::gfx
