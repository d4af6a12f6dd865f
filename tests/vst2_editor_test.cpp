// The project's X11 test host: it loads QuillonMini.so as a Linux host does (dlopen, VSTPluginMain,
// effOpen), gives it a window of its own on the Xvfb server that tools/qm test starts, opens the
// editor with effEditOpen, calls effEditIdle as hosts do, sends input with XTest and reads the
// window's pixels back.

// Google Test first: the X11 headers define macros (None, Bool) that its names clash with.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "plug/VST2Types.h"
#include "tests/support/TempFolder.h"
#include "tests/support/X11TestHost.h"

namespace {

const TempSettingsFolder gSettings("qm_vst2_editor"); // before the plug-in is first loaded

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
    mDisplay = OpenTestDisplay();
    ASSERT_NE(mDisplay, nullptr) << kNoTestDisplay;
    static void* module = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
    mEffect = entry(HostCallback);
    ASSERT_NE(mEffect, nullptr);
    mEffect->user = &mHost;
    Dispatch(effOpen);
    mParent = MapHostWindow(mDisplay, 800, 400);
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
    const std::vector<Window> children = ChildWindows(mDisplay, mParent);
    return children.size() == 1 ? children[0] : None;
  }
  uint32_t Pixel(int x, int y) { return PixelAt(mDisplay, mParent, x, y); }
  uint32_t Pixel(std::pair<int, int> at) { return Pixel(at.first, at.second); }
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

// Points of the effect's editor at scale 1: the window background left of the panel, the panel's
// body above the knobs, the knobs' centres and the value text of the Mix knob.
struct Rgb
{
  int r, g, b;
};
constexpr Rgb kWindowMid{19, 22, 25};   // the window's gradient at half height
constexpr Rgb kPanelTop{53, 60, 65};    // the panel's gradient at y = 35
constexpr Rgb kArcLit{240, 240, 240};   // a knob's value arc
constexpr Rgb kArcTrack{130, 130, 130}; // the rest of its track
constexpr int kKnobX[4] = {50, 130, 210, 290};
constexpr int kKnobY = 96;
constexpr float kArcRadius = 26.f;

bool Near(uint32_t pixel, Rgb want, int tolerance = 6)
{
  const int r = int(pixel >> 16 & 0xFF), g = int(pixel >> 8 & 0xFF), b = int(pixel & 0xFF);
  return std::abs(r - want.r) <= tolerance && std::abs(g - want.g) <= tolerance && std::abs(b - want.b) <= tolerance;
}

// The point of knob k's arc at an angle (degrees clockwise from up), at a scale.
std::pair<int, int> ArcPoint(int k, float degrees, int scale = 1)
{
  const float phi = (degrees - 90.f) * 3.14159265f / 180.f;
  return {int(float(scale) * (float(kKnobX[k]) + kArcRadius * std::cos(phi))),
          int(float(scale) * (float(kKnobY) + kArcRadius * std::sin(phi)))};
}

void WriteScale(const char* scale)
{
  const std::string folder = std::string(std::getenv("XDG_CONFIG_HOME")) + "/QuillonMini";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/Settings.ini") << "[Params]\nScale=" << scale << "\n\n";
}

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
    shown = Near(Pixel(60, 35), kPanelTop);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(Near(Pixel(1, 80), kWindowMid));

  // Covered and uncovered: drawn again from the last frame at the next idle call.
  const Window cover = XCreateSimpleWindow(mDisplay, mParent, 0, 0, 100, 100, 0, 0, 0xFF0000);
  XMapRaised(mDisplay, cover);
  XSync(mDisplay, False);
  XDestroyWindow(mDisplay, cover);
  EXPECT_TRUE(IdleUntil([&] { return Near(Pixel(60, 35), kPanelTop); }));
  Dispatch(effEditClose);
  EXPECT_EQ(Editor(), None);
}

// The scale kept in the settings file sizes the window; the panel and the knobs' arcs are drawn
// where they belong at either scale (Mix at its default of 21 % is lit from -135 to -78 degrees).
TEST_F(EditorHost, OpensAtTheScaleOfTheSettingsFile)
{
  // Before the first opening the host learns the size the editor opens at: a host that sizes its
  // window from that answer alone shows the whole editor.
  WriteScale("2.000000");
  EXPECT_EQ(Rect().right, 680);
  EXPECT_EQ(Rect().bottom, 320);
  for (int scale : {2, 1})
  {
    WriteScale(scale == 2 ? "2.000000" : "1.000000");
    ASSERT_TRUE(Open());
    XWindowAttributes a{};
    XGetWindowAttributes(mDisplay, Editor(), &a);
    EXPECT_EQ(a.width, 340 * scale);
    EXPECT_EQ(a.height, 160 * scale);
    const auto lit = ArcPoint(3, -105.f, scale);
    const auto track = ArcPoint(3, 60.f, scale);
    EXPECT_TRUE(IdleUntil([&] {
      return Near(Pixel(60 * scale, 35 * scale), kPanelTop) && Near(Pixel(lit), kArcLit, 14) &&
          Near(Pixel(track), kArcTrack, 14);
    })) << "scale "
        << scale;
    Dispatch(effEditClose);
  }
}

// The first drag ends in a right press, which opens the value field: the pointer comes back then,
// and the next drag is locked at its own press.
TEST_F(EditorHost, AKnobDragIsOneGestureToTheHostWithThePointerLockedAndReturned)
{
  ASSERT_TRUE(Open());
  for (int k = 0; k < 4; ++k)
  {
    mHost.calls.clear();
    const float start = Param(k);
    MoveTo(kKnobX[k], kKnobY);
    Button(1, true);
    Idle(2);
    for (int step = 1; step <= 8; ++step)
    {
      MoveTo(kKnobX[k], kKnobY - 2 * step);
      Idle(1);
    }
    if (k == 0)
    {
      Button(3, true);
      Button(3, false);
    }
    Button(1, false);
    Idle(2);
    if (k == 0)
    {
      Key(XK_Escape);
      Idle(2);
    }
    EXPECT_GT(Param(k), start) << "knob " << k;
    EXPECT_EQ(mHost.Gestures(), (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
    for (const HostCall& c : mHost.calls)
    {
      if (c.opcode == audioMasterAutomate || c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit)
      {
        EXPECT_EQ(c.index, k);
      }
    }
    EXPECT_EQ(PointerIn(mDisplay, mParent), std::make_pair(kKnobX[k], kKnobY)); // put back where the drag began
  }

  // A double click sets the default again; a wheel notch up raises by a hundredth. Each reaches
  // the host in a gesture: hosts recording in touch mode keep only what comes in one.
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  MoveTo(kKnobX[0], kKnobY);
  Idle(1);
  mHost.calls.clear();
  Button(1, true);
  Button(1, false);
  Button(1, true);
  Button(1, false);
  Idle(3);
  const float reset = Param(0);
  EXPECT_NEAR(reset, 0.5017f, 1e-3f); // 3.2 s
  Button(4, true);
  Button(4, false);
  Idle(2);
  EXPECT_NEAR(Param(0), reset + 0.01f, 1e-4f);
  const VstInt32 begin = audioMasterBeginEdit, automate = audioMasterAutomate, end = audioMasterEndEdit;
  EXPECT_EQ(mHost.Gestures(),
            (std::vector<VstInt32>{begin, automate, end, begin, automate, end, begin, automate, end}));
}

// Quick clicks on the preset strip's arrow each step a program: the second of two is no double
// click there.
TEST_F(EditorHost, QuickClicksOnTheArrowsEachStep)
{
  ASSERT_TRUE(Open());
  const VstIntPtr first = Dispatch(effGetProgram);
  MoveTo(302, 15); // "next"
  Idle(1);
  for (int click = 0; click < 6; ++click)
  {
    Button(1, true);
    Button(1, false);
    Idle(1);
  }
  Idle(2);
  EXPECT_EQ(Dispatch(effGetProgram), first + 6);
}

// The keyboard stays the host's: the editor takes the focus only while a value field is open and
// gives it back when the field closes. Keys the host passes on reach an open field and are refused
// otherwise (so the host's Space still rolls its transport).
TEST_F(EditorHost, TypedValuesReachTheFieldThroughTheFocusOrFromTheHost)
{
  XSetInputFocus(mDisplay, mParent, RevertToPointerRoot, CurrentTime);
  ASSERT_TRUE(Open());
  const auto focus = [&] {
    Window window = None;
    int revert = 0;
    XGetInputFocus(mDisplay, &window, &revert);
    return window;
  };
  const auto openField = [&] {
    MoveTo(kKnobX[3], 131); // the value below the Mix knob
    Button(1, true);
    Button(1, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(450)); // the next click is no double click
    Idle(3);
  };
  EXPECT_EQ(Dispatch(effEditKeyDown, ' ', VKEY_SPACE), 0);
  EXPECT_EQ(Dispatch(effEditKeyUp, ' ', VKEY_SPACE), 0);

  openField();
  EXPECT_EQ(focus(), Editor());
  for (KeySym k : {XK_BackSpace, XK_5, XK_0, XK_Return})
  {
    Key(k);
    Idle(1);
  }
  EXPECT_TRUE(IdleUntil([&] { return std::abs(Param(3) - 0.5f) < 1e-4f; })) << Param(3);
  EXPECT_EQ(focus(), mParent);

  openField();
  for (auto [character, key] : {std::pair<int, int>{0, VKEY_BACK}, {'2', 0}, {'5', 0}, {0, VKEY_RETURN}})
    EXPECT_EQ(Dispatch(effEditKeyDown, character, key), 1);
  EXPECT_NEAR(Param(3), 0.25f, 1e-4f);
  Idle(1);
  EXPECT_EQ(focus(), mParent);
}

// Values the host sets on a thread of its own show by the next frame: automation on the knob's arc,
// a program change in the preset strip as a freshly opened editor shows it.
TEST_F(EditorHost, ValuesFromTheHostsOwnThreadShowByTheNextFrame)
{
  ASSERT_TRUE(Open());
  Idle(2);
  const auto arc = ArcPoint(3, 100.f);
  EXPECT_TRUE(Near(Pixel(arc), kArcTrack, 14));
  // One idle call draws the frame; the X server shows it a moment later (another connection).
  const auto shownSoon = [&](const std::function<bool()>& shown) {
    for (int i = 0; i < 50; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
      if (shown())
        return true;
    return false;
  };
  std::thread([&] { mEffect->setParameter(mEffect, 3, 1.f); }).join();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Idle(1);
  EXPECT_TRUE(shownSoon([&] { return Near(Pixel(arc), kArcLit, 14); }));

  const auto strip = [&] { return Pixels(mDisplay, mParent, 106, 0, 154, 29); };
  const std::vector<uint32_t> before = strip();
  std::thread([&] { Dispatch(effSetProgram, 0, 10); }).join(); // "Large Hall"
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Idle(1);
  EXPECT_TRUE(shownSoon([&] { return strip() != before; }));
  const std::vector<uint32_t> changed = strip();
  Dispatch(effEditClose);
  ASSERT_TRUE(Open());
  EXPECT_TRUE(shownSoon([&] { return strip() == changed; })); // as a fresh editor draws it
}

TEST_F(EditorHost, AParentDestroyedBeforeEffEditCloseDoesNotReachTheHost)
{
  static int hostErrors = 0;
  XSetErrorHandler([](Display*, XErrorEvent*) -> int { return ++hostErrors, 0; });
  ASSERT_TRUE(Open());
  Idle(2);
  XDestroyWindow(mDisplay, mParent);
  XSync(mDisplay, False);
  MoveTo(kKnobX[0], kKnobY);
  Idle(3);
  Dispatch(effEditClose);
  XSync(mDisplay, False);
  XSetErrorHandler(nullptr);
  EXPECT_EQ(hostErrors, 0);
}

TEST_F(EditorHost, SizedAtTheScreenScaleAndTheHostAskedToFollow)
{
  SetServerResources(mDisplay, "Xft.dpi:\t192\n");
  const ERect before = Rect();
  const bool opened = Open();
  SetServerResources(mDisplay, nullptr);
  ASSERT_TRUE(opened);
  EXPECT_EQ(before.right, 680);
  EXPECT_EQ(before.bottom, 320);
  XWindowAttributes a{};
  XGetWindowAttributes(mDisplay, Editor(), &a);
  EXPECT_EQ(a.width, 680);
  EXPECT_EQ(a.height, 320);
  EXPECT_EQ(Rect().right, 680);
  EXPECT_TRUE(IdleUntil([&] { return Near(Pixel(120, 70), kPanelTop); }));
}

} // namespace
