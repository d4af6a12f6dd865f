// Opening and closing the editor 100 times in one process leaves nothing behind: no window, no X
// connection or other descriptor, no run-loop timer, and the resident memory grows by less than
// 1 MB. The effect is linked in, so its run loop can be counted; it is driven only through its
// dispatcher, as a host does.

// Google Test first: the X11 headers define macros (None, Bool) that its names clash with.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "effect/QuillonMini.h"
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
    const long resident = ResidentKiB();

    for (int i = 0; i < 100; ++i)
      cycle();
    malloc_trim(0);
    XSync(display, False);
    EXPECT_EQ(Children(display, parent), 0);
    EXPECT_EQ(Children(display, DefaultRootWindow(display)), rootWindows); // tooltips, notices
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(plug::RunLoop::NumRunningTimers(), timers);
    EXPECT_LT(ResidentKiB() - resident, 1024) << "KiB";
  }
  XCloseDisplay(display);
  std::filesystem::remove_all(dir);
}

} // namespace
