#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <thread>

#include "plug/Config.h"
#include "plug/IPluginAPIBase.h"
#include "plug/IPluginProcessor.h"
#include "plug/VST2Types.h"
#include "plug/core/IByteChunk.h"

namespace plug {

// What the entry point hands to the plug-in's constructor.
struct InstanceInfo
{
  audioMasterCallback mVSTHostCallback = nullptr;
};

// The VST 2 binding: owns the AEffect record the host sees, answers the host's dispatcher,
// parameter and processing calls through the framework core and the effect, and turns the
// framework's requests (automation gestures, program changes, resizing, outgoing MIDI) into host
// callback calls.
//
// Threads: "host" is whatever thread the host makes dispatcher and parameter calls on (usually
// its user-interface thread), "audio" its processing thread, "main" the thread that pumps the run
// loop. Program and chunk calls may come on any host thread, at once with the editor's program
// list, Modify and Save on the main thread: they hold the program store's lock (IPluginBase), which
// the audio thread never takes. Beyond that the binding takes no lock: parameter values are
// atomic, the rings between editor and processing side have one producer and one consumer each,
// and sample rate, block size and suspend reach the effect (OnReset) only while the host is not
// processing.
class IPluginVST2 : public IPluginAPIBase, public IPluginProcessor
{
public:
  // [host] Under the construction mutex (MakePlug).
  IPluginVST2(const InstanceInfo& info, const Config& config);
  // [host] EffClose. Stops the framework timer first.
  ~IPluginVST2() override;

  // [any] The record handed to the host.
  AEffect& GetAEffect() { return mAEffect; }

  // What the entry point hands to the constructor.
  using Info = InstanceInfo;

  // The binding's name as users know it, for the plug-in to show.
  static constexpr const char* kBindingName = "VST 2";

  // --- Requests to the host ---

  void BeginInformHostOfParamChange(int paramIdx) override;                    // [main]
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override; // [main]
  void EndInformHostOfParamChange(int paramIdx) override;                      // [main]
  void InformHostOfProgramChange() override;                                   // [main, host]
  // [main] Asks the host to resize the editor window when the size changes; true if the host
  // agreed. The new size is kept in every case.
  bool EditorResize(int width, int height) override;
  bool SendMidiMsg(const IMidiMsg& msg) override; // [audio] true if the host took it
  bool SendSysEx(const ISysEx& msg) override;     // [audio] true if the host took it
  // [host, not processing] Sets the latency reported in the AEffect record; the host is not told.
  void SetLatency(int frames) override;
  // Host thread, from SetHost: stereo-only hosts get stereo, then channel counts are published.
  void HostSpecificInit() override;

  // --- Extension points (host thread) ---

  // effVendorSpecific requests the binding does not answer itself. The base answers 0.
  virtual VstIntPtr VSTVendorSpecific(int index, VstIntPtr value, void* ptr, float opt);
  // effCanDo texts the binding does not answer itself. The base answers 0.
  virtual VstIntPtr VSTCanDo(const char* text);

private:
  // --- Entry points the AEffect record points at ---

  static VstIntPtr VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);
  static void VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames);
  static void VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames);
  static void VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs, VstInt32 frames);
  static float VSTGetParameter(AEffect* effect, VstInt32 index);
  static void VSTSetParameter(AEffect* effect, VstInt32 index, float value);

  // --- Dispatcher (host thread) ---

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  void OpenFromHost();
  void SetProgramFromHost(VstIntPtr value);
  void SetProgramNameFromHost(const char* name);
  VstIntPtr GetParamText(VstInt32 opcode, VstInt32 index, void* ptr) const;
  VstIntPtr GetChunk(bool isProgram, void* ptr);
  // Keeps a chunk for the host until the calling thread asks for one of the same kind again (or
  // kChunksKept newer ones were handed out); never changes it meanwhile. Under the store's lock.
  const IByteChunk& KeepHandedOutChunk(bool isProgram, IByteChunk&& chunk);
  VstIntPtr SetChunk(bool isProgram, const void* ptr, VstIntPtr size);
  VstIntPtr ProcessEvents(const VstEvents* events);
  VstIntPtr StringToParameter(VstInt32 index, const char* text);
  VstIntPtr GetPinProperties(ERoute direction, VstInt32 index, void* ptr) const;
  VstIntPtr SetSpeakerArrangement(const VstSpeakerArrangement* inputs, const VstSpeakerArrangement* outputs);
  VstIntPtr GetParameterProperties(VstInt32 index, void* ptr) const;
  VstIntPtr VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt);
  VstIntPtr CanDo(const char* text);
  VstIntPtr GetMidiKeyName(void* ptr) const;
  // [main] effEditKeyDown / effEditKeyUp, on the editor's thread like the other editor calls.
  VstIntPtr KeyFromHost(bool down, VstInt32 character, VstIntPtr virtualKey, float modifiers);

  // --- Parameters (host thread) ---

  float GetParameterFromHost(VstInt32 index) const;
  void SetParameterFromHost(VstInt32 index, float normalizedValue);

  // --- Processing (audio thread) ---

  template <typename Sample>
  void PrepareProcessing(Sample** inputs, Sample** outputs, VstInt32 frames);
  void ReadHostState();
  void ReadTimeInfo();
  void FinishProcessing();

  // [main] The host answered canDo with 1.
  bool HostCanDo(const char* text) const;
  // [host] The editor rectangle at the draw and screen scales, before the editor first sized it
  // itself.
  void PlaceEditRectOnScreen();

  // [any] Calls the host's callback with this plug-in's record; 0 without a callback.
  VstIntPtr CallHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) const;

  audioMasterCallback mHostCallback = nullptr;
  bool mDoesChunks = false; // state goes to the host as chunks (announced with effFlagsProgramChunks)
  ERect mEditRect{};
  bool mEditRectOnScreen = false; // mEditRect is in the screen's pixels
  VstSpeakerArrangement mInputSpkrArr{};
  VstSpeakerArrangement mOutputSpkrArr{};
  // A chunk handed to the host (effGetChunk), and the thread it was handed to.
  struct HandedOutChunk
  {
    std::thread::id thread;
    bool isProgram = false;
    IByteChunk chunk;
  };
  // The chunks handed to the host, oldest first; part of the program store, guarded by its lock.
  static constexpr std::size_t kChunksKept = 32;
  std::list<HandedOutChunk> mChunksHandedOut;
  AEffect mAEffect{};
};

// Defined by the plug-in: constructs it under the process-wide construction mutex. Host thread.
IPluginVST2* MakePlug(const InstanceInfo& info);

} // namespace plug
