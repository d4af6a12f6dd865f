// The effect's editor in a host's window on the test server. Opening and closing it 100 times in
// one process leaves nothing behind: no window, no X connection or other descriptor, no run-loop
// timer, and the resident memory grows by less than 1 MB; prompts never block; it draws what the
// headless editor of the pictures draws. The effect is linked in, so its run loop can be counted
// and its editor compared with the headless one; it is driven only through its dispatcher and
// the pointer, as a host and a user do.

// Google Test first: the X11 headers define macros (None, Bool) that its names clash with.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "effect/QuillonMini.h"
#include "gfx/INoticeControl.h"
#include "gfx/IPopupMenuControl.h"
#include "gfx/ISurface.h"
#include "gfx/platform/ChildProcess.h"
#include "gfx/platform/DesktopDialogs.h"
#include "gfx/platform/ISurfaceLinux.h"
#include "plug/core/Timer.h"
#include "tests/support/X11EffectHost.h"
#include "tools/EditorSession.h"

using namespace quillon;

namespace {

int OpenDescriptors()
{
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

long ResidentKiB()
{
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int Children(Display* display, Window window)
{
  return static_cast<int>(ChildWindows(display, window).size());
}

// The effect's editor opened in a host's window on the test server.
class X11Editor : public ::testing::Test
{
protected:
  void SetUp() override { ASSERT_TRUE(mHost.Ready()) << kNoTestDisplay; }

  bool OpenEditor() { return mHost.OpenEditor(); }
  void Idle() { mHost.Idle(); }
  void CloseEditor() { mHost.CloseEditor(); }
  // Idle calls 20 ms apart, as a host makes them, until done() (at most 2 s).
  bool IdleUntil(const std::function<bool()>& done)
  {
    for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    {
      XSync(mDisplay, False);
      Idle();
      if (done())
        return true;
    }
    return false;
  }

  X11EffectHost mHost{400, 200};
  Display* const mDisplay = mHost.GetDisplay();
};

TEST_F(X11Editor, HundredOpeningsLeaveNoWindowConnectionDescriptorTimerOrMemory)
{
  auto cycle = [&] {
    ASSERT_TRUE(OpenEditor());
    for (int i = 0; i < 3; ++i)
      Idle();
    CloseEditor();
  };
  for (int i = 0; i < 5; ++i) // caches, fonts and the allocator's pools settle
    cycle();
  malloc_trim(0);
  const int timers = plug::RunLoop::NumRunningTimers();
  const int descriptors = OpenDescriptors();
  const int rootWindows = Children(mDisplay, DefaultRootWindow(mDisplay));
  [[maybe_unused]] const long resident = ResidentKiB(); // unchecked under AddressSanitizer

  for (int i = 0; i < 100; ++i)
    cycle();
  malloc_trim(0);
  XSync(mDisplay, False);
  EXPECT_EQ(Children(mDisplay, mHost.Parent()), 0);
  EXPECT_EQ(Children(mDisplay, DefaultRootWindow(mDisplay)), rootWindows); // tooltips, notices
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_EQ(plug::RunLoop::NumRunningTimers(), timers);
#ifndef __SANITIZE_ADDRESS__ // AddressSanitizer keeps freed memory in quarantine; its leak check counts there
  EXPECT_LT(ResidentKiB() - resident, 1024) << "KiB";
#endif
}

// A file prompt runs the dialog tool as a child and completes at a later idle call with its answer
// (a zenity that does not know --confirm-overwrite is asked again without it); with no tool
// installed the editor says so and completes as cancelled, also later. A dialog still open when
// the editor closes ends with it.
TEST_F(X11Editor, FilePromptsNeverBlockAndEndWithTheEditor)
{
  const std::string zenity = mHost.Settings().Path() + "/zenity";
  const std::string pidFile = mHost.Settings().Path() + "/pid";
  std::ofstream(zenity) << "#!/bin/sh\nfor a; do [ \"$a\" = --confirm-overwrite ] && exit 255; done\n"
                        << "case \"$*\" in *Hang*) echo $$ > " << pidFile << "; exec /bin/sleep 30;; esac\n"
                        << "/bin/sleep 0.2\necho /home/u/Hall.fxp\n";
  std::filesystem::permissions(zenity, std::filesystem::perms::owner_all);
  const std::string path = getenv("PATH");

  ASSERT_TRUE(OpenEditor());
  std::vector<std::string> answers;
  auto completion = [&](const std::string& file, const std::string& folder) { answers.push_back(file + "|" + folder); };
  plug::gfx::ISurface* ui = mHost.Plugin().GetUI();
  const auto idleUntil = [&](const std::function<bool()>& done) {
    for (int i = 0; i < 200 && !done(); ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
      Idle();
  };

  setenv("PATH", mHost.Settings().Path().c_str(), 1);
  const auto start = std::chrono::steady_clock::now();
  ui->PromptForFile(plug::gfx::EFileAction::kSave, "Hall.fxp", "", "fxp", completion);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100)); // the dialog runs on
  idleUntil([&] { return !answers.empty(); });
  EXPECT_EQ(answers, std::vector<std::string>{"/home/u/Hall.fxp|/home/u/"});

  setenv("PATH", "/nonexistent", 1);
  ui->PromptForFile(plug::gfx::EFileAction::kSave, "Hall.fxp", "", "fxp", completion);
  EXPECT_EQ(answers.size(), 1u); // not inside the call
  Idle();
  EXPECT_EQ(answers.back(), "|");
  EXPECT_EQ(ui->GetNoticeControl()->GetNotice(), plug::gfx::kNoDialogToolMessage);
  setenv("PATH", mHost.Settings().Path().c_str(), 1);
  ui->PromptForFile(plug::gfx::EFileAction::kOpen, "Hang.fxp", "", "fxp", completion);
  setenv("PATH", path.c_str(), 1);
  pid_t dialog = 0;
  idleUntil([&] { return static_cast<bool>(std::ifstream(pidFile) >> dialog); });
  ASSERT_GT(dialog, 0);
  CloseEditor();
  for (int i = 0; i < 100 && kill(dialog, 0) == 0; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    plug::gfx::ChildProcess::ReapLeftChildren();
  EXPECT_NE(kill(dialog, 0), 0);
  EXPECT_EQ(answers.size(), 2u);
}

// The effect's layout shows no tooltips; with the surface's flag on, one appears when the pointer
// rests on a knob and goes with a press.
TEST_F(X11Editor, ATooltipAppearsWhenThePointerRestsOnAKnob)
{
  const auto shownPopups = [&] {
    int shown = 0;
    for (Window window : ChildWindows(mDisplay, DefaultRootWindow(mDisplay)))
    {
      XWindowAttributes a{};
      XGetWindowAttributes(mDisplay, window, &a);
      shown += a.override_redirect && a.map_state == IsViewable;
    }
    return shown;
  };
  ASSERT_TRUE(OpenEditor());
  mHost.Plugin().GetUI()->AssignParamNameToolTips();
  mHost.Plugin().GetUI()->EnableTooltips(true);
  XTestFakeMotionEvent(mDisplay, 0, 130, 96, CurrentTime); // the Width knob
  EXPECT_EQ(shownPopups(), 0);
  EXPECT_TRUE(IdleUntil([&] { return shownPopups() == 1; })); // after a rest of 0.6 s
  XTestFakeButtonEvent(mDisplay, 1, True, CurrentTime);       // and gone with a press
  XTestFakeButtonEvent(mDisplay, 1, False, CurrentTime);
  EXPECT_TRUE(IdleUntil([&] { return shownPopups() == 0; }));
  CloseEditor();
}

// The pictures quillon-editor-shot makes are what users get: the headless editor and the editor in
// a host's window draw the same pixels for the same events, the program list included. At every
// scale the list, opened by a double click on the name, lies inside the editor below the strip with
// every name whole, and the double click changes no program.
TEST_F(X11Editor, ProgramListIsDrawnAsInTheHeadlessPicturesAndFitsAtEveryScale)
{
  mHost.MapParent(700, 330);
  const std::string folder = mHost.Settings().Path() + "/QuillonMini";
  std::filesystem::create_directories(folder);
  for (float scale : {0.5f, 1.f, 1.5f, 2.f})
  {
    std::ofstream(folder + "/Settings.ini") << "[Params]\nScale=" << scale << "\n";
    const int w = int(340.f * scale), h = int(160.f * scale);
    std::vector<uint32_t> headless;
    {
      EditorSession session;
      ASSERT_TRUE(session.Open());
      std::string error;
      ASSERT_TRUE(session.Apply("dblclick:200,15", error)) << error;
      session.RunFor(300);
      int fw = 0, fh = 0, stride = 0;
      const unsigned char* frame = session.UI().GetFramePixels(fw, fh, stride);
      ASSERT_TRUE(frame && fw == w && fh == h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          headless.push_back(reinterpret_cast<const uint32_t*>(frame + y * stride)[x] & 0xFFFFFF);
    }

    ASSERT_TRUE(OpenEditor());
    XTestFakeMotionEvent(mDisplay, 0, int(200.f * scale), int(15.f * scale), CurrentTime);
    for (bool down : {true, false, true, false})
      XTestFakeButtonEvent(mDisplay, 1, down, CurrentTime);
    const plug::gfx::IPopupMenuControl* menu = mHost.Plugin().GetUI()->GetPopupMenuControl();
    EXPECT_TRUE(IdleUntil([&] { return menu->GetState() == plug::gfx::IPopupMenuControl::EState::kExpanded; }))
        << scale;
    EXPECT_EQ(mHost.Plugin().GetCurrentPresetIdx(), 0) << scale;
    const plug::gfx::IRECT panel = menu->GetPanelBounds(0);
    EXPECT_TRUE(plug::gfx::IRECT(0.f, 30.f, 340.f, 160.f).Contains(panel)) << scale;
    for (int i = 0; i < mHost.Plugin().NPresets(); ++i)
    {
      EXPECT_EQ(menu->GetItemText(0, i), mHost.Plugin().GetPresetName(i)) << scale;
      EXPECT_TRUE(panel.Contains(menu->GetItemBounds(0, i))) << scale << " " << i;
    }
    EXPECT_TRUE(IdleUntil([&] { return Pixels(mDisplay, mHost.Parent(), 0, 0, w, h) == headless; })) << scale;
    CloseEditor();
  }
}

} // namespace
