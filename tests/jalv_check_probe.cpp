// What tests/jalv_check.sh asks of lilv and of the X server:
//   jalv_check_probe preset-values PLUGIN_URI PRESET_URI
//       the preset's port values as jalv prints control values ("symbol = %f", one a line); fails
//       when there is no such preset, or when every value is the port's default (a preset that
//       changes nothing shows nothing about being applied)
//   jalv_check_probe embedded-window PID SECONDS
//       waits for a window of process PID on the display, then for the plug-in's editor inside it:
//       a window made by another connection than the host's window (a UI opens its own), mapped
//       and of a non-zero size; prints its id and size
//   jalv_check_probe close PID
//       asks the windows of process PID to close, as a window manager does when the user closes
//       them (WM_DELETE_WINDOW)
// Exits 0 when done, 1 with a line on standard error when not, 2 on a wrong call.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Lv2UridMap.h"

namespace {

int Fail(const std::string& why)
{
  std::fprintf(stderr, "jalv_check_probe: %s\n", why.c_str());
  return 1;
}

struct PresetValues
{
  Lv2UridMap* urids;
  const LilvPlugin* plugin;
  LilvWorld* world;
  int changed = 0; // values other than the port's default
  int count = 0;
};

void PrintPortValue(const char* symbol, void* user, const void* value, uint32_t, uint32_t type)
{
  auto& values = *static_cast<PresetValues*>(user);
  double v = NAN;
  if (type == values.urids->Map(LV2_ATOM__Float))
    v = *static_cast<const float*>(value);
  else if (type == values.urids->Map(LV2_ATOM__Double))
    v = *static_cast<const double*>(value);
  else if (type == values.urids->Map(LV2_ATOM__Int) || type == values.urids->Map(LV2_ATOM__Bool))
    v = *static_cast<const int32_t*>(value);
  else if (type == values.urids->Map(LV2_ATOM__Long))
    v = double(*static_cast<const int64_t*>(value));
  // As jalv prints its control values: a float, "%f".
  std::printf("%s = %f\n", symbol, float(v));
  ++values.count;

  LilvNode* name = lilv_new_string(values.world, symbol);
  const LilvPort* port = lilv_plugin_get_port_by_symbol(values.plugin, name);
  lilv_node_free(name);
  LilvNode* fallback = nullptr;
  if (port)
    lilv_port_get_range(values.plugin, port, &fallback, nullptr, nullptr);
  if (!fallback || lilv_node_as_float(fallback) != float(v))
    ++values.changed;
  lilv_node_free(fallback);
}

int PrintPresetValues(const char* pluginUri, const char* presetUri)
{
  LilvWorld* world = lilv_world_new();
  lilv_world_load_all(world);
  LilvNode* uri = lilv_new_uri(world, pluginUri);
  LilvNode* preset = lilv_new_uri(world, presetUri);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  Lv2UridMap urids;
  LilvState* state = nullptr;
  if (plugin)
  {
    lilv_world_load_resource(world, preset);
    LV2_URID_Map* map = urids.MapInterface();
    state = lilv_state_new_from_world(world, map, preset);
  }
  PresetValues values{&urids, plugin, world};
  if (state)
    lilv_state_emit_port_values(state, &PrintPortValue, &values);
  lilv_state_free(state);
  lilv_node_free(preset);
  lilv_node_free(uri);
  lilv_world_free(world);
  if (!plugin)
    return Fail(std::string("no LV2 plug-in ") + pluginUri + " on LV2_PATH");
  if (!state || values.count == 0)
    return Fail(std::string("no preset ") + presetUri + " with port values for " + pluginUri);
  if (values.changed == 0)
    return Fail(std::string("every value of ") + presetUri + " is its port's default: choose another preset");
  return 0;
}

std::vector<Window> Children(Display* display, Window window)
{
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &n))
    return {};
  std::vector<Window> all(children, children + n);
  if (children)
    XFree(children);
  return all;
}

long WindowPid(Display* display, Window window)
{
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  long pid = -1;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL, &type,
                         &format, &items, &after, &data) == Success &&
      data && items == 1 && format == 32)
    pid = *reinterpret_cast<long*>(data);
  if (data)
    XFree(data);
  return pid;
}

// The top-level windows of the process.
std::vector<Window> WindowsOf(Display* display, long pid)
{
  std::vector<Window> windows;
  for (Window w : Children(display, DefaultRootWindow(display)))
    if (WindowPid(display, w) == pid)
      windows.push_back(w);
  return windows;
}

// A mapped descendant of top made by another connection than top's, of a non-zero size.
Window EditorIn(Display* display, Window top, unsigned idMask, XWindowAttributes& found)
{
  std::vector<Window> pending = Children(display, top);
  while (!pending.empty())
  {
    const Window w = pending.back();
    pending.pop_back();
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display, w, &a) || a.map_state != IsViewable)
      continue;
    if ((w & ~idMask) != (top & ~idMask) && a.width > 0 && a.height > 0)
    {
      found = a;
      return w;
    }
    for (Window child : Children(display, w))
      pending.push_back(child);
  }
  return None;
}

// Windows may go while they are looked at: an error about one is no error of the check.
int IgnoreErrors(Display*, XErrorEvent*)
{
  return 0;
}

// The bits of a resource id the server leaves to the client that makes it (the same for every
// connection): ids that differ above them were made by different connections.
unsigned ResourceIdMask()
{
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const xcb_setup_t* setup = xcb_connection_has_error(connection) ? nullptr : xcb_get_setup(connection);
  const unsigned mask = setup ? setup->resource_id_mask : 0x1FFFFF;
  xcb_disconnect(connection);
  return mask;
}

int FindEmbeddedWindow(long pid, double seconds)
{
  Display* display = XOpenDisplay(nullptr);
  if (!display)
    return Fail("no X display");
  XSetErrorHandler(&IgnoreErrors);
  const unsigned idMask = ResourceIdMask();
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  bool hostWindow = false;
  for (; std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(100)))
  {
    for (Window top : WindowsOf(display, pid))
    {
      hostWindow = true;
      XWindowAttributes a{};
      if (const Window editor = EditorIn(display, top, idMask, a))
      {
        std::printf("0x%lx %dx%d\n", editor, a.width, a.height);
        XCloseDisplay(display);
        return 0;
      }
    }
  }
  XCloseDisplay(display);
  return Fail(hostWindow ? "the host's window holds no mapped editor window of a non-zero size"
                         : "no window of process " + std::to_string(pid));
}

int CloseWindows(long pid)
{
  Display* display = XOpenDisplay(nullptr);
  if (!display)
    return Fail("no X display");
  XSetErrorHandler(&IgnoreErrors);
  const std::vector<Window> windows = WindowsOf(display, pid);
  for (Window w : windows)
  {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, w, False, NoEventMask, &event);
  }
  XCloseDisplay(display);
  return windows.empty() ? Fail("no window of process " + std::to_string(pid)) : 0;
}

} // namespace

int main(int argc, char** argv)
{
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "preset-values" && argc == 4)
    return PrintPresetValues(argv[2], argv[3]);
  if (command == "embedded-window" && argc == 4)
    return FindEmbeddedWindow(std::atol(argv[2]), std::atof(argv[3]));
  if (command == "close" && argc == 3)
    return CloseWindows(std::atol(argv[2]));
  std::fprintf(stderr,
               "usage: jalv_check_probe preset-values PLUGIN_URI PRESET_URI | embedded-window PID SECONDS | "
               "close PID\n");
  return 2;
}
