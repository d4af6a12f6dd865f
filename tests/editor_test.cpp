// The effect's editor on the headless surface, driven as a user drives it: knobs, the preset
// strip with its menus and files, the about box, the scale kept across openings, and pixels.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "checks/ThreadChecks.h"
#include "effect/Palette.h"
#include "effect/about.h"
#include "effect/controls.h"
#include "effect/inifile.h"
#include "effect/knobs.h"
#include "gfx/INoticeControl.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ITextEntryControl.h"
#include "gfx/ITextFit.h"
#include "gfx/platform/DesktopDialogs.h"
#include "plug/core/IPresetDelegate.h"
#include "plug/core/Timer.h"
#include "tests/support/GfxTestSurface.h"
#include "tests/support/TempFolder.h"
#include "tools/EditorSession.h"

using namespace plug::gfx;

using namespace quillon;

namespace {

struct HostCall
{
  VstInt32 opcode;
  VstInt32 index;
  bool operator==(const HostCall&) const = default;
};
std::vector<HostCall> gHostCalls;

VstIntPtr RecordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float)
{
  if (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit ||
      opcode == audioMasterUpdateDisplay)
    gHostCalls.push_back({opcode, index});
  return 0;
}

class EditorTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(session.Open());
    session.Frame();
    gHostCalls.clear();
  }

  void Do(const std::string& event)
  {
    std::string error;
    ASSERT_TRUE(session.Apply(event, error)) << error;
  }
  static std::string At(const char* verb, float x, float y)
  {
    return std::string(verb) + ":" + std::to_string(x) + "," + std::to_string(y);
  }
  void Click(const IRECT& r) { Do(At("click", r.MW(), r.MH())); }

  TKnob& Knob(int paramIdx) { return dynamic_cast<TKnob&>(*session.UI().GetControlWithTag(paramIdx)); }
  TPresetControl& Strip() { return *session.Plugin().GetPresetControl(); }
  double Norm(int paramIdx) { return session.Plugin().GetParam(paramIdx)->GetNormalizedValue(); }
  int Preset() { return session.Plugin().GetCurrentPresetIdx(); }
  bool HostHeard(VstInt32 opcode) const
  {
    for (const HostCall& call : gHostCalls)
      if (call.opcode == opcode)
        return true;
    return false;
  }
  // Chooses item itemIdx of the service menu and lets the deferred command run.
  void Service(int itemIdx)
  {
    Click(Strip().GetZoneRect(TPresetControl::kMenuZone));
    Do("menu:" + std::to_string(itemIdx));
    session.RunFor(100);
  }
  const std::string& Notice() { return session.UI().GetNoticeControl()->GetNotice(); }

  static inline const TempSettingsFolder sSettings{"qm_editor"};
  EditorSession session{RecordingHost};
};

} // namespace

TEST_F(EditorTest, KnobDragsByGearingWithGesturesToTheHost)
{
  TKnob& decay = Knob(TQuillonMini::kDecay);
  const IRECT k = decay.GetKnobRect();
  const float h = decay.GetRECT().H();
  session.Plugin().GetParam(TQuillonMini::kDecay)->SetNormalizedValue(0.3);

  Do(At("down", k.MW(), k.MH()));
  Do("drag:" + std::to_string(k.MW()) + "," + std::to_string(k.MH()) + ",0," + std::to_string(-h));
  EXPECT_TRUE(session.UI().CursorHidden());
  Do(At("up", k.MW(), k.MH()));
  EXPECT_NEAR(Norm(TQuillonMini::kDecay), 0.55, 1e-9);
  EXPECT_FALSE(session.UI().CursorHidden());
  ASSERT_GE(gHostCalls.size(), 3u);
  EXPECT_EQ(gHostCalls.front(), (HostCall{audioMasterBeginEdit, 0}));
  EXPECT_EQ(gHostCalls[1], (HostCall{audioMasterAutomate, 0}));
  EXPECT_EQ(gHostCalls.back(), (HostCall{audioMasterEndEdit, 0}));

  // Shift gears down by ten; a drag reported outside the knob changes nothing; the range ends at 1.
  Do("shift");
  Do(At("down", k.MW(), k.MH()));
  Do("drag:" + std::to_string(k.MW()) + "," + std::to_string(k.MH()) + ",0," + std::to_string(-h));
  Do("drag:5,5,0,-50");
  Do(At("up", k.MW(), k.MH()));
  EXPECT_NEAR(Norm(TQuillonMini::kDecay), 0.575, 1e-9);
  Do("plain");
  Do(At("down", k.MW(), k.MH()));
  Do("drag:" + std::to_string(k.MW()) + "," + std::to_string(k.MH()) + ",0,-1000");
  Do(At("up", k.MW(), k.MH()));
  EXPECT_DOUBLE_EQ(Norm(TQuillonMini::kDecay), 1.0);

  // The wheel steps by a hundredth; a double click restores the default.
  Do("wheel:" + std::to_string(k.MW()) + "," + std::to_string(k.MH()) + ",-1");
  EXPECT_NEAR(Norm(TQuillonMini::kDecay), 0.99, 1e-9);
  Do(At("dblclick", k.MW(), k.MH()));
  EXPECT_FALSE(session.UI().CursorHidden()); // the double click ends the drag its first press began
  EXPECT_NEAR(session.Plugin().GetParam(TQuillonMini::kDecay)->GetValue(), 3.2, 1e-9);
  EXPECT_EQ(decay.GetValueStr(), "3.2 s");
}

TEST_F(EditorTest, TypedValueSetsTheParameterAndHidesTheValueMeanwhile)
{
  // A right click on the knob opens the value field; a decimal comma is a point, and an emptied
  // field leaves the value as it was.
  TKnob& decay = Knob(TQuillonMini::kDecay);
  const auto type = [&](std::initializer_list<const char*> keys) {
    for (const char* key : keys)
      session.UI().OnKeyDown(0.f, 0.f, plug::IKeyPress(key, key[0]));
    session.UI().OnKeyDown(0.f, 0.f, plug::IKeyPress("", plug::kVK_RETURN));
    session.Frame();
  };
  session.UI().OnMouseDown(decay.GetKnobRect().MW(), decay.GetKnobRect().MH(), IMouseMod(false, true));
  EXPECT_TRUE(decay.IsTextEditing());
  type({"3", ",", "5"});
  EXPECT_DOUBLE_EQ(session.Plugin().GetParam(TQuillonMini::kDecay)->GetValue(), 3.5);
  Click(decay.GetValueRect());
  session.UI().OnKeyDown(0.f, 0.f, plug::IKeyPress("", plug::kVK_BACK));
  type({});
  EXPECT_DOUBLE_EQ(session.Plugin().GetParam(TQuillonMini::kDecay)->GetValue(), 3.5);

  TKnob& mix = Knob(TQuillonMini::kMix);
  Click(mix.GetValueRect());
  ITextEntryControl* field = session.UI().GetTextEntryControl();
  ASSERT_TRUE(field && field->EditInProgress());
  EXPECT_EQ(field->GetStr(), "21");
  EXPECT_TRUE(mix.IsTextEditing());

  for (const char* key : {"4", "5"})
    session.UI().OnKeyDown(0.f, 0.f, plug::IKeyPress(key, key[0]));
  session.UI().OnKeyDown(0.f, 0.f, plug::IKeyPress("", plug::kVK_RETURN));
  session.Frame();
  EXPECT_DOUBLE_EQ(session.Plugin().GetParam(TQuillonMini::kMix)->GetValue(), 45.0);
  EXPECT_FALSE(mix.IsTextEditing());
  EXPECT_EQ(mix.GetValueStr(), "45 %");
}

TEST_F(EditorTest, PresetStripStepsWrapsAndPicksFromTheList)
{
  TPresetControl& strip = Strip();
  Click(strip.GetZoneRect(TPresetControl::kPrevZone));
  EXPECT_EQ(Preset(), 19);
  session.Frame();
  EXPECT_EQ(strip.GetShownName(), "Deep Underground");
  // A press on "next" released anywhere still steps.
  const IRECT next = strip.GetZoneRect(TPresetControl::kNextZone);
  Do(At("down", next.MW(), next.MH()));
  Do("up:5,150");
  EXPECT_EQ(Preset(), 0);
  EXPECT_TRUE(HostHeard(audioMasterUpdateDisplay));

  gHostCalls.clear();
  Click(strip.GetZoneRect(TPresetControl::kNameZone));
  session.RunFor(200);
  Do("menu:5");
  EXPECT_EQ(Preset(), 5);
  EXPECT_EQ(session.Plugin().GetCurrentPresetName(), "Medium Hall");
  EXPECT_TRUE(HostHeard(audioMasterUpdateDisplay));

  // A long name is cut to the strip with an ellipsis.
  const std::string shown = EllipsizedToWidth(session.UI(), PRESET_NAME_TEXT, std::string(80, 'W') + "\xC3\xA9", 150.f);
  IRECT r;
  EXPECT_EQ(shown.substr(shown.size() - 3), "\xE2\x80\xA6");
  EXPECT_LE(session.UI().MeasureText(PRESET_NAME_TEXT, shown.c_str(), r), 150.f);
}

TEST_F(EditorTest, DismissedMenusChangeNothing)
{
  session.Plugin().SetCurrentPreset(3);
  gHostCalls.clear();
  for (int zone : {TPresetControl::kNameZone, TPresetControl::kMenuZone})
  {
    Click(Strip().GetZoneRect(zone));
    session.RunFor(200);
    Do("click:5,150"); // outside the menu
    session.RunFor(200);
  }
  EXPECT_EQ(Preset(), 3);
  EXPECT_TRUE(gHostCalls.empty());
  EXPECT_TRUE(session.UI().FilePrompts().empty());
  EXPECT_EQ(session.UI().GetControlInTextEntry(), nullptr);
}

// A double click opens a menu and does nothing more. The program list opens below the strip, clear
// of the pointer; the second press chooses nothing from it, and after a first press that chose an
// item lying over a knob, it does not reach the knob (which would return to its default).
TEST_F(EditorTest, ADoubleClickOpensAMenuAndChoosesNothingMore)
{
  TQuillonMini& plugin = session.Plugin();
  std::vector<std::vector<double>> programs; // each program's values
  for (int i = 0; i < plugin.NPresets(); ++i)
  {
    plugin.SetCurrentPreset(i);
    programs.emplace_back();
    for (int k = 0; k < TQuillonMini::kNumParams; ++k)
      programs.back().push_back(plugin.GetParam(k)->GetValue());
  }
  plugin.SetCurrentPreset(0);
  session.Frame();

  const IPopupMenuControl& menu = *session.UI().GetPopupMenuControl();
  for (int zone : {TPresetControl::kNameZone, TPresetControl::kMenuZone})
  {
    const IRECT r = Strip().GetZoneRect(zone);
    Do(At("dblclick", r.MW(), r.MH()));
    session.RunFor(200);
    EXPECT_TRUE(menu.GetExpanded()) << zone;
    EXPECT_GE(menu.GetPanelBounds(0).T, Strip().GetRECT().B) << zone;
    Do("click:5,150"); // dismissed
  }
  session.RunFor(200);
  EXPECT_EQ(Preset(), 0);
  EXPECT_TRUE(session.UI().FilePrompts().empty());
  EXPECT_EQ(session.UI().GetControlInTextEntry(), nullptr);

  // An item whose cell lies over a knob (its dial) whose program value is not the knob's default.
  Click(Strip().GetZoneRect(TPresetControl::kNameZone));
  for (int i = 1; i < plugin.NPresets() && Preset() == 0; ++i)
  {
    const IRECT cell = menu.GetItemBounds(0, i);
    for (int k = 0; k < TQuillonMini::kNumParams && Preset() == 0; ++k)
    {
      const plug::IParam& param = *plugin.GetParam(k);
      if (!Knob(k).GetKnobRect().Contains(cell.MW(), cell.MH()) || programs[i][k] == param.GetDefault())
        continue;
      Do(At("dblclick", cell.MW(), cell.MH()));
      EXPECT_EQ(Preset(), i);
      EXPECT_EQ(param.GetValue(), programs[i][k]) << param.GetNameForHost();
    }
  }
  EXPECT_NE(Preset(), 0);
}

TEST_F(EditorTest, FileCommandsProposeNamesAndShowFailures)
{
  session.Plugin().SetCurrentPreset(2);
  session.UI().ScriptFileAnswer(sSettings.PathOf("no such folder/x.fxp"));
  Service(4); // "Save Preset..."
  ASSERT_EQ(session.UI().FilePrompts().size(), 1u);
  EXPECT_EQ(session.UI().FilePrompts()[0].action, EFileAction::kSave);
  EXPECT_EQ(session.UI().FilePrompts()[0].fileName, "Small Hall.fxp");
  EXPECT_EQ(Notice(), "Could not save the preset");
  session.RunFor(INoticeControl::ShowMs(Notice()) + 100);
  EXPECT_EQ(Notice(), "");

  // A file that is not a preset leaves the values and the presets as they were.
  const std::string junk = sSettings.PathOf("junk.fxp");
  std::ofstream(junk) << "not a preset";
  const double width = Norm(TQuillonMini::kWidth);
  session.UI().ScriptFileAnswer(junk);
  Service(3); // "Load Preset..."
  EXPECT_EQ(Notice(), "Not a QuillonMini preset");
  EXPECT_EQ(Norm(TQuillonMini::kWidth), width);
  EXPECT_EQ(session.Plugin().GetCurrentPresetName(), "Small Hall");

  // A notice lies below the strip with its text whole, wrapped when long; a press takes it away.
  session.UI().ShowNotice(plug::gfx::kNoDialogToolMessage);
  const INoticeControl& notice = *session.UI().GetNoticeControl();
  std::string shown;
  for (const std::string& line : notice.GetLines())
    shown += (shown.empty() ? "" : " ") + line;
  EXPECT_EQ(shown, plug::gfx::kNoDialogToolMessage);
  EXPECT_GT(notice.GetLines().size(), 1u);
  EXPECT_TRUE(IRECT(0.f, Strip().GetRECT().B, 340.f, 160.f).Contains(notice.GetPanelBounds()));
  session.RunFor(500);
  Click(notice.GetPanelBounds());
  EXPECT_EQ(Notice(), "");
  EXPECT_EQ(Preset(), 2);

  // A name chosen without the extension gets it, unless a file of that name exists; one that has
  // it, in any letter case, is kept.
  session.UI().ScriptFileAnswer(sSettings.PathOf("mine"));
  Service(4);
  EXPECT_TRUE(std::filesystem::exists(sSettings.PathOf("mine.fxp")));
  EXPECT_FALSE(std::filesystem::exists(sSettings.PathOf("mine")));
  session.UI().ScriptFileAnswer(sSettings.PathOf("mine"));
  Service(4);
  EXPECT_EQ(Notice(), "A file of that name exists");
  session.UI().ScriptFileAnswer(sSettings.PathOf("Other.FXP"));
  Service(4);
  EXPECT_TRUE(std::filesystem::exists(sSettings.PathOf("Other.FXP")));
  EXPECT_FALSE(std::filesystem::exists(sSettings.PathOf("Other.FXP.fxp")));

  Service(6); // "Save Bank...", cancelled
  EXPECT_EQ(session.UI().FilePrompts().back().fileName, "NewBank.fxb");
  EXPECT_EQ(TPresetControl::ProposedPresetFileName("A/B"), "A-B.fxp");
  EXPECT_EQ(TPresetControl::ProposedPresetFileName(""), "Preset.fxp");
}

TEST_F(EditorTest, AboutBoxTakesTheMouseOnlyWhileShown)
{
  TAboutBox& about = *session.Plugin().GetAboutBox();
  const IRECT k = Knob(TQuillonMini::kWidth).GetKnobRect();
  EXPECT_TRUE(about.IsHidden());
  Click(k);
  EXPECT_TRUE(HostHeard(audioMasterBeginEdit));

  // The fade lasts its time at a host's slow idle rate too.
  ASSERT_TRUE(session.Plugin().OnHostRequestingAboutBox());
  for (int i = 0; i < 9; ++i)
    session.Frame(40);
  EXPECT_FLOAT_EQ(about.GetAlpha(), 1.f);
  EXPECT_FALSE(about.IsAnimating());
  gHostCalls.clear();
  Click(k);
  EXPECT_TRUE(gHostCalls.empty());
  Click(about.GetURLRect());
  ASSERT_EQ(session.UI().OpenedURLs().size(), 1u);
  EXPECT_EQ(session.UI().OpenedURLs()[0], kMakerSiteURL);

  Click(about.GetOKButton()->GetRECT());
  session.RunFor(500);
  EXPECT_TRUE(about.IsHidden());
  EXPECT_TRUE(about.GetOKButton()->IsHidden());
  Click(k);
  EXPECT_TRUE(HostHeard(audioMasterBeginEdit));
}

// The buttons the layout does not place: a toggle flips its value at every press and runs its action
// once per press; the help button's menu shows the about box, and dismissing it only releases it.
TEST_F(EditorTest, ToggleAndHelpButtons)
{
  int actions = 0;
  auto* toggle = new TToggleButton(20.f, 140.f, 30.f, 16.f, "On", ABOUT_CPR_TEXT, "", [&](IControl*) { ++actions; });
  auto* help = new THelpButton(60.f, 140.f, 30.f, 16.f, "?", ABOUT_CPR_TEXT, "", session.Plugin());
  session.UI().AttachControl(toggle);
  session.UI().AttachControl(help);
  Click(toggle->GetRECT());
  Click(toggle->GetRECT());
  session.RunFor(50);
  EXPECT_EQ(toggle->GetValue(), 0.0);
  EXPECT_EQ(actions, 2);

  Click(help->GetRECT());
  Do("click:5,150"); // outside the menu
  EXPECT_FALSE(help->IsPressed());
  EXPECT_TRUE(session.Plugin().GetAboutBox()->IsHidden());
  Click(help->GetRECT());
  Do("menu:2");
  EXPECT_FALSE(session.Plugin().GetAboutBox()->IsHidden());
}

namespace {

// What a plug-in whose editor runs apart from its processing side offers the strip: a mirror of the
// program list, updated by messages (Update), that records the commands it sends.
class MirroredPresets : public plug::IPresetDelegate
{
public:
  int NPresets() const override { return static_cast<int>(names.size()); }
  int GetCurrentPresetIdx() const override { return current; }
  std::string GetPresetName(int idx) const override { return idx >= 0 && idx < NPresets() ? names[idx] : ""; }
  std::string GetCurrentPresetName() const override { return shown; }
  uint64_t GetPresetNameVersion() const override { return version; }
  void SetCurrentPreset(int idx) override { Send("select " + std::to_string(idx)); }
  void RestoreCurrentPreset() override { Send("restore"); }
  void ModifyThisPreset(const char* name) override { Send(std::string("modify ") + name); }
  bool ShowAboutBox() override { return Send("about"), true; }
  plug::EPresetFileResult LoadProgramFile(const char* path) override { return File("load program", path); }
  plug::EPresetFileResult SaveProgramFile(const char* path) override { return File("save program", path); }
  plug::EPresetFileResult LoadBankFile(const char* path) override { return File("load bank", path); }
  plug::EPresetFileResult SaveBankFile(const char* path) override { return File("save bank", path); }
  std::string GetVersionText() const override { return "2.1.0"; }
  const char* GetBindingName() const override { return "LV2"; }

  // An update from the processing side.
  void Update(int currentIdx, const std::string& name)
  {
    current = currentIdx;
    shown = name;
    ++version;
  }

  std::vector<std::string> names{"Room", "Hall", "Plate"};
  int current = 0;
  std::string shown = "Room";
  uint64_t version = 1;
  plug::EPresetFileResult fileResult = plug::EPresetFileResult::kDone;
  std::vector<std::string> sent;

private:
  void Send(const std::string& command) { sent.push_back(command); }
  plug::EPresetFileResult File(const char* command, const char* path)
  {
    Send(std::string(command) + " " + path);
    return fileResult;
  }
};

int64_t gMirrorClockMs = 0;

} // namespace

// In the builds with thread checks (tools/qm test's sanitizer builds) an operation called on a
// thread its tag does not allow ends the process, naming itself and the rule; elsewhere the checks
// are nothing and this test has nothing to show.
TEST_F(EditorTest, TaggedOperationsOnAThreadTheirTagsDoNotAllowEndTheProcess)
{
  if (!checks::kThreadChecks)
    return;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TQuillonMini& plug = session.Plugin();
  const auto onAnotherThread = [](const auto& call) { std::thread(call).join(); };
  double samples[2][64] = {};
  double* channels[2] = {samples[0], samples[1]};
  const auto process = [&] { plug.ProcessBlock(channels, channels, 64); };

  EXPECT_DEATH(onAnotherThread([&] { plug.SetCurrentPreset(3); }), "SetCurrentPreset.*\\[main\\]");
  EXPECT_DEATH(onAnotherThread(process), "ProcessBlock.*\\[audio\\]");
  // What every host may do: process on any thread inside a processing call, and reach the editor's
  // operations from any thread while the editor is closed.
  onAnotherThread([&] {
    const checks::ProcessingScope processing;
    process();
  });
  session.Close();
  onAnotherThread([&] { plug.SetCurrentPreset(3); });
  EXPECT_EQ(Preset(), 3);
}

// The strip and the about box need no plug-in: against a mirror of the program list they show
// what arrives, send every command, and say why a file command failed.
TEST(PresetStripMirror, ShowsUpdatesSendsCommandsAndTellsFileFailures)
{
  plug::RunLoop::SetClock([] { return gMirrorClockMs; });
  gfxtest::TestDelegate delegate;
  delegate.SetMakeGraphicsFunc([&delegate] { return std::make_unique<ISurfaceHeadless>(delegate, 340, 160); });
  delegate.OpenWindow(nullptr);
  auto& ui = static_cast<ISurfaceHeadless&>(*delegate.GetUI());
  MirroredPresets presets;
  auto& strip = *new TPresetControl(IRECT(80.f, 0.f, 340.f, 30.f), PRESET_NAME_TEXT, ICON_TEXT, presets);
  ui.AttachControl(&strip);
  const auto click = [&](int zone) {
    const IRECT r = strip.GetZoneRect(zone);
    ui.OnMouseDown(r.MW(), r.MH(), IMouseMod(true));
    ui.OnMouseUp(r.MW(), r.MH(), IMouseMod(true));
  };
  const auto service = [&](int item) {
    ui.ScriptMenuChoice({item});
    click(TPresetControl::kMenuZone);
    gMirrorClockMs += 100;
    plug::RunLoop::Pump();
  };

  ui.DrawFrame();
  EXPECT_EQ(strip.GetShownName(), "Room");
  click(TPresetControl::kPrevZone); // wraps to the last program
  ui.ScriptMenuChoice({1});
  click(TPresetControl::kNameZone);
  presets.Update(1, "Hall");
  EXPECT_TRUE(strip.IsDirty());
  EXPECT_EQ(strip.GetShownName(), "Hall");
  click(TPresetControl::kNextZone);
  service(0);
  service(1); // "Modify Preset": a field with the shown name
  ASSERT_EQ(ui.GetTextEntryControl()->GetStr(), "Hall");
  ui.ForceEndUserEdit();
  service(8);
  EXPECT_EQ(presets.sent,
            (std::vector<std::string>{"select 2", "select 1", "select 2", "restore", "modify Hall", "about"}));

  presets.sent.clear();
  ui.ScriptFileAnswer("/nowhere/mine");
  service(4);
  EXPECT_EQ(ui.GetNoticeControl(), nullptr);
  presets.fileResult = plug::EPresetFileResult::kUnwritable;
  ui.ScriptFileAnswer("/nowhere/mine.fxp");
  service(4);
  EXPECT_EQ(ui.GetNoticeControl()->GetNotice(), "Could not save the preset");
  presets.fileResult = plug::EPresetFileResult::kNotThisPlugin;
  ui.ScriptFileAnswer("/nowhere/bank.fxb");
  service(5);
  EXPECT_EQ(ui.GetNoticeControl()->GetNotice(), "Not a QuillonMini bank");
  presets.fileResult = plug::EPresetFileResult::kUnreadable;
  ui.ScriptFileAnswer("/nowhere/x.fxp");
  service(3);
  EXPECT_EQ(ui.GetNoticeControl()->GetNotice(), "Cannot read the file");
  EXPECT_EQ(presets.sent,
            (std::vector<std::string>{"save program /nowhere/mine.fxp", "save program /nowhere/mine.fxp",
                                      "load bank /nowhere/bank.fxb", "load program /nowhere/x.fxp"}));

  EXPECT_EQ(TAboutBox(IRECT(0.f, 0.f, 340.f, 160.f), {}, {}, presets).GetVersionText(), "Version: 2.1.0 (LV2, Linux)");
  delegate.CloseWindow();
  plug::RunLoop::SetClock(nullptr);
}

TEST_F(EditorTest, ScaleSurvivesCloseAndReopenThroughTheSettingsFile)
{
  session.UI().Resize(TQuillonMini::kEditorWidth, TQuillonMini::kEditorHeight, 1.5f);
  session.Close();
  EXPECT_FALSE(session.Plugin().OnHostRequestingAboutBox());
  EXPECT_FLOAT_EQ(TIniFile(session.Plugin().GetIniFileName()).ReadFloat("Params", "Scale", 0.f), 1.5f);
  ASSERT_TRUE(session.Open());
  EXPECT_FLOAT_EQ(session.UI().GetDrawScale(), 1.5f);
  session.UI().Resize(TQuillonMini::kEditorWidth, TQuillonMini::kEditorHeight, 1.f);
}

// Pixels where drawing is the point: the panel, a knob's value arc and its track, at scales 1 and 2.
TEST_F(EditorTest, DrawsThePanelAndTheKnobArcs)
{
  const auto near = [](IColor a, IColor b) {
    return std::abs(a.R - b.R) <= 12 && std::abs(a.G - b.G) <= 12 && std::abs(a.B - b.B) <= 12 && a.A == 255;
  };
  for (float scale : {1.f, 2.f})
  {
    session.UI().Resize(TQuillonMini::kEditorWidth, TQuillonMini::kEditorHeight, scale);
    session.UI().SetAllControlsDirty();
    session.Frame();
    const auto pixel = [&](float x, float y) { return session.UI().GetFramePixel(int(x * scale), int(y * scale)); };
    // Inside the panel body, near its bottom: the panel's gradient close to its lower colour.
    EXPECT_PRED2(near, pixel(170.f, 152.f), COLOR_BOT_BG) << scale;
    // The Mix knob at 21 %: the arc is lit from -135 degrees to -78, the track grey beyond.
    const TKnob& mix = Knob(TQuillonMini::kMix);
    const IRECT k = mix.GetKnobRect();
    const float a = mix.GetRadius() - 1.f;
    const auto onArc = [&](float degrees) {
      const float phi = (degrees - 90.f) * 3.14159265f / 180.f;
      return pixel(k.MW() + a * std::cos(phi), k.MH() + a * std::sin(phi));
    };
    EXPECT_PRED2(near, onArc(-105.f), COLOR_KNOB_LINE) << scale;
    EXPECT_PRED2(near, onArc(60.f), COLOR_KNOB_GLINE) << scale;
    // An editor left alone draws nothing.
    session.Frames(2);
    EXPECT_FALSE(session.UI().DrawFrame());
  }
  session.UI().Resize(TQuillonMini::kEditorWidth, TQuillonMini::kEditorHeight, 1.f);
}
