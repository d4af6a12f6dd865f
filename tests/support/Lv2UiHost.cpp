#include "tests/support/Lv2UiHost.h"

#include <X11/Xutil.h>
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/parameters/parameters.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tests/support/X11TestHost.h"

namespace {

// A lilv node that frees itself.
class Node
{
public:
  Node(LilvWorld* world, const char* uri)
    : mNode(lilv_new_uri(world, uri))
  {
  }
  ~Node() { lilv_node_free(mNode); }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  operator const LilvNode*() const { return mNode; }

private:
  LilvNode* mNode;
};

// The UI's windows belong to its own connection and may go at any moment (a hide that destroys
// its window, a cleanup): an error about one while it lives means the window is gone, not that
// the host failed, where Xlib's own handler would end the process.
class XErrorTrap
{
public:
  explicit XErrorTrap(Display* display)
    : mDisplay(display),
      mOld(XSetErrorHandler(&Trap))
  {
    sTrapped = false;
  }
  ~XErrorTrap()
  {
    XSync(mDisplay, False);
    XSetErrorHandler(mOld);
  }
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;
  bool Trapped()
  {
    XSync(mDisplay, False);
    return sTrapped;
  }

private:
  static int Trap(Display*, XErrorEvent*)
  {
    sTrapped = true;
    return 0;
  }
  static inline bool sTrapped = false;
  Display* mDisplay;
  XErrorHandler mOld;
};

std::string FilePath(const LilvNode* fileUri)
{
  char* path = lilv_file_uri_parse(lilv_node_as_uri(fileUri), nullptr);
  const std::string text = path ? path : "";
  lilv_free(path);
  return text;
}

} // namespace

Lv2UiHost::Lv2UiHost(const std::string& pluginUri)
{
  mResize = {this, &Resize};
  mTouch = {this, &Touch};
  if (FindUi(pluginUri))
    LoadBinary();
}

Lv2UiHost::~Lv2UiHost()
{
  Cleanup();
  if (mModule)
    dlclose(mModule);
  if (mWorld)
    lilv_world_free(mWorld);
}

bool Lv2UiHost::FindUi(const std::string& pluginUri)
{
  mWorld = lilv_world_new();
  lilv_world_load_all(mWorld);
  const Node uri(mWorld, pluginUri.c_str());
  mPlugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), uri);
  if (!mPlugin)
  {
    mError = "no LV2 plug-in " + pluginUri + " on LV2_PATH";
    return false;
  }
  mPluginUri = pluginUri;
  const uint32_t ports = lilv_plugin_get_num_ports(mPlugin);
  mMinimum.resize(ports);
  mMaximum.resize(ports);
  mDefault.resize(ports);
  lilv_plugin_get_port_ranges_float(mPlugin, mMinimum.data(), mMaximum.data(), mDefault.data());

  const Node x11Ui(mWorld, LV2_UI__X11UI), required(mWorld, LV2_CORE__requiredFeature);
  LilvUIs* uis = lilv_plugin_get_uis(mPlugin);
  LILV_FOREACH(uis, i, uis)
  {
    const LilvUI* ui = lilv_uis_get(uis, i);
    if (!lilv_ui_is_a(ui, x11Ui))
      continue;
    mUiUri = lilv_node_as_uri(lilv_ui_get_uri(ui));
    mBinary = FilePath(lilv_ui_get_binary_uri(ui));
    mBundle = FilePath(lilv_ui_get_bundle_uri(ui));
    LilvNodes* features = lilv_world_find_nodes(mWorld, lilv_ui_get_uri(ui), required, nullptr);
    LILV_FOREACH(nodes, f, features)
    mRequired.emplace_back(lilv_node_as_uri(lilv_nodes_get(features, f)));
    lilv_nodes_free(features);
    break;
  }
  lilv_uis_free(uis);
  if (mUiUri.empty())
    mError = pluginUri + " has no X11 UI";
  return mError.empty();
}

bool Lv2UiHost::LoadBinary()
{
  mModule = dlopen(mBinary.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mModule)
  {
    mError = std::string("cannot load the UI: ") + dlerror();
    return false;
  }
  auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(mModule, "lv2ui_descriptor"));
  for (uint32_t i = 0; entry && !mDescriptor; ++i)
  {
    const LV2UI_Descriptor* descriptor = entry(i);
    if (!descriptor)
      break;
    if (mUiUri == descriptor->URI)
      mDescriptor = descriptor;
  }
  if (!mDescriptor)
    mError = mBinary + (entry ? " has no descriptor for " + mUiUri : " exports no lv2ui_descriptor");
  return mDescriptor != nullptr;
}

std::vector<const LV2_Feature*> Lv2UiHost::Features(Window parent, const Lv2UiOffer& offer)
{
  mScaleFactor = offer.scaleFactor;
  mUpdateRate = offer.updateRate;
  mSampleRate = offer.sampleRate;
  const LV2_URID floatType = mUrids.Map(LV2_ATOM__Float);
  const auto option = [&](const char* key, const float* value) {
    return LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, mUrids.Map(key), sizeof(float), floatType, value};
  };
  mOptions = {option(LV2_UI__updateRate, &mUpdateRate), option(LV2_PARAMETERS__sampleRate, &mSampleRate)};
  if (offer.scaleFactor > 0.f)
    mOptions.push_back(option(LV2_UI__scaleFactor, &mScaleFactor));
  mOptions.push_back({LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr});

  mFeatures = {*mUrids.MapFeature(),
               *mUrids.UnmapFeature(),
               {LV2_UI__resize, &mResize},
               {LV2_UI__touch, &mTouch},
               {LV2_OPTIONS__options, mOptions.data()},
               {LV2_UI__idleInterface, nullptr}};
  if (offer.embedded)
    mFeatures.push_back({LV2_UI__parent, reinterpret_cast<void*>(parent)});
  std::vector<const LV2_Feature*> features;
  for (const LV2_Feature& feature : mFeatures)
    features.push_back(&feature);
  features.push_back(nullptr);
  return features;
}

std::string Lv2UiHost::MissingFeature(const std::vector<const LV2_Feature*>& given) const
{
  for (const std::string& uri : mRequired)
  {
    const bool found =
        std::any_of(given.begin(), given.end(), [&](const LV2_Feature* f) { return f && uri == f->URI; });
    if (!found)
      return uri;
  }
  return "";
}

bool Lv2UiHost::Instantiate(Window parent, const Lv2UiOffer& offer)
{
  if (!mDescriptor || mHandle)
    return false;
  const std::vector<const LV2_Feature*> features = Features(parent, offer);
  if (const std::string missing = MissingFeature(features); !missing.empty())
  {
    mError = "the UI requires " + missing + ", which this host does not give";
    return false;
  }
  LV2UI_Widget widget = nullptr;
  mResizes.clear();
  mCalls.clear();
  mHandle = mDescriptor->instantiate(mDescriptor, mPluginUri.c_str(), mBundle.c_str(), &Write, this, &widget,
                                     features.data());
  if (!mHandle)
  {
    mError = "the UI's instantiate returned null";
    return false;
  }
  mWidget = static_cast<Window>(reinterpret_cast<uintptr_t>(widget));
  SendDefaults();
  return true;
}

void Lv2UiHost::SendDefaults()
{
  const Node control(mWorld, LV2_CORE__ControlPort), input(mWorld, LV2_CORE__InputPort);
  for (uint32_t i = 0; i < mDefault.size(); ++i)
  {
    const LilvPort* port = lilv_plugin_get_port_by_index(mPlugin, i);
    if (lilv_port_is_a(mPlugin, port, control) && lilv_port_is_a(mPlugin, port, input) && !std::isnan(mDefault[i]))
      PortEvent(i, mDefault[i]);
  }
}

void Lv2UiHost::Cleanup()
{
  if (mHandle)
    mDescriptor->cleanup(mHandle);
  mHandle = nullptr;
  mWidget = None;
}

const void* Lv2UiHost::ExtensionData(const char* uri) const
{
  return mHandle && mDescriptor->extension_data ? mDescriptor->extension_data(uri) : nullptr;
}

int Lv2UiHost::Idle()
{
  const auto* idle = static_cast<const LV2UI_Idle_Interface*>(ExtensionData(LV2_UI__idleInterface));
  return idle ? idle->idle(mHandle) : 0;
}

bool Lv2UiHost::Show()
{
  const auto* show = static_cast<const LV2UI_Show_Interface*>(ExtensionData(LV2_UI__showInterface));
  return show && show->show(mHandle) == 0;
}

bool Lv2UiHost::Hide()
{
  const auto* show = static_cast<const LV2UI_Show_Interface*>(ExtensionData(LV2_UI__showInterface));
  return show && show->hide(mHandle) == 0;
}

void Lv2UiHost::PortEvent(uint32_t port, float value)
{
  if (mHandle && mDescriptor->port_event)
    mDescriptor->port_event(mHandle, port, sizeof(float), 0, &value);
}

std::optional<uint32_t> Lv2UiHost::PortIndex(const std::string& symbol) const
{
  if (!mPlugin)
    return std::nullopt;
  LilvNode* node = lilv_new_string(mWorld, symbol.c_str());
  const LilvPort* port = lilv_plugin_get_port_by_symbol(mPlugin, node);
  lilv_node_free(node);
  return port ? std::optional<uint32_t>(lilv_port_get_index(mPlugin, port)) : std::nullopt;
}

float Lv2UiHost::PortDefault(uint32_t port) const
{
  return port < mDefault.size() ? mDefault[port] : NAN;
}

std::pair<float, float> Lv2UiHost::PortRange(uint32_t port) const
{
  return port < mDefault.size() ? std::pair(mMinimum[port], mMaximum[port]) : std::pair(NAN, NAN);
}

void Lv2UiHost::Write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer)
{
  Lv2UiCall call;
  call.port = port;
  call.protocol = protocol;
  if (protocol == 0 && size == sizeof(float))
    std::memcpy(&call.value, buffer, sizeof(float));
  else if (buffer)
    call.bytes.assign(static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + size);
  static_cast<Lv2UiHost*>(controller)->mCalls.push_back(std::move(call));
}

int Lv2UiHost::Resize(LV2UI_Feature_Handle handle, int width, int height)
{
  static_cast<Lv2UiHost*>(handle)->mResizes.emplace_back(width, height);
  return 0;
}

void Lv2UiHost::Touch(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed)
{
  Lv2UiCall call;
  call.kind = grabbed ? Lv2UiCall::Kind::kTouchOn : Lv2UiCall::Kind::kTouchOff;
  call.port = port;
  static_cast<Lv2UiHost*>(handle)->mCalls.push_back(std::move(call));
}

void PinLv2Path()
{
  const char* home = getenv("HOME");
  if (!getenv("LV2_PATH") && home)
    setenv("LV2_PATH", (std::string(home) + "/.lv2:/usr/local/lib/lv2:/usr/lib/lv2").c_str(), 1);
}

std::pair<int, int> WindowSize(Display* display, Window window)
{
  XErrorTrap trap(display);
  XWindowAttributes attributes{};
  if (!window || !XGetWindowAttributes(display, window, &attributes) || trap.Trapped())
    return {0, 0};
  return {attributes.width, attributes.height};
}

std::pair<int, int> HintedSize(Display* display, Window window)
{
  XErrorTrap trap(display);
  XSizeHints hints{};
  long supplied = 0;
  if (!window || !XGetWMNormalHints(display, window, &hints, &supplied) || trap.Trapped())
    return {0, 0};
  if (hints.flags & (USSize | PSize))
    return {hints.width, hints.height};
  if (hints.flags & PBaseSize)
    return {hints.base_width, hints.base_height};
  if (hints.flags & PMinSize)
    return {hints.min_width, hints.min_height};
  return {0, 0};
}

bool IsShown(Display* display, Window window)
{
  XErrorTrap trap(display);
  XWindowAttributes attributes{};
  return window && XGetWindowAttributes(display, window, &attributes) && !trap.Trapped() &&
      attributes.map_state == IsViewable;
}

bool ShowsAFrame(Display* display, Window window)
{
  if (!IsShown(display, window))
    return false;
  // Only what is on the screen can be read: a window larger than the screen is read in part.
  const auto [w, h] = WindowSize(display, window);
  XErrorTrap trap(display);
  int x = 0, y = 0;
  Window child = None;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  const int screenW = DisplayWidth(display, DefaultScreen(display));
  const int screenH = DisplayHeight(display, DefaultScreen(display));
  const std::vector<uint32_t> pixels =
      Pixels(display, window, 0, 0, std::min(w, screenW - x), std::min(h, screenH - y));
  return !trap.Trapped() && std::any_of(pixels.begin(), pixels.end(), [&](uint32_t p) { return p != pixels[0]; });
}
