#include "gfx/platform/X11Window.h"

#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "gfx/platform/X11Clipboard.h"
#include "gfx/platform/X11Cursors.h"
#include "gfx/platform/X11ErrorTrap.h"
#include "gfx/platform/X11KeyWatch.h"
#include "gfx/platform/X11TextPopup.h"

namespace plug::gfx {

namespace {

// Keys are not among them: a window that selects no key events lets X pass every key on to the
// host's windows, as if the editor were not there (see SetKeyboardFocus).
constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
    LeaveWindowMask | StructureNotifyMask | FocusChangeMask;
constexpr long kKeyMask = KeyPressMask | KeyReleaseMask;

// Xvfb (and perhaps other servers) now and then resets a connection made right after another one
// closed; a few more tries, moments apart, get through.
Display* OpenDisplay()
{
  for (int attempt = 0;; ++attempt)
  {
    if (Display* display = XOpenDisplay(nullptr))
      return display;
    if (attempt == 4 || !std::getenv("DISPLAY"))
      return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

unsigned int HeldBit(unsigned int button)
{
  return button == Button1 ? 1u : button == Button3 ? 2u : 0u;
}

} // namespace

XEditorWindow::XEditorWindow(Window parent, int width, int height, const std::string& title)
  : mParent(parent),
    mWidth(std::max(width, 1)),
    mHeight(std::max(height, 1))
{
  mDisplay = OpenDisplay();
  if (!mDisplay)
    return;
  const bool ownWindow = parent == None;
  if (ownWindow)
    mParent = parent = DefaultRootWindow(mDisplay);
  XErrorTrap trap(mDisplay);
  XWindowAttributes parentAttributes{};
  if (!XGetWindowAttributes(mDisplay, parent, &parentAttributes) || trap.SyncAndCheck())
    return;

  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None; // never cleared by the server: no flicker
  attributes.bit_gravity = NorthWestGravity;
  attributes.event_mask = kEventMask;
  attributes.border_pixel = 0;
  const Window window = XCreateWindow(mDisplay, parent, 0, 0, static_cast<unsigned>(mWidth),
                                      static_cast<unsigned>(mHeight), 0, CopyFromParent, InputOutput, CopyFromParent,
                                      CWBackPixmap | CWBitGravity | CWEventMask, &attributes);
  if (trap.SyncAndCheck())
    return;
  mWindow = window;
  SetSizeHints();
  if (ownWindow)
  {
    Xutf8SetWMProperties(mDisplay, mWindow, title.c_str(), title.c_str(), nullptr, 0, nullptr, nullptr, nullptr);
    mDeleteWindow = XInternAtom(mDisplay, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(mDisplay, mWindow, &mDeleteWindow, 1);
  }

  const char* resources = XResourceManagerString(mDisplay);
  mScreenScale = ScreenScaleFromResources(resources, std::getenv("GDK_SCALE"));
  mPresenter = std::make_unique<XImagePresenter>(mDisplay, mWindow, parentAttributes.visual, parentAttributes.depth);
  mCursors = std::make_unique<XCursorSet>(mDisplay);
  mClipboard = std::make_unique<XClipboard>(mDisplay, mWindow);
  OpenInputMethod();
  XMapWindow(mDisplay, mWindow);
  XFlush(mDisplay);
}

XEditorWindow::~XEditorWindow()
{
  if (!mDisplay)
    return;
  // The trap covers the close too (it flushes what is left); afterwards it only compares pointers.
  XErrorTrap trap(mDisplay);
  SetKeyboardFocus(false);
  mKeyWatch.reset();
  CloseInputMethod();
  mPopups[0].reset();
  mPopups[1].reset();
  mClipboard.reset();
  mPresenter.reset();
  if (mWindow != None && !mGone)
    XDestroyWindow(mDisplay, mWindow);
  mCursors.reset();
  XCloseDisplay(mDisplay);
}

// Fixed at the current size: the editor sizes itself (its corner handle), hosts follow.
void XEditorWindow::SetSizeHints()
{
  XSizeHints* hints = XAllocSizeHints();
  if (!hints)
    return;
  hints->flags = PSize | PMinSize | PMaxSize | PBaseSize;
  hints->width = hints->min_width = hints->max_width = hints->base_width = mWidth;
  hints->height = hints->min_height = hints->max_height = hints->base_height = mHeight;
  XSetWMNormalHints(mDisplay, mWindow, hints);
  XFree(hints);
}

void XEditorWindow::OpenInputMethod()
{
  // The input method of the host's locale (dead keys, compose); without one, keys are looked up
  // on their own.
  mInputMethod = XOpenIM(mDisplay, nullptr, nullptr, nullptr);
  if (!mInputMethod)
    return;
  mInputContext = XCreateIC(mInputMethod, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, mWindow,
                            XNFocusWindow, mWindow, nullptr);
  if (!mInputContext)
  {
    XCloseIM(mInputMethod);
    mInputMethod = nullptr;
    return;
  }
  long filterMask = 0;
  if (!XGetICValues(mInputContext, XNFilterEvents, &filterMask, nullptr))
    mInputMethodMask = filterMask & ~kKeyMask; // its key events only while the editor takes keys
  if (mInputMethodMask)
    XSelectInput(mDisplay, mWindow, kEventMask | mInputMethodMask);
}

void XEditorWindow::CloseInputMethod()
{
  if (mInputContext)
    XDestroyIC(mInputContext);
  if (mInputMethod)
    XCloseIM(mInputMethod);
  mInputContext = nullptr;
  mInputMethod = nullptr;
}

void XEditorWindow::Resize(int width, int height)
{
  if (!IsOpen() || (width == mWidth && height == mHeight))
    return;
  mWidth = std::max(width, 1);
  mHeight = std::max(height, 1);
  XErrorTrap trap(mDisplay);
  SetSizeHints();
  XResizeWindow(mDisplay, mWindow, static_cast<unsigned>(mWidth), static_cast<unsigned>(mHeight));
  XFlush(mDisplay);
}

void XEditorWindow::ProcessEvents(IXEventSink& sink)
{
  if (!IsOpen())
    return;
  XErrorTrap trap(mDisplay);
  while (XPending(mDisplay) > 0)
  {
    XEvent event;
    XNextEvent(mDisplay, &event);
    if (XFilterEvent(&event, None))
      continue; // the input method took it
    // Motions queued right behind each other count as the last one (drags measure from the
    // previous place, so nothing is lost).
    while (event.type == MotionNotify && XEventsQueued(mDisplay, QueuedAlready) > 0)
    {
      XEvent next;
      XPeekEvent(mDisplay, &next);
      if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window)
        break;
      XNextEvent(mDisplay, &event);
    }
    HandleEvent(event, sink);
  }
}

void XEditorWindow::HandleEvent(XEvent& event, IXEventSink& sink)
{
  if (mPresenter && event.type == mPresenter->CompletionEventType())
  {
    mPresenter->OnCompletion();
    return;
  }
  if (mClipboard && mClipboard->HandleEvent(event))
    return;
  for (auto& popup : mPopups)
  {
    if (popup && popup->HandleEvent(event))
      return;
  }
  if (event.xany.window != mWindow)
    return;
  switch (event.type)
  {
    case Expose:
      mExposed.push_back({event.xexpose.x, event.xexpose.y, event.xexpose.width, event.xexpose.height});
      break;
    case ButtonPress:
      HandleButtonPress(event.xbutton, sink);
      break;
    case ButtonRelease:
      HandleButtonRelease(event.xbutton, sink);
      break;
    case MotionNotify:
      HandleMotion(event.xmotion, sink);
      break;
    case EnterNotify:
      mLastEventTime = event.xcrossing.time;
      mPointerX = event.xcrossing.x;
      mPointerY = event.xcrossing.y;
      mLeftDuringDrag = false;
      mInside = true;
      if (!Dragging())
        sink.PointerOver(ToPoints(mPointerX), ToPoints(mPointerY), MouseModFromState(event.xcrossing.state));
      break;
    case LeaveNotify:
      if (event.xcrossing.detail == NotifyInferior)
        break;
      // While a control holds the mouse, leaving only counts once the button is released.
      if (Dragging())
        mLeftDuringDrag = true;
      else
        SendPointerOut(sink);
      break;
    case KeyPress:
    case KeyRelease:
      HandleKey(event.xkey, sink);
      break;
    case FocusIn:
      if (mInputContext)
        XSetICFocus(mInputContext);
      break;
    case FocusOut:
      if (mInputContext)
        XUnsetICFocus(mInputContext);
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == mWindow)
        mGone = true;
      break;
    case ClientMessage:
      if (mDeleteWindow != None && static_cast<Atom>(event.xclient.data.l[0]) == mDeleteWindow)
        mCloseRequested = true;
      break;
    case MappingNotify:
      XRefreshKeyboardMapping(&event.xmapping);
      break;
    default:
      break;
  }
}

void XEditorWindow::HandleButtonPress(const XButtonEvent& event, IXEventSink& sink)
{
  mLastEventTime = event.time;
  mPointerX = event.x;
  mPointerY = event.y;
  const float x = ToPoints(event.x);
  const float y = ToPoints(event.y);
  switch (ButtonRole(event.button))
  {
    case EXButtonRole::kWheel:
      sink.Wheel(x, y, MouseModFromState(event.state, Button1), WheelDelta(event.button));
      break;
    case EXButtonRole::kLeft:
    case EXButtonRole::kRight:
    {
      mHeldButtons |= HeldBit(event.button);
      const IMouseMod mod = MouseModFromState(event.state, event.button);
      if (mClicks.Press(event.button, event.time, event.x, event.y) % 2 == 0)
        sink.PointerDoubleClick(x, y, mod);
      else
        sink.PointerDown(x, y, mod);
      break;
    }
    case EXButtonRole::kIgnored:
      break;
  }
}

void XEditorWindow::HandleButtonRelease(const XButtonEvent& event, IXEventSink& sink)
{
  const unsigned int bit = HeldBit(event.button);
  if (!bit)
    return; // wheel notches come as press and release; the press counted
  mLastEventTime = event.time;
  mPointerX = event.x;
  mPointerY = event.y;
  mHeldButtons &= ~bit;
  sink.PointerUp(ToPoints(event.x), ToPoints(event.y), MouseModFromState(event.state, event.button));
  if (!Dragging() && mLeftDuringDrag)
  {
    mLeftDuringDrag = false;
    SendPointerOut(sink);
  }
}

// Once per stay: a drag's end outside the window is followed by the server's own leave notice.
void XEditorWindow::SendPointerOut(IXEventSink& sink)
{
  if (!mInside)
    return;
  mInside = false;
  sink.PointerOut();
}

void XEditorWindow::HandleMotion(const XMotionEvent& event, IXEventSink& sink)
{
  mLastEventTime = event.time;
  const IMouseMod mod = MouseModFromState(event.state);
  if (!Dragging())
  {
    mPointerX = event.x;
    mPointerY = event.y;
    mInside = true;
    sink.PointerOver(ToPoints(event.x), ToPoints(event.y), mod);
    return;
  }
  if (mLocked)
  {
    // Measured from where the pointer was hidden, which it is put back to; the motion that the
    // warp itself causes measures nothing and is dropped.
    const int dx = event.x - mLockX;
    const int dy = event.y - mLockY;
    if (dx == 0 && dy == 0)
      return;
    XWarpPointer(mDisplay, None, mWindow, 0, 0, 0, 0, mLockX, mLockY);
    mPointerX = mLockX;
    mPointerY = mLockY;
    sink.PointerDrag(ToPoints(mLockX), ToPoints(mLockY), ToPoints(dx), ToPoints(dy), mod);
    return;
  }
  const int dx = event.x - mPointerX;
  const int dy = event.y - mPointerY;
  mPointerX = event.x;
  mPointerY = event.y;
  sink.PointerDrag(ToPoints(event.x), ToPoints(event.y), ToPoints(dx), ToPoints(dy), mod);
}

void XEditorWindow::HandleKey(XKeyEvent& event, IXEventSink& sink)
{
  mLastEventTime = event.time;
  char text[32] = {};
  KeySym effective = NoSymbol;
  if (event.type == KeyPress && mInputContext)
  {
    Status status = 0;
    const int n = Xutf8LookupString(mInputContext, &event, text, sizeof(text) - 1, &effective, &status);
    if (status == XBufferOverflow || status == XLookupNone || status == XLookupKeySym)
      text[0] = '\0';
    else
      text[std::max(n, 0)] = '\0';
    if (status == XLookupChars)
      effective = XLookupKeysym(&event, (event.state & ShiftMask) ? 1 : 0);
  }
  else
  {
    // Without an input method only the keysym counts; its text follows from it.
    XLookupString(&event, text, sizeof(text) - 1, &effective, nullptr);
    text[0] = '\0';
  }
  // The input method looked the code up in the map of now; with the keysym of the moment it was
  // typed, the text follows from that keysym.
  KeySym unshifted = XLookupKeysym(&event, 0);
  if (KeysymWhenTyped(event, effective, unshifted))
    text[0] = '\0';
  const IKeyPress key = KeyPressFromX(effective, unshifted, text, event.state);
  const float x = ToPoints(mPointerX);
  const float y = ToPoints(mPointerY);
  // Keys reach the window only while it holds the focus for a field; the few the field leaves
  // (Tab, function keys) end here: sent on to the host, they would be synthetic events on a window
  // that is not a top-level one, which GTK hosts warn about and ignore.
  if (event.type == KeyPress)
    sink.KeyDown(x, y, key);
  else
    sink.KeyUp(x, y, key);
}

// The key code's first keysym differs from the one the watch saw when the key was typed: the code
// was bound to something else since (see X11KeyWatch.h), and the keysym of that moment counts.
bool XEditorWindow::KeysymWhenTyped(XKeyEvent& event, KeySym& effective, KeySym& unshifted)
{
  XKeyWatch::Record record;
  if (!mKeyWatch ||
      !mKeyWatch->Take(event.type == KeyPress, static_cast<uint32_t>(event.time), static_cast<uint8_t>(event.keycode),
                       record))
    return false;
  if (XLookupKeysym(&event, 0) == record.keysyms[0])
    return false;
  KeySym lower = record.keysyms[0];
  KeySym upper = record.keysyms[1];
  if (upper == NoSymbol)
    XConvertCase(lower, &lower, &upper);
  const bool shifted = ((event.state & ShiftMask) != 0) != ((event.state & LockMask) != 0);
  effective = shifted ? upper : lower;
  unshifted = record.keysyms[0];
  return true;
}

void XEditorWindow::SetKeyboardFocus(bool take)
{
  if (!IsOpen() || mGone || take == mHasKeyboard)
    return;
  XErrorTrap trap(mDisplay);
  mHasKeyboard = take;
  if (take && !mKeyWatch) // its thread and connection only once a field has been open
    mKeyWatch = std::make_unique<XKeyWatch>(static_cast<uint32_t>(mWindow));
  mKeyWatch->SetWatching(take);
  if (take)
  {
    XGetInputFocus(mDisplay, &mFocusBefore, &mRevertBefore);
    XSelectInput(mDisplay, mWindow, kEventMask | kKeyMask | mInputMethodMask);
    XSetInputFocus(mDisplay, mWindow, RevertToParent, mLastEventTime);
    XFlush(mDisplay);
    return;
  }
  XSelectInput(mDisplay, mWindow, kEventMask | mInputMethodMask);
  // Back to where it was, unless the user has put it somewhere else meanwhile.
  Window focus = None;
  int revert = 0;
  XGetInputFocus(mDisplay, &focus, &revert);
  if (focus == mWindow && mFocusBefore != mWindow)
  {
    XSetInputFocus(mDisplay, mFocusBefore, mRevertBefore, CurrentTime);
    if (trap.SyncAndCheck()) // that window is gone
      XSetInputFocus(mDisplay, PointerRoot, RevertToPointerRoot, CurrentTime);
  }
  XFlush(mDisplay);
}

std::vector<PixelRect> XEditorWindow::TakeExposed()
{
  std::vector<PixelRect> exposed;
  exposed.swap(mExposed);
  return exposed;
}

void XEditorWindow::Present(const uint8_t* pixels, int width, int height, int stride,
                            const std::vector<PixelRect>& rects)
{
  if (!IsOpen() || mGone)
    return;
  XErrorTrap trap(mDisplay);
  mPresenter->Present(pixels, width, height, stride, rects);
}

bool XEditorWindow::UsesSharedMemory() const
{
  return mPresenter && mPresenter->UsesSharedMemory();
}

void XEditorWindow::SetCursor(ECursor kind)
{
  mCursorKind = kind;
  if (!IsOpen() || mHidden)
    return;
  XErrorTrap trap(mDisplay);
  XDefineCursor(mDisplay, mWindow, mCursors->Get(kind));
  XFlush(mDisplay);
}

void XEditorWindow::HideCursor(bool hide, bool lock)
{
  if (!IsOpen() || hide == mHidden)
    return;
  XErrorTrap trap(mDisplay);
  if (hide)
  {
    mHidden = true;
    mLocked = lock;
    mLockX = mPointerX;
    mLockY = mPointerY;
    XDefineCursor(mDisplay, mWindow, mCursors->Invisible());
  }
  else
  {
    if (mLocked)
    {
      XWarpPointer(mDisplay, None, mWindow, 0, 0, 0, 0, mLockX, mLockY);
      mPointerX = mLockX;
      mPointerY = mLockY;
    }
    mHidden = false;
    mLocked = false;
    XDefineCursor(mDisplay, mWindow, mCursors->Get(mCursorKind));
  }
  XFlush(mDisplay);
}

void XEditorWindow::MoveCursor(float x, float y)
{
  if (!IsOpen())
    return;
  XErrorTrap trap(mDisplay);
  mPointerX = static_cast<int>(x * mPointScale);
  mPointerY = static_cast<int>(y * mPointScale);
  if (mLocked)
  {
    mLockX = mPointerX;
    mLockY = mPointerY;
  }
  XWarpPointer(mDisplay, None, mWindow, 0, 0, 0, 0, mPointerX, mPointerY);
  XFlush(mDisplay);
}

void XEditorWindow::GetPointer(float& x, float& y) const
{
  x = ToPoints(mPointerX);
  y = ToPoints(mPointerY);
}

bool XEditorWindow::SetClipboardText(const std::string& utf8)
{
  if (!IsOpen())
    return false;
  XErrorTrap trap(mDisplay);
  return mClipboard->SetText(utf8, mLastEventTime);
}

bool XEditorWindow::GetClipboardText(std::string& utf8)
{
  if (!IsOpen())
    return false;
  XErrorTrap trap(mDisplay);
  return mClipboard->GetText(utf8);
}

void XEditorWindow::ShowText(ETextPopup which, const std::string& utf8, float x, float y)
{
  if (!IsOpen() || mGone)
    return;
  XErrorTrap trap(mDisplay);
  Window child = None;
  int screenX = 0, screenY = 0;
  if (!XTranslateCoordinates(mDisplay, mWindow, DefaultRootWindow(mDisplay), static_cast<int>(x * mPointScale),
                             static_cast<int>(y * mPointScale), &screenX, &screenY, &child))
    return;
  auto& popup = mPopups[static_cast<int>(which)];
  if (!popup)
    popup = std::make_unique<XTextPopup>(mDisplay);
  popup->Show(utf8, screenX, screenY);
}

void XEditorWindow::HideText(ETextPopup which)
{
  auto& popup = mPopups[static_cast<int>(which)];
  if (!popup || !popup->Visible())
    return;
  XErrorTrap trap(mDisplay);
  popup->Hide();
}

bool XEditorWindow::TextShown(ETextPopup which) const
{
  const auto& popup = mPopups[static_cast<int>(which)];
  return popup && popup->Visible();
}

} // namespace plug::gfx
