// The in-editor text field, menu and value bubble, and the headless platform, driven through the
// surface's event paths.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gfx/IBubbleControl.h"
#include "gfx/IControl.h"
#include "gfx/IPopupMenu.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ISurfaceEditorDelegate.h"
#include "gfx/ITextEntryControl.h"
#include "gfx/platform/ISurfaceHeadless.h"
#include "plug/core/IParam.h"
#include "plug/core/Timer.h"

using namespace plug;
using namespace plug::gfx;

namespace {

const char* const kRoboto = "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf";

int64_t gNowMs = 0;
int64_t FakeClock()
{
  return gNowMs;
}

class TestDelegate : public ISurfaceEditorDelegate
{
public:
  TestDelegate()
    : ISurfaceEditorDelegate(2)
  {
    GetParam(0)->InitDouble("Gain", 5.0, 0.0, 10.0, 0.01);
    GetParam(1)->InitInt("Count", 3, 0, 10);
  }
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}
};

// Records what the surface hands back to it.
class Probe : public IControl
{
public:
  explicit Probe(const IRECT& r, int paramIdx = -1)
    : IControl(r, paramIdx)
  {
    DisablePrompt(false);
  }
  void Draw(ISurface&) override {}
  void OnTextEntryCompletion(const char* str, int) override { completions.push_back(str); }
  void OnPopupMenuSelection(IPopupMenu* menu, int) override
  {
    chosenMenus.push_back(menu);
    chosen.push_back(menu ? menu->GetChosenItemIdx() : -1);
  }
  std::vector<std::string> completions;
  std::vector<IPopupMenu*> chosenMenus;
  std::vector<int> chosen;
};

// Counts the bytes of text measured, so that layout costs can be set against the text's length.
class MeasuringSurface : public ISurfaceHeadless
{
public:
  using ISurfaceHeadless::ISurfaceHeadless;
  mutable std::size_t measuredBytes = 0;

protected:
  float DoMeasureText(const IText& text, const char* str, IRECT& bounds) const override
  {
    measuredBytes += std::strlen(str);
    return ISurfaceHeadless::DoMeasureText(text, str, bounds);
  }
};

class ControlsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    gNowMs = 0;
    RunLoop::SetClock(FakeClock);
    ASSERT_TRUE(g.LoadFont("Roboto-Regular", kRoboto));
    g.AttachTextEntryControl();
  }
  void TearDown() override { RunLoop::SetClock(nullptr); }

  bool Key(const char* text, int vk, bool shift = false, bool control = false)
  {
    return g.OnKeyDown(0.f, 0.f, IKeyPress(text, vk, shift, control));
  }
  ITextEntryControl& Entry() { return *g.GetTextEntryControl(); }
  void Click(float x, float y, bool right = false)
  {
    g.OnMouseDown(x, y, IMouseMod(!right, right));
    g.OnMouseUp(x, y, IMouseMod(!right, right));
  }
  void Tick(int ms)
  {
    gNowMs += ms;
    g.DrawFrame();
  }

  TestDelegate dlg;
  MeasuringSurface g{dlg, 200, 100};
};

} // namespace

TEST_F(ControlsTest, TextEntryFiltersByParameterTypeAndCommitsOrDismisses)
{
  auto* gain = static_cast<Probe*>(g.AttachControl(new Probe({10.f, 10.f, 110.f, 30.f}, 0)));
  auto* count = static_cast<Probe*>(g.AttachControl(new Probe({10.f, 40.f, 110.f, 60.f}, 1)));

  gain->PromptUserInput(0);
  ASSERT_TRUE(Entry().EditInProgress());
  int start = 0, end = 0;
  Entry().GetSelection(start, end);
  EXPECT_EQ(end - start, Entry().TextLength()); // all selected
  EXPECT_FALSE(Key("a", 'A'));                  // rejected: not handled, nothing changes
  EXPECT_TRUE(Key("7", '7'));                   // replaces the selection
  EXPECT_TRUE(Key(",", kVK_DECIMAL));           // a decimal comma
  EXPECT_TRUE(Key("2", '2'));
  EXPECT_TRUE(Key("", kVK_BACK));
  EXPECT_TRUE(Key("5", '5'));
  EXPECT_EQ(Entry().GetStr(), "7,5");
  EXPECT_FALSE(Key("", kVK_TAB)); // left to the host
  EXPECT_TRUE(Key("", kVK_RETURN));
  EXPECT_FALSE(Entry().EditInProgress());
  EXPECT_DOUBLE_EQ(dlg.GetParam(0)->GetValue(), 7.5);
  EXPECT_EQ(g.GetControlInTextEntry(), nullptr);

  gain->PromptUserInput(0);
  for (const char* digit : {"1", "2", "3", "4", "5", "6", "7"}) // the field's length: 7 bytes
    Key(digit, digit[0]);
  EXPECT_FALSE(Key("8", '8'));
  EXPECT_EQ(Entry().GetStr(), "1234567");
  EXPECT_TRUE(Key("", kVK_ESCAPE));
  EXPECT_FALSE(Entry().EditInProgress());
  EXPECT_DOUBLE_EQ(dlg.GetParam(0)->GetValue(), 7.5);

  count->PromptUserInput(0);
  EXPECT_FALSE(Key(".", kVK_DECIMAL)); // not for an integer
  EXPECT_TRUE(Key("+", kVK_ADD));
  EXPECT_TRUE(Key("9", '9'));
  Click(150.f, 80.f); // outside the field: commits
  EXPECT_FALSE(Entry().EditInProgress());
  EXPECT_DOUBLE_EQ(dlg.GetParam(1)->GetValue(), 9.0);
}

TEST_F(ControlsTest, TextEntryEditsWholeCharactersWithClipboardUndoAndMouse)
{
  auto* probe = static_cast<Probe*>(g.AttachControl(new Probe({0.f, 0.f, 200.f, 20.f})));
  probe->SetTextEntryLength(0); // no limit
  const IRECT field(10.f, 10.f, 190.f, 30.f);
  g.CreateTextEntry(*probe, IText(14.f, COLOR_BLACK, "Roboto-Regular", EAlign::kNear), field, "hello world");
  ASSERT_TRUE(Entry().EditInProgress());

  EXPECT_TRUE(Key("c", kVK_C, false, true));
  EXPECT_EQ(g.Clipboard(), "hello world");
  Key("", kVK_END);
  for (int i = 0; i < 5; ++i)
    Key("", kVK_LEFT, true);
  EXPECT_TRUE(Key("x", kVK_X, false, true));
  EXPECT_EQ(g.Clipboard(), "world");
  EXPECT_EQ(Entry().GetStr(), "hello ");
  EXPECT_TRUE(Key("z", kVK_Z, false, true));
  EXPECT_EQ(Entry().GetStr(), "hello world");
  EXPECT_TRUE(Key("z", kVK_Z, true, true));
  EXPECT_EQ(Entry().GetStr(), "hello ");
  EXPECT_TRUE(Key("v", kVK_V, false, true));
  EXPECT_EQ(Entry().GetStr(), "hello world");

  // Characters beyond ASCII are one character each: backspace takes the whole of it.
  EXPECT_TRUE(Key("\xc3\xa9", 0));
  EXPECT_EQ(Entry().GetStr(), "hello world\xc3\xa9");
  EXPECT_TRUE(Key("", kVK_BACK));
  EXPECT_EQ(Entry().GetStr(), "hello world");

  // A press at the text's left edge puts the cursor at 0; a drag to the far right selects all.
  g.OnMouseDown(field.L + 1.f, field.MH(), IMouseMod(true));
  EXPECT_EQ(Entry().GetCursor(), 0);
  g.OnMouseDrag(field.R - 1.f, field.MH(), 150.f, 0.f, IMouseMod(true));
  g.OnMouseUp(field.R - 1.f, field.MH(), IMouseMod(true));
  int start = 0, end = 0;
  Entry().GetSelection(start, end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 11);
  // The context menu's third item pastes over the selection.
  g.SetTextInClipboard("hi");
  g.ScriptMenuChoice({2});
  Click(field.MW(), field.MH(), true);
  EXPECT_EQ(Entry().GetStr(), "hi");
  Key("", kVK_RETURN);
  ASSERT_EQ(probe->completions.size(), 1u);
  EXPECT_EQ(probe->completions[0], "hi");
  Entry().SetStr("a\xc3("); // cut short: a replacement character, nothing lost after it
  EXPECT_EQ(Entry().TextLength(), 3);
  EXPECT_EQ(Entry().GetStr(), "a\xef\xbf\xbd(");
  // Overlong, a surrogate, beyond U+10FFFF: a replacement character for every byte.
  Entry().SetStr("\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80x");
  EXPECT_EQ(Entry().TextLength(), 10);

  // A length counts UTF-8 bytes, whole characters only: the text, typing and pasting keep to it.
  probe->SetTextEntryLength(5);
  g.CreateTextEntry(*probe, IText(), field, "\xc3\xa9\xc3\xa9\xc3\xa9");
  EXPECT_EQ(Entry().GetStr(), "\xc3\xa9\xc3\xa9");
  Key("", kVK_END);
  EXPECT_FALSE(Key("\xc3\xa9", 0));
  g.SetTextInClipboard("ab");
  Key("v", kVK_V, false, true);
  EXPECT_EQ(Entry().GetStr(),
            "\xc3\xa9\xc3\xa9"
            "a");
  Key("", kVK_ESCAPE);

  // Without a limit a long paste lays out in time linear in it: a few bytes measured a character.
  probe->SetTextEntryLength(0);
  g.CreateTextEntry(*probe, IText(), field, "");
  std::string pasted;
  while (pasted.size() < 8000)
    pasted += "pasted, and pasted again; ";
  g.SetTextInClipboard(pasted.c_str());
  g.measuredBytes = 0;
  Key("v", kVK_V, false, true);
  g.DrawFrame();
  EXPECT_EQ(Entry().GetStr(), pasted);
  EXPECT_LT(g.measuredBytes, 4 * pasted.size());
  Key("", kVK_ESCAPE);
}

TEST_F(ControlsTest, TextEntryCaretBlinksWhileEditing)
{
  auto* probe = static_cast<Probe*>(g.AttachControl(new Probe({0.f, 0.f, 200.f, 20.f})));
  g.CreateTextEntry(*probe, IText(14.f, COLOR_BLACK, "Roboto-Regular"), {10.f, 10.f, 190.f, 30.f}, "");
  std::vector<bool> visible;
  for (int i = 0; i < 8; ++i)
  {
    Tick(300);
    visible.push_back(Entry().GetCaretVisible());
  }
  EXPECT_EQ(visible, (std::vector<bool>{true, false, false, true, true, false, false, true}));
  Key("", kVK_ESCAPE);
  EXPECT_TRUE(probe->completions.empty());
}

TEST_F(ControlsTest, InEditorMenuChoosesByMouseAndKeys)
{
  auto* probe = static_cast<Probe*>(g.AttachControl(new Probe({0.f, 0.f, 200.f, 100.f})));
  IPopupMenu* chosenBy = nullptr;
  IPopupMenu menu("", 2, false, {"One", "Two", "Three"});
  menu.SetFunction([&chosenBy](IPopupMenu* m) { chosenBy = m; });
  menu.GetItem(1)->SetEnabled(false);
  IPopupMenu* more = new IPopupMenu("", 0, false, {"A", "B"});
  menu.AddItem("More", more);

  // A scripted choice completes at once, without the menu control.
  g.ScriptMenuChoice({3, 0});
  g.CreatePopupMenu(*probe, menu, IRECT(20.f, 20.f, 20.f, 20.f));
  EXPECT_EQ(g.GetPopupMenuControl(), nullptr);
  EXPECT_EQ(probe->chosenMenus.back(), more);
  EXPECT_EQ(chosenBy, more); // the submenu got the root's completion function
  chosenBy = nullptr;

  auto open = [&] {
    g.CreatePopupMenu(*probe, menu, IRECT(20.f, 20.f, 20.f, 20.f));
    ASSERT_NE(g.GetPopupMenuControl(), nullptr);
    ASSERT_TRUE(g.GetPopupMenuControl()->GetExpanded());
  };
  auto centre = [&](int level, int item) {
    const IRECT r = g.GetPopupMenuControl()->GetItemBounds(level, item);
    return std::pair(r.MW(), r.MH());
  };

  open();
  auto [x, y] = centre(0, 2);
  Click(x, y);
  auto [dx, dy] = centre(0, 1); // (still laid out while it fades)
  open();
  Click(dx, dy); // a disabled item chooses nothing
  open();
  Key("", kVK_DOWN);
  Key("", kVK_DOWN); // skips the disabled item
  Key("", kVK_RETURN);
  open();
  auto [mx, my] = centre(0, 3);
  g.OnMouseOver(mx, my, IMouseMod());
  auto [bx, by] = centre(1, 1);
  Click(bx, by);
  open();
  Key("", kVK_ESCAPE);
  EXPECT_EQ(probe->chosen, (std::vector<int>{0, 2, -1, 2, 1, -1}));
  EXPECT_EQ(probe->chosenMenus[4], more);
  EXPECT_EQ(chosenBy, more);
  EXPECT_FALSE(g.GetPopupMenuControl()->GetExpanded());
}

// Menus are laid out from their measured texts to fit where they may open: one column in the
// style's size while that fits, else the fewest columns in the largest type that fit, else one
// column that scrolls. No cell leaves the bounds, and every text is whole unless it is too wide
// for them on its own.
TEST_F(ControlsTest, InEditorMenuAlwaysFitsItsBounds)
{
  const IRECT bounds(0.f, 30.f, 340.f, 160.f); // an editor of 340 x 160 below a strip of 30
  ISurfaceHeadless editor(dlg, 340, 160);
  ASSERT_TRUE(editor.LoadFont("Roboto-Regular", kRoboto));
  editor.AttachPopupMenuControl(IPopupStyle(), bounds);
  IPopupMenuControl& control = *editor.GetPopupMenuControl();
  auto* asker = static_cast<Probe*>(editor.AttachControl(new Probe({0.f, 0.f, 340.f, 30.f})));
  const auto open = [&](IPopupMenu& menu) {
    editor.CreatePopupMenu(*asker, menu, IRECT(300.f, 29.f, 300.f, 29.f));
    ASSERT_TRUE(control.GetExpanded());
    EXPECT_TRUE(bounds.Contains(control.GetPanelBounds(0)));
    for (int i = 0; i < menu.NItems(); ++i)
      EXPECT_TRUE(control.GetItemBounds(0, i).Empty() ||
                  control.GetPanelBounds(0).Contains(control.GetItemBounds(0, i)))
          << i;
  };
  const auto whole = [&](const IPopupMenu& menu) {
    for (int i = 0; i < menu.NItems(); ++i)
      if (control.GetItemText(0, i) != menu.GetItemText(i))
        return false;
    return true;
  };
  const auto pressOn = [&](int item) {
    const IRECT r = control.GetItemBounds(0, item);
    editor.OnMouseDown(r.MW(), r.MH(), IMouseMod(true));
  };

  IPopupMenu few("", 0, false, {"Restore", "Modify"});
  open(few);
  EXPECT_EQ(control.GetTextSize(0), 14.f);
  EXPECT_TRUE(whole(few));
  pressOn(1);

  // Twenty long names do not fit one column: three, in smaller type, every name whole.
  IPopupMenu twenty;
  for (int i = 0; i < 20; ++i)
    twenty.AddItem(("Deep Underground " + std::to_string(i)).c_str());
  open(twenty);
  EXPECT_LT(control.GetTextSize(0), 14.f);
  EXPECT_GE(control.GetTextSize(0), 9.f);
  EXPECT_FALSE(control.GetScrolls(0));
  EXPECT_TRUE(whole(twenty));
  pressOn(19);

  // Two hundred: one column that scrolls; the wheel and the keys reach the last item.
  IPopupMenu many;
  for (int i = 0; i < 200; ++i)
    many.AddItem(("Program " + std::to_string(i)).c_str());
  open(many);
  EXPECT_TRUE(control.GetScrolls(0));
  EXPECT_TRUE(control.GetItemBounds(0, 199).Empty());
  for (int i = 0; i < 200; ++i)
    control.OnMouseWheel(100.f, 100.f, IMouseMod(), -1.f);
  pressOn(199);
  open(many);
  editor.OnKeyDown(0.f, 0.f, IKeyPress("", kVK_UP)); // round to the last item, scrolled into view
  EXPECT_FALSE(control.GetItemBounds(0, 199).Empty());
  editor.OnKeyDown(0.f, 0.f, IKeyPress("", kVK_ESCAPE));

  // A text too wide for the bounds on its own ends in an ellipsis inside them.
  IPopupMenu wide("", 0, false, {"Short"});
  wide.AddItem(std::string(300, 'W').c_str());
  open(wide);
  EXPECT_EQ(control.GetItemText(0, 0), "Short");
  EXPECT_EQ(control.GetItemText(0, 1).substr(control.GetItemText(0, 1).size() - 3), "\xE2\x80\xA6");
  EXPECT_EQ(asker->chosen, (std::vector<int>{1, 19, 199, -1}));
}

TEST_F(ControlsTest, BubbleStaysInsideTheEditorAndFadesInAndOut)
{
  g.AttachBubbleControl(IText(12.f, COLOR_BLACK, "Roboto-Regular"));
  auto* caller = g.AttachControl(new Probe({150.f, 40.f, 190.f, 60.f}));
  IBubbleControl* bubble = nullptr;
  g.ForAllControlsFunc([&bubble](IControl* c) {
    if (auto* b = dynamic_cast<IBubbleControl*>(c))
      bubble = b;
  });
  ASSERT_NE(bubble, nullptr);

  g.ShowBubbleControl(caller, 190.f, 50.f, "12.5 dB");
  const IRECT left = bubble->GetBubbleBounds();
  EXPECT_LT(left.R, 190.f); // no room on the right: on the left of the point
  EXPECT_NEAR(left.MH(), 50.f, 0.01f);
  g.ShowBubbleControl(caller, 100.f, 5.f, "12.5 dB", EDirection::kVertical);
  EXPECT_GT(bubble->GetBubbleBounds().T, 5.f); // no room above: below the point
  EXPECT_GE(bubble->GetBubbleBounds().L, 0.f);

  Tick(0);
  Tick(100);
  EXPECT_NEAR(bubble->GetOpacity(), 0.475f, 0.05f);
  Tick(150);
  EXPECT_EQ(bubble->GetFade(), IBubbleControl::EFade::kShown);
  for (int i = 0; i < 12; ++i)
    Tick(100);
  EXPECT_EQ(bubble->GetFade(), IBubbleControl::EFade::kFadingOut);
  Tick(150);
  Tick(150);
  EXPECT_EQ(bubble->GetFade(), IBubbleControl::EFade::kHidden);
  EXPECT_TRUE(bubble->IsHidden());
}

TEST_F(ControlsTest, HeadlessPlatformRecordsRequestsAndAnswersFromItsScript)
{
  std::vector<std::string> answers;
  auto record = [&answers](const std::string& file, const std::string& path) { answers.push_back(file + "|" + path); };
  g.ScriptFileAnswer("/tmp/presets/Hall.fxp");
  g.PromptForFile(EFileAction::kSave, "Hall.fxp", "/tmp", "fxp", record);
  g.PromptForFile(EFileAction::kOpen, "", "", "fxp fxb", record); // nothing scripted: cancelled
  EXPECT_EQ(answers, (std::vector<std::string>{"/tmp/presets/Hall.fxp|/tmp/presets/", "|"}));
  ASSERT_EQ(g.FilePrompts().size(), 2u);
  EXPECT_EQ(g.FilePrompts()[1].extensions, "fxp fxb");

  EXPECT_TRUE(g.OpenURL("https://example.org/?lang=en"));
  EXPECT_EQ(g.OpenedURLs().back(), "https://example.org/?lang=en");
  g.HideMouseCursor(true, true);
  EXPECT_TRUE(g.CursorHidden() && g.CursorLocked());
  g.HideMouseCursor(false, true);
  EXPECT_FALSE(g.CursorHidden());
  EXPECT_EQ(g.SetMouseCursor(ECursor::kHand), ECursor::kArrow);
  EXPECT_EQ(g.GetCursor(), ECursor::kHand);
}
