#pragma once

// The host's side of an LV2 plug-in's X11 editor (ui:X11UI), as Linux hosts drive it: the plug-in
// and its UI found through lilv among the installed bundles (LV2_PATH), the UI's binary loaded with
// dlopen and instantiated through lv2ui_descriptor with the features hosts give (ui:parent,
// ui:resize, ui:touch, urid:map and unmap, options with ui:scaleFactor, ui:updateRate and the sample
// rate, ui:idleInterface), then idled, shown and fed port events. The UI shares nothing with a
// plug-in instance: what it writes is recorded, as a host records it before passing it on.
// Everything on the thread that made the host, as the UI's calls must be.

#include <X11/Xlib.h>
#include <lilv/lilv.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Lv2UridMap.h"

// One call the UI made to the host, in the order made.
struct Lv2UiCall
{
  enum class Kind
  {
    kWrite,
    kTouchOn,
    kTouchOff,
  };
  Kind kind = Kind::kWrite;
  uint32_t port = 0;
  uint32_t protocol = 0;      // a write's: 0 for a control value, else the URID of the atom transfer
  float value = 0.f;          // a control value
  std::vector<uint8_t> bytes; // an atom
};

// What the host offers when it instantiates the UI.
struct Lv2UiOffer
{
  bool embedded = true;    // ui:parent given (else the UI shows itself through ui:showInterface)
  float scaleFactor = 0.f; // ui:scaleFactor, offered when above 0
  float updateRate = 30.f; // ui:updateRate, the host's idle calls per second
  float sampleRate = 48000.f;
};

class Lv2UiHost
{
public:
  // Finds the plug-in and its X11 UI and loads the UI's binary; Error() says what failed.
  explicit Lv2UiHost(const std::string& pluginUri);
  ~Lv2UiHost();
  Lv2UiHost(const Lv2UiHost&) = delete;
  Lv2UiHost& operator=(const Lv2UiHost&) = delete;

  // Empty while everything has worked.
  const std::string& Error() const { return mError; }

  // The UI made in parent (None when the offer is not embedded), then every control input told its
  // default through port_event, as hosts tell a fresh UI the plug-in's values. False (and Error())
  // when the UI needs a feature this host does not give or does not come up.
  bool Instantiate(Window parent, const Lv2UiOffer& offer = {});
  void Cleanup();
  bool Instantiated() const { return mHandle != nullptr; }
  // The UI's window (its widget); None before Instantiate.
  Window Widget() const { return mWidget; }

  // The UI's idle call: 0 while it stays open (also for a UI without the interface).
  int Idle();
  // Through ui:showInterface; false when the UI does not offer it or refuses.
  bool Show();
  bool Hide();
  // A control value from the plug-in.
  void PortEvent(uint32_t port, float value);

  // The control port's index, or nothing.
  std::optional<uint32_t> PortIndex(const std::string& symbol) const;
  // The port's default, minimum and maximum (NaN where the plug-in names none).
  float PortDefault(uint32_t port) const;
  std::pair<float, float> PortRange(uint32_t port) const;

  const std::vector<Lv2UiCall>& Calls() const { return mCalls; }
  void ClearCalls() { mCalls.clear(); }
  // The sizes the UI asked for through ui:resize.
  const std::vector<std::pair<int, int>>& Resizes() const { return mResizes; }
  Lv2UridMap& Urids() { return mUrids; }

private:
  bool FindUi(const std::string& pluginUri);
  bool LoadBinary();
  std::string MissingFeature(const std::vector<const LV2_Feature*>& given) const;
  std::vector<const LV2_Feature*> Features(Window parent, const Lv2UiOffer& offer);
  void SendDefaults();
  const void* ExtensionData(const char* uri) const;

  static void Write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer);
  static int Resize(LV2UI_Feature_Handle handle, int width, int height);
  static void Touch(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed);

  std::string mError;
  LilvWorld* mWorld = nullptr;
  const LilvPlugin* mPlugin = nullptr;
  std::string mPluginUri, mUiUri, mBinary, mBundle;
  std::vector<std::string> mRequired; // the UI's required features
  std::vector<float> mMinimum, mMaximum, mDefault;
  void* mModule = nullptr;
  const LV2UI_Descriptor* mDescriptor = nullptr;

  Lv2UridMap mUrids;
  LV2UI_Resize mResize{};
  LV2UI_Touch mTouch{};
  float mScaleFactor = 0.f, mUpdateRate = 0.f, mSampleRate = 0.f;
  std::vector<LV2_Options_Option> mOptions;
  std::vector<LV2_Feature> mFeatures;

  LV2UI_Handle mHandle = nullptr;
  Window mWidget = None;
  std::vector<Lv2UiCall> mCalls;
  std::vector<std::pair<int, int>> mResizes;
};

// Sets LV2_PATH, when unset, to the folders lilv searches by default (~/.lv2, /usr/local/lib/lv2,
// /usr/lib/lv2) under the HOME of this moment: a settings folder of the tests' own moves HOME, and
// lilv would then miss the bundles installed in the user's ~/.lv2.
void PinLv2Path();

// The window's size as the X server has it, {0, 0} when it cannot be read.
std::pair<int, int> WindowSize(Display* display, Window window);
// The size the window's WM_NORMAL_HINTS give (the program's size, else its base or minimum size),
// {0, 0} without one: what a host that embeds the window sizes its socket from.
std::pair<int, int> HintedSize(Display* display, Window window);
// Whether the window is mapped and all its ancestors are (only then can its pixels be read).
bool IsShown(Display* display, Window window);
// Whether the window shows anything but one colour (a fresh window shows its background or its
// parent's).
bool ShowsAFrame(Display* display, Window window);
