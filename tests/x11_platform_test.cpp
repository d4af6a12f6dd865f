// The X11 platform pieces: the pure translation of input (no display), and the editor's window on
// the Xvfb server that tools/qm test starts (DISPLAY): pixels, input through XTest, the pointer lock,
// the clipboard, a parent destroyed under the editor. Also the child processes behind dialogs.

// Google Test first: the X11 headers define macros (None, Bool) that its names clash with.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "gfx/platform/ChildProcess.h"
#include "gfx/platform/DesktopDialogs.h"
#include "gfx/platform/X11Clipboard.h"
#include "gfx/platform/X11Cursors.h"
#include "gfx/platform/X11ErrorTrap.h"
#include "gfx/platform/X11Input.h"
#include "gfx/platform/X11Window.h"
#include "tests/support/X11TestHost.h"

using namespace plug;
using namespace plug::gfx;

namespace {

// --- Translation, no display ---

TEST(X11Input, ButtonsModifiersAndWheel)
{
  const IMouseMod right = MouseModFromState(ShiftMask | ControlMask, Button3);
  EXPECT_TRUE(!right.L && right.R && right.S && right.C && !right.A);
  const IMouseMod drag = MouseModFromState(Button1Mask | Mod1Mask);
  EXPECT_TRUE(drag.L && !drag.R && drag.A);
  EXPECT_EQ(ButtonRole(2), EXButtonRole::kIgnored);
  EXPECT_EQ(ButtonRole(7), EXButtonRole::kWheel);
  EXPECT_EQ(WheelDelta(Button4), 1.f);
  EXPECT_EQ(WheelDelta(Button5), -1.f);
  EXPECT_EQ(WheelDelta(6), -1.f);
  EXPECT_EQ(WheelDelta(7), 1.f);
}

TEST(X11Input, ClicksCountIntoDoubleClicksOnlyWhenCloseInTimeAndPlace)
{
  ClickCounter clicks;
  EXPECT_EQ(clicks.Press(1, 1000, 10, 10), 1);
  EXPECT_EQ(clicks.Press(1, 1300, 12, 9), 2); // double click
  EXPECT_EQ(clicks.Press(1, 1500, 12, 9), 3); // a plain press again, never a second double
  EXPECT_EQ(clicks.Press(1, 2000, 12, 9), 1); // too slow
  EXPECT_EQ(clicks.Press(3, 2100, 12, 9), 1); // another button
  EXPECT_EQ(clicks.Press(3, 2200, 30, 9), 1); // too far
  EXPECT_EQ(clicks.Press(3, 0xFFFFFFF0, 30, 9), 1);
  EXPECT_EQ(clicks.Press(3, 0x50, 30, 9), 2); // across the wrap of the server's clock
}

TEST(X11Input, KeysCarryTheKeysCodeAndText)
{
  IKeyPress key = KeyPressFromX(XK_Left, XK_Left, "", 0);
  EXPECT_EQ(key.VK, kVK_LEFT);
  EXPECT_STREQ(key.utf8, "");
  key = KeyPressFromX(XK_Return, XK_Return, "\r", 0); // control characters count by code only
  EXPECT_EQ(key.VK, kVK_RETURN);
  EXPECT_STREQ(key.utf8, "");
  key = KeyPressFromX(XK_exclam, XK_1, "!", ShiftMask); // Shift+1 is still the key 1
  EXPECT_EQ(key.VK, kVK_0 + 1);
  EXPECT_STREQ(key.utf8, "!");
  EXPECT_TRUE(key.S && !key.C && !key.A);
  key = KeyPressFromX(XK_a, XK_a, "a", ControlMask | Mod1Mask);
  EXPECT_EQ(key.VK, kVK_A);
  EXPECT_TRUE(key.C && key.A);
  key = KeyPressFromX(XK_KP_5, XK_KP_Begin, "", Mod2Mask); // keypad with Num Lock, no input method
  EXPECT_EQ(key.VK, kVK_NUMPAD0 + 5);
  EXPECT_STREQ(key.utf8, "5");
  key = KeyPressFromX(XK_eacute, XK_eacute, "", 0);
  EXPECT_STREQ(key.utf8, "\xC3\xA9");
  key = KeyPressFromX(NoSymbol, NoSymbol, "a\xE2\x82\xAC", 0); // five bytes: cut before the euro sign
  EXPECT_STREQ(key.utf8, "a\xE2\x82\xAC");
  key = KeyPressFromX(NoSymbol, NoSymbol, "ab\xE2\x82\xAC", 0);
  EXPECT_STREQ(key.utf8, "ab");
}

TEST(X11Input, ScreenScaleFromGdkScaleOrXftDpi)
{
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi:\t96\n", "2"), 2);
  EXPECT_EQ(ScreenScaleFromResources("Xft.antialias:\t1\nXft.dpi:\t192\n", nullptr), 2);
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi: 144.0\n", "x"), 2); // 1.5 rounds up; a bad GDK_SCALE counts not
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi: 120\n", ""), 1);
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi: 0\n", nullptr), 1);
  EXPECT_EQ(ScreenScaleFromResources(nullptr, nullptr), 1);
}

TEST(X11Clipboard, Latin1ConversionsKeepWhatFits)
{
  EXPECT_EQ(Latin1ToUTF8("gr\xFC\xDF"), "gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(UTF8ToLatin1("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"), "gr\xFC\xDF ?");
}

// --- Child processes, no display ---

bool WaitFor(ChildProcess& child)
{
  for (int i = 0; i < 500; ++i)
  {
    if (child.Poll())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(ChildProcess, RunsWithoutShellOrHostDescriptorsAndNeverWaits)
{
  EXPECT_TRUE(ChildProcess::IsInPath("ls"));
  EXPECT_FALSE(ChildProcess::IsInPath("quillon-no-such-program"));
  ChildProcess missing;
  EXPECT_FALSE(missing.Start({"quillon-no-such-program"}, true));

  // A descriptor of the "host" without close-on-exec does not reach the child.
  const int hostFd = fcntl(open("/dev/null", O_RDONLY), F_DUPFD, 100);
  ChildProcess list;
  ASSERT_TRUE(list.Start({"ls", "/proc/self/fd"}, true));
  ASSERT_TRUE(WaitFor(list));
  close(hostFd);
  EXPECT_EQ(list.ExitCode(), 0);
  EXPECT_EQ(list.Output().find(std::to_string(hostFd)), std::string::npos) << list.Output();

  ChildProcess args;
  ASSERT_TRUE(args.Start({"printf", "%s|", "a b", "$HOME;"}, true)); // no shell expands anything
  ASSERT_TRUE(WaitFor(args));
  EXPECT_EQ(args.Output(), "a b|$HOME;|");

  // A child still running when its owner goes is collected later, without waiting.
  {
    ChildProcess sleeper;
    ASSERT_TRUE(sleeper.Start({"sleep", "0.2"}, false));
    EXPECT_FALSE(sleeper.Poll());
  }
  EXPECT_EQ(ChildProcess::NumLeftChildren(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  ChildProcess::ReapLeftChildren();
  EXPECT_EQ(ChildProcess::NumLeftChildren(), 0);
}

TEST(DesktopDialogs, CommandLinesAndAnswers)
{
  using V = std::vector<std::string>;
  EXPECT_EQ(FileDialogCommand(EDialogTool::kZenity, EFileAction::kSave, "Hall.fxp", "/p", "fxp; $(x)"),
            (V{"zenity", "--file-selection", "--title=Save", "--filename=/p/Hall.fxp", "--save", "--confirm-overwrite",
               "--file-filter=*.fxp *.x"}));
  EXPECT_EQ(FallbackDialogCommand(FileDialogCommand(EDialogTool::kZenity, EFileAction::kSave, "", "/p", "")),
            (V{"zenity", "--file-selection", "--title=Save", "--filename=/p/", "--save"}));
  EXPECT_TRUE(FallbackDialogCommand({"kdialog", "--getsavefilename", "/p/"}).empty());
  EXPECT_EQ(FileDialogCommand(EDialogTool::kKdialog, EFileAction::kOpen, "", "/p/", "fxp fxb"),
            (V{"kdialog", "--getopenfilename", "/p/", "*.fxp *.fxb"}));
  EXPECT_EQ(DirectoryDialogCommand(EDialogTool::kZenity, "/p"),
            (V{"zenity", "--file-selection", "--directory", "--filename=/p/"}));
  EXPECT_TRUE(FileDialogCommand(EDialogTool::kNone, EFileAction::kOpen, "", "", "").empty());
  EXPECT_EQ(OpenURLCommand("-rf"), (V{"xdg-open", "./-rf"}));

  std::string path, folder;
  EXPECT_TRUE(ReadDialogAnswer("/home/u/Hall A.fxp\n", 0, path, folder));
  EXPECT_EQ(path, "/home/u/Hall A.fxp");
  EXPECT_EQ(folder, "/home/u/");
  EXPECT_FALSE(ReadDialogAnswer("", 1, path, folder)); // cancelled
  EXPECT_FALSE(DialogFailed(1));
  EXPECT_TRUE(DialogFailed(255)); // an option the tool does not know, no display
  EXPECT_FALSE(ReadDialogAnswer("Gtk-WARNING\n", 0, path, folder));
  EXPECT_TRUE(path.empty() && folder.empty());
}

// --- The window on the test server ---

// Records the editor's input as text, one event a line.
struct Recorder : IXEventSink
{
  std::vector<std::string> events;
  bool useKeys = true;

  static std::string Mods(const IMouseMod& m)
  {
    return std::string(m.L ? "L" : "") + (m.R ? "R" : "") + (m.S ? "S" : "") + (m.C ? "C" : "") + (m.A ? "A" : "");
  }
  void Add(const char* what, float x, float y, const std::string& rest)
  {
    char line[128];
    std::snprintf(line, sizeof(line), "%s %g,%g %s", what, x, y, rest.c_str());
    events.push_back(line);
  }
  void PointerDown(float x, float y, const IMouseMod& m) override { Add("down", x, y, Mods(m)); }
  void PointerDoubleClick(float x, float y, const IMouseMod& m) override { Add("dbl", x, y, Mods(m)); }
  void PointerUp(float x, float y, const IMouseMod& m) override { Add("up", x, y, Mods(m)); }
  void PointerDrag(float x, float y, float dX, float dY, const IMouseMod& m) override
  {
    char d[64];
    std::snprintf(d, sizeof(d), "%g,%g ", dX, dY);
    Add("drag", x, y, d + Mods(m));
  }
  void PointerOver(float, float, const IMouseMod&) override {}
  void PointerOut() override { events.push_back("out"); }
  void Wheel(float x, float y, const IMouseMod&, float d) override { Add("wheel", x, y, std::to_string(int(d))); }
  bool KeyDown(float, float, const IKeyPress& key) override
  {
    events.push_back("key " + std::to_string(key.VK) + " " + key.utf8);
    return useKeys;
  }
  bool KeyUp(float, float, const IKeyPress&) override { return useKeys; }
  // The events that are not mere motions or crossings.
  std::string Take()
  {
    std::string all;
    for (const std::string& e : events)
      all += (all.empty() ? "" : "; ") + e;
    events.clear();
    return all;
  }
};

class X11WindowTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mHost = OpenTestDisplay();
    ASSERT_NE(mHost, nullptr) << kNoTestDisplay;
    mParent = MapHostWindow(mHost, 400, 300, KeyPressMask | StructureNotifyMask);
  }
  void TearDown() override
  {
    if (mHost)
      XCloseDisplay(mHost);
  }

  // Handles the editor's events until done() or a second has passed.
  bool Pump(XEditorWindow& w, Recorder& r, const std::function<bool()>& done)
  {
    XSync(mHost, False);
    for (int i = 0; i < 100; ++i)
    {
      w.ProcessEvents(r);
      if (done())
        return true;
      pollfd fd{ConnectionNumber(w.GetDisplay()), POLLIN, 0};
      poll(&fd, 1, 10);
    }
    return false;
  }
  void Settle(XEditorWindow& w, Recorder& r)
  {
    XSync(mHost, False);
    {
      XErrorTrap trap(w.GetDisplay()); // as every call of the editor's does
      XSync(w.GetDisplay(), False);
    }
    w.ProcessEvents(r);
  }
  // Waits up to a second for an event of the type on the host's window.
  bool HostEvent(int type, XEvent& event)
  {
    for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    {
      XSync(mHost, False);
      if (XCheckTypedWindowEvent(mHost, mParent, type, &event))
        return true;
    }
    return false;
  }
  void MoveTo(int x, int y) { XTestFakeMotionEvent(mHost, 0, x, y, CurrentTime); }
  void Button(unsigned b, bool down) { XTestFakeButtonEvent(mHost, b, down, CurrentTime); }
  uint32_t PixelAt(int x, int y) { return ::PixelAt(mHost, mParent, x, y); }
  Window Focus()
  {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(mHost, &focus, &revert);
    return focus;
  }

  Display* mHost = nullptr;
  Window mParent = None;
};

TEST_F(X11WindowTest, PresentsOnlyTheGivenRectanglesOfTheFrame)
{
  XEditorWindow w(mParent, 200, 100);
  ASSERT_TRUE(w.IsOpen());
  EXPECT_TRUE(w.UsesSharedMemory()); // Xvfb offers MIT-SHM
  Recorder r;
  ASSERT_TRUE(Pump(w, r, [&] { return !w.TakeExposed().empty(); })); // mapped and exposed

  std::vector<uint32_t> frame(200 * 100, 0xFF2040A0);
  w.Present(reinterpret_cast<uint8_t*>(frame.data()), 200, 100, 200 * 4, {{0, 0, 200, 100}});
  std::fill(frame.begin(), frame.end(), 0xFFFFFFFF);
  w.Present(reinterpret_cast<uint8_t*>(frame.data()), 200, 100, 200 * 4, {{10, 20, 5, 5}, {190, 90, 50, 50}});
  Settle(w, r);
  EXPECT_EQ(PixelAt(0, 0), 0x2040A0u);
  EXPECT_EQ(PixelAt(12, 22), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(15, 22), 0x2040A0u);
  EXPECT_EQ(PixelAt(199, 99), 0xFFFFFFu); // clipped to the frame
  EXPECT_EQ(PixelAt(205, 50), 0u);        // the parent's own background, untouched
}

TEST_F(X11WindowTest, TranslatesPointerInputInPointsAndLeavesTheFocus)
{
  XEditorWindow w(mParent, 200, 100);
  w.SetPointScale(2.f);
  Recorder r;
  MoveTo(40, 20);
  Settle(w, r);
  r.Take();

  Button(1, true);
  Button(1, false);
  Button(1, true); // the second press of a double click
  Button(1, false);
  Button(3, true);
  Button(3, false);
  Button(4, true);
  Button(4, false);
  ASSERT_TRUE(Pump(w, r, [&] { return r.events.size() >= 7; }));
  EXPECT_EQ(r.Take(), "down 20,10 L; up 20,10 L; dbl 20,10 L; up 20,10 L; down 20,10 R; up 20,10 R; wheel 20,10 1");
  Settle(w, r);
  EXPECT_NE(Focus(), w.GetWindow()); // a click leaves the keyboard to the host

  // A drag that leaves the window ends with the mouse-out only once the button is up.
  std::this_thread::sleep_for(std::chrono::milliseconds(450)); // no double click
  Button(1, true);
  MoveTo(50, 30);
  MoveTo(300, 30);
  Button(1, false);
  ASSERT_TRUE(Pump(w, r, [&] { return !r.events.empty() && r.events.back() == "out"; }));
  EXPECT_EQ(r.Take(), "down 20,10 L; drag 25,15 5,5 L; drag 150,15 125,0 L; up 150,15 L; out");
}

TEST_F(X11WindowTest, LockedDragsMeasureFromThePressAndPutThePointerBack)
{
  XEditorWindow w(mParent, 200, 100);
  Recorder r;
  MoveTo(100, 50);
  Button(1, true);
  ASSERT_TRUE(Pump(w, r, [&] { return !r.events.empty(); }));
  w.HideCursor(true, true);
  r.Take();
  MoveTo(100, 10);
  ASSERT_TRUE(Pump(w, r, [&] { return !r.events.empty(); }));
  MoveTo(100, 0); // at the screen's edge: the drag goes on
  ASSERT_TRUE(Pump(w, r, [&] { return r.events.size() >= 2; }));
  EXPECT_EQ(r.Take(), "drag 100,50 0,-40 L; drag 100,50 0,-50 L");
  w.HideCursor(false, false);
  Button(1, false);
  Settle(w, r);
  EXPECT_EQ(PointerIn(mHost, mParent), std::make_pair(100, 50));
}

// Keys are the host's (they reach its window as real events, never as ones sent on by the
// editor), except while the editor holds the focus for a field; then the focus goes back.
TEST_F(X11WindowTest, KeysReachTheHostButWhileTheEditorTakesTheFocus)
{
  XEditorWindow w(mParent, 200, 100);
  Recorder r;
  XSetInputFocus(mHost, mParent, RevertToPointerRoot, CurrentTime);
  MoveTo(50, 50);
  Button(1, true);
  Button(1, false);
  Settle(w, r);
  r.Take();
  const KeyCode a = XKeysymToKeycode(mHost, XK_a);
  const auto typeA = [&] {
    XTestFakeKeyEvent(mHost, a, True, CurrentTime);
    XTestFakeKeyEvent(mHost, a, False, CurrentTime);
  };
  XEvent event;
  typeA();
  ASSERT_TRUE(HostEvent(KeyPress, event));
  EXPECT_FALSE(event.xkey.send_event);
  Settle(w, r);
  EXPECT_EQ(r.Take(), "");

  w.SetKeyboardFocus(true);
  Settle(w, r);
  EXPECT_EQ(Focus(), w.GetWindow());
  typeA();
  ASSERT_TRUE(Pump(w, r, [&] { return !r.events.empty(); }));
  EXPECT_EQ(r.Take(), "key 65 a");
  XSync(mHost, False);
  EXPECT_FALSE(XCheckTypedWindowEvent(mHost, mParent, KeyPress, &event));

  w.SetKeyboardFocus(false);
  EXPECT_EQ(Focus(), mParent);
  typeA();
  ASSERT_TRUE(HostEvent(KeyPress, event));
  EXPECT_FALSE(event.xkey.send_event);
}

// Typing tools (xdotool, auto-type) bind a spare key code to each character for a moment (25 ms
// with xdotool's --delay 50) and bind it back; the editor reads its events only at the host's idle
// calls, long after. Each character still arrives as it was typed.
TEST_F(X11WindowTest, CharactersTypedThroughASpareKeyCodeArriveWhole)
{
  XEditorWindow w(mParent, 200, 100);
  Recorder r;
  MoveTo(50, 50);
  w.SetKeyboardFocus(true);
  Settle(w, r);
  r.Take();
  int minCode = 0, maxCode = 0, perCode = 0;
  XDisplayKeycodes(mHost, &minCode, &maxCode);
  KeySym* map = XGetKeyboardMapping(mHost, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
  KeyCode spare = 0;
  for (int code = maxCode; code >= minCode && !spare; --code)
  {
    const KeySym* row = map + (code - minCode) * perCode;
    if (std::all_of(row, row + perCode, [](KeySym k) { return k == NoSymbol; }))
      spare = static_cast<KeyCode>(code);
  }
  XFree(map);
  ASSERT_NE(spare, 0);
  const auto bind = [&](KeySym sym) {
    XChangeKeyboardMapping(mHost, spare, 1, &sym, 1);
    XSync(mHost, False);
  };
  for (KeySym sym : {XK_eacute, XK_odiaeresis, XK_udiaeresis, XK_ssharp})
    for (bool down : {true, false})
    {
      bind(sym);
      XTestFakeKeyEvent(mHost, spare, down, CurrentTime);
      XSync(mHost, False);
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      bind(NoSymbol);
    }
  ASSERT_TRUE(Pump(w, r, [&] { return r.events.size() >= 4; }));
  EXPECT_EQ(r.Take(), "key 0 \xC3\xA9; key 0 \xC3\xB6; key 0 \xC3\xBC; key 0 \xC3\x9F");
}

TEST_F(X11WindowTest, AParentDestroyedBeforeTheEditorClosesCostsOnlySwallowedErrors)
{
  static int hostErrors = 0;
  XSetErrorHandler([](Display*, XErrorEvent*) -> int { return ++hostErrors, 0; });
  {
    XEditorWindow w(mParent, 200, 100);
    Recorder r;
    Settle(w, r);
    XDestroyWindow(mHost, mParent);
    XSync(mHost, False);
    const int before = XErrorTrap::NumCaughtErrors();
    std::vector<uint32_t> frame(200 * 100);
    w.Present(reinterpret_cast<uint8_t*>(frame.data()), 200, 100, 800, {{0, 0, 200, 100}});
    w.SetCursor(ECursor::kHand);
    w.Resize(300, 100);
    Settle(w, r);
    EXPECT_TRUE(w.IsGone());
    EXPECT_GT(XErrorTrap::NumCaughtErrors(), before);
  }
  XDrawPoint(mHost, mParent, DefaultGC(mHost, 0), 0, 0); // the host's own bad request still reaches it
  XSync(mHost, False);
  EXPECT_EQ(hostErrors, 1);
  XSetErrorHandler(nullptr);
}

TEST_F(X11WindowTest, OpensNothingForAWindowThatDoesNotExist)
{
  XEditorWindow w(0x3FFFFF, 200, 100);
  EXPECT_FALSE(w.IsOpen());
  XCursorSet cursors(mHost);
  for (int kind = 0; kind <= static_cast<int>(ECursor::kDragCopy); ++kind)
    EXPECT_NE(cursors.Get(static_cast<ECursor>(kind)), None) << kind;
  EXPECT_NE(cursors.Invisible(), None);
}

TEST_F(X11WindowTest, ClipboardAnswersOtherProgramsAndReadsTheirs)
{
  XEditorWindow w(mParent, 200, 100);
  Recorder r;
  ASSERT_TRUE(w.SetClipboardText("gr\xC3\xBC\xC3\x9F"));
  std::string text;
  ASSERT_TRUE(w.GetClipboardText(text));
  EXPECT_EQ(text, "gr\xC3\xBC\xC3\x9F");

  // Another program asks for STRING: Latin-1.
  const Atom clipboard = XInternAtom(mHost, "CLIPBOARD", False);
  const Atom property = XInternAtom(mHost, "TEST_PASTE", False);
  XConvertSelection(mHost, clipboard, XA_STRING, property, mParent, CurrentTime);
  XEvent event;
  ASSERT_TRUE(Pump(w, r, [&] { return XCheckTypedWindowEvent(mHost, mParent, SelectionNotify, &event); }));
  Atom type;
  int format;
  unsigned long n, left;
  unsigned char* data = nullptr;
  XGetWindowProperty(mHost, mParent, property, 0, 100, True, AnyPropertyType, &type, &format, &n, &left, &data);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), n), "gr\xFC\xDF");
  XFree(data);

  // Another program owns the clipboard (answering from a thread of its own): read within the wait.
  XSetSelectionOwner(mHost, clipboard, mParent, CurrentTime);
  XSync(mHost, False);
  std::thread owner([this, clipboard] {
    XEvent request{};
    for (int i = 0; i < 400 && !XCheckTypedEvent(mHost, SelectionRequest, &request); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (request.type != SelectionRequest)
      return;
    const XSelectionRequestEvent& q = request.xselectionrequest;
    XChangeProperty(mHost, q.requestor, q.property, q.target, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>("12.5"), 4);
    XEvent reply{};
    reply.xselection = {SelectionNotify, 0, True, mHost, q.requestor, clipboard, q.target, q.property, q.time};
    XSendEvent(mHost, q.requestor, False, 0, &reply);
    XFlush(mHost);
  });
  const bool read = w.GetClipboardText(text);
  owner.join();
  ASSERT_TRUE(read);
  EXPECT_EQ(text, "12.5");
}

TEST_F(X11WindowTest, TextPopupsSitAboveEverythingAtTheirPlace)
{
  XEditorWindow w(mParent, 200, 100);
  w.SetPointScale(2.f);
  w.ShowText(ETextPopup::kTooltip, "Decay \xE2\x80\x93 s", 10.f, 20.f);
  EXPECT_TRUE(w.TextShown(ETextPopup::kTooltip));
  EXPECT_FALSE(w.TextShown(ETextPopup::kNotice));
  XSync(mHost, False);
  const std::vector<Window> windows = ChildWindows(mHost, DefaultRootWindow(mHost));
  ASSERT_GE(windows.size(), 2u);
  XWindowAttributes top{};
  XGetWindowAttributes(mHost, windows.back(), &top); // the topmost window
  EXPECT_TRUE(top.override_redirect);
  EXPECT_EQ(top.map_state, IsViewable);
  EXPECT_EQ(top.x, 20);
  EXPECT_EQ(top.y, 40);
  w.HideText(ETextPopup::kTooltip);
  EXPECT_FALSE(w.TextShown(ETextPopup::kTooltip));
}

TEST_F(X11WindowTest, ScreenScaleComesFromTheServersXftDpi)
{
  SetServerResources(mHost, "Xft.dpi:\t192\n");
  XEditorWindow w(mParent, 200, 100);
  SetServerResources(mHost, nullptr);
  EXPECT_EQ(w.ScreenScale(), 2);
}

} // namespace
