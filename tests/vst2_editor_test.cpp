// The project's X11 test host: it loads QuillonMini.so as a Linux host does (dlopen, VSTPluginMain,
// effOpen), gives it a window of its own on the Xvfb server that tools/qm test starts, opens the
// editor with effEditOpen, calls effEditIdle as hosts do, sends input with XTest and reads the
// window's pixels back.

// Google Test first: the X11 headers define macros (None, Bool) that its names clash with.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "plug/VST2Types.h"

namespace {

class TempSettingsEnvironment : public ::testing::Environment
{
public:
  void SetUp() override
  {
    char pattern[] = "/tmp/qm_vst2_editor_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    mDir = pattern;
    setenv("XDG_CONFIG_HOME", mDir.c_str(), 1);
    setenv("HOME", mDir.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(mDir); }

private:
  std::string mDir;
};

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new TempSettingsEnvironment);

struct HostCall
{
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  float opt;
};

struct HostState
{
  std::vector<HostCall> calls;
  bool canSizeWindow = true;
  std::vector<VstInt32> Gestures() const
  {
    std::vector<VstInt32> g;
    for (const HostCall& c : calls)
    {
      if (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit ||
          (c.opcode == audioMasterAutomate && (g.empty() || g.back() != audioMasterAutomate)))
        g.push_back(c.opcode);
    }
    return g;
  }
};

VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  auto* host = effect ? static_cast<HostState*>(effect->user) : nullptr;
  if (!host)
    return 0;
  host->calls.push_back({opcode, index, value, opt});
  switch (opcode)
  {
    case audioMasterGetProductString:
      std::strcpy(static_cast<char*>(ptr), "X11 Test Host");
      return 1;
    case audioMasterCanDo:
      return host->canSizeWindow && std::strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0 ? 1 : 0;
    case audioMasterSizeWindow:
      return host->canSizeWindow ? 1 : 0;
    default:
      return 0;
  }
}

class EditorHost : public ::testing::Test
{
protected:
  void SetUp() override
  {
    for (int i = 0; i < 5 && !mDisplay; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
      mDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(mDisplay, nullptr) << "no X display (tools/qm test starts Xvfb and sets DISPLAY)";
    static void* module = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
    mEffect = entry(HostCallback);
    ASSERT_NE(mEffect, nullptr);
    mEffect->user = &mHost;
    Dispatch(effOpen);
    mParent = XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 800, 400, 0, 0, 0);
    XMapWindow(mDisplay, mParent);
    XSync(mDisplay, False);
  }
  void TearDown() override
  {
    if (mEffect)
      Dispatch(effClose);
    if (mDisplay)
      XCloseDisplay(mDisplay);
  }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr)
  {
    return mEffect->dispatcher(mEffect, opcode, index, value, ptr, 0.f);
  }
  bool Open() { return Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(mParent)) == 1; }
  ERect Rect()
  {
    ERect* rect = nullptr;
    Dispatch(effEditGetRect, 0, 0, &rect);
    return rect ? *rect : ERect{};
  }
  // Idle calls 20 ms apart, as a host makes them, until done() (at most 2 s).
  bool IdleUntil(const std::function<bool()>& done)
  {
    for (int i = 0; i < 100; ++i)
    {
      XSync(mDisplay, False);
      Dispatch(effEditIdle);
      if (done())
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  void Idle(int times)
  {
    IdleUntil([&] { return --times <= 0; });
  }
  Window Editor()
  {
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(mDisplay, mParent, &root, &parent, &children, &n);
    const Window editor = n == 1 ? children[0] : None;
    if (children)
      XFree(children);
    return editor;
  }
  unsigned long Pixel(int x, int y)
  {
    XImage* image = XGetImage(mDisplay, mParent, x, y, 1, 1, AllPlanes, ZPixmap);
    const unsigned long p = image ? XGetPixel(image, 0, 0) & 0xFFFFFF : 0;
    if (image)
      XDestroyImage(image);
    return p;
  }
  void MoveTo(int x, int y) { XTestFakeMotionEvent(mDisplay, 0, x, y, CurrentTime); }
  void Button(unsigned b, bool down) { XTestFakeButtonEvent(mDisplay, b, down, CurrentTime); }
  void Key(KeySym sym)
  {
    XTestFakeKeyEvent(mDisplay, XKeysymToKeycode(mDisplay, sym), True, CurrentTime);
    XTestFakeKeyEvent(mDisplay, XKeysymToKeycode(mDisplay, sym), False, CurrentTime);
  }
  float Param(int i) { return mEffect->getParameter(mEffect, i); }

  Display* mDisplay = nullptr;
  Window mParent = None;
  AEffect* mEffect = nullptr;
  HostState mHost;
};

constexpr unsigned long kBackground = 0x2F363A; // the provisional editor's panel
// The centre of the first knob (Decay) at scale 1.
constexpr int kKnobX = 50;
constexpr int kKnobY = 75;

TEST_F(EditorHost, OpensAsAChildOfTheHostsWindowWithItsFirstFrameShown)
{
  const ERect before = Rect();
  EXPECT_EQ(before.right, 340);
  EXPECT_EQ(before.bottom, 160);
  ASSERT_TRUE(Open());
  const Window editor = Editor();
  ASSERT_NE(editor, None);
  XWindowAttributes a{};
  XGetWindowAttributes(mDisplay, editor, &a);
  EXPECT_EQ(a.width, 340);
  EXPECT_EQ(a.height, 160);
  EXPECT_EQ(Rect().right, 340);
  // Drawn at effEditOpen, before any idle call.
  bool shown = false;
  for (int i = 0; i < 100 && !shown; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    shown = Pixel(5, 5) == kBackground;
  EXPECT_TRUE(shown);
  EXPECT_NE(Pixel(kKnobX, kKnobY), kBackground); // a knob

  // Covered and uncovered: drawn again from the last frame at the next idle call.
  const Window cover = XCreateSimpleWindow(mDisplay, mParent, 0, 0, 100, 100, 0, 0, 0xFF0000);
  XMapRaised(mDisplay, cover);
  XSync(mDisplay, False);
  XDestroyWindow(mDisplay, cover);
  EXPECT_TRUE(IdleUntil([&] { return Pixel(5, 5) == kBackground; }));
  Dispatch(effEditClose);
  EXPECT_EQ(Editor(), None);
}

TEST_F(EditorHost, AKnobDragIsOneGestureToTheHostWithThePointerLockedAndReturned)
{
  ASSERT_TRUE(Open());
  const float start = Param(0);
  MoveTo(kKnobX, kKnobY);
  Button(1, true);
  Idle(2);
  for (int step = 1; step <= 8; ++step)
  {
    MoveTo(kKnobX, kKnobY - 5 * step);
    Idle(1);
  }
  Button(1, false);
  Idle(2);
  EXPECT_GT(Param(0), start);
  EXPECT_EQ(mHost.Gestures(), (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
  for (const HostCall& c : mHost.calls)
  {
    if (c.opcode == audioMasterAutomate || c.opcode == audioMasterBeginEdit)
    {
      EXPECT_EQ(c.index, 0);
    }
  }
  Window root, child;
  int rx = 0, ry = 0, x = 0, y = 0;
  unsigned mask = 0;
  XQueryPointer(mDisplay, mParent, &root, &child, &rx, &ry, &x, &y, &mask);
  EXPECT_EQ(x, kKnobX); // put back where the drag began
  EXPECT_EQ(y, kKnobY);

  // A double click sets the default again; a wheel notch up raises by a hundredth.
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  mHost.calls.clear();
  Button(1, true);
  Button(1, false);
  Button(1, true);
  Button(1, false);
  Idle(3);
  const float reset = Param(0);
  EXPECT_LT(reset, Param(0) + 1e-6f);
  EXPECT_LT(reset, start + 1e-4f);
  Button(4, true);
  Button(4, false);
  Idle(2);
  EXPECT_NEAR(Param(0), reset + 0.01f, 1e-4f);
}

TEST_F(EditorHost, TypedValuesReachTheParameterThroughTheKeyboardFocus)
{
  ASSERT_TRUE(Open());
  const int mixX = kKnobX + 3 * 80;
  MoveTo(mixX, kKnobY + 47); // the name below the knob asks for a value
  Button(1, true);
  Button(1, false);
  Idle(3);
  Window focus = None;
  int revert = 0;
  XGetInputFocus(mDisplay, &focus, &revert);
  EXPECT_EQ(focus, Editor());
  for (KeySym k : {XK_BackSpace, XK_5, XK_0, XK_Return})
  {
    Key(k);
    Idle(1);
  }
  EXPECT_TRUE(IdleUntil([&] { return std::abs(Param(3) - 0.5f) < 1e-4f; })) << Param(3);
}

TEST_F(EditorHost, ATooltipAppearsWhenThePointerRestsOnAKnob)
{
  ASSERT_TRUE(Open());
  auto topLevels = [&] {
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(mDisplay, DefaultRootWindow(mDisplay), &root, &parent, &children, &n);
    int shown = 0;
    for (unsigned i = 0; i < n; ++i)
    {
      XWindowAttributes a{};
      XGetWindowAttributes(mDisplay, children[i], &a);
      shown += a.override_redirect && a.map_state == IsViewable;
    }
    if (children)
      XFree(children);
    return shown;
  };
  MoveTo(kKnobX + 80, kKnobY);
  Idle(2);
  EXPECT_EQ(topLevels(), 0);
  EXPECT_TRUE(IdleUntil([&] { return topLevels() == 1; })); // after a rest of 0.6 s
  Button(1, true);                                          // and gone with a press
  Button(1, false);
  EXPECT_TRUE(IdleUntil([&] { return topLevels() == 0; }));
}

TEST_F(EditorHost, AParentDestroyedBeforeEffEditCloseDoesNotReachTheHost)
{
  static int hostErrors = 0;
  XSetErrorHandler([](Display*, XErrorEvent*) -> int { return ++hostErrors, 0; });
  ASSERT_TRUE(Open());
  Idle(2);
  XDestroyWindow(mDisplay, mParent);
  XSync(mDisplay, False);
  MoveTo(kKnobX, kKnobY);
  Idle(3);
  Dispatch(effEditClose);
  XSync(mDisplay, False);
  XSetErrorHandler(nullptr);
  EXPECT_EQ(hostErrors, 0);
}

TEST_F(EditorHost, SizedAtTheScreenScaleAndTheHostAskedToFollow)
{
  const Atom resources = XInternAtom(mDisplay, "RESOURCE_MANAGER", False);
  const char* dpi = "Xft.dpi:\t192\n";
  XChangeProperty(mDisplay, DefaultRootWindow(mDisplay), resources, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(dpi), static_cast<int>(std::strlen(dpi)));
  XSync(mDisplay, False);
  const ERect before = Rect();
  const bool opened = Open();
  XDeleteProperty(mDisplay, DefaultRootWindow(mDisplay), resources);
  XSync(mDisplay, False);
  ASSERT_TRUE(opened);
  EXPECT_EQ(before.right, 680);
  EXPECT_EQ(before.bottom, 320);
  XWindowAttributes a{};
  XGetWindowAttributes(mDisplay, Editor(), &a);
  EXPECT_EQ(a.width, 680);
  EXPECT_EQ(a.height, 320);
  EXPECT_EQ(Rect().right, 680);
  EXPECT_TRUE(IdleUntil([&] { return Pixel(600, 300) == kBackground; }));
}

} // namespace
