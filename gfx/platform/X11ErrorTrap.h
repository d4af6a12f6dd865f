#pragma once

#include <X11/Xlib.h>

namespace plug::gfx {

// Keeps X errors on the editor's own connection away from the host. Xlib has one error handler
// per process, whose default ends the process; a host that destroys its window before it closes
// the editor makes every later request on the editor's child window fail. While a trap exists, the
// editor's handler is installed: errors on a display that a trap watches are recorded and
// swallowed, errors on any other display (the host's) go on to the handler that was installed
// before. Every entry into the editor's X code holds a trap, and the editor's connection is only
// ever read inside one, so each of its errors is seen by this handler. [main]
class XErrorTrap
{
public:
  explicit XErrorTrap(Display* display);
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // Waits for the server to process every request sent so far; true when any of them (or an
  // earlier one since this trap began) failed.
  bool SyncAndCheck();
  // The error code of the first failed request since this trap began, 0 when none failed.
  unsigned char FirstError() const;

  // Any thread: the number of errors swallowed for the editor's connections so far (for tests).
  static int NumCaughtErrors();

private:
  Display* mDisplay;
};

} // namespace plug::gfx
