#include "gfx/platform/X11Clipboard.h"

#include <X11/Xatom.h>
#include <poll.h>

#include <chrono>

#include "plug/core/Utf8Text.h"

namespace plug::gfx {

std::string Latin1ToUTF8(const std::string& latin1)
{
  std::string out;
  out.reserve(latin1.size());
  for (unsigned char c : latin1)
    AppendUtf8(out, c); // Latin-1 bytes are their code points
  return out;
}

std::string UTF8ToLatin1(const std::string& utf8)
{
  std::string out;
  for (size_t i = 0; i < utf8.size();)
  {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80)
    {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (length == 2 && i + 1 < utf8.size() && c <= 0xC3)
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
    else
      out += '?';
    i += length;
  }
  return out;
}

XClipboard::XClipboard(Display* display, Window window)
  : mDisplay(display),
    mWindow(window),
    mClipboard(XInternAtom(display, "CLIPBOARD", False)),
    mUTF8(XInternAtom(display, "UTF8_STRING", False)),
    mTargets(XInternAtom(display, "TARGETS", False)),
    mIncr(XInternAtom(display, "INCR", False)),
    mProperty(XInternAtom(display, "QUILLON_CLIPBOARD", False))
{
}

bool XClipboard::SetText(const std::string& utf8, Time time)
{
  mText = utf8;
  XSetSelectionOwner(mDisplay, mClipboard, mWindow, time);
  mOwner = XGetSelectionOwner(mDisplay, mClipboard) == mWindow;
  return mOwner;
}

bool XClipboard::GetText(std::string& utf8)
{
  // Asked of the server, not taken from mOwner: the notice of a lost selection may still be queued.
  const Window owner = XGetSelectionOwner(mDisplay, mClipboard);
  if (owner == mWindow && mOwner)
  {
    utf8 = mText;
    return true;
  }
  if (owner == None)
    return false;
  std::string data;
  if (Request(mUTF8, data))
  {
    utf8 = data;
    return true;
  }
  if (Request(XA_STRING, data))
  {
    utf8 = Latin1ToUTF8(data);
    return true;
  }
  return false;
}

namespace {

Bool IsSelectionNotifyFor(Display*, XEvent* event, XPointer window)
{
  return event->type == SelectionNotify && event->xselection.requestor == *reinterpret_cast<Window*>(window);
}

} // namespace

bool XClipboard::Request(Atom target, std::string& data)
{
  XDeleteProperty(mDisplay, mWindow, mProperty);
  XConvertSelection(mDisplay, mClipboard, target, mProperty, mWindow, CurrentTime);
  XFlush(mDisplay);

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
  XEvent event;
  Window window = mWindow;
  while (!XCheckIfEvent(mDisplay, &event, IsSelectionNotifyFor, reinterpret_cast<XPointer>(&window)))
  {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
      return false;
    pollfd fd{ConnectionNumber(mDisplay), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left));
  }
  if (event.xselection.property == None)
    return false;

  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* value = nullptr;
  const bool read = XGetWindowProperty(mDisplay, mWindow, mProperty, 0, 0x1FFFFFFF, True, AnyPropertyType, &type,
                                       &format, &count, &remaining, &value) == Success;
  const bool ok = read && value && type != mIncr && format == 8;
  if (ok)
    data.assign(reinterpret_cast<const char*>(value), count);
  if (value)
    XFree(value);
  return ok;
}

bool XClipboard::HandleEvent(const XEvent& event)
{
  if (event.type == SelectionClear && event.xselectionclear.selection == mClipboard)
  {
    mOwner = false;
    mText.clear();
    return true;
  }
  if (event.type == SelectionRequest)
  {
    Answer(event.xselectionrequest);
    return true;
  }
  return false;
}

void XClipboard::Answer(const XSelectionRequestEvent& request)
{
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.display = request.display;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.time = request.time;
  // Clients of the old protocol name no property: the target serves as one.
  reply.property = request.property != None ? request.property : request.target;

  const long maxBytes = XMaxRequestSize(mDisplay) * 4 - 64;
  if (!mOwner || request.selection != mClipboard)
    reply.property = None;
  else if (request.target == mTargets)
  {
    const Atom targets[] = {mTargets, mUTF8, XA_STRING};
    XChangeProperty(mDisplay, request.requestor, reply.property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(targets), 3);
  }
  else if (request.target == mUTF8 || request.target == XA_STRING)
  {
    const std::string text = request.target == mUTF8 ? mText : UTF8ToLatin1(mText);
    if (static_cast<long>(text.size()) > maxBytes)
      reply.property = None;
    else
      XChangeProperty(mDisplay, request.requestor, reply.property, request.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  }
  else
    reply.property = None;

  XEvent event{};
  event.xselection = reply;
  XSendEvent(mDisplay, request.requestor, False, NoEventMask, &event);
  XFlush(mDisplay);
}

} // namespace plug::gfx
