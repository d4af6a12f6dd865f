#include <gtest/gtest.h>

#include "gfx/ITextEntryControl.h"
#include "plug/core/IByteChunk.h"
#include "tests/support/GfxTestSurface.h"

using namespace gfxtest;
using Log = std::vector<std::string>;

TEST(ISurfaceEditorDelegate, ReopeningRestoresTheSizeAndScaleOfTheLastClose)
{
  TestDelegate bare;
  EXPECT_EQ(bare.OpenWindow(nullptr), nullptr); // no make-graphics function, no editor

  TestEditor e;
  e.ui.Resize(400, 200, 1.5f);
  e.delegate.CloseWindow();
  EXPECT_EQ(e.delegate.GetUI(), nullptr);
  plug::IByteChunk chunk;
  EXPECT_TRUE(e.delegate.SerializeEditorState(chunk));
  EXPECT_EQ(chunk.Size(), 12);

  EXPECT_NE(e.delegate.OpenWindow(nullptr), nullptr);
  ASSERT_NE(e.delegate.GetUI(), nullptr);
  EXPECT_EQ(e.delegate.GetUI()->Width(), 400);
  EXPECT_EQ(e.delegate.GetUI()->GetDrawScale(), 1.5f);

  e.delegate.GetUI()->Resize(300, 200, 1.f); // an open editor takes a full record at once
  EXPECT_EQ(e.delegate.UnserializeEditorState(chunk, 0), 12);
  EXPECT_EQ(e.delegate.GetUI()->GetDrawScale(), 1.5f);

  e.delegate.CloseWindow(); // a short record: -1, and scale 0 means no resize at the next opening
  plug::IByteChunk shortChunk;
  shortChunk.PutBytes(chunk.GetData(), 8);
  EXPECT_EQ(e.delegate.UnserializeEditorState(shortChunk, 0), -1);
  e.delegate.OpenWindow(nullptr);
  EXPECT_EQ(e.delegate.GetUI()->Width(), 300);
  EXPECT_EQ(e.delegate.GetUI()->GetDrawScale(), 1.f);
  e.delegate.SetScreenScale(2.4);
  EXPECT_EQ(e.delegate.GetUI()->GetScreenScale(), 2);
}

TEST(ISurfaceEditorDelegate, PathsFromThePlugInReachTheListedControls)
{
  TestEditor e;
  auto* background = static_cast<TestControl*>(e.ui.AttachBackgroundControl(new TestControl({0, 0, 300, 200})));
  TestControl* a = e.Attach({10, 10, 50, 50}, 0);
  TestControl* b = e.Attach({60, 10, 100, 50}, 0);
  a->SetTag(5);
  b->SetTag(5);
  b->SetWantsMidi(true);
  e.delegate.SendControlValueFromDelegate(-1, 0.5);
  EXPECT_EQ(background->GetValue(), 0.0); // tag -1 reaches nobody
  e.delegate.SendControlValueFromDelegate(5, 0.5);
  EXPECT_EQ(a->GetValue(), 0.5);
  EXPECT_EQ(b->GetValue(), 0.5);
  e.delegate.SendControlMsgFromDelegate(5, 42);
  e.delegate.SendMidiMsgFromDelegate(plug::IMidiMsg(0, 0x90, 60, 100));
  EXPECT_EQ(a->mEvents, (Log{"msg 42"}));
  EXPECT_EQ(b->mEvents, (Log{"msg 42", "midi"}));

  // Keys the host offers are for an open field or menu alone; refused otherwise, so the host keeps
  // its own (a key handler does not count).
  bool handled = false;
  e.ui.SetKeyHandlerFunc([&handled](const plug::IKeyPress&, bool up) { return handled = !up; });
  e.ui.mMouseX = 200;
  EXPECT_FALSE(e.delegate.OnKeyDown(plug::IKeyPress(" ", plug::kVK_SPACE)));
  EXPECT_FALSE(e.delegate.OnKeyUp(plug::IKeyPress(" ", plug::kVK_SPACE)));
  EXPECT_FALSE(handled);
  e.ui.AttachTextEntryControl();
  e.ui.CreateTextEntry(*a, IText(), IRECT(10, 10, 50, 30), "", -1);
  EXPECT_TRUE(e.delegate.OnKeyDown(plug::IKeyPress("a", 'A')));
  EXPECT_TRUE(e.delegate.OnKeyUp(plug::IKeyPress("a", 'A')));
  EXPECT_EQ(e.ui.GetTextEntryControl()->GetStr(), "a");
  e.ui.GetTextEntryControl()->DismissEdit();

  e.ui.OnMouseDown(20, 20, IMouseMod(true)); // closing mid-drag ends the host gesture
  e.delegate.CloseWindow();
  EXPECT_EQ(e.delegate.mLog, (Log{"begin 0", "end 0"}));
  EXPECT_FALSE(e.delegate.OnKeyDown(plug::IKeyPress("a", 'A')));
  e.delegate.SendControlValueFromDelegate(5, 0.5); // closed: nothing to reach, nothing breaks
  e.delegate.SendParameterValueFromDelegate(0, 0.3, true);
}

// The plug-in is deleted with its editor open in the middle of a drag (the host closes the
// plug-in without closing the editor): the surface must not call the half-destroyed plug-in.
TEST(ISurfaceEditorDelegate, DeletingThePlugInMidDragDoesNotCallBackIntoIt)
{
  auto e = std::make_unique<TestEditor>();
  e->Attach({10, 10, 50, 50}, 0);
  e->ui.OnMouseDown(20, 20, IMouseMod(true));
  e.reset();
}
