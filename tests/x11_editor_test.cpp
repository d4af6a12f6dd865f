// Opening and closing the editor 100 times in one process leaves nothing behind: no window, no X
// connection or other descriptor, no run-loop timer, and the resident memory grows by less than
// 1 MB. The effect is linked in, so its run loop can be counted; it is driven only through its
// dispatcher, as a host does.

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
#include "gfx/ISurface.h"
#include "gfx/platform/ChildProcess.h"
#include "gfx/platform/ISurfaceLinux.h"
#include "plug/Timer.h"
#include "tests/TempSettingsFolder.h"
#include "tests/X11TestHost.h"

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

VstIntPtr QuietHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

int Children(Display* display, Window window)
{
  return static_cast<int>(ChildWindows(display, window).size());
}

// The effect, linked in, with a settings folder of its own and a host's window on the test server
// to open its editor in.
class X11Editor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_FALSE(mSettings.Path().empty());
    mDisplay = OpenTestDisplay();
    ASSERT_NE(mDisplay, nullptr) << kNoTestDisplay;
    mParent = MapHostWindow(mDisplay, 400, 200);
    plug::InstanceInfo info;
    info.mVSTHostCallback = QuietHost;
    mPlugin = std::make_unique<TQuillonMini>(info);
  }
  void TearDown() override
  {
    mPlugin.reset();
    if (mDisplay)
      XCloseDisplay(mDisplay);
  }

  VstIntPtr Dispatch(VstInt32 opcode, void* ptr = nullptr)
  {
    AEffect& effect = mPlugin->GetAEffect();
    return effect.dispatcher(&effect, opcode, 0, 0, ptr, 0.f);
  }
  bool OpenEditor() { return Dispatch(effEditOpen, reinterpret_cast<void*>(mParent)) == 1; }
  void Idle() { Dispatch(effEditIdle); }
  void CloseEditor() { Dispatch(effEditClose); }

  TempSettingsFolder mSettings{"qm_x11_editor"};
  Display* mDisplay = nullptr;
  Window mParent = None;
  std::unique_ptr<TQuillonMini> mPlugin;
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
  EXPECT_EQ(Children(mDisplay, mParent), 0);
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
  const std::string zenity = mSettings.Path() + "/zenity";
  const std::string pidFile = mSettings.Path() + "/pid";
  std::ofstream(zenity) << "#!/bin/sh\nfor a; do [ \"$a\" = --confirm-overwrite ] && exit 255; done\n"
                        << "case \"$*\" in *Hang*) echo $$ > " << pidFile << "; exec /bin/sleep 30;; esac\n"
                        << "/bin/sleep 0.2\necho /home/u/Hall.fxp\n";
  std::filesystem::permissions(zenity, std::filesystem::perms::owner_all);
  const std::string path = getenv("PATH");

  ASSERT_TRUE(OpenEditor());
  std::vector<std::string> answers;
  auto completion = [&](const std::string& file, const std::string& folder) { answers.push_back(file + "|" + folder); };
  plug::gfx::ISurface* ui = mPlugin->GetUI();
  const auto idleUntil = [&](const std::function<bool()>& done) {
    for (int i = 0; i < 200 && !done(); ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
      Idle();
  };

  setenv("PATH", mSettings.Path().c_str(), 1);
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
  auto* linux = dynamic_cast<plug::gfx::ISurfaceLinux*>(ui);
  ASSERT_NE(linux, nullptr);
  EXPECT_TRUE(linux->GetXWindow()->TextShown(plug::gfx::ETextPopup::kNotice));

  setenv("PATH", mSettings.Path().c_str(), 1);
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
  mPlugin->GetUI()->AssignParamNameToolTips();
  mPlugin->GetUI()->EnableTooltips(true);
  const auto idleUntil = [&](const std::function<bool()>& done) {
    for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    {
      XSync(mDisplay, False);
      Idle();
      if (done())
        return true;
    }
    return false;
  };
  XTestFakeMotionEvent(mDisplay, 0, 130, 96, CurrentTime); // the Width knob
  EXPECT_EQ(shownPopups(), 0);
  EXPECT_TRUE(idleUntil([&] { return shownPopups() == 1; })); // after a rest of 0.6 s
  XTestFakeButtonEvent(mDisplay, 1, True, CurrentTime);       // and gone with a press
  XTestFakeButtonEvent(mDisplay, 1, False, CurrentTime);
  EXPECT_TRUE(idleUntil([&] { return shownPopups() == 0; }));
  CloseEditor();
}

} // namespace
