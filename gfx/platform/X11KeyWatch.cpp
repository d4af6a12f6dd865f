#include "gfx/platform/X11KeyWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace plug::gfx {

namespace {

// Server times are milliseconds that wrap after 49 days: compared by their difference.
bool Earlier(uint32_t a, uint32_t b)
{
  return static_cast<int32_t>(a - b) < 0;
}

} // namespace

XKeyWatch::XKeyWatch(uint32_t window)
  : mWindow(window)
{
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection))
  {
    xcb_disconnect(connection);
    return;
  }
  if (pipe2(mWakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
  {
    xcb_disconnect(connection);
    mWakeFds[0] = mWakeFds[1] = -1;
    return;
  }
  mConnection = connection;
  const xcb_setup_t* setup = xcb_get_setup(mConnection);
  mMinKeycode = setup->min_keycode;
  mMap.assign(static_cast<size_t>(setup->max_keycode - setup->min_keycode + 1) * kColumns, 0);
  LoadMap(setup->min_keycode, setup->max_keycode - setup->min_keycode + 1);
  mThread = std::thread([this] { Run(); });
}

XKeyWatch::~XKeyWatch()
{
  if (mThread.joinable())
  {
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = write(mWakeFds[1], &wake, 1);
    mThread.join();
  }
  for (int fd : mWakeFds)
    if (fd >= 0)
      close(fd);
  if (mConnection)
    xcb_disconnect(mConnection);
}

void XKeyWatch::SetWatching(bool on)
{
  if (!mConnection)
    return;
  const uint32_t mask = on ? XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE : XCB_EVENT_MASK_NO_EVENT;
  xcb_change_window_attributes(mConnection, mWindow, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(mConnection);
}

bool XKeyWatch::Take(bool press, uint32_t time, uint8_t keycode, Record& record)
{
  std::lock_guard<std::mutex> lock(mMutex);
  while (!mRecords.empty() && !Earlier(time, mRecords.front().time))
  {
    const Record front = mRecords.front();
    mRecords.pop_front();
    if (front.time == time && front.keycode == keycode && front.press == press)
    {
      record = front;
      return true;
    }
  }
  return false;
}

// The watch's thread, until the destructor wakes it or the connection breaks.
void XKeyWatch::Run()
{
  pollfd fds[2] = {{xcb_get_file_descriptor(mConnection), POLLIN, 0}, {mWakeFds[0], POLLIN, 0}};
  for (;;)
  {
    while (xcb_generic_event_t* event = xcb_poll_for_event(mConnection))
    {
      HandleEvent(event);
      std::free(event);
    }
    if (xcb_connection_has_error(mConnection))
      return;
    if (poll(fds, 2, -1) < 0 && errno != EINTR)
      return;
    if (fds[1].revents)
      return;
  }
}

// The watch's thread.
void XKeyWatch::HandleEvent(const void* data)
{
  const auto* event = static_cast<const xcb_generic_event_t*>(data);
  switch (event->response_type & 0x7F)
  {
    case XCB_MAPPING_NOTIFY:
    {
      const auto* mapping = static_cast<const xcb_mapping_notify_event_t*>(data);
      if (mapping->request == XCB_MAPPING_KEYBOARD)
        LoadMap(mapping->first_keycode, mapping->count);
      break;
    }
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
    {
      const auto* key = static_cast<const xcb_key_press_event_t*>(data);
      Record record;
      record.press = (event->response_type & 0x7F) == XCB_KEY_PRESS;
      record.time = key->time;
      record.keycode = key->detail;
      const size_t row = static_cast<size_t>(key->detail - mMinKeycode) * kColumns;
      if (key->detail < mMinKeycode || row + kColumns > mMap.size())
        break;
      std::copy_n(mMap.begin() + static_cast<ptrdiff_t>(row), kColumns, record.keysyms);
      std::lock_guard<std::mutex> lock(mMutex);
      if (mRecords.size() == kMaxRecords)
        mRecords.pop_front();
      mRecords.push_back(record);
      break;
    }
    default:
      break; // errors of requests on a window the host destroyed, among others
  }
}

// The watch's thread, and the constructor before the thread starts.
void XKeyWatch::LoadMap(uint8_t first, int count)
{
  xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
      mConnection, xcb_get_keyboard_mapping(mConnection, first, static_cast<uint8_t>(count)), nullptr);
  if (!reply)
    return;
  const int perKeycode = reply->keysyms_per_keycode;
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply);
  for (int i = 0; i < count && perKeycode > 0; ++i)
  {
    const size_t row = static_cast<size_t>(first + i - mMinKeycode) * kColumns;
    if (first + i < mMinKeycode || row + kColumns > mMap.size())
      continue;
    for (int c = 0; c < kColumns; ++c)
      mMap[row + static_cast<size_t>(c)] = c < perKeycode ? keysyms[i * perKeycode + c] : 0;
  }
  std::free(reply);
}

} // namespace plug::gfx
