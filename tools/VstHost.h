#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "plug/IPresetFile.h"
#include "plug/VST2Types.h"

// A minimal VST 2 host for offline rendering: loads one plug-in from a
// shared library, answers its requests, sets it up, hands it blocks of stereo
// audio and unloads it again.
//
// Threads: the renderer has one thread. Every operation here, and so every
// call into the plug-in (dispatcher, parameter and processing callbacks),
// happens on the thread that owns the host; the plug-in's requests
// (HostCallback) are answered on whatever thread it makes them, which for a
// well-behaved plug-in is that same thread.
//
// Lifecycle: Load -> Prepare -> (state: programs, parameters, files) ->
// Start -> ProcessStereo... -> Stop -> Unload (the destructor unloads too).
class VstHost
{
public:
  // Channel counts above this are refused, and so are parameter counts above kMaxParams.
  static constexpr int kMaxChannels = 8;
  static constexpr int kMaxParams = 1 << 20;
  static constexpr const char* kVendorName = "Brannock Sound";
  static constexpr const char* kProductName = "QuillonMini renderer";
  static constexpr double kTempo = 120.0;

  VstHost() = default;
  VstHost(const VstHost&) = delete;
  VstHost& operator=(const VstHost&) = delete;
  ~VstHost();

  // dlopen, VSTPluginMain (or the legacy main), checks of the returned
  // record, then effOpen. False with a one-line reason otherwise; nothing
  // stays loaded then.
  bool Load(const std::string& path, std::string& error);
  // effSetSampleRate and effSetBlockSize (while suspended); sizes the buffers.
  bool Prepare(double sampleRate, int maxBlockFrames, std::string& error);
  // effMainsChanged(1) and effStartProcess; false when the plug-in cannot
  // process in the precision asked for.
  bool Start(bool doublePrecision, std::string& error);
  // Runs one block through the plug-in: the stereo input is mixed down or
  // spread over the plug-in's inputs and its outputs are folded back to
  // stereo (a mono output goes to both sides). 0 < frames <= the block
  // size given to Prepare. Input and output may be the same arrays.
  void ProcessStereo(const double* inLeft, const double* inRight, double* outLeft, double* outRight, int frames);
  // effStopProcess and effMainsChanged(0).
  void Stop();
  // effClose and dlclose; harmless when nothing is loaded.
  void Unload();

  bool IsLoaded() const { return mEffect != nullptr; }
  const AEffect* Effect() const { return mEffect; }

  // Identity.
  std::string EffectName();
  std::string VendorName();
  std::string ProductName();
  uint32_t UniqueId() const { return mEffect ? static_cast<uint32_t>(mEffect->uniqueID) : 0; }
  int Version() const { return mEffect ? mEffect->version : 0; }
  int NumInputs() const { return mEffect ? mEffect->numInputs : 0; }
  int NumOutputs() const { return mEffect ? mEffect->numOutputs : 0; }
  bool CanProcessDouble() const;
  int TailFrames();

  // Parameters, by index 0 <= index < NumParams().
  int NumParams() const { return mEffect ? mEffect->numParams : 0; }
  std::string ParamName(int index);
  std::string ParamDisplay(int index);
  std::string ParamLabel(int index);
  float ParamValue(int index); // normalised
  void SetParamValue(int index, float normalised);
  // The index of the parameter whose name matches, ignoring case and
  // surrounding spaces; -1 if none does.
  int FindParam(const std::string& name);
  // Sets a plain value through the plug-in's effString2Parameter; false if
  // the plug-in refuses it.
  bool SetParamFromText(int index, const std::string& text);

  // Programs, by index 0 <= index < NumPrograms().
  int NumPrograms() const { return mEffect ? std::max(0, mEffect->numPrograms) : 0; }
  std::string ProgramName(int index);
  int CurrentProgram();
  void SetProgram(int index);
  // An index or a name (exact first, then ignoring case); -1 if no program fits.
  int FindProgram(const std::string& indexOrName);

  // What program and bank files must fit to be applied to this plug-in.
  plug::IPresetFile::Target PresetFileTarget() const;
  // Program and bank files parsed against PresetFileTarget (a bank complete); false with a
  // one-line reason when the plug-in refuses a chunk.
  bool ApplyProgram(const plug::IPresetFile::Program& program, std::string& error);
  bool ApplyBank(const plug::IPresetFile::Bank& bank, std::string& error);

  // Processing CPU time since Start: the time spent inside the processing
  // calls, plus what other threads of the process used meanwhile.
  double ProcessingCpuSeconds() const;
  // Frames processed since Start.
  int64_t ProcessedFrames() const { return mSamplePos; }

  // The plug-in's requests; any thread. Routed to the host that owns the
  // record (or to the one loading on this thread, before it owns one).
  static VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt);
  // The answers themselves, one host's share of HostCallback.
  VstIntPtr AnswerHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  // The transport as audioMasterGetTime reports it now.
  const VstTimeInfo& TimeInfo();

private:
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
  std::string DispatchForText(VstInt32 opcode, VstInt32 index);
  bool CheckEffect(std::string& error) const;
  void ApplyProgramValues(const plug::IPresetFile::Program& program);
  bool SetChunk(bool isProgram, const std::vector<uint8_t>& chunk, const char* what, std::string& error);
  void CallProcess(int frames);

  void* mLibrary = nullptr;
  AEffect* mEffect = nullptr;
  bool mOpened = false;  // effClose is owed
  bool mRunning = false; // between Start and Stop
  bool mDouble = false;
  bool mAccumulating = false; // only the old accumulating process callback

  double mSampleRate = 48000.0;
  int mBlockFrames = 0;
  int64_t mSamplePos = 0;
  int64_t mProcessingNanos = 0;
  int64_t mStartProcessCpu = 0, mStartThreadCpu = 0;
  VstTimeInfo mTimeInfo{};

  std::vector<float> mFloatStorage;
  std::vector<double> mDoubleStorage;
  float* mFloatIn[kMaxChannels] = {};
  float* mFloatOut[kMaxChannels] = {};
  double* mDoubleIn[kMaxChannels] = {};
  double* mDoubleOut[kMaxChannels] = {};
};
