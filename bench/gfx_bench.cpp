// Frames of an editor like the effect's: a 340 x 160 panel drawn at draw scale 2 into the Cairo
// frame. The panel (gradients, an outlined path with arcs, tick marks, 14 legends of size 9, a
// title picture) and the four knob bodies (gradient faces with drop shadows) are cached layers, as
// the effect's controls cache them; each frame redraws the knobs' arcs, pointers and texts, 24
// small buttons with captions over them. QM_GFX_BENCH_PNG=file.png writes a picture of the frame.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gfx/IControl.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "gfx/platform/ISurfaceHeadless.h"
#include "tests/support/AllocationCounter.h"

using namespace plug::gfx;

namespace {

const char* const kRoboto = "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf";

const IColor kBG(255, 47, 54, 58), kTopHdr(255, 27, 31, 33), kBtmHdr(255, 10, 13, 16), kTopBG(255, 58, 66, 71),
    kBotBG(255, 33, 38, 41), kFrame(255, 118, 122, 124), kEdit(255, 201, 207, 211), kKnobTop(255, 70, 80, 85),
    kKnobBottom(255, 49, 56, 60), kTrack(255, 130, 130, 130), kLine(255, 240, 240, 240);

class BenchDelegate : public ISurfaceEditorDelegate
{
public:
  BenchDelegate()
    : ISurfaceEditorDelegate(0)
  {
  }
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}
};

class Panel : public IControl
{
public:
  Panel(const IRECT& r, ISVG title, std::vector<IRECT> knobAreas)
    : IControl(r),
      mTitle(std::move(title)),
      mKnobAreas(std::move(knobAreas))
  {
    SetIgnoreMouse(true);
  }
  void InvalidateLayer()
  {
    if (mLayer)
      mLayer->Invalidate();
  }
  void Draw(ISurface& g) override
  {
    if (!g.CheckLayer(mLayer))
    {
      g.StartLayer(this, mRECT);
      DrawStatic(g);
      mLayer = g.EndLayer();
    }
    g.DrawLayer(mLayer);
  }

private:
  void DrawStatic(ISurface& g)
  {
    const IRECT b = mRECT, p = b.GetPadded(-3.5f), h(p.L, p.T, p.R, p.T + 24.f);
    g.FillRect(kBG, b);
    g.PathClear();
    g.PathRect(b);
    g.PathFill(IPattern::CreateLinearGradient(b.MW(), b.T, b.MW(), b.B, {{kTopHdr, 0.f}, {kBtmHdr, 1.f}}));
    const float x = h.L + 76.f;
    g.PathClear();
    g.PathMoveTo(h.L, h.T + 4.f);
    g.PathArc(h.L + 4.f, h.T + 4.f, 4.f, 270.f, 360.f);
    g.PathArc(x - 4.f, h.T + 4.f, 4.f, 0.f, 90.f);
    g.PathArc(x + 4.f, h.B - 4.f, 4.f, 270.f, 180.f, EWinding::kCCW);
    g.PathArc(p.R - 4.f, h.B + 4.f, 4.f, 0.f, 90.f);
    g.PathArc(p.R - 4.f, p.B - 4.f, 4.f, 90.f, 180.f);
    g.PathArc(p.L + 4.f, p.B - 4.f, 4.f, 180.f, 270.f);
    g.PathClose();
    IFillOptions keep;
    keep.mPreserve = true;
    g.PathFill(IPattern::CreateLinearGradient(p.MW(), p.T, p.MW(), p.B, {{kTopBG, 0.f}, {kBotBG, 1.f}}), keep);
    g.PathStroke(kFrame, 1.f);
    g.DrawSVG(mTitle, {h.L + 7.5f, h.T + 7.5f, h.L + 76.5f, h.B + 0.5f});
    static const char* const kLegends[] = {"0.1", "1", "10", "100", "mono", "wide", "lo", "hi", "dry", "wet"};
    int legend = 0;
    for (const IRECT& k : mKnobAreas)
      for (float angle : {-135.f, -45.f, 45.f, 135.f})
      {
        const double phi = (angle - 90.0) * M_PI / 180.0;
        const float cx = k.MW(), cy = k.MH();
        g.DrawLine(kEdit, cx + 29.f * float(std::cos(phi)), cy + 29.f * float(std::sin(phi)),
                   cx + 32.f * float(std::cos(phi)), cy + 32.f * float(std::sin(phi)));
        if (std::abs(angle) < 90.f && &k != &mKnobAreas.front())
          continue;
        const IText risc(9.f, kEdit, "Roboto-Regular", angle < 0.f ? EAlign::kFar : EAlign::kNear, EVAlign::kTop);
        const float x2 = cx + 32.f * float(std::cos(phi)), y1 = cy + 29.f * float(std::sin(phi));
        g.DrawText(risc, kLegends[legend++ % 10],
                   angle < 0.f ? IRECT(x2 - 30.f, y1 + 1.f, x2, y1 + 10.f) : IRECT(x2, y1 + 1.f, x2 + 30.f, y1 + 10.f));
      }
  }

  ISVG mTitle;
  std::vector<IRECT> mKnobAreas;
  ILayerPtr mLayer;
};

class Knob : public IControl
{
public:
  Knob(const IRECT& r, const char* label)
    : IControl(r),
      mLabel(label)
  {
    SetValue(0.4);
  }
  void InvalidateLayer()
  {
    if (mLayer)
      mLayer->Invalidate();
  }
  IRECT KnobArea() const { return {mRECT.L, mRECT.T + 24.f, mRECT.R, mRECT.B - 16.f}; }
  void Draw(ISurface& g) override
  {
    const IRECT k = KnobArea();
    const float cx = k.MW(), cy = k.MH(), a = 0.5f * std::min(k.W(), k.H()) - 1.f;
    if (!g.CheckLayer(mLayer))
    {
      g.StartLayer(this, mRECT);
      const float d = 2.f * (a - 3.f);
      const IRECT e(cx - 0.5f * d, cy - 0.5f * d, cx + 0.5f * d, cy + 0.5f * d);
      g.FillEllipse(COLOR_BLACK, e);
      g.FillEllipse(IColor(255, 140, 140, 140), {e.L + 2.f, e.T + 2.f, e.R - 2.f, e.B - 3.f});
      const IRECT f(e.L + 2.f, e.T + 3.f, e.R - 2.f, e.B - 2.f);
      g.PathClear();
      g.PathEllipse(f);
      g.PathFill(IPattern::CreateLinearGradient(f.MW(), f.T, f.MW(), f.B, {{kKnobTop, 0.f}, {kKnobBottom, 1.f}}));
      mLayer = g.EndLayer();
      IShadow shadow;
      shadow.mBlurSize = 5.f;
      shadow.mYOffset = 2.f;
      shadow.mOpacity = 0.5f;
      g.ApplyLayerDropShadow(mLayer, shadow);
    }
    g.DrawLayer(mLayer);
    const float t = -135.f + 270.f * float(GetValue());
    g.DrawArc(kTrack, cx, cy, a, -135.f, 135.f, &mBlend, 2.f);
    g.DrawArc(kLine, cx, cy, a, -135.f, t, &mBlend, 2.f);
    g.DrawRadialLine(kLine, cx, cy, t, 0.1f * a, 0.7f * a, &mBlend, 2.5f);
    g.DrawText(IText(20.f, kEdit, "Roboto-Regular", EAlign::kCenter, EVAlign::kTop), mLabel, mRECT, &mBlend);
    char value[32];
    std::snprintf(value, sizeof value, "%.1f %%", 100.0 * GetValue());
    g.DrawText(IText(16.f, kEdit, "Roboto-Regular", EAlign::kCenter, EVAlign::kBottom), value, mRECT, &mBlend);
  }

private:
  const char* mLabel;
  ILayerPtr mLayer;
};

class Button : public IControl
{
public:
  Button(const IRECT& r, const char* caption)
    : IControl(r),
      mCaption(caption)
  {
  }
  void Draw(ISurface& g) override
  {
    g.FillRoundRect(IColor(255, 27, 31, 33), mRECT, 3.f);
    g.DrawRoundRect(IColor(255, 46, 49, 49), mRECT, 3.f);
    g.DrawText(IText(8.f, kEdit, "Roboto-Regular"), mCaption, mRECT);
  }

private:
  const char* mCaption;
};

struct Editor
{
  BenchDelegate delegate;
  ISurfaceHeadless surface{delegate, 340, 160, 60, 2.f};
  std::vector<Knob*> knobs;
  Panel* panel = nullptr;

  Editor()
  {
    surface.LoadFont("Roboto-Regular", kRoboto);
    std::vector<IRECT> areas;
    static const char* const kLabels[] = {"Decay", "Width", "Color", "Mix"};
    for (int i = 0; i < 4; ++i)
    {
      knobs.push_back(new Knob(IRECT::MakeXYWH(20.f + 78.f * float(i), 40.f, 70.f, 100.f), kLabels[i]));
      areas.push_back(knobs.back()->KnobArea());
    }
    panel = new Panel(surface.GetBounds(), surface.LoadSVG(QM_BENCH_TITLE), areas);
    surface.AttachBackgroundControl(panel);
    for (Knob* k : knobs)
      surface.AttachControl(k);
    static const char* const kCaptions[] = {"<", ">", "Menu", "Store", "Load", "Save"};
    for (int i = 0; i < 24; ++i) // two rows of small buttons along the top
      surface.AttachControl(new Button(
          IRECT::MakeXYWH(92.f + 20.f * float(i % 12), 4.f + 11.f * float(i / 12), 19.f, 10.f), kCaptions[i % 6]));
    DrawAll();                                             // the cached layers are made here
    if (const char* png = std::getenv("QM_GFX_BENCH_PNG")) // a picture of the frame measured
      surface.WritePNG(png);
  }
  void DrawAll()
  {
    surface.SetAllControlsDirty();
    surface.DrawFrame();
  }
};

Editor& TheEditor()
{
  static Editor* editor = new Editor; // kept for the process: the caches outlive the benchmarks
  return *editor;
}

void BM_FullFrame(benchmark::State& state)
{
  Editor& e = TheEditor();
  for (auto _ : state)
    e.DrawAll();
}
BENCHMARK(BM_FullFrame)->Unit(benchmark::kMillisecond);

// The same with the layers rebuilt (as after a resize): the shadow blur and the panel's drawing.
void BM_FullFrameRebuildingLayers(benchmark::State& state)
{
  Editor& e = TheEditor();
  for (auto _ : state)
  {
    e.panel->InvalidateLayer();
    for (Knob* k : e.knobs)
      k->InvalidateLayer();
    e.DrawAll();
  }
}
BENCHMARK(BM_FullFrameRebuildingLayers)->Unit(benchmark::kMillisecond);

void BM_OneKnobRegion(benchmark::State& state)
{
  Editor& e = TheEditor();
  Knob* knob = e.knobs[1];
  double v = 0.0;
  for (auto _ : state)
  {
    v = v > 0.99 ? 0.0 : v + 0.01;
    knob->SetValue(v);
    knob->SetDirty(false);
    e.surface.DrawFrame();
  }
}
BENCHMARK(BM_OneKnobRegion)->Unit(benchmark::kMicrosecond);

void BM_NothingDirty(benchmark::State& state)
{
  Editor& e = TheEditor();
  e.surface.DrawFrame();
  long allocations = 0;
  for (auto _ : state)
  {
    const long before = AllocationsSoFar();
    benchmark::DoNotOptimize(e.surface.DrawFrame());
    allocations += AllocationsSoFar() - before;
  }
  state.counters["allocations"] = benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_NothingDirty)->Unit(benchmark::kMicrosecond);

} // namespace
