#pragma once

// Controls that show a picture: a bitmap (one frame per value step), an SVG picture, a panel
// filled with a pattern.

#include "gfx/IControl.h"

namespace plug::gfx {

// Draws its bitmap in its rectangle; with several frames, the frame nearest the value. Reloads the
// bitmap by name when the scale changes, so it stays sharp.
class IBitmapControl : public IControl
{
public:
  IBitmapControl(const IRECT& bounds, const IBitmap& bitmap, int paramIdx = -1, EBlend blend = EBlend::kDefault);

  void Draw(ISurface& g) override;
  void OnRescale() override;
  const IBitmap& GetBitmap() const { return mBitmap; }

private:
  IBitmap mBitmap;
};

// Draws its picture scaled into its rectangle from the top-left corner. With useLayer it renders
// once into a cached layer and redraws from it until its rectangle or a scale changes.
class ISVGControl : public IControl
{
public:
  ISVGControl(const IRECT& bounds, const ISVG& svg, bool useLayer = false);

  void Draw(ISurface& g) override;
  const ISVG& GetSVG() const { return mSVG; }

private:
  ISVG mSVG;
  bool mUseLayer;
  ILayerPtr mLayer;
};

// Fills its rectangle with a pattern; never takes the mouse.
class IPanelControl : public IControl
{
public:
  IPanelControl(const IRECT& bounds, const IPattern& pattern);

  void Draw(ISurface& g) override;
  const IPattern& GetPattern() const { return mPattern; }
  void SetPattern(const IPattern& pattern);

private:
  IPattern mPattern;
};

} // namespace plug::gfx
