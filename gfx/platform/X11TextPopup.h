#pragma once

#include <X11/Xlib.h>

#include <string>

namespace plug::gfx {

// A line of text in a small window of its own above everything else (override-redirect, so the
// window manager leaves it alone): the editor's tooltips and its short notices. Drawn with the
// server's core fixed font (Unicode when the server has it, else Latin-1). [main]
class XTextPopup
{
public:
  explicit XTextPopup(Display* display);
  ~XTextPopup();
  XTextPopup(const XTextPopup&) = delete;
  XTextPopup& operator=(const XTextPopup&) = delete;

  // Shows the text with the popup's top-left corner at (screenX, screenY), kept on the screen.
  void Show(const std::string& utf8, int screenX, int screenY);
  void Hide();
  bool Visible() const { return mVisible; }
  const std::string& Text() const { return mText; }
  Window GetWindow() const { return mWindow; }
  // Redraws on an expose of the popup; true for the popup's events.
  bool HandleEvent(const XEvent& event);

private:
  void Draw();

  Display* mDisplay;
  Window mWindow = None;
  XFontStruct* mFont = nullptr;
  bool mUnicodeFont = false;
  GC mGC = nullptr;
  std::string mText;
  bool mVisible = false;
};

} // namespace plug::gfx
