#pragma once

// Everything of the editor that does not move: the window background, the raised panel with the
// title tab and the printed scales around the knobs, drawn once into a cached layer. It is the
// editor's background control and never takes the mouse. Threads: [main] throughout.

#include <vector>

#include "gfx/IBitmap.h"
#include "gfx/IControl.h"

namespace quillon {

class TKnob;

class TBGControl : public plug::gfx::IControl
{
public:
  // logo is the about box's picture and is not drawn here; title goes into the tab.
  TBGControl(const plug::gfx::IRECT& bounds, const plug::gfx::IText& text, const plug::gfx::ISVG& logo,
             const plug::gfx::ISVG& title);

  void OnResize() override;
  void Draw(plug::gfx::ISurface& g) override;

  // Prints the scale of knob's parameter (Decay's seconds, Width's mono and wide, ...) around it.
  // The knob lives on the same surface as the panel.
  void AddScaleAround(const TKnob& knob);

  const plug::gfx::IRECT& GetPanelRect() const { return mPanelRect; }
  const plug::gfx::IRECT& GetHeaderRect() const { return mHeaderRect; }
  // The tab's width; the preset strip starts right of it.
  static constexpr float kTabWidth = 76.f;

private:
  void DrawPanel(plug::gfx::ISurface& g);
  void DrawScales(plug::gfx::ISurface& g);
  // A tick at angle (degrees clockwise from up) around (cx, cy) and its legend beyond it.
  void DrawTick(plug::gfx::ISurface& g, const char* text, float cx, float cy, float angle);

  plug::gfx::IRECT mHeaderRect;
  plug::gfx::IRECT mPanelRect;
  plug::gfx::ISVG mTitleSVG;
  float mTickInner = 0.58f;
  float mTickOuter = 0.64f;
  float mScaleSize = 50.f;
  plug::gfx::ILayerPtr mBGLayer;
  std::vector<const TKnob*> mScaleKnobs;
};

} // namespace quillon
