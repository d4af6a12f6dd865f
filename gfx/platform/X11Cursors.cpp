#include "gfx/platform/X11Cursors.h"

#include <X11/Xcursor/Xcursor.h>
#include <X11/cursorfont.h>

namespace plug::gfx {

namespace {

struct CursorNames
{
  const char* theme;    // the freedesktop name
  const char* oldTheme; // the name older themes use
  unsigned int font;    // the core cursor font's shape
};

// In the order of ECursor.
constexpr CursorNames kNames[] = {
    {"default", "left_ptr", XC_left_ptr},
    {"text", "xterm", XC_xterm},
    {"progress", "left_ptr_watch", XC_watch},
    {"crosshair", "cross", XC_crosshair},
    {"n-resize", "top_side", XC_top_side},
    {"nwse-resize", "bottom_right_corner", XC_bottom_right_corner},
    {"nesw-resize", "bottom_left_corner", XC_bottom_left_corner},
    {"ew-resize", "sb_h_double_arrow", XC_sb_h_double_arrow},
    {"ns-resize", "sb_v_double_arrow", XC_sb_v_double_arrow},
    {"move", "fleur", XC_fleur},
    {"not-allowed", "crossed_circle", XC_X_cursor},
    {"pointer", "hand2", XC_hand2},
    {"grabbing", "closedhand", XC_fleur},
    {"grab", "openhand", XC_hand1},
    {"progress", "left_ptr_watch", XC_watch},
    {"help", "question_arrow", XC_question_arrow},
    {"copy", "dnd-copy", XC_plus},
};

} // namespace

XCursorSet::XCursorSet(Display* display)
  : mDisplay(display)
{
  static_assert(sizeof(kNames) / sizeof(kNames[0]) == kNumKinds);
}

XCursorSet::~XCursorSet()
{
  for (Cursor cursor : mCursors)
  {
    if (cursor != None)
      XFreeCursor(mDisplay, cursor);
  }
  if (mInvisible != None)
    XFreeCursor(mDisplay, mInvisible);
}

Cursor XCursorSet::Get(ECursor kind)
{
  int index = static_cast<int>(kind);
  if (index < 0 || index >= kNumKinds)
    index = 0;
  Cursor& cursor = mCursors[static_cast<size_t>(index)];
  if (cursor == None)
  {
    const CursorNames& names = kNames[index];
    cursor = XcursorLibraryLoadCursor(mDisplay, names.theme);
    if (cursor == None)
      cursor = XcursorLibraryLoadCursor(mDisplay, names.oldTheme);
    if (cursor == None)
      cursor = XCreateFontCursor(mDisplay, names.font);
  }
  return cursor;
}

Cursor XCursorSet::Invisible()
{
  if (mInvisible == None)
  {
    const char empty[1] = {0};
    Pixmap pixmap = XCreateBitmapFromData(mDisplay, DefaultRootWindow(mDisplay), empty, 1, 1);
    XColor black{};
    mInvisible = XCreatePixmapCursor(mDisplay, pixmap, pixmap, &black, &black, 0, 0);
    XFreePixmap(mDisplay, pixmap);
  }
  return mInvisible;
}

} // namespace plug::gfx
