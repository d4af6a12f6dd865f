#pragma once

#include <X11/Xlib.h>

#include <array>

#include "gfx/IMouse.h"

namespace plug::gfx {

// The pointer shapes of the editor on one connection, made on first use: from the user's cursor
// theme (libXcursor) by their theme names, else from the core cursor font; plus an invisible
// cursor for hiding the pointer. Freed with the set. [main]
class XCursorSet
{
public:
  explicit XCursorSet(Display* display);
  ~XCursorSet();
  XCursorSet(const XCursorSet&) = delete;
  XCursorSet& operator=(const XCursorSet&) = delete;

  // The cursor of a kind; kinds outside the list are the arrow.
  Cursor Get(ECursor kind);
  Cursor Invisible();

private:
  static constexpr int kNumKinds = 17;

  Display* mDisplay;
  std::array<Cursor, kNumKinds> mCursors{};
  Cursor mInvisible = None;
};

} // namespace plug::gfx
