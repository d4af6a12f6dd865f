// An LV2 host's side of a plug-in's X11 editor on the Xvfb server that tools/qm test starts: the UI
// found through lilv, loaded with dlopen and instantiated in a window of the host's with the
// features Linux hosts give, idled as hosts idle it, driven with XTest and fed port events, its
// window's size and pixels read back from the server. The plug-ins under test are the instances of
// the suite at the end: a URI and where one of its knobs sits.

// Google Test first: the X11 headers define macros (None, Bool) that its names clash with.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <ostream>
#include <thread>
#include <utility>
#include <vector>

#include "plug/VST2Types.h"
#include "tests/support/Lv2UiHost.h"
#include "tests/support/TempFolder.h"
#include "tests/support/X11TestHost.h"

// Failed expectations name a call's kind (Lv2UiCall is the support's, in no namespace of ours).
static void PrintTo(Lv2UiCall::Kind kind, std::ostream* out)
{
  *out << (kind == Lv2UiCall::Kind::kWrite ? "write" : kind == Lv2UiCall::Kind::kTouchOn ? "touch on" : "touch off");
}

namespace {

constexpr const char* kQuillonMiniUri = "https://www.brannocksound.com/plugins/QuillonMini";

struct Lv2UiUnderTest
{
  const char* name; // the instance's name in the test's
  const char* pluginUri;
  const char* knobSymbol; // a control input's symbol, and where its knob's centre is in the UI's window
  int knobX, knobY;       // at scale 1
  bool callsResize;       // announces its size through ui:resize as well as through its size hints
};

void PrintTo(const Lv2UiUnderTest& ui, std::ostream* out)
{
  *out << ui.name;
}

class Lv2Ui : public ::testing::TestWithParam<Lv2UiUnderTest>
{
protected:
  // The build's bundle first; then, before a test's settings folder moves HOME, the usual folders.
  static void SetUpTestSuite()
  {
    setenv("LV2_PATH", QM_LV2_DIR ":/usr/local/lib/lv2:/usr/lib/lv2", 1);
    PinLv2Path();
  }
  void SetUp() override
  {
    mDisplay = OpenTestDisplay();
    ASSERT_NE(mDisplay, nullptr) << kNoTestDisplay;
    mHost = std::make_unique<Lv2UiHost>(GetParam().pluginUri);
    ASSERT_EQ(mHost->Error(), "");
    const auto port = mHost->PortIndex(GetParam().knobSymbol);
    ASSERT_TRUE(port) << GetParam().knobSymbol;
    mKnobPort = *port;
    mParent = MapHostWindow(mDisplay, DisplayWidth(mDisplay, 0), DisplayHeight(mDisplay, 0));
  }
  void TearDown() override
  {
    mHost.reset();
    if (mDisplay)
      XCloseDisplay(mDisplay);
  }

  // Idle calls 10 ms apart until done() (at most 3 s); the UI stays open unless it was closed.
  bool IdleUntil(const std::function<bool()>& done, bool closed = false)
  {
    for (int i = 0; i < 300; ++i)
    {
      XSync(mDisplay, False);
      if (mHost->Idle() != 0)
      {
        EXPECT_TRUE(closed) << "the UI's idle says it closed";
      }
      if (done())
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  void Idle(int times)
  {
    IdleUntil([&] { return --times <= 0; });
  }
  bool Open(const Lv2UiOffer& offer = {})
  {
    const bool open = mHost->Instantiate(mParent, offer) && mHost->Widget() != None &&
        IdleUntil([&] { return ShowsAFrame(mDisplay, mHost->Widget()); });
    EXPECT_EQ(mHost->Error(), "");
    return open;
  }
  // The knob's centre on the screen, at a scale.
  std::pair<int, int> KnobOnScreen(float scale = 1.f)
  {
    int x = 0, y = 0;
    Window child = None;
    XTranslateCoordinates(mDisplay, mHost->Widget(), DefaultRootWindow(mDisplay), int(GetParam().knobX * scale),
                          int(GetParam().knobY * scale), &x, &y, &child);
    return {x, y};
  }
  // The UI's calls but its atom messages (a UI may talk to its plug-in through atom ports at any
  // time): touches and control values.
  std::vector<Lv2UiCall> ControlCalls()
  {
    std::vector<Lv2UiCall> calls;
    for (const Lv2UiCall& call : mHost->Calls())
      if (call.kind != Lv2UiCall::Kind::kWrite || call.protocol == 0)
        calls.push_back(call);
    return calls;
  }
  std::vector<uint32_t> KnobPixels()
  {
    return Pixels(mDisplay, mHost->Widget(), GetParam().knobX - 20, GetParam().knobY - 20, 40, 40);
  }

  const TempSettingsFolder mSettings{"qm_lv2_ui"}; // where a UI keeps what it keeps between openings
  Display* mDisplay = nullptr;
  Window mParent = None;
  std::unique_ptr<Lv2UiHost> mHost;
  uint32_t mKnobPort = 0;
};

// Hosts that embed the window size their socket from its WM size hints (GTK's, Qt's) or from
// ui:resize (others): a UI that gives neither comes up at zero size in some of them.
TEST_P(Lv2Ui, OpensInTheHostsWindowSizedAndDrawnAndLeavesWithCleanup)
{
  ASSERT_TRUE(Open());
  const Window widget = mHost->Widget();
  Window root = None, parent = None, *children = nullptr;
  unsigned n = 0;
  XQueryTree(mDisplay, widget, &root, &parent, &children, &n);
  if (children)
    XFree(children);
  EXPECT_EQ(parent, mParent);
  const std::pair<int, int> size = WindowSize(mDisplay, widget);
  EXPECT_GT(size.first, 0);
  EXPECT_GT(size.second, 0);
  EXPECT_EQ(HintedSize(mDisplay, widget), size);
  if (GetParam().callsResize || !mHost->Resizes().empty())
  {
    ASSERT_FALSE(mHost->Resizes().empty());
    EXPECT_EQ(mHost->Resizes().back(), size);
  }
  EXPECT_TRUE(ControlCalls().empty()) << "a fresh UI told the plug-in's values writes none back";

  mHost->Cleanup();
  XSync(mDisplay, False);
  EXPECT_TRUE(ChildWindows(mDisplay, mParent).empty());
}

// A drag is one gesture: touch on, the values written as the knob moves, touch off; the values stay
// in the port's range and rise as the pointer goes up.
TEST_P(Lv2Ui, AKnobDragIsATouchedGestureOfWrites)
{
  ASSERT_TRUE(Open());
  const std::vector<uint32_t> before = KnobPixels();
  const auto [x, y] = KnobOnScreen();
  XTestFakeMotionEvent(mDisplay, 0, x, y, CurrentTime);
  XTestFakeButtonEvent(mDisplay, 1, True, CurrentTime);
  Idle(2);
  for (int step = 1; step <= 10; ++step)
  {
    XTestFakeMotionEvent(mDisplay, 0, x, y - 3 * step, CurrentTime);
    Idle(1);
  }
  XTestFakeButtonEvent(mDisplay, 1, False, CurrentTime);
  Idle(3);

  const std::vector<Lv2UiCall> calls = ControlCalls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.front().kind, Lv2UiCall::Kind::kTouchOn);
  EXPECT_EQ(calls.back().kind, Lv2UiCall::Kind::kTouchOff);
  const auto [minimum, maximum] = mHost->PortRange(mKnobPort);
  float last = mHost->PortDefault(mKnobPort);
  for (std::size_t i = 0; i < calls.size(); ++i)
  {
    const Lv2UiCall& call = calls[i];
    EXPECT_EQ(call.port, mKnobPort) << "call " << i;
    if (i == 0 || i + 1 == calls.size())
      continue;
    ASSERT_EQ(call.kind, Lv2UiCall::Kind::kWrite) << "call " << i;
    EXPECT_EQ(call.protocol, 0u);
    EXPECT_GE(call.value, last);
    EXPECT_GE(call.value, minimum);
    EXPECT_LE(call.value, maximum);
    last = call.value;
  }
  EXPECT_GT(last, mHost->PortDefault(mKnobPort));
  EXPECT_NE(KnobPixels(), before);
}

// A value from the plug-in moves the knob, and the same value back draws it as it was; the UI
// writes nothing back (a host would take that for the user's edit).
TEST_P(Lv2Ui, PortEventsMoveTheKnobAndWriteNothingBack)
{
  ASSERT_TRUE(Open());
  const std::vector<uint32_t> atDefault = KnobPixels();
  const auto [minimum, maximum] = mHost->PortRange(mKnobPort);
  const float other = mHost->PortDefault(mKnobPort) < (minimum + maximum) / 2 ? maximum : minimum;
  mHost->PortEvent(mKnobPort, other);
  EXPECT_TRUE(IdleUntil([&] { return KnobPixels() != atDefault; }));
  mHost->PortEvent(mKnobPort, mHost->PortDefault(mKnobPort));
  EXPECT_TRUE(IdleUntil([&] { return KnobPixels() == atDefault; }));
  EXPECT_TRUE(ControlCalls().empty());
}

// ui:scaleFactor scales the whole window, and the knob with it.
TEST_P(Lv2Ui, TheHostsScaleFactorScalesTheWindow)
{
  ASSERT_TRUE(Open());
  const std::pair<int, int> atOne = WindowSize(mDisplay, mHost->Widget());
  mHost->Cleanup();
  Lv2UiOffer offer;
  offer.scaleFactor = 2.f;
  ASSERT_TRUE(Open(offer));
  const std::pair<int, int> atTwo = WindowSize(mDisplay, mHost->Widget());
  EXPECT_NEAR(atTwo.first, 2 * atOne.first, 1);
  EXPECT_NEAR(atTwo.second, 2 * atOne.second, 1);
  EXPECT_EQ(HintedSize(mDisplay, mHost->Widget()), atTwo);
}

// Hosts that cannot embed ask the UI to show itself: a window of its own on the screen, gone again
// with hide.
TEST_P(Lv2Ui, ShowsAWindowOfItsOwnWhenNotEmbedded)
{
  const std::vector<Window> before = ChildWindows(mDisplay, DefaultRootWindow(mDisplay));
  Lv2UiOffer offer;
  offer.embedded = false;
  ASSERT_TRUE(mHost->Instantiate(None, offer)) << mHost->Error();
  ASSERT_TRUE(mHost->Show());
  Window shown = None;
  EXPECT_TRUE(IdleUntil([&] {
    for (Window w : ChildWindows(mDisplay, DefaultRootWindow(mDisplay)))
      if (std::find(before.begin(), before.end(), w) == before.end() && ShowsAFrame(mDisplay, w))
        shown = w;
    return shown != None;
  }));
  ASSERT_TRUE(mHost->Hide());
  EXPECT_TRUE(IdleUntil([&] { return !IsShown(mDisplay, shown); }, true));
}

VstIntPtr QuietHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

// The editor is one: the LV2 UI at the defaults draws the pixels the VST 2 plug-in's editor draws
// in a host's window at the same scale.
TEST(QuillonMiniLv2Ui, DrawsTheVst2EditorsPixels)
{
  const TempSettingsFolder settings{"qm_lv2_ui_pixels"};
  Display* display = OpenTestDisplay();
  ASSERT_NE(display, nullptr) << kNoTestDisplay;
  setenv("LV2_PATH", QM_LV2_DIR, 1);
  Lv2UiHost lv2(kQuillonMiniUri);
  ASSERT_EQ(lv2.Error(), "");
  ASSERT_TRUE(lv2.Instantiate(MapHostWindow(display, 400, 200)));
  void* module = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
  AEffect* vst2 = entry(QuietHost);
  ASSERT_NE(vst2, nullptr);
  const Window vst2Parent = MapHostWindow(display, 340, 160);
  XMoveWindow(display, vst2Parent, 500, 0); // side by side: the server keeps no pixels of covered windows
  ASSERT_EQ(vst2->dispatcher(vst2, effEditOpen, 0, 0, reinterpret_cast<void*>(vst2Parent), 0.f), 1);

  const auto same = [&] {
    XSync(display, False);
    lv2.Idle();
    vst2->dispatcher(vst2, effEditIdle, 0, 0, nullptr, 0.f);
    return ShowsAFrame(display, lv2.Widget()) &&
        Pixels(display, lv2.Widget(), 0, 0, 340, 160) == Pixels(display, vst2Parent, 0, 0, 340, 160);
  };
  bool equal = false;
  for (int i = 0; i < 100 && !(equal = same()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(equal);
  EXPECT_EQ(WindowSize(display, lv2.Widget()), std::make_pair(340, 160));

  vst2->dispatcher(vst2, effEditClose, 0, 0, nullptr, 0.f);
  vst2->dispatcher(vst2, effClose, 0, 0, nullptr, 0.f);
  lv2.Cleanup();
  XCloseDisplay(display);
}

// A program chosen in the editor reaches the plug-in through the host, each value as a gesture of
// its own (touch on, the value, touch off), so that the host records and can undo it.
TEST(QuillonMiniLv2Ui, AChosenProgramWritesItsValuesThroughTheHost)
{
  const TempSettingsFolder settings{"qm_lv2_ui_program"};
  Display* display = OpenTestDisplay();
  ASSERT_NE(display, nullptr) << kNoTestDisplay;
  setenv("LV2_PATH", QM_LV2_DIR, 1);
  Lv2UiHost lv2(kQuillonMiniUri);
  ASSERT_EQ(lv2.Error(), "");
  ASSERT_TRUE(lv2.Instantiate(MapHostWindow(display, 340, 160)));
  for (int i = 0; i < 5; ++i)
    lv2.Idle();
  int x = 0, y = 0;
  Window child = None;
  XTranslateCoordinates(display, lv2.Widget(), DefaultRootWindow(display), 302, 15, &x, &y, &child);
  XTestFakeMotionEvent(display, 0, x, y, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XSync(display, False);
  for (int i = 0; i < 10; ++i)
  {
    lv2.Idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  const std::pair<const char*, float> nextRoom[] = {
      {"decay", 0.334591f}, {"width", 14.f}, {"color", -45.212766f}, {"mix", 23.12766f}};
  std::vector<Lv2UiCall> calls;
  for (const Lv2UiCall& call : lv2.Calls())
    if (call.kind != Lv2UiCall::Kind::kWrite || call.protocol == 0)
      calls.push_back(call);
  ASSERT_EQ(calls.size(), 3 * std::size(nextRoom));
  for (std::size_t i = 0; i < std::size(nextRoom); ++i)
  {
    const uint32_t port = *lv2.PortIndex(nextRoom[i].first);
    EXPECT_EQ(calls[3 * i].kind, Lv2UiCall::Kind::kTouchOn);
    EXPECT_EQ(calls[3 * i + 1].kind, Lv2UiCall::Kind::kWrite);
    EXPECT_FLOAT_EQ(calls[3 * i + 1].value, nextRoom[i].second) << nextRoom[i].first;
    EXPECT_EQ(calls[3 * i + 2].kind, Lv2UiCall::Kind::kTouchOff);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(calls[3 * i + k].port, port);
  }
  lv2.Cleanup();
  XCloseDisplay(display);
}

} // namespace

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Lv2Ui);

// QuillonMini's editor: its Decay knob; it announces its size through ui:resize as well.
INSTANTIATE_TEST_SUITE_P(QuillonMini, Lv2Ui,
                         ::testing::Values(Lv2UiUnderTest{"QuillonMini", kQuillonMiniUri, "decay", 50, 88, true}),
                         [](const auto& info) { return std::string(info.param.name); });

#ifdef QM_LV2_PEER_UI
// Debian's Dragonfly Plate Reverb (dragonfly-reverb-lv2), an LV2 plug-in with an X11 editor that
// the host above is tried on: its Decay knob. It gives its size through its size hints only.
INSTANTIATE_TEST_SUITE_P(Peer, Lv2Ui,
                         ::testing::Values(Lv2UiUnderTest{"DragonflyPlate", "urn:dragonfly:plate", "decay", 624, 173,
                                                          false}),
                         [](const auto& info) { return std::string(info.param.name); });
#endif
