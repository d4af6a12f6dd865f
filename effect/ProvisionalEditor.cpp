// A provisional editor made of the framework's stock controls: a plain background and one knob per
// parameter (dragged vertically, wheel, double click for the default), so that the editor's window
// can be opened, driven and measured through effEditOpen. The effect's own controls replace this
// file.

#include <cstdio>

#include "effect/QuillonMini.h"
#include "gfx/EmbeddedResources.h"
#include "gfx/IControlBases.h"
#include "gfx/IPictureControls.h"
#include "gfx/ISurface.h"
#include "gfx/platform/ISurfaceLinux.h"
#include "resources/QuillonMiniResources.h"

namespace {

using namespace plug::gfx;

constexpr int kEditorWidth = 340;
constexpr int kEditorHeight = 160;
constexpr int kEditorFPS = 60;
constexpr IColor kBackground{255, 47, 54, 58};
constexpr IColor kKnobBody{255, 70, 80, 85};
constexpr IColor kArc{255, 52, 152, 219};
constexpr IColor kText{255, 201, 207, 211};

class TProvisionalKnob : public IKnobControlBase
{
public:
  TProvisionalKnob(const IRECT& bounds, int paramIdx)
    : IKnobControlBase(bounds, paramIdx)
  {
    DisablePrompt(false);
  }

  // A click on the name below the knob asks for a value.
  void OnMouseDown(float x, float y, const IMouseMod& mod) override
  {
    if (mod.L && LabelRect().Contains(x, y))
      PromptUserInput(LabelRect(), 0);
    else
      IKnobControlBase::OnMouseDown(x, y, mod);
  }

  void Draw(ISurface& g) override
  {
    const float radius = 0.5f * std::min(mRECT.W(), mRECT.H() - 20.f) - 6.f;
    const float cx = mRECT.MW();
    const float cy = mRECT.T + 6.f + radius;
    const float angle = -135.f + 270.f * static_cast<float>(GetValue());
    g.FillCircle(kKnobBody, cx, cy, radius);
    g.DrawArc(kArc, cx, cy, radius + 3.f, -135.f, angle, nullptr, 3.f);
    g.DrawRadialLine(kText, cx, cy, angle, 0.35f * radius, radius, nullptr, 2.f);
    if (const plug::IParam* param = GetParam(); param && GetUI()->GetControlInTextEntry() != this)
      g.DrawText(IText(13.f, kText), param->GetNameForHost(), LabelRect());
  }

private:
  IRECT LabelRect() const { return IRECT(mRECT.L, mRECT.B - 18.f, mRECT.R, mRECT.B); }
};

void Layout(ISurface* ui)
{
  if (ui->NControls() > 0)
    return;
  ui->LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
  ui->EnableMouseOver(true);
  ui->AttachPanelBackground(IPattern(kBackground));
  for (int i = 0; i < TQuillonMini::kNumParams; ++i)
  {
    const float left = 10.f + 80.f * static_cast<float>(i);
    ui->AttachControl(new TProvisionalKnob(IRECT(left, 40.f, left + 80.f, 130.f), i));
  }
  ui->AttachTextEntryControl();
  ui->AssignParamNameToolTips();
  ui->EnableTooltips(true);
}

} // namespace

void TQuillonMini::InstallEditor()
{
  RegisterEmbeddedResources(QuillonMiniResources());
  SetMakeGraphicsFunc([this] {
    std::unique_ptr<ISurface> ui = MakeGraphics(*this, kEditorWidth, kEditorHeight, kEditorFPS, 1.f);
    ui->SetBundleID(GetBundleID());
    ui->SetSharedResourcesSubPath("QuillonMini");
    return ui;
  });
  SetLayoutFunc(Layout);
}

int TQuillonMini::GetScreenScaleForEditor()
{
  return QueryScreenScale();
}
