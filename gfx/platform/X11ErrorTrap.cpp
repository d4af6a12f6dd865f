#include "gfx/platform/X11ErrorTrap.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace plug::gfx {

namespace {

struct Watched
{
  Display* display;
  unsigned char firstError;
};

// The handler may run on any thread that talks to any display while it is installed; the list of
// watched displays is therefore guarded. No Xlib call is made while the mutex is held.
struct TrapState
{
  std::mutex mutex;
  std::vector<Watched> watched; // one entry per live trap, innermost last
  XErrorHandler previous = nullptr;
  int depth = 0; // live traps, on the editor's thread
  std::atomic<int> caught{0};
};

TrapState& State()
{
  static TrapState* state = new TrapState; // never destroyed: a late handler call still finds it
  return *state;
}

int OnXError(Display* display, XErrorEvent* error)
{
  TrapState& state = State();
  XErrorHandler previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto it = std::find_if(state.watched.rbegin(), state.watched.rend(),
                           [display](const Watched& w) { return w.display == display; });
    if (it != state.watched.rend())
    {
      if (it->firstError == 0)
        it->firstError = error->error_code;
      state.caught.fetch_add(1, std::memory_order_relaxed);
      return 0;
    }
    previous = state.previous;
  }
  return previous ? previous(display, error) : 0;
}

} // namespace

XErrorTrap::XErrorTrap(Display* display)
  : mDisplay(display)
{
  TrapState& state = State();
  bool install = false;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.watched.push_back({display, 0});
    install = state.depth++ == 0;
  }
  if (install)
  {
    XErrorHandler previous = XSetErrorHandler(OnXError);
    std::lock_guard<std::mutex> lock(state.mutex);
    state.previous = previous;
  }
}

XErrorTrap::~XErrorTrap()
{
  TrapState& state = State();
  XErrorHandler previous = nullptr;
  bool restore = false;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto it = std::find_if(state.watched.rbegin(), state.watched.rend(),
                           [this](const Watched& w) { return w.display == mDisplay; });
    if (it != state.watched.rend())
      state.watched.erase(std::next(it).base());
    restore = --state.depth == 0;
    previous = state.previous;
  }
  if (restore)
  {
    // Someone (the host, on another thread) may have installed a handler of its own meanwhile:
    // theirs stays.
    XErrorHandler current = XSetErrorHandler(previous);
    if (current != OnXError)
      XSetErrorHandler(current);
  }
}

bool XErrorTrap::SyncAndCheck()
{
  XSync(mDisplay, False);
  return FirstError() != 0;
}

unsigned char XErrorTrap::FirstError() const
{
  TrapState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  auto it = std::find_if(state.watched.rbegin(), state.watched.rend(),
                         [this](const Watched& w) { return w.display == mDisplay; });
  return it != state.watched.rend() ? it->firstError : 0;
}

int XErrorTrap::NumCaughtErrors()
{
  return State().caught.load(std::memory_order_relaxed);
}

} // namespace plug::gfx
