#include "gfx/platform/X11TextPopup.h"

#include <algorithm>
#include <vector>

#include "gfx/platform/X11Clipboard.h"

namespace plug::gfx {

namespace {

constexpr int kPadding = 4;
constexpr unsigned long kBackground = 0xFFFFE1;
constexpr unsigned long kForeground = 0x000000;

// UTF-8 as 16-bit characters for an iso10646 font; characters beyond them become "?".
std::vector<XChar2b> ToChar2b(const std::string& utf8)
{
  std::vector<XChar2b> out;
  for (size_t i = 0; i < utf8.size();)
  {
    const auto c = static_cast<unsigned char>(utf8[i]);
    unsigned cp = '?';
    size_t length = 1;
    if (c < 0x80)
      cp = c;
    else if (c >= 0xC0 && c < 0xE0 && i + 1 < utf8.size())
    {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      length = 2;
    }
    else if (c >= 0xE0 && c < 0xF0 && i + 2 < utf8.size())
    {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
          (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
      length = 3;
    }
    else if (c >= 0xF0)
      length = 4;
    out.push_back({static_cast<unsigned char>(cp >> 8), static_cast<unsigned char>(cp & 0xFF)});
    i += length;
  }
  return out;
}

} // namespace

XTextPopup::XTextPopup(Display* display)
  : mDisplay(display)
{
  mFont = XLoadQueryFont(display, "-misc-fixed-medium-r-normal--13-*-*-*-*-*-iso10646-1");
  mUnicodeFont = mFont != nullptr;
  if (!mFont)
    mFont = XLoadQueryFont(display, "fixed");
}

XTextPopup::~XTextPopup()
{
  if (mGC)
    XFreeGC(mDisplay, mGC);
  if (mWindow != None)
    XDestroyWindow(mDisplay, mWindow);
  if (mFont)
    XFreeFont(mDisplay, mFont);
}

void XTextPopup::Show(const std::string& utf8, int screenX, int screenY)
{
  if (!mFont)
    return;
  mText = utf8;
  int textWidth = 0;
  if (mUnicodeFont)
  {
    const std::vector<XChar2b> text = ToChar2b(utf8);
    textWidth = XTextWidth16(mFont, text.data(), static_cast<int>(text.size()));
  }
  else
  {
    const std::string text = UTF8ToLatin1(utf8);
    textWidth = XTextWidth(mFont, text.data(), static_cast<int>(text.size()));
  }
  const int width = textWidth + 2 * kPadding;
  const int height = mFont->ascent + mFont->descent + 2 * kPadding;
  const int screenWidth = DisplayWidth(mDisplay, DefaultScreen(mDisplay));
  const int screenHeight = DisplayHeight(mDisplay, DefaultScreen(mDisplay));
  const int x = std::clamp(screenX, 0, std::max(screenWidth - width - 2, 0));
  const int y = std::clamp(screenY, 0, std::max(screenHeight - height - 2, 0));

  if (mWindow == None)
  {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.save_under = True;
    attributes.background_pixel = kBackground;
    attributes.border_pixel = kForeground;
    attributes.event_mask = ExposureMask;
    mWindow = XCreateWindow(mDisplay, DefaultRootWindow(mDisplay), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 1, CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XGCValues values{};
    values.foreground = kForeground;
    values.font = mFont->fid;
    mGC = XCreateGC(mDisplay, mWindow, GCForeground | GCFont, &values);
  }
  else
    XMoveResizeWindow(mDisplay, mWindow, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XMapRaised(mDisplay, mWindow);
  mVisible = true;
  Draw();
  XFlush(mDisplay);
}

void XTextPopup::Hide()
{
  if (!mVisible)
    return;
  mVisible = false;
  XUnmapWindow(mDisplay, mWindow);
  XFlush(mDisplay);
}

bool XTextPopup::HandleEvent(const XEvent& event)
{
  if (mWindow == None || event.xany.window != mWindow)
    return false;
  if (event.type == Expose && event.xexpose.count == 0)
    Draw();
  return true;
}

void XTextPopup::Draw()
{
  if (!mVisible || !mGC)
    return;
  XClearWindow(mDisplay, mWindow);
  const int baseline = kPadding + mFont->ascent;
  if (mUnicodeFont)
  {
    const std::vector<XChar2b> text = ToChar2b(mText);
    XDrawString16(mDisplay, mWindow, mGC, kPadding, baseline, text.data(), static_cast<int>(text.size()));
  }
  else
  {
    const std::string text = UTF8ToLatin1(mText);
    XDrawString(mDisplay, mWindow, mGC, kPadding, baseline, text.data(), static_cast<int>(text.size()));
  }
}

} // namespace plug::gfx
