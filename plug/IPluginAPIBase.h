#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plug/Config.h"
#include "plug/IHost.h"
#include "plug/IPluginBase.h"
#include "plug/core/IMidi.h"
#include "plug/core/IQueue.h"
#include "plug/core/IQueueEntries.h"
#include "plug/core/Timer.h"

namespace plug {

// The host-independent top of the plug-in class chain: identifies the host, routes parameter
// changes between editor and host, queues messages between the editor and the processing side,
// and runs the periodic timer that hands queued data from the processing side to the editor.
// A host binding derives from it and overrides the operations that must reach the real host.
//
// Threads, as tagged first on the comment line of each operation that more than one thread can
// reach: [main] the user-interface thread that opens the editor and pumps the run loop (the
// host's effEditIdle); [host] whatever thread the host makes dispatcher and parameter calls on
// (usually [main]); [audio] the host's processing thread; [any] any of them. Several tags: any of
// those; ", not processing": never while the audio thread is inside a processing call. Each ring
// has exactly one producer and one consumer thread, named beside its operations.
//
// Kept because the framework offers them, unused by QuillonMini: the MIDI and system-exclusive
// rings in both directions, and the hooks of other formats and hosts (AAX view, view
// configurations, track colour and name, MIDI note names).
//
// The four paths a parameter value travels (the binding's names first):
//
// 1. Host automation [host]: setParameter -> IPluginVST2::SetParameterFromHost ->
//    IParam::SetNormalizedValue (atomic store) -> SendParameterValueFromAPI ->
//    SendParameterValueFromDelegate (the editor's controls, handed over to [main] when the editor
//    is open) -> OnParamChange(idx, kHost) -> TQuillonMini::OnParamChange (publishes the value for
//    the audio thread) ... [audio] ProcessBlock -> ApplyPendingChanges -> TReverb::SetParam.
// 2. Host text entry [host]: effString2Parameter -> IPluginVST2::StringToParameter ->
//    IParam::StringToValue -> IParam::SetValue -> SendParameterValueFromAPI -> OnParamChange(idx,
//    kHost) -> as in 1.
// 3. Program change [host or main], under the program store's lock (IPluginBase::LockPresets):
//    effSetProgram -> ModifyCurrentPreset (keeps the edits) -> RestorePreset -> UnserializeState
//    -> UnserializeParams (IParam::SetValue for each) -> OnParamReset(kPresetRecall) ->
//    OnParamChange for each -> as in 1; then OnPresetsModified and OnRestoreState (clears the
//    tail, SendParameterValueFromDelegate for each). The preset selector's steps reach
//    RestorePreset through TQuillonMini::SetCurrentPreset and then tell the host with
//    InformHostOfProgramChange, after the lock is released.
// 4. Editor gesture [main]: ISurface::OnMouseDown -> BeginInformHostOfParamChangeFromUI
//    (audioMasterBeginEdit) -> IControl::OnMouseDrag -> IControl::SetDirty(true) ->
//    ISurface::SendParameterValueFromUI -> SendParameterValueFromUI -> SetParameterValue
//    (IParam::SetNormalizedValue, InformHostOfParamChange: audioMasterAutomate, OnParamChange(idx,
//    kUI) -> as in 1) and ISurface::UpdatePeers; ISurface::OnMouseUp ->
//    EndInformHostOfParamChangeFromUI (audioMasterEndEdit). A change no press brackets (the
//    wheel, a double click's reset, a typed or picked value) gets a begin and an end of its own in
//    ISurface::SendParameterValueFromUI.
class IPluginAPIBase : public IPluginBase
{
public:
  static constexpr uint32_t kTimerPeriodMs = 20;

  IPluginAPIBase(const Config& config, EAPI plugAPI);
  // Stops the timer before anything else is torn down.
  ~IPluginAPIBase() override;

  // --- Virtual operations, in slot order ---

  // [host, main] True when every parameter's value matches, in single precision and to within
  // 1e-5, the double at index startPos + parameter index of data. False for null data or a
  // negative start.
  virtual bool CompareState(const uint8_t* data, int startPos) const;
  virtual bool OnHostRequestingAboutBox() { return false; }    // [host]
  virtual bool OnHostRequestingProductHelp() { return false; } // [host]
  virtual void OnHostIdentified() {}                           // [host] from SetHost
  // [host] Appends the indices 0 .. count - 1, but only when count is less than the number of
  // parameters.
  virtual void OnHostRequestingImportantParameters(int count, std::vector<int>& results);
  virtual bool OnHostRequestingSupportedViewConfiguration(int /*width*/, int /*height*/) { return true; }
  virtual void OnHostSelectedViewConfiguration(int /*width*/, int /*height*/) {}
  // [host] Writes an empty text (when text is given) and returns false.
  virtual bool GetMidiNoteText(int noteNumber, char* text) const;
  virtual void* GetAAXViewInterface() { return nullptr; }
  virtual void OnIdle() {} // [main] from OnTimer
  virtual void PrintDebugInfo() const {}
  virtual void GetTrackColor(int& /*r*/, int& /*g*/, int& /*b*/) {}
  virtual void GetTrackName(std::string& /*name*/) {}
  // [host] A value set by the host goes to the editor at once, on the caller's thread; nothing for a
  // HostPrivate parameter or an index outside the list.
  virtual void SendParameterValueFromAPI(int paramIdx, double value, bool normalized);
  virtual void HostSpecificInit() {} // [host] from SetHost
  // [main] Records the size and returns false; the binding asks the host to resize.
  virtual bool EditorResize(int width, int height);
  virtual void BeginInformHostOfParamChange(int /*paramIdx*/) {}                        // [main]
  virtual void EndInformHostOfParamChange(int /*paramIdx*/) {}                          // [main]
  virtual void InformHostOfParamChange(int /*paramIdx*/, double /*normalizedValue*/) {} // [main]
  virtual void TransmitMidiMsgFromProcessor(const IMidiMsg& /*msg*/) {}
  virtual void TransmitSysExDataFromProcessor(const SysExData& /*data*/) {}
  // [host] The screen scale (pixels per editor point at draw scale 1) and the draw scale the editor
  // will open at, for a binding that tells the host the editor's size before it opens (so that a
  // host that sizes its window once, from that answer, gets the whole editor). The platform knows
  // the screen and the plug-in where it keeps its scale; the base says 1 for each.
  virtual int GetScreenScaleForEditor() { return 1; }
  virtual float GetDrawScaleForEditor() { return 1.0f; }

  // --- Editor delegate paths (main) ---

  void SendParameterValueFromUI(int paramIdx, double normalizedValue) override;
  void BeginInformHostOfParamChangeFromUI(int paramIdx) override;
  void EndInformHostOfParamChangeFromUI(int paramIdx) override;
  void DirtyParametersFromUI() override;
  bool EditorResizeFromUI(int viewWidth, int viewHeight) override;
  void SendMidiMsgFromUI(const IMidiMsg& msg) override;
  void SendSysexMsgFromUI(const ISysEx& msg) override;
  void SendArbitraryMsgFromUI(int msgTag, int ctrlTag = -1, int dataSize = 0, const void* pData = nullptr) override;
  // Producers of the rings to the processing side; a full ring drops the message, and a
  // system-exclusive message longer than an entry holds is rejected.
  void DeferMidiMsg(const IMidiMsg& msg) override;
  void DeferSysexMsg(const ISysEx& msg) override;

  // [main] Stores the normalised value, tells the host unless the parameter is HostPrivate, then
  // OnParamChange(paramIdx, kUI, -1). Nothing for an index outside the list.
  void SetParameterValue(int paramIdx, double normalizedValue);

  // --- Host identity and versions ---

  // [host] The thread that opens the plug-in: keeps the host name in lower case (cut to 255 characters),
  // identifies the host, stores identity and packed version, then HostSpecificInit and
  // OnHostIdentified.
  void SetHost(const char* hostName, int32_t packedVersion);
  int GetHost() const { return mHost; }                           // [any]
  const std::string& GetHostName() const { return mHostName; }    // [any] once identified
  int GetHostVersion(bool decimal) const;                         // [any]
  void GetHostVersionStr(std::string& str) const;                 // [any]
  int GetPluginVersion(bool decimal) const;                       // [any]
  void GetPluginVersionStr(std::string& str) const;               // [any]
  const char* GetAPIStr() const { return plug::GetAPIStr(mAPI); } // [any]
  const char* GetArchStr() const { return plug::GetArchStr(); }   // [any]
  void GetBuildInfoStr(std::string& str) const;                   // [any]

  // --- Configuration (any thread) ---

  EAPI GetAPI() const { return static_cast<EAPI>(mAPI); }
  const char* GetPluginName() const { return mPluginName.c_str(); }
  const char* GetProductName() const { return mProductName.c_str(); }
  const char* GetMfrName() const { return mMfrName.c_str(); }
  const char* GetBundleID() const { return mBundleID.c_str(); }
  const std::string& GetConfigURI() const { return mURI; }
  int32_t GetUniqueID() const override { return mUniqueID; }
  int32_t GetMfrID() const { return mMfrID; }
  bool HasUI() const { return mHasUI; }
  int GetEditorWidth() const { return mEditorWidth; }
  int GetEditorHeight() const { return mEditorHeight; }

  // --- Timer ---

  // [main] Also during construction: replaces the timer, deleting the old one, by a new one of 20 ms that
  // calls OnTimer.
  void CreateTimer();
  // [main] From the timer: with an editor, hands to it the parameter changes, then the MIDI
  // messages, then the system-exclusive messages queued by the processing side (each ring up to
  // what it held when its turn came); then, in every case, OnIdle.
  void OnTimer(Timer& timer);

  // --- Processing side (audio thread) ---

  // Producers of the rings to the editor: false when the ring is full (the entry is dropped), for a
  // parameter index outside the list, or for a system-exclusive message an entry cannot hold.
  bool QueueParamChangeForEditor(int paramIdx, double plainValue);
  bool QueueMidiMsgForEditor(const IMidiMsg& msg);
  bool QueueSysExForEditor(const ISysEx& msg);
  // Consumers of the rings from the editor, oldest first: false when nothing is queued.
  bool PopMidiMsgFromEditor(IMidiMsg& msg);
  bool PopSysExFromEditor(SysExData& data);

protected:
  std::string mPluginName;
  std::string mProductName;
  std::string mMfrName;
  std::string mBundleID;
  std::string mURI;
  int32_t mUniqueID = 0;
  int32_t mMfrID = 0;
  bool mHasUI = false;
  int mEditorWidth = 0;
  int mEditorHeight = 0;
  std::string mHostName;

  std::unique_ptr<Timer> mTimer;

  IQueue<ParamChange> mParamChangeFromProcessor{kParamChangeQueueSize}; // audio -> main
  IQueue<IMidiMsg> mMidiMsgsFromEditor{kMidiMsgQueueSize};              // main -> audio
  IQueue<IMidiMsg> mMidiMsgsFromProcessor{kMidiMsgQueueSize};           // audio -> main
  IQueue<SysExData> mSysExDataFromEditor{kSysExQueueSize};              // main -> audio
  IQueue<SysExData> mSysExDataFromProcessor{kSysExQueueSize};           // audio -> main

private:
  void DrainParamChangesToEditor();
  void DrainMidiMsgsToEditor();
  void DrainSysExToEditor();
};

} // namespace plug
