#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "gfx/controls/IControlBases.h"
#include "gfx/controls/IDirBrowseControlBase.h"
#include "gfx/controls/ITextControls.h"
#include "plug/core/Timer.h"
#include "tests/support/GfxTestSurface.h"
#include "tests/support/TempFolder.h"

using namespace gfxtest;
using Log = std::vector<std::string>;

namespace {

const IMouseMod kLeft(true), kShift(true, false, true);

class Knob : public IKnobControlBase
{
public:
  using IKnobControlBase::IKnobControlBase;
  void Draw(ISurface&) override {}
};

class Switch : public ISwitchControlBase
{
public:
  using ISwitchControlBase::ISwitchControlBase;
  void Draw(ISurface&) override {}
};

class Button : public IButtonControlBase
{
public:
  using IButtonControlBase::IButtonControlBase;
  void Draw(ISurface&) override {}
};

int64_t gNowMs = 0;
int64_t TestClock()
{
  return gNowMs;
}

} // namespace

TEST(IControl, ValuesAreClampedAndSentOnlyForUserChanges)
{
  TestEditor e;
  int actions = 0;
  IControl* c = e.ui.AttachControl(new TestControl({0, 0, 10, 10}, 0));
  c->SetActionFunction([&actions](IControl*) { ++actions; });
  c->SetValue(1.3, 5); // one value: any index means 0 in SetDirty, an unknown one stores nothing
  c->SetValue(1.3);
  c->SetDirty(false, 7);
  EXPECT_EQ(c->GetValue(), 1.0);
  EXPECT_TRUE(e.delegate.mLog.empty());
  c->SetValue(-0.5);
  c->SetDirty(true, 3); // no press began a gesture: the change comes in one of its own
  EXPECT_EQ(e.delegate.mLog, (Log{"begin 0", "value 0 0.000", "end 0"}));
  c->SetValueFromUserInput(0.0); // unchanged: nothing sent, no action
  e.delegate.mLog.clear();
  c->SetValueFromUserInput(0.4);
  EXPECT_EQ(e.delegate.mLog, (Log{"begin 0", "value 0 0.400", "end 0"}));
  EXPECT_EQ(actions, 2);

  c->OnMouseDown(5, 5, IMouseMod(false, true)); // prompts are disabled by default
  EXPECT_TRUE(e.ui.mTextEntries.empty());

  IControl* two = e.ui.AttachControl(new TestControl({0, 20, 10, 30}));
  EXPECT_EQ(two->GetParam(), nullptr);
  two->SetDirty(true); // unbound: the plug-in hears nothing
  EXPECT_EQ(e.delegate.mLog.size(), 3u);
}

// A snap over bounds of zero extent keeps the value: an infinite or undefined value must never
// reach a parameter.
TEST(IControl, SnapToMouseMapsThePointerAndNeverDividesByZero)
{
  TestEditor e;
  IControl* c = e.Attach({0, 0, 10, 100}, 0);
  c->SnapToMouse(5, 25, EDirection::kVertical, c->GetRECT());
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.75);
  c->SnapToMouse(5, -40, EDirection::kVertical, c->GetRECT());
  EXPECT_DOUBLE_EQ(c->GetValue(), 1.0);
  c->SnapToMouse(3.3333f, 0, EDirection::kHorizontal, c->GetRECT());
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.333);
  e.delegate.mLog.clear();
  c->SnapToMouse(5, 5, EDirection::kVertical, IRECT(0, 5, 10, 5));
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.333);
  EXPECT_TRUE(e.delegate.mLog.empty());
}

// The stock bases: a knob drag (over bounds of zero extent it keeps the value), switches through
// every state, buttons that spring back.
TEST(IControlBases, KnobsDragSwitchesStepThroughEveryStateAndButtonsSpringBack)
{
  TestEditor e;
  auto* knob = static_cast<Knob*>(e.ui.AttachControl(new Knob({20, 0, 60, 100}, 1)));
  e.ui.OnMouseDown(30, 50, kLeft);
  EXPECT_TRUE(e.ui.mCursorHidden);
  e.ui.OnMouseDrag(30, 50, 0, -100, kLeft); // up by the whole height at gearing 4
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.25);
  e.ui.OnMouseDrag(30, 50, 0, -100, kShift); // fine
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.275);
  e.ui.OnMouseDrag(30, 50, 0, -1000, kLeft);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0);
  e.ui.OnMouseUp(30, 50, kLeft);
  EXPECT_FALSE(e.ui.mCursorHidden);
  e.ui.OnMouseDown(30, 50, kLeft); // a drag whose capture is taken away shows the pointer too
  e.ui.ReleaseMouseCapture();
  EXPECT_FALSE(e.ui.mCursorHidden);
  EXPECT_FALSE(knob->IsMouseDown());
  knob->OnMouseWheel(30, 50, kShift, -2.f);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.998);

  knob->SetTargetRECT({20, 50, 60, 50});
  knob->SetGearing(0.0);
  e.delegate.mLog.clear();
  knob->OnMouseDrag(30, 50, 0, -10, kLeft);
  knob->SetGearing(4.0);
  knob->OnMouseDrag(30, 50, 0, -10, kLeft);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.998);
  EXPECT_TRUE(e.delegate.mLog.empty());

  auto* two = static_cast<Switch*>(e.ui.AttachControl(new Switch({0, 0, 10, 10})));
  two->SetValue(0.5);
  two->OnMouseDown(1, 1, kLeft);
  EXPECT_EQ(two->GetValue(), 0.0);
  two->OnMouseDown(1, 1, kLeft);
  EXPECT_EQ(two->GetValue(), 1.0);

  // Ten states: adding 1/9 nine times overshoots 1 and would skip the last state.
  auto* ten = static_cast<Switch*>(e.ui.AttachControl(new Switch({0, 0, 10, 10}, -1, nullptr, 10)));
  for (int i = 1; i <= 10; ++i)
  {
    ten->OnMouseDown(1, 1, kLeft);
    EXPECT_NEAR(ten->GetValue() * 9.0, i % 10, 1e-9);
  }
  auto* mode = static_cast<Switch*>(e.ui.AttachControl(new Switch({0, 0, 10, 10}, 2)));
  EXPECT_EQ(mode->GetNumStates(), 3);

  plug::RunLoop::SetClock(TestClock);
  gNowMs = 1000;
  IControl* button = e.ui.AttachControl(new Button({20, 0, 30, 10}));
  IRECTList rects;
  e.ui.OnMouseDown(25, 5, kLeft);
  e.ui.OnMouseUp(25, 5, kLeft);
  EXPECT_EQ(button->GetValue(), 1.0);
  gNowMs = 1050;
  e.ui.IsDirty(rects);
  EXPECT_EQ(button->GetValue(), 1.0);
  gNowMs = 1101;
  e.ui.IsDirty(rects); // the animation ends from inside its own function
  EXPECT_EQ(button->GetValue(), 0.0);
  EXPECT_FALSE(button->GetAnimationFunction());
  plug::RunLoop::SetClock(nullptr);
}

TEST(ITextControls, TextsShowValuesAndCaptionsAndLinksOpen)
{
  TestEditor e;
  auto* toggle = static_cast<ITextToggleControl*>(e.ui.AttachControl(new ITextToggleControl({0, 0, 40, 20}, 0)));
  e.ui.OnMouseDown(5, 5, kLeft);
  e.ui.OnMouseUp(5, 5, kLeft);
  EXPECT_STREQ(toggle->GetStr(), "ON");
  EXPECT_EQ(e.delegate.mLog, (Log{"begin 0", "value 0 1.000", "end 0"}));
  e.delegate.SendParameterValueFromDelegate(0, 0.2, true);
  EXPECT_STREQ(toggle->GetStr(), "OFF");

  auto* caption = static_cast<ICaptionControl*>(e.ui.AttachControl(new ICaptionControl({50, 0, 150, 20}, 1)));
  e.delegate.GetParam(1)->SetValue(0.25); // as the host sets it
  e.delegate.SendParameterValueFromDelegate(1, 0.25, false);
  EXPECT_STREQ(caption->GetStr(), "0.250 ms");
  EXPECT_TRUE(caption->GetTriangleRECT().Empty());
  auto* mode = static_cast<ICaptionControl*>(e.ui.AttachControl(new ICaptionControl({50, 30, 150, 50}, 2)));
  EXPECT_STREQ(mode->GetStr(), "Two");
  EXPECT_FALSE(mode->GetTriangleRECT().Empty());

  auto* link =
      static_cast<IURLControl*>(e.ui.AttachControl(new IURLControl({0, 60, 100, 80}, "site", "https://example.com")));
  e.ui.EnableMouseOver(true);
  e.ui.OnMouseOver(10, 70, {});
  EXPECT_EQ(e.ui.SetMouseCursor(ECursor::kHand), ECursor::kHand);
  e.ui.OnMouseDown(10, 70, kLeft);
  EXPECT_EQ(e.ui.mURLs, (Log{"https://example.com"}));
  EXPECT_TRUE(link->GetClicked());
  EXPECT_FALSE(e.ui.ControlIsCaptured());

  auto* sized = static_cast<ITextControl*>(
      e.ui.AttachControl(new ITextControl({0, 100, 100, 140}, "abcd", IText(10.f), COLOR_WHITE, true)));
  EXPECT_EQ(sized->GetRECT(), IRECT(38, 115, 62, 125)); // 4 x 6 wide, 10 high, on the same centre
}

TEST(IDirBrowseControlBase, FoldersBecomeSortedSubmenusOfMatchingFiles)
{
  namespace fs = std::filesystem;
  const TempFolder scratch("qm-dirbrowse");
  const fs::path root = scratch.Path();
  fs::create_directories(root / "Bank");
  fs::create_directories(root / "Empty");
  for (const char* name : {"b.fxp", "A.fxp", ".hidden.fxp", "notes.txt", "Bank/c.fxp"})
    std::ofstream(root / name) << "x";

  class Browser : public IDirBrowseControlBase
  {
  public:
    using IDirBrowseControlBase::IDirBrowseControlBase;
    void Draw(ISurface&) override {}
  } browser({0, 0, 10, 10}, "fxp");
  browser.AddPath(root.c_str(), "Presets");
  browser.SetupMenu();
  IPopupMenu& menu = browser.GetMenu();
  ASSERT_EQ(menu.NItems(), 4);
  EXPECT_STREQ(menu.GetItemText(0), "A");
  EXPECT_STREQ(menu.GetItemText(1), "b");
  EXPECT_STREQ(menu.GetItemText(2), "Bank");
  EXPECT_STREQ(menu.GetItemText(3), "Empty");
  ASSERT_EQ(browser.NItems(), 3);
  EXPECT_EQ(browser.GetItemPath(browser.GetItem(2)), (root / "Bank" / "c.fxp").string());
}
