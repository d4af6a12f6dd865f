#pragma once

// The host's side of the tests that open the editor's window on an X server (the Xvfb that
// tools/qm test starts, named by DISPLAY): a connection of the host's own, the window the editor
// opens in, and what the host reads back from the server.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

constexpr const char* kNoTestDisplay = "no X display (tools/qm test starts Xvfb and sets DISPLAY)";

// The test server now and then resets a connection made right after another one closed: a few
// tries, moments apart. Null when there is no server.
inline Display* OpenTestDisplay()
{
  Display* display = nullptr;
  for (int i = 0; i < 5 && !display; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
    display = XOpenDisplay(nullptr);
  return display;
}

// A top-level window of w x h with a black background, mapped, receiving the events of eventMask:
// the window a host hands to the editor.
inline Window MapHostWindow(Display* display, int w, int h, long eventMask = NoEventMask)
{
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(w),
                                            static_cast<unsigned>(h), 0, 0, 0);
  if (eventMask != NoEventMask)
    XSelectInput(display, window, eventMask);
  XMapWindow(display, window);
  XSync(display, False);
  return window;
}

// The window's children, from the bottom of the stack to the top.
inline std::vector<Window> ChildWindows(Display* display, Window window)
{
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  XQueryTree(display, window, &root, &parent, &children, &n);
  std::vector<Window> all(children, children + n);
  if (children)
    XFree(children);
  return all;
}

// The RGB pixels of a rectangle of the window, row by row; empty when it cannot be read.
inline std::vector<uint32_t> Pixels(Display* display, Window window, int x, int y, int w, int h)
{
  std::vector<uint32_t> pixels;
  XImage* image =
      XGetImage(display, window, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!image)
    return pixels;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      pixels.push_back(static_cast<uint32_t>(XGetPixel(image, i, j) & 0xFFFFFF));
  XDestroyImage(image);
  return pixels;
}

// One pixel of the window, 0 when it cannot be read.
inline uint32_t PixelAt(Display* display, Window window, int x, int y)
{
  const std::vector<uint32_t> pixel = Pixels(display, window, x, y, 1, 1);
  return pixel.empty() ? 0 : pixel[0];
}

// Where the pointer is, relative to the window.
inline std::pair<int, int> PointerIn(Display* display, Window window)
{
  Window root, child;
  int rootX = 0, rootY = 0, x = 0, y = 0;
  unsigned mask = 0;
  XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask);
  return {x, y};
}

// Sets the server's resources (RESOURCE_MANAGER on the root window), as a desktop does for
// Xft.dpi; null takes them away.
inline void SetServerResources(Display* display, const char* resources)
{
  const Atom property = XInternAtom(display, "RESOURCE_MANAGER", False);
  if (resources)
    XChangeProperty(display, DefaultRootWindow(display), property, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources), static_cast<int>(std::strlen(resources)));
  else
    XDeleteProperty(display, DefaultRootWindow(display), property);
  XSync(display, False);
}
