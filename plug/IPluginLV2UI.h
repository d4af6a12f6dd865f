#pragma once

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <vector>

#include "plug/Config.h"
#include "plug/IPluginAPIBase.h"
#include "plug/IPluginProcessor.h"
#include "plug/LV2Protocol.h"

namespace plug {

// What the entry point hands to the plug-in's constructor.
struct LV2UIInstanceInfo
{
  LV2UI_Write_Function write = nullptr;
  LV2UI_Controller controller = nullptr;
  const LV2_Feature* const* features = nullptr;
};

// The LV2 binding of the editor's binary (ui:X11UI): the plug-in object made over it holds the
// parameters and a mirror of the DSP's programs, and shows the editor as the VST 2 plug-in does. It
// shares nothing with the DSP but what the host carries (plug/LV2Protocol.h): values go out as port
// writes between ui:touch on and off and come in through port_event; the programs come in as
// Session messages, which replace the mirror, and go out as a Session after every change the
// editor makes to them (the values a program change brings go out as port writes, so the host
// records them).
//
// The editor is an X11 child of the host's window (ui:parent), or, for hosts that cannot embed,
// a window of its own shown and hidden through ui:showInterface. It runs on the host's idle calls
// (ui:idleInterface), which pump the framework's run loop. Its size reaches the host as WM size
// hints on its window and through ui:resize; its screen scale comes from ui:scaleFactor when the
// host gives it.
//
// Threads: everything on the host's user-interface thread ([main]).
class IPluginLV2UI : public IPluginAPIBase, public IPluginProcessor
{
public:
  using Info = LV2UIInstanceInfo;

  // The binding's name as users know it, for the plug-in to show.
  static constexpr const char* kBindingName = "LV2";

  IPluginLV2UI(const Info& info, const Config& config);
  ~IPluginLV2UI() override;

  using MakeFunc = IPluginLV2UI* (*)(const Info& info);
  // The descriptor of the editor with this URI, which lv2ui_descriptor returns; its instantiate
  // makes the plug-in with make. One editor per binary: the first call fixes both.
  static const LV2UI_Descriptor& Descriptor(const char* uri, MakeFunc make);

  const lv2::PortLayout& Ports() const { return mPorts; }

  // --- The editor's calls, public for tests that drive it without a host ---

  // After the plug-in is made: opens the editor in the host's window when one was given (widget:
  // the editor's window, else null) and asks the DSP for its session. False when the host gave a
  // window and the editor could not open in it.
  bool FinishInstantiation(LV2UI_Widget* widget);
  void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
  // The host's idle call: pumps the run loop, then sends what the editor changed. 1 once the user
  // closed a window of the editor's own, else 0.
  int Idle();
  int Show(); // 0 when shown
  int Hide(); // 0

  // --- Requests to the host ---

  void BeginInformHostOfParamChange(int paramIdx) override;                    // ui:touch on
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override; // a port write
  void EndInformHostOfParamChange(int paramIdx) override;                      // ui:touch off
  // The editor's window size in pixels, through ui:resize.
  bool EditorResize(int width, int height) override;
  // A program's values (the preset-recall source) are sent at the next idle.
  void OnParamChange(int paramIdx, EParamSource source, int sampleOffset) override;
  using IPluginAPIBase::OnParamChange;
  // The programs are sent at the next idle.
  void OnProgramStoreChanged() override;
  bool SendMidiMsg(const IMidiMsg&) override { return false; }

private:
  void ReadFeatures(const LV2_Feature* const* features);
  void OpenEditor(void* parent);
  void ApplyHostScale();
  void SendToHost();
  void SendMessage(const uint8_t* bytes, uint32_t size);
  void WriteControl(int paramIdx);
  void Touch(int paramIdx, bool grabbed);
  void ReceiveControl(int paramIdx, float value);

  lv2::PortLayout mPorts;
  lv2::URIDs mURIDs;
  LV2UI_Write_Function mWrite = nullptr;
  LV2UI_Controller mController = nullptr;
  void* mParent = nullptr;
  const LV2UI_Resize* mResize = nullptr;
  const LV2UI_Touch* mTouch = nullptr;
  float mHostScale = 0.f; // ui:scaleFactor, 0 when the host gave none

  bool mReady = false;             // construction's own program changes are not the user's
  std::vector<bool> mValuesToHost; // per parameter: its value goes out at the next idle
  bool mProgramsToHost = false;    // the session goes out at the next idle
  bool mShown = false;             // a window of the editor's own is open
  std::vector<uint8_t> mMessage;   // a message being written, sized for the largest
};

} // namespace plug
