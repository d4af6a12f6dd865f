#include <gtest/gtest.h>

#include "gfx/IBubbleControl.h"
#include "gfx/IControlTree.h"
#include "gfx/ICornerResizerControl.h"
#include "gfx/IFPSDisplayControl.h"
#include "gfx/IInputCapture.h"
#include "gfx/controls/ITextControls.h"
#include "tests/support/GfxTestSurface.h"

using namespace gfxtest;
using Log = std::vector<std::string>;

namespace {

const IMouseMod kLeft(true), kRight(false, true);

using Editor = TestEditor;

} // namespace

TEST(ISurfaceEvents, ADragIsOneHostGestureThatPeersAndNotTheHostFollow)
{
  Editor e;
  TestControl* knob = e.Attach({10, 10, 50, 50}, 0);
  TestControl* peer = e.Attach({60, 10, 100, 50}, 0);
  TestControl* hidden = e.Attach({10, 60, 50, 100}, 3);

  e.ui.OnMouseDown(20, 20, kLeft);
  e.Drag(20, 10, -10.f);
  e.Drag(20, 10, 0.f);                                     // no movement: not delivered
  e.delegate.SendParameterValueFromDelegate(0, 0.9, true); // the host moves it meanwhile
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.1);                 // the user's drag wins
  EXPECT_DOUBLE_EQ(peer->GetValue(), 0.9);
  e.Drag(20, 5, -15.f);
  e.ui.OnMouseUp(20, 5, kLeft);
  EXPECT_EQ(e.delegate.mLog, (Log{"begin 0", "value 0 0.100", "value 0 0.250", "end 0"}));
  EXPECT_EQ(knob->mEvents, (Log{"down", "drag", "drag", "up"}));
  EXPECT_DOUBLE_EQ(peer->GetValue(), 0.25);
  EXPECT_FALSE(e.ui.ControlIsCaptured());

  e.delegate.mLog.clear(); // a host-private parameter changes without telling the host of a gesture
  e.ui.OnMouseDown(20, 70, kLeft);
  e.Drag(20, 65, -50.f);
  e.ui.OnMouseUp(20, 65, kLeft);
  EXPECT_EQ(e.delegate.mLog, (Log{"value 3 0.500"}));
  EXPECT_DOUBLE_EQ(hidden->GetValue(), 0.5);
}

// Every walk takes the list, then the special controls, then the bubbles, so that these draw over
// the list; a walk goes on past a control that another removed meanwhile.
TEST(IControlTree, ControlsAreFoundAndWalkedInTheirOrder)
{
  IControlTree tree;
  auto add = [&tree](int tag) {
    TestControl* control = AppendTestControl(tree, {0, 0, 10, 10});
    control->SetTag(tag);
    return control;
  };
  TestControl* a = add(1);
  TestControl* b = add(2);
  TestControl* c = add(1);
  auto* background = new TestControl({0, 0, 300, 200});
  tree.Prepend(background);
  IBubbleControl* bubble = tree.AddBubble(std::make_unique<IBubbleControl>());
  ICornerResizerControl* resizer = tree.SetCornerResizer(std::make_unique<ICornerResizerControl>(IRECT(), 20.f));
  EXPECT_EQ(tree.SetCornerResizer(std::make_unique<ICornerResizerControl>(IRECT(), 20.f)), nullptr); // one only
  IFPSDisplayControl* perf = tree.SetPerfDisplay(std::make_unique<IFPSDisplayControl>(IRECT(10, 10, 210, 60)));

  std::vector<IControl*> walked;
  tree.ForAll([&walked](IControl* control) { walked.push_back(control); });
  EXPECT_EQ(walked, (std::vector<IControl*>{background, a, b, c, perf, resizer, bubble}));
  EXPECT_EQ(tree.GetAny(7), nullptr);
  EXPECT_EQ(tree.Get(4), nullptr);
  EXPECT_EQ(tree.GetWithTag(1), a);
  EXPECT_EQ(tree.IndexOf(c), 3);
  EXPECT_EQ(tree.IndexOf(resizer), -1);

  std::unique_ptr<IControl> released(tree.ReleaseWithTag(1)); // out of the list, not deleted
  EXPECT_EQ(released.get(), a);
  EXPECT_EQ(tree.GetWithTag(1), c);
  walked.clear();
  tree.ForListed([&](IControl* control) {
    walked.push_back(control);
    if (control == background)
      tree.Erase(c);
  });
  EXPECT_EQ(walked, (std::vector<IControl*>{background, b}));
  EXPECT_FALSE(tree.Erase(c));
}

// The later of two overlapping controls gets the point; hidden ones, and disabled ones unless they
// take events while disabled, let it through; the background never gets mouse-over.
TEST(IInputCapture, TargetsFollowTheOrderOfAttachingAndTheControlsFlags)
{
  TestDelegate delegate;
  IControlTree tree;
  IInputCapture input(tree, delegate, [](IControl&, float, float) { return false; });
  auto add = [&tree](const IRECT& r) { return AppendTestControl(tree, r); };
  TestControl* background = add({0, 0, 300, 200});
  TestControl* a = add({10, 10, 100, 100});
  TestControl* b = add({50, 50, 150, 150});
  auto clickAt = [&input](float x, float y) {
    input.OnMouseDown({{x, y, 0.f, 0.f, kLeft}});
    input.OnMouseUp({{x, y, 0.f, 0.f, kLeft}});
  };
  clickAt(60, 60);
  EXPECT_EQ(b->mEvents, (Log{"down", "up"}));
  b->Hide(true);
  clickAt(60, 60);
  a->SetDisabled(true);
  clickAt(60, 60);
  EXPECT_EQ(a->mEvents, (Log{"down", "up"}));
  EXPECT_EQ(background->mEvents, (Log{"down", "up"}));
  EXPECT_FALSE(input.ControlIsCaptured());
  a->SetMouseEventsWhenDisabled(true);
  input.OnMouseWheel(60, 60, kLeft, 1.f);
  input.OnDrop("/tmp/x.fxp", 60, 60);
  EXPECT_EQ(a->mEvents, (Log{"down", "up", "wheel", "drop /tmp/x.fxp"}));
  a->SetDisabled(false);
  b->Hide(false);

  input.EnableMouseOver(true);
  EXPECT_FALSE(input.OnMouseOver(5, 5, {})); // the background never gets mouse-over
  EXPECT_TRUE(input.OnMouseOver(20, 20, {}));
  EXPECT_TRUE(input.OnMouseOver(120, 120, {}));
  EXPECT_EQ(input.GetMouseOver(), b);
  EXPECT_EQ(input.GetMouseOverIdx(), 2);
  input.OnMouseOut();
  EXPECT_EQ(input.GetMouseOver(), nullptr);
  EXPECT_EQ(a->mEvents.back(), "out");
  EXPECT_EQ(b->mEvents, (Log{"down", "up", "over", "out"}));
}

// What the control under the pointer leaves goes to the key handler; the background takes none.
TEST(ISurfaceEvents, KeysGoToTheControlUnderThePointerThenToTheHandler)
{
  Editor e;
  auto* background = static_cast<TestControl*>(e.ui.AttachBackgroundControl(new TestControl({0, 0, 300, 200})));
  TestControl* b = e.Attach({50, 50, 150, 150});
  int handled = 0;
  e.ui.SetKeyHandlerFunc([&handled](const plug::IKeyPress&, bool) { return ++handled > 0; });
  EXPECT_TRUE(e.ui.OnKeyDown(5, 5, {}));
  EXPECT_TRUE(e.ui.OnKeyDown(120, 120, {}));
  b->mUsesKeys = true;
  EXPECT_TRUE(e.ui.OnKeyDown(120, 120, {}));
  EXPECT_EQ(handled, 2);
  EXPECT_TRUE(background->mEvents.empty());
  EXPECT_EQ(b->mEvents, (Log{"key", "key"}));
}

// Without context items, a control that takes typed values gets the press to prompt for one.
TEST(ISurfaceEvents, ARightClickOnABoundControlOpensItsContextMenuOrItsValuePrompt)
{
  Editor e;
  TestControl* bound = e.Attach({10, 10, 50, 50}, 0);
  TestControl* unbound = e.Attach({60, 10, 100, 50});
  e.ui.OnMouseDown(20, 20, kRight);
  EXPECT_TRUE(e.ui.mMenusShown.empty()); // no items, no menu
  bound->mContextItems = {"Learn", "Forget"};
  e.ui.mMenuChoice = 1;
  e.ui.OnMouseDown(20, 20, kRight);
  e.ui.mMenuChoice = -1;
  e.ui.OnMouseDown(20, 20, kRight);
  EXPECT_EQ(bound->mEvents, (Log{"context 1", "context -1"}));
  bound->mContextItems.clear();
  bound->DisablePrompt(false);
  e.ui.OnMouseDown(20, 20, kRight);
  EXPECT_EQ(bound->mEvents.back(), "down");
  EXPECT_EQ(e.ui.GetControlInTextEntry(), bound);
  EXPECT_TRUE(e.delegate.mLog.empty()); // never a gesture
  EXPECT_FALSE(e.ui.ControlIsCaptured());
  e.ui.OnMouseDown(70, 20, kRight);
  EXPECT_EQ(unbound->mEvents, (Log{"down"}));
}

// A capture that ends before the mouse-up (a menu opened by the press, the control removed
// mid-drag) still ends the host gesture, once; a value picked after it comes in a gesture of its own.
TEST(ISurfaceEvents, EveryGestureBegunIsEnded)
{
  Editor e;
  e.ui.AttachControl(new ICaptionControl({10, 10, 100, 30}, 2));
  e.ui.mMenuChoice = 2;
  e.ui.OnMouseDown(20, 20, kLeft);
  e.ui.OnMouseUp(20, 20, kLeft);
  EXPECT_EQ(e.delegate.mLog, (Log{"begin 2", "end 2", "begin 2", "value 2 1.000", "end 2"}));
  EXPECT_EQ(e.ui.mMenusShown, (Log{"Mode: One *Two Three"}));

  e.delegate.mLog.clear();
  TestControl* knob = e.Attach({10, 50, 50, 90}, 0);
  e.ui.EnableMouseOver(true);
  e.ui.OnMouseOver(20, 60, {});
  e.ui.OnMouseDown(20, 60, kLeft);
  e.ui.RemoveControl(knob);
  e.Drag(20, 55, -5.f);
  e.ui.OnMouseUp(20, 55, kLeft);
  EXPECT_EQ(e.delegate.mLog, (Log{"begin 0", "end 0"}));
  EXPECT_EQ(e.ui.GetMouseOver(), nullptr);
}

TEST(ISurfaceEvents, ADoubleClickResetsInAGestureOfItsOwnUnlessItCountsAsAClick)
{
  Editor e;
  TestControl* knob = e.Attach({10, 10, 50, 50}, 0);
  knob->SetValue(0.5);
  e.ui.OnMouseDblClick(20, 20, kLeft);
  EXPECT_EQ(e.delegate.mLog, (Log{"begin 0", "value 0 0.000", "end 0"}));
  EXPECT_FALSE(e.ui.ControlIsCaptured());
  e.delegate.mLog.clear();
  knob->SetMouseDblAsSingleClick(true);
  e.ui.OnMouseDblClick(20, 20, kLeft);
  e.ui.OnMouseUp(20, 20, kLeft);
  EXPECT_EQ(e.delegate.mLog, (Log{"begin 0", "end 0"}));
}

// Typed and picked values come in host gestures of their own; an emptied field changes nothing and
// a decimal comma counts as a point.
TEST(ISurfacePrompts, ValuesAreAskedByMenuOrTextAndArriveInAGestureOfTheirOwn)
{
  Editor e;
  TestControl* mode = e.Attach({10, 10, 50, 50}, 2);
  TestControl* time = e.Attach({60, 10, 100, 50}, 1);
  mode->PromptUserInput(0); // prompts are disabled by default
  EXPECT_TRUE(e.ui.mMenusShown.empty());
  mode->DisablePrompt(false);
  time->DisablePrompt(false);
  time->SetPromptShowsParamLabel(true);
  e.delegate.OnUIOpen(); // the controls show the parameters' values

  e.ui.mMenuChoice = 0;
  mode->PromptUserInput(0);
  e.ui.mMenuChoice = -1;
  mode->PromptUserInput(0);
  EXPECT_EQ(e.delegate.GetParam(2)->GetValue(), 0.0);
  EXPECT_EQ(e.ui.mMenusShown, (Log{"Mode: One *Two Three", "Mode: *One Two Three"}));

  time->PromptUserInput(0);
  ASSERT_EQ(e.ui.mTextEntries.size(), 1u);
  EXPECT_EQ(e.ui.mTextEntries[0].paramIdx, 1);
  EXPECT_EQ(e.ui.mTextEntries[0].str, "0.000 ms");
  EXPECT_EQ(e.ui.mTextEntries[0].bounds, IRECT(60, 22, 100, 38)); // 40 x 16 on the control's centre
  EXPECT_EQ(e.ui.GetControlInTextEntry(), time);
  e.ui.SetControlValueAfterTextEdit("0.5");
  EXPECT_EQ(e.ui.GetControlInTextEntry(), nullptr);
  for (const char* typed : {"", " ", "-", "0,25"})
  {
    time->PromptUserInput(0);
    e.ui.SetControlValueAfterTextEdit(typed);
  }
  EXPECT_EQ(e.delegate.mLog,
            (Log{"begin 2", "value 2 0.000", "end 2", "begin 1", "value 1 0.500", "end 1", "begin 1", "value 1 0.250",
                 "end 1"}));

  e.ui.CreateTextEntry(*mode, IText(), mode->GetRECT(), "free text", -1);
  e.ui.SetControlValueAfterTextEdit("hello");
  EXPECT_EQ(mode->mEvents, (Log{"text hello -1"}));
  e.ui.CreateTextEntry(*time, IText(), time->GetRECT(), "", 0);
  e.ui.RemoveControl(time);
  e.ui.SetControlValueAfterTextEdit("0.7"); // the control is gone: nothing happens
  e.ui.CreateTextEntry(*mode, IText(), mode->GetRECT(), "", 0);
  e.ui.RemoveAllControls();
  EXPECT_EQ(e.ui.GetControlInTextEntry(), nullptr);
  e.ui.SetControlValueAfterTextEdit("Three");
  EXPECT_EQ(e.delegate.mLog.size(), 9u);
}

TEST(ISurfaceSize, ResizeKeepsToTheLimitsAndTheCornerResizerScales)
{
  Editor e;
  e.ui.Resize(300, 200, 1.f);
  EXPECT_EQ(e.ui.mPlatformResizes, 0);
  e.ui.Resize(300, 200, 5.f);
  EXPECT_EQ(e.ui.GetDrawScale(), 2.f);
  e.ui.Resize(1000, 50, 1.f);
  EXPECT_EQ(e.ui.Width(), 600);
  EXPECT_EQ(e.ui.Height(), 100);
  e.ui.Resize(300, 200, std::nanf(""));
  EXPECT_EQ(e.ui.Width(), 600);
  e.ui.Resize(300, 200, 1.f);
  EXPECT_EQ(e.delegate.mResizes, (std::vector<std::pair<int, int>>{{600, 400}, {600, 100}, {300, 200}}));

  e.ui.AttachCornerResizer();
  ICornerResizerControl* grip = e.ui.GetCornerResizer();
  EXPECT_EQ(grip->GetRECT(), IRECT(280, 180, 300, 200));
  e.ui.OnMouseDown(295, 195, kLeft);
  e.Drag(442.5f, 292.5f, 1.f);
  e.ui.OnMouseUp(442.5f, 292.5f, kLeft);
  EXPECT_FLOAT_EQ(e.ui.GetDrawScale(), 1.5f);
  EXPECT_NEAR(grip->GetRECT().W(), 20.f / 1.5f, 1e-4f);
  e.ui.OnMouseDblClick(299, 199, kLeft);
  EXPECT_EQ(e.ui.GetDrawScale(), 1.f);

  e.ui.OnMouseDown(0, 0, kLeft); // a press at the editor's corner gives no scale ratio
  e.ui.StartDragResize();
  e.Drag(50, 50, 1.f);
  e.ui.OnMouseUp(50, 50, kLeft);
  EXPECT_EQ(e.ui.GetDrawScale(), 1.f);

  e.ui.SetScreenScale(0);
  EXPECT_EQ(e.ui.GetScreenScale(), 1);
  e.ui.SetScreenScale(2);
  EXPECT_EQ(e.ui.GetTotalScale(), 2.f);
}
