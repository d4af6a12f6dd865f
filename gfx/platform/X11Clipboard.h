#pragma once

#include <X11/Xlib.h>

#include <string>

namespace plug::gfx {

// The CLIPBOARD selection for one window. Copying makes the window the selection's owner and
// answers other programs' requests for UTF8_STRING and STRING (Latin-1; characters outside it
// become "?") until another program takes the selection or the window goes. Pasting asks the
// owner for UTF8_STRING, then for STRING, and waits for the answer at most kReadTimeoutMs
// (other events stay queued meanwhile). Texts that the protocol would send in increments (larger
// than the server takes in one request) are neither sent nor read. [main]
class XClipboard
{
public:
  static constexpr int kReadTimeoutMs = 300;

  XClipboard(Display* display, Window window);
  XClipboard(const XClipboard&) = delete;
  XClipboard& operator=(const XClipboard&) = delete;

  // time: the time of the event that asked for the copy (CurrentTime when there is none).
  bool SetText(const std::string& utf8, Time time);
  // False when the clipboard is empty, holds no text, or its owner did not answer in time.
  bool GetText(std::string& utf8);
  // Answers selection requests and notes the loss of the selection; true for those events.
  bool HandleEvent(const XEvent& event);

private:
  bool Request(Atom target, std::string& data);
  void Answer(const XSelectionRequestEvent& request);

  Display* mDisplay;
  Window mWindow;
  Atom mClipboard;
  Atom mUTF8;
  Atom mTargets;
  Atom mIncr;
  Atom mProperty;
  std::string mText;
  bool mOwner = false;
};

// Latin-1 text as UTF-8, and UTF-8 as Latin-1 with "?" for every character outside it.
std::string Latin1ToUTF8(const std::string& latin1);
std::string UTF8ToLatin1(const std::string& utf8);

} // namespace plug::gfx
