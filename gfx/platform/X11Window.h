#pragma once

// The editor's X11 window: a child of the host's window on a connection of the plug-in's own.
//
// The host's Display (Ardour passes one) is never used: the editor opens its own connection, so the
// host's event queue and the editor's never mix, and every request and event of the editor stays on
// the thread that calls the editor (effEditOpen, effEditIdle, effEditClose). Each public call holds
// an XErrorTrap, so a host that destroys its window before it closes the editor costs nothing but
// swallowed errors.
//
// The window has no background: the server never clears it between frames (no flicker), and what an
// expose uncovers is copied again from the last frame. Input is translated (X11Input.h) and handed
// to an IXEventSink in points (pixels divided by the scale set with SetPointScale).
//
// The keyboard stays the host's: a click takes no focus and the window selects no key events, so
// X hands every key to the host's own windows (GTK and Qt hosts keep their shortcuts and
// transport keys; hosts that give the editor the focus get the keys back through X's own
// propagation to the parent). Only while a text field is open does the window take the focus and
// the keys (SetKeyboardFocus), and it hands the focus back to where it was when the field closes.

#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <vector>

#include "gfx/IMouse.h"
#include "gfx/platform/X11Input.h"
#include "gfx/platform/X11Presenter.h"
#include "plug/core/IKeyPress.h"

namespace plug::gfx {

class XCursorSet;
class XClipboard;
class XKeyWatch;
class XTextPopup;

// The editor's two small text windows: the tooltip under the pointer and short notices.
enum class ETextPopup
{
  kTooltip = 0,
  kNotice = 1
};

// Receives the window's input. [main]
class IXEventSink
{
public:
  virtual ~IXEventSink() = default;
  virtual void PointerDown(float x, float y, const IMouseMod& mod) = 0;
  virtual void PointerDoubleClick(float x, float y, const IMouseMod& mod) = 0;
  virtual void PointerUp(float x, float y, const IMouseMod& mod) = 0;
  virtual void PointerDrag(float x, float y, float dX, float dY, const IMouseMod& mod) = 0;
  virtual void PointerOver(float x, float y, const IMouseMod& mod) = 0;
  virtual void PointerOut() = 0;
  virtual void Wheel(float x, float y, const IMouseMod& mod, float delta) = 0;
  // Keys come only while the window holds the keyboard focus (SetKeyboardFocus). True when the
  // editor used the key.
  virtual bool KeyDown(float x, float y, const IKeyPress& key) = 0;
  virtual bool KeyUp(float x, float y, const IKeyPress& key) = 0;
};

class XEditorWindow
{
public:
  // Connects to $DISPLAY and creates a width x height pixel child of parent, mapped. Without a
  // parent (None) the window is one of its own on the screen, with title, which the window manager
  // decorates and may ask to close (CloseRequested). IsOpen() says whether that worked (no display,
  // a parent that does not exist). Its size is also given as WM size hints, which hosts that embed
  // it (through XEmbed sockets) read. [main]
  XEditorWindow(Window parent, int width, int height, const std::string& title = "");
  // Destroys the window and every X resource, and closes the connection. [main]
  ~XEditorWindow();
  XEditorWindow(const XEditorWindow&) = delete;
  XEditorWindow& operator=(const XEditorWindow&) = delete;

  bool IsOpen() const { return mWindow != None; }
  // The host destroyed its window (and with it this one) before closing the editor.
  bool IsGone() const { return mGone; }
  // The user closed a window of its own (the window manager's close button).
  bool CloseRequested() const { return mCloseRequested; }
  Display* GetDisplay() const { return mDisplay; }
  Window GetWindow() const { return mWindow; }
  Window GetParent() const { return mParent; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  // The screen scale from Xft.dpi or GDK_SCALE (X11Input.h).
  int ScreenScale() const { return mScreenScale; }

  // --- The rest: [main] ---

  void Resize(int width, int height);
  void SetPointScale(float pixelsPerPoint) { mPointScale = pixelsPerPoint > 0.f ? pixelsPerPoint : 1.f; }

  // Handles every event queued on the connection, without waiting for more.
  void ProcessEvents(IXEventSink& sink);
  // The pixel rectangles that exposes uncovered since the last call.
  std::vector<PixelRect> TakeExposed();
  // Copies rectangles of a frame (XImagePresenter) into the window.
  void Present(const uint8_t* pixels, int width, int height, int stride, const std::vector<PixelRect>& rects);
  bool UsesSharedMemory() const;

  void SetCursor(ECursor kind);
  // Hiding remembers where the pointer is; with lock, every drag motion is then reported as a
  // movement from there and the pointer is put back, so a drag never ends at the screen's edge.
  // Showing again puts a locked pointer back where it was hidden.
  void HideCursor(bool hide, bool lock);
  bool CursorHidden() const { return mHidden; }
  void MoveCursor(float x, float y);
  // The pointer's last known place in the window, in points.
  void GetPointer(float& x, float& y) const;

  // take: the window selects key events and takes the X input focus (for a text field); false:
  // it selects none again and, if it still holds the focus, gives it back to the window that had
  // it before. Repeating either is harmless; closing the window gives the focus back too.
  void SetKeyboardFocus(bool take);
  bool HasKeyboardFocus() const { return mHasKeyboard; }

  bool SetClipboardText(const std::string& utf8);
  bool GetClipboardText(std::string& utf8);

  // Shows a line of text in a small window of its own whose top-left corner is at (x, y) of this
  // window, in points.
  void ShowText(ETextPopup which, const std::string& utf8, float x, float y);
  void HideText(ETextPopup which);
  bool TextShown(ETextPopup which) const;

private:
  void SetSizeHints();
  void OpenInputMethod();
  void CloseInputMethod();
  void HandleEvent(XEvent& event, IXEventSink& sink);
  void HandleButtonPress(const XButtonEvent& event, IXEventSink& sink);
  void HandleButtonRelease(const XButtonEvent& event, IXEventSink& sink);
  void HandleMotion(const XMotionEvent& event, IXEventSink& sink);
  void HandleKey(XKeyEvent& event, IXEventSink& sink);
  bool KeysymWhenTyped(XKeyEvent& event, KeySym& effective, KeySym& unshifted);
  void SendPointerOut(IXEventSink& sink);
  bool Dragging() const { return mHeldButtons != 0; }
  float ToPoints(int pixels) const { return static_cast<float>(pixels) / mPointScale; }

  Display* mDisplay = nullptr;
  Window mParent = None;
  Window mWindow = None;
  bool mGone = false;
  bool mCloseRequested = false;
  Atom mDeleteWindow = None; // WM_DELETE_WINDOW, for a window of its own
  int mWidth = 0;
  int mHeight = 0;
  int mScreenScale = 1;
  float mPointScale = 1.f;

  std::unique_ptr<XImagePresenter> mPresenter;
  std::unique_ptr<XCursorSet> mCursors;
  std::unique_ptr<XClipboard> mClipboard;
  std::unique_ptr<XKeyWatch> mKeyWatch;
  std::unique_ptr<XTextPopup> mPopups[2];
  XIM mInputMethod = nullptr;
  XIC mInputContext = nullptr;
  long mInputMethodMask = 0; // the events the input method asks for besides keys
  bool mHasKeyboard = false;
  Window mFocusBefore = None; // the focus that SetKeyboardFocus took, and its revert mode
  int mRevertBefore = RevertToParent;
  std::vector<PixelRect> mExposed;

  ClickCounter mClicks;
  unsigned int mHeldButtons = 0; // bit per held left/right button
  bool mLeftDuringDrag = false;
  bool mInside = false; // the editor was told of the pointer's entry and not yet of its leaving
  int mPointerX = 0;    // pixels
  int mPointerY = 0;
  Time mLastEventTime = CurrentTime;

  ECursor mCursorKind = ECursor::kArrow;
  bool mHidden = false;
  bool mLocked = false;
  int mLockX = 0;
  int mLockY = 0;
};

} // namespace plug::gfx
