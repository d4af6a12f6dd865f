#pragma once

// The keyboard map as it was when each key of the editor's window was pressed.
//
// Programs that type text the keyboard has no key for (xdotool, password managers' auto-type,
// on-screen keyboards) bind a spare key code to the character for a moment, press it and bind the
// code back, a few milliseconds per character. The server never says afterwards what a code
// meant: whoever looks it up later gets the map of that later moment. The editor reads its
// connection only at the host's idle calls (every 16 to 66 ms), so by then such a character is
// gone or has become the next one ("éöüß" arrived as "öö"). GTK and Qt read their connection as
// events come and see every binding.
//
// So the watch does that, for keys only: a thread of its own, with an XCB connection of its own
// (XCB may be used from any thread; the editor's Xlib connection stays on the editor's thread),
// receives the same key events of the editor's window, reloads the changed part of the map the
// moment a mapping change arrives, and keeps for each key event the key code's keysyms at that
// moment. The editor's thread takes them when it handles the same event. Nothing else of the
// editor runs on the watch's thread. Without a connection of its own the watch stays idle and keys
// are looked up as before.

#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

struct xcb_connection_t;

namespace plug::gfx {

class XKeyWatch
{
public:
  // Keysyms kept per key code: the two shift levels of the first two groups.
  static constexpr int kColumns = 4;
  // Key events kept that the editor has not taken yet; older ones are dropped first.
  static constexpr size_t kMaxRecords = 256;

  struct Record
  {
    bool press = false;
    uint32_t time = 0;
    uint8_t keycode = 0;
    uint32_t keysyms[kColumns] = {};
  };

  // [main] Connects to $DISPLAY and starts the thread; window: the editor's window.
  explicit XKeyWatch(uint32_t window);
  // [main] Stops and joins the thread and closes the connection.
  ~XKeyWatch();
  XKeyWatch(const XKeyWatch&) = delete;
  XKeyWatch& operator=(const XKeyWatch&) = delete;

  // [main]
  bool IsRunning() const { return mThread.joinable(); }
  // [main] Selects the window's key events on the watch's connection, or none (a window whose key
  // events nobody selects passes them to the host's windows).
  void SetWatching(bool on);
  // [main] The record of the key event (press or release, server time, key code), when the watch
  // saw it; records of earlier events are dropped on the way.
  bool Take(bool press, uint32_t time, uint8_t keycode, Record& record);

private:
  void Run();
  void HandleEvent(const void* event);
  void LoadMap(uint8_t first, int count);

  xcb_connection_t* mConnection = nullptr;
  uint32_t mWindow = 0;
  int mWakeFds[2] = {-1, -1};
  std::thread mThread;

  // The watch's thread only (and the constructor before it starts).
  uint8_t mMinKeycode = 0;
  std::vector<uint32_t> mMap; // kColumns keysyms per key code from mMinKeycode

  std::mutex mMutex; // guards mRecords, the one thing both threads reach
  std::deque<Record> mRecords;
};

} // namespace plug::gfx
