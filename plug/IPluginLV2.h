#pragma once

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "plug/Config.h"
#include "plug/IPluginAPIBase.h"
#include "plug/IPluginProcessor.h"
#include "plug/LV2Protocol.h"
#include "plug/core/ILatestValue.h"

namespace plug {

// What the entry point hands to the plug-in's constructor.
struct LV2InstanceInfo
{
  double sampleRate = 0.0;
  const LV2_Feature* const* features = nullptr; // may be null (lv2apply passes none)
};

// The LV2 binding of the DSP binary: the instance a host makes through lv2_descriptor, answering
// connect_port, activate, run and deactivate through the framework core and the effect, and the
// state and worker extensions. It is built without an editor (QM_PLUGIN_EDITOR=0): the editor is the
// UI binary's (plug/IPluginLV2UI.h), which reaches this only through the host. The ports, state and
// messages: plug/LV2Protocol.h.
//
// Parameters come from the control ports in run(): NaN is the default, a value outside the range
// is brought within it, and a value reaches the effect only when it differs from the one the port
// last had, through the path host automation takes (IParam::SetValue, SendParameterValueFromAPI,
// OnParamChange with the host source). Audio goes to the effect's single-precision block as it is
// (inputs and outputs may be the same buffers), in pieces of at most the block size.
//
// Threads: [audio] run(); [host] instantiate, activate, deactivate, cleanup and the state calls,
// never at once with each other, and the worker's work(), which a host may run on a thread of its
// own at once with run() and, in some hosts, with a state save. run() never allocates, locks or
// waits: a message
// from an editor is copied into a slot prepared for it and handed to the worker (when the host
// offers one; otherwise it waits for the next state save or restore), and the sessions for the
// editors are prepared off the audio thread and only copied out in run(). The program store is
// under IPluginBase's lock, which run() never takes; the work, save and restore calls take the
// binding's message lock around taking a message and preparing a session.
class IPluginLV2 : public IPluginAPIBase, public IPluginProcessor
{
public:
  using Info = LV2InstanceInfo;

  // The binding's name as users know it, for the plug-in to show.
  static constexpr const char* kBindingName = "LV2";

  IPluginLV2(const Info& info, const Config& config); // [host]
  ~IPluginLV2() override;                             // [host]

  // Makes the plug-in under the process-wide construction mutex; null when it cannot. [host]
  using MakeFunc = IPluginLV2* (*)(const Info& info);
  // The descriptor of the plug-in with this URI, which lv2_descriptor returns; its instantiate
  // makes the plug-in with make. One plug-in per binary: the first call fixes both.
  static const LV2_Descriptor& Descriptor(const char* uri, MakeFunc make);

  const lv2::PortLayout& Ports() const { return mPorts; } // [any]

  // --- The instance's calls, public for tests that drive it without a host ---

  // [host] After the plug-in is made: false when it cannot run at the host's sample rate.
  bool FinishInstantiation(double sampleRate);
  void ConnectPort(uint32_t port, void* data);                                         // [audio, host]
  void Activate();                                                                     // [host] clears the tail
  void Run(uint32_t frames);                                                           // [audio]
  void Deactivate();                                                                   // [host]
  LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle); // [host]
  LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle); // [host]
  LV2_Worker_Status Work(); // [host] the worker's thread

  // Not needed: there is no editor in this binary, and the host records the ports itself.
  bool SendMidiMsg(const IMidiMsg&) override { return false; }

private:
  // A message's bytes, in storage sized once at construction.
  struct MessageSlot
  {
    std::vector<uint8_t> bytes;
    uint32_t size = 0;
  };

  void ReadFeatures(const LV2_Feature* const* features);
  void ApplyControlPorts();           // [audio]
  void ReadEditorMessages();          // [audio]
  void WriteEditorMessages();         // [audio]
  void ProcessAudio(uint32_t frames); // [audio]
  // [host] under mMessageMutex
  LV2_State_Status RestoreProgram(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);
  void TakeEditorMessage();                                                     // [host] under mMessageMutex
  void PrepareSessionForEditors();                                              // [host] under mMessageMutex
  static bool CopyInto(MessageSlot& slot, const uint8_t* bytes, uint32_t size); // [any]

  lv2::PortLayout mPorts;
  std::vector<float*> mAudioIn;
  std::vector<float*> mAudioOut;
  std::vector<const float*> mControls;
  std::vector<float> mLastControls; // NaN until a port's first value is applied
  const LV2_Atom_Sequence* mMessagesIn = nullptr;
  LV2_Atom_Sequence* mMessagesOut = nullptr;
  std::vector<float> mSilence; // stands in for an input connected to nothing
  std::atomic<bool> mResyncControls{true};

  lv2::URIDs mURIDs;
  const LV2_Worker_Schedule* mSchedule = nullptr;

  std::mutex mMessageMutex;
  ILatestValue<MessageSlot> mFromEditor; // producer [audio], consumer under mMessageMutex
  ILatestValue<MessageSlot> mToEditor;   // producer under mMessageMutex, consumer [audio]
  bool mEditorAsked = false;             // [audio] a Request came: the session goes out again
};

} // namespace plug
