// TQuillonMini's editor side: the layout of its controls and what happens when the editor opens
// and closes.

#include "effect/QuillonMini.h"

#include <algorithm>
#include <cmath>

#include "checks/ThreadChecks.h"
#include "effect/Palette.h"
#include "effect/about.h"
#include "effect/bgctrl.h"
#include "effect/controls.h"
#include "effect/inifile.h"
#include "effect/knobs.h"
#include "gfx/EmbeddedResources.h"
#include "gfx/IControl.h"
#include "gfx/ISurface.h"
#include "gfx/platform/PlatformSurface.h"
#include "resources/QuillonMiniResources.h"

namespace quillon {

using namespace plug::gfx;

namespace {

constexpr const char* kScaleSection = "Params";
constexpr const char* kScaleKey = "Scale";

struct KnobPlace
{
  IRECT bounds;
  int paramIdx;
  const char* caption;
  float anchorAngle;
};

const KnobPlace kKnobPlaces[] = {
    {{10.f, 45.f, 90.f, 139.f}, TQuillonMini::kDecay, "Decay", -135.f},
    {{90.f, 45.f, 170.f, 139.f}, TQuillonMini::kWidth, "Width", -135.f},
    {{170.f, 45.f, 250.f, 139.f}, TQuillonMini::kColor, "Color", 0.f},
    {{250.f, 45.f, 330.f, 139.f}, TQuillonMini::kMix, "Mix", -135.f},
};

// The preset strip starts just right of the title tab.
constexpr float kPresetStripLeft = 81.f;
constexpr float kPresetStripHeight = 30.f;

} // namespace

// The editor's surface is the platform's; its layout is LayoutUI.
void TQuillonMini::InstallEditor()
{
  TIniFile::GetIniFileName(mIniFileName);
  SetMakeGraphicsFunc([this]() -> std::unique_ptr<ISurface> {
    std::unique_ptr<ISurface> ui = MakeGraphics(*this, kEditorWidth, kEditorHeight, kEditorFPS, 1.f);
    if (ui)
      ConfigureSurface(*ui);
    return ui;
  });
}

void TQuillonMini::ConfigureSurface(ISurface& ui)
{
  ui.SetBundleID(kBundleID);
  ui.SetSharedResourcesSubPath("QuillonMini");
  ui.SetWindowTitle("QuillonMini");
}

bool TQuillonMini::OnHostRequestingAboutBox()
{
  return ShowAboutBox();
}

bool TQuillonMini::ShowAboutBox()
{
  QM_MAIN_THREAD(EditorThread());
  if (!mAboutBox)
    return false;
  mAboutBox->Hide(false);
  return true;
}

void TQuillonMini::LayoutUI(ISurface* ui)
{
  if (ui)
    LayoutEditor(*ui);
}

int TQuillonMini::GetScreenScaleForEditor()
{
  return QueryScreenScale();
}

float TQuillonMini::GetDrawScaleForEditor()
{
  const float scale = TIniFile(mIniFileName).ReadFloat(kScaleSection, kScaleKey, 1.f);
  return std::isfinite(scale) ? std::clamp(scale, kMinEditorScale, kMaxEditorScale) : 1.f;
}

void TQuillonMini::LayoutEditor(ISurface& g)
{
  // The artwork built into the plug-in is found before anything on disk.
  RegisterEmbeddedResources(QuillonMiniResources());
  const ISVG title = g.LoadSVG(kTitleFile);
  const ISVG logo = g.LoadSVG(kLogoFile);
  g.LoadFont(kTextFontID, kTextFontFile);
  g.LoadFont(kIconFontID, kIconFontFile);

  const float w = float(g.Width());
  const float h = float(g.Height());
  auto* panel = new TBGControl(IRECT(0.f, 0.f, w, h), ICON_TEXT, logo, title);
  g.AttachBackgroundControl(panel);
  g.EnableMouseOver(true);
  g.AttachTextEntryControl();
  // Menus and notices open below the preset strip, in the editor's look on every surface, and
  // never under the press that opened them.
  const IRECT belowStrip(0.f, kPresetStripHeight, w, h);
  g.AttachPopupMenuControl(MENU_STYLE, belowStrip);
  g.AttachNoticeControl(NOTICE_STYLE, belowStrip);
  g.AttachCornerResizer(EUIResizerMode::kScale, false);

  for (const KnobPlace& place : kKnobPlaces)
  {
    auto* knob = new TKnob(place.bounds, place.paramIdx, place.caption, place.anchorAngle);
    g.AttachControl(knob);
    panel->AddScaleAround(*knob);
  }

  mPresetControl =
      new TPresetControl(IRECT(kPresetStripLeft, 0.f, w, kPresetStripHeight), PRESET_NAME_TEXT, ICON_TEXT, *this);
  g.AttachControl(mPresetControl);
  mAboutBox = new TAboutBox(IRECT(0.f, 0.f, w, h), logo, title, *this);
  g.AttachControl(mAboutBox);

  g.SetScaleLimits(kMinEditorScale, kMaxEditorScale);
  g.Resize(kEditorWidth, kEditorHeight, GetDrawScaleForEditor());
}

void TQuillonMini::OnUIClose()
{
  if (const ISurface* ui = GetUI())
    TIniFile(mIniFileName).WriteFloat(kScaleSection, kScaleKey, ui->GetDrawScale());
  NullControls();
}

TAboutBox* TQuillonMini::GetAboutBox() const
{
  return static_cast<TAboutBox*>(mAboutBox);
}

void TQuillonMini::NullControls()
{
  mPresetControl = nullptr;
  mAboutBox = nullptr;
}

} // namespace quillon
