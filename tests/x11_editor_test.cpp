// Opening and closing the editor 100 times in one process leaves nothing behind: no window, no X
// connection or other descriptor, no run-loop timer, and the resident memory grows by less than
// 1 MB. The effect is linked in, so its run loop can be counted; it is driven only through its
// dispatcher, as a host does.

// Google Test first: the X11 headers define macros (None, Bool) that its names clash with.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "effect/QuillonMini.h"
#include "gfx/ISurface.h"
#include "gfx/platform/ISurfaceLinux.h"
#include "plug/Timer.h"

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
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  XQueryTree(display, window, &root, &parent, &children, &n);
  if (children)
    XFree(children);
  return static_cast<int>(n);
}

VstIntPtr QuietHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

TEST(X11Editor, HundredOpeningsLeaveNoWindowConnectionDescriptorTimerOrMemory)
{
  char dir[] = "/tmp/qm_x11_editor_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  setenv("XDG_CONFIG_HOME", dir, 1);

  Display* display = nullptr;
  for (int i = 0; i < 5 && !display; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
    display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "no X display (tools/qm test starts Xvfb and sets DISPLAY)";
  const Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 200, 0, 0, 0);
  XMapWindow(display, parent);
  XSync(display, False);

  plug::InstanceInfo info;
  info.mVSTHostCallback = QuietHost;
  {
    TQuillonMini plugin(info);
    AEffect& effect = plugin.GetAEffect();
    auto cycle = [&] {
      ASSERT_EQ(effect.dispatcher(&effect, effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0.f), 1);
      for (int i = 0; i < 3; ++i)
        effect.dispatcher(&effect, effEditIdle, 0, 0, nullptr, 0.f);
      effect.dispatcher(&effect, effEditClose, 0, 0, nullptr, 0.f);
    };
    for (int i = 0; i < 5; ++i) // caches, fonts and the allocator's pools settle
      cycle();
    malloc_trim(0);
    const int timers = plug::RunLoop::NumRunningTimers();
    const int descriptors = OpenDescriptors();
    const int rootWindows = Children(display, DefaultRootWindow(display));
    [[maybe_unused]] const long resident = ResidentKiB(); // unchecked under AddressSanitizer

    for (int i = 0; i < 100; ++i)
      cycle();
    malloc_trim(0);
    XSync(display, False);
    EXPECT_EQ(Children(display, parent), 0);
    EXPECT_EQ(Children(display, DefaultRootWindow(display)), rootWindows); // tooltips, notices
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(plug::RunLoop::NumRunningTimers(), timers);
#ifndef __SANITIZE_ADDRESS__ // AddressSanitizer keeps freed memory in quarantine; its leak check counts there
    EXPECT_LT(ResidentKiB() - resident, 1024) << "KiB";
#endif
  }
  XCloseDisplay(display);
  std::filesystem::remove_all(dir);
}

// A file prompt runs the dialog tool as a child and completes at a later idle call with its answer;
// with no tool installed the editor says so and completes as cancelled, also later.
TEST(X11Editor, FilePromptsNeverBlockAndSayWhenNoToolIsInstalled)
{
  char dir[] = "/tmp/qm_x11_prompt_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  setenv("XDG_CONFIG_HOME", dir, 1);
  const std::string zenity = std::string(dir) + "/zenity";
  std::ofstream(zenity) << "#!/bin/sh\nsleep 0.2\necho /home/u/Hall.fxp\n";
  std::filesystem::permissions(zenity, std::filesystem::perms::owner_all);
  const std::string path = getenv("PATH");

  Display* display = nullptr;
  for (int i = 0; i < 5 && !display; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
    display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "no X display (tools/qm test starts Xvfb and sets DISPLAY)";
  const Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 200, 0, 0, 0);
  XMapWindow(display, parent);
  XSync(display, False);
  plug::InstanceInfo info;
  info.mVSTHostCallback = QuietHost;
  {
    TQuillonMini plugin(info);
    AEffect& effect = plugin.GetAEffect();
    ASSERT_EQ(effect.dispatcher(&effect, effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0.f), 1);
    auto idle = [&] { effect.dispatcher(&effect, effEditIdle, 0, 0, nullptr, 0.f); };
    std::vector<std::string> answers;
    auto completion = [&](const std::string& file, const std::string& folder) {
      answers.push_back(file + "|" + folder);
    };

    setenv("PATH", dir, 1);
    const auto start = std::chrono::steady_clock::now();
    plugin.GetUI()->PromptForFile(plug::gfx::EFileAction::kOpen, "", "", "fxp", completion);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100)); // the dialog runs on
    for (int i = 0; i < 200 && answers.empty(); ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
      idle();
    EXPECT_EQ(answers, std::vector<std::string>{"/home/u/Hall.fxp|/home/u/"});

    setenv("PATH", "/nonexistent", 1);
    plugin.GetUI()->PromptForFile(plug::gfx::EFileAction::kSave, "Hall.fxp", "", "fxp", completion);
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(answers.size(), 1u); // not inside the call
    idle();
    EXPECT_EQ(answers.back(), "|");
    auto* ui = dynamic_cast<plug::gfx::ISurfaceLinux*>(plugin.GetUI());
    ASSERT_NE(ui, nullptr);
    EXPECT_TRUE(ui->GetXWindow()->TextShown(plug::gfx::ETextPopup::kNotice));
    effect.dispatcher(&effect, effEditClose, 0, 0, nullptr, 0.f);
  }
  setenv("PATH", path.c_str(), 1);
  XCloseDisplay(display);
  std::filesystem::remove_all(dir);
}

// The effect's layout shows no tooltips; with the surface's flag on, one appears when the pointer
// rests on a knob and goes with a press.
TEST(X11Editor, ATooltipAppearsWhenThePointerRestsOnAKnob)
{
  char dir[] = "/tmp/qm_x11_tooltip_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  setenv("XDG_CONFIG_HOME", dir, 1);
  Display* display = nullptr;
  for (int i = 0; i < 5 && !display; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
    display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "no X display (tools/qm test starts Xvfb and sets DISPLAY)";
  const Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 200, 0, 0, 0);
  XMapWindow(display, parent);
  XSync(display, False);
  const auto shownPopups = [&] {
    Window root, up, *children = nullptr;
    unsigned n = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &up, &children, &n);
    int shown = 0;
    for (unsigned i = 0; i < n; ++i)
    {
      XWindowAttributes a{};
      XGetWindowAttributes(display, children[i], &a);
      shown += a.override_redirect && a.map_state == IsViewable;
    }
    if (children)
      XFree(children);
    return shown;
  };
  plug::InstanceInfo info;
  info.mVSTHostCallback = QuietHost;
  {
    TQuillonMini plugin(info);
    AEffect& effect = plugin.GetAEffect();
    ASSERT_EQ(effect.dispatcher(&effect, effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0.f), 1);
    plugin.GetUI()->AssignParamNameToolTips();
    plugin.GetUI()->EnableTooltips(true);
    const auto idleUntil = [&](const std::function<bool()>& done) {
      for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
      {
        XSync(display, False);
        effect.dispatcher(&effect, effEditIdle, 0, 0, nullptr, 0.f);
        if (done())
          return true;
      }
      return false;
    };
    XTestFakeMotionEvent(display, 0, 130, 96, CurrentTime); // the Width knob
    EXPECT_EQ(shownPopups(), 0);
    EXPECT_TRUE(idleUntil([&] { return shownPopups() == 1; })); // after a rest of 0.6 s
    XTestFakeButtonEvent(display, 1, True, CurrentTime);        // and gone with a press
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    EXPECT_TRUE(idleUntil([&] { return shownPopups() == 0; }));
    effect.dispatcher(&effect, effEditClose, 0, 0, nullptr, 0.f);
  }
  XCloseDisplay(display);
  std::filesystem::remove_all(dir);
}

} // namespace
