#include "tools/VstHost.h"

#include "tools/Text.h"

#include <dlfcn.h>
#include <time.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
// The host that is inside VSTPluginMain on this thread: the plug-in may call
// back before its record is ours to mark.
thread_local VstHost* tLoadingHost = nullptr;

void CopyText(const char* text, void* ptr, size_t capacity)
{
  std::snprintf(static_cast<char*>(ptr), capacity, "%s", text);
}

int64_t Nanos(clockid_t clock)
{
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// CPU time of the whole process, all threads.
int64_t ProcessCpuNanos()
{
  return Nanos(CLOCK_PROCESS_CPUTIME_ID);
}

std::string Hex(uint32_t value)
{
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}
} // namespace

VstHost::~VstHost()
{
  Unload();
}

bool VstHost::Load(const std::string& path, std::string& error)
{
  Unload();
  dlerror();
  // The library stays mapped after dlclose: a plug-in may leave a thread or
  // a process-wide object behind after effClose, which would crash or leak
  // once its code and data were gone.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!library)
  {
    const char* reason = dlerror();
    error = "cannot load plug-in: " + std::string(reason ? reason : path);
    return false;
  }
  void* entry = dlsym(library, "VSTPluginMain");
  if (!entry)
    entry = dlsym(library, "main");
  if (!entry)
  {
    dlclose(library);
    error = "'" + path + "' is not a VST 2 plug-in: it exports neither VSTPluginMain nor main";
    return false;
  }

  VstHost* const outer = tLoadingHost;
  tLoadingHost = this;
  AEffect* effect = reinterpret_cast<VstPluginMainProc>(entry)(&VstHost::HostCallback);
  tLoadingHost = outer;

  if (!effect)
  {
    dlclose(library);
    error = "'" + path + "' returned no plug-in from its entry point";
    return false;
  }
  if (effect->magic != kEffectMagic)
  {
    // Not a record we understand: nothing of it can be called, not even effClose.
    dlclose(library);
    error = "'" + path + "' returned a record with the wrong magic " + Hex(static_cast<uint32_t>(effect->magic)) +
        " (a VST 2 plug-in has 'VstP')";
    return false;
  }
  mLibrary = library;
  mEffect = effect;
  effect->user = this;
  mOpened = effect->dispatcher != nullptr; // from here on effClose releases it, opened or not
  if (!CheckEffect(error))
  {
    error = "'" + path + "': " + error;
    Unload();
    return false;
  }
  Dispatch(effOpen);
  return true;
}

bool VstHost::CheckEffect(std::string& error) const
{
  if (!mEffect->dispatcher)
  {
    error = "the plug-in has no dispatcher";
    return false;
  }
  const int in = mEffect->numInputs, out = mEffect->numOutputs;
  if (in < 0 || in > kMaxChannels || out < 1 || out > kMaxChannels)
  {
    error = "the plug-in has " + std::to_string(in) + " inputs and " + std::to_string(out) + " outputs; from 0 to " +
        std::to_string(kMaxChannels) + " inputs and 1 to " + std::to_string(kMaxChannels) + " outputs can be rendered";
    return false;
  }
  if (mEffect->numParams < 0 || mEffect->numParams > kMaxParams)
  {
    error = "the plug-in claims " + std::to_string(mEffect->numParams) + " parameters";
    return false;
  }
  if (mEffect->numParams > 0 && (!mEffect->getParameter || !mEffect->setParameter))
  {
    error = "the plug-in has parameters but no parameter callbacks";
    return false;
  }
  return true;
}

bool VstHost::Prepare(double sampleRate, int maxBlockFrames, std::string& error)
{
  if (!mEffect)
  {
    error = "no plug-in loaded";
    return false;
  }
  if (!(sampleRate > 0.0) || maxBlockFrames < 1 || maxBlockFrames > (1 << 20))
  {
    error = "invalid sample rate or block size";
    return false;
  }
  Stop();
  mSampleRate = sampleRate;
  mBlockFrames = maxBlockFrames;
  const size_t frames = static_cast<size_t>(maxBlockFrames);
  mFloatStorage.assign(2 * kMaxChannels * frames, 0.0f);
  mDoubleStorage.assign(2 * kMaxChannels * frames, 0.0);
  for (int c = 0; c < kMaxChannels; ++c)
  {
    mFloatIn[c] = mFloatStorage.data() + c * frames;
    mFloatOut[c] = mFloatStorage.data() + (kMaxChannels + c) * frames;
    mDoubleIn[c] = mDoubleStorage.data() + c * frames;
    mDoubleOut[c] = mDoubleStorage.data() + (kMaxChannels + c) * frames;
  }
  Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  Dispatch(effSetBlockSize, 0, maxBlockFrames);
  return true;
}

bool VstHost::CanProcessDouble() const
{
  return mEffect && (mEffect->flags & effFlagsCanDoubleReplacing) && mEffect->processDoubleReplacing;
}

bool VstHost::Start(bool doublePrecision, std::string& error)
{
  if (!mEffect || mBlockFrames == 0)
  {
    error = "no plug-in prepared";
    return false;
  }
  if (doublePrecision && !CanProcessDouble())
  {
    error = "the plug-in cannot process in double precision";
    return false;
  }
  if (!doublePrecision)
  {
    const bool replacing = (mEffect->flags & effFlagsCanReplacing) && mEffect->processReplacing;
    if (!replacing && !mEffect->process)
    {
      error = "the plug-in has no single-precision processing callback";
      return false;
    }
    mAccumulating = !replacing;
  }
  Stop();
  mDouble = doublePrecision;
  mSamplePos = 0;
  mProcessingNanos = 0;
  mStartProcessCpu = ProcessCpuNanos();
  mStartThreadCpu = Nanos(CLOCK_THREAD_CPUTIME_ID);
  Dispatch(effSetProcessPrecision, 0, doublePrecision ? 1 : 0);
  Dispatch(effMainsChanged, 0, 1);
  Dispatch(effStartProcess);
  mRunning = true;
  return true;
}

// Each call is timed on the monotonic clock, which is read without a system
// call: the thread's CPU clock needs one, and on some machines a system call
// costs microseconds and disturbs the caches and predictors of what follows.
// Single-threaded processing takes as long on that clock as on a CPU clock.
void VstHost::CallProcess(int frames)
{
  const int64_t before = Nanos(CLOCK_MONOTONIC);
  if (mDouble)
    mEffect->processDoubleReplacing(mEffect, mDoubleIn, mDoubleOut, frames);
  else if (mAccumulating)
    mEffect->process(mEffect, mFloatIn, mFloatOut, frames);
  else
    mEffect->processReplacing(mEffect, mFloatIn, mFloatOut, frames);
  mProcessingNanos += Nanos(CLOCK_MONOTONIC) - before;
}

// Time inside the processing calls, plus the CPU time of any threads the
// plug-in runs besides the calling one since Start.
double VstHost::ProcessingCpuSeconds() const
{
  const int64_t otherThreads =
      (ProcessCpuNanos() - mStartProcessCpu) - (Nanos(CLOCK_THREAD_CPUTIME_ID) - mStartThreadCpu);
  return static_cast<double>(mProcessingNanos + std::max<int64_t>(0, otherThreads)) * 1e-9;
}

namespace {
// Spreads stereo over `count` plug-in inputs: one input takes the mid, more
// take left and right and the rest silence.
template <typename Sample>
void FillInputs(Sample* const* inputs, int count, const double* left, const double* right, int frames)
{
  if (count == 1)
    for (int i = 0; i < frames; ++i)
      inputs[0][i] = static_cast<Sample>(0.5 * (left[i] + right[i]));
  else if (count >= 2)
    for (int i = 0; i < frames; ++i)
    {
      inputs[0][i] = static_cast<Sample>(left[i]);
      inputs[1][i] = static_cast<Sample>(right[i]);
    }
  for (int c = 2; c < count; ++c)
    std::fill(inputs[c], inputs[c] + frames, Sample(0));
}

// Folds the plug-in's outputs back to stereo: a mono output feeds both sides,
// outputs past the second are dropped.
template <typename Sample>
void TakeOutputs(Sample* const* outputs, int count, double* left, double* right, int frames)
{
  const Sample* second = outputs[count >= 2 ? 1 : 0];
  for (int i = 0; i < frames; ++i)
  {
    left[i] = static_cast<double>(outputs[0][i]);
    right[i] = static_cast<double>(second[i]);
  }
}
} // namespace

void VstHost::ProcessStereo(const double* inLeft, const double* inRight, double* outLeft, double* outRight, int frames)
{
  if (!mRunning || frames <= 0 || frames > mBlockFrames)
    return;
  const int in = NumInputs(), out = NumOutputs();
  if (mDouble)
  {
    FillInputs(mDoubleIn, in, inLeft, inRight, frames);
    for (int c = 0; c < out; ++c)
      std::fill(mDoubleOut[c], mDoubleOut[c] + frames, 0.0);
    CallProcess(frames);
    TakeOutputs(mDoubleOut, out, outLeft, outRight, frames);
  }
  else
  {
    FillInputs(mFloatIn, in, inLeft, inRight, frames);
    for (int c = 0; c < out; ++c)
      std::fill(mFloatOut[c], mFloatOut[c] + frames, 0.0f);
    CallProcess(frames);
    TakeOutputs(mFloatOut, out, outLeft, outRight, frames);
  }
  mSamplePos += frames;
}

void VstHost::Stop()
{
  if (!mRunning)
    return;
  mRunning = false;
  Dispatch(effStopProcess);
  Dispatch(effMainsChanged, 0, 0);
}

void VstHost::Unload()
{
  Stop();
  if (mEffect && mOpened)
    Dispatch(effClose); // the plug-in deletes itself and its record
  mEffect = nullptr;
  mOpened = false;
  mBlockFrames = 0;
  if (mLibrary)
    dlclose(mLibrary);
  mLibrary = nullptr;
}

VstIntPtr VstHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  if (!mEffect || !mEffect->dispatcher)
    return 0;
  return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
}

std::string VstHost::DispatchForText(VstInt32 opcode, VstInt32 index)
{
  // Far larger than any limit of the interface: plug-ins are known to write past them.
  char text[1024] = {};
  Dispatch(opcode, index, 0, text);
  text[sizeof text - 1] = 0;
  return text;
}

std::string VstHost::EffectName()
{
  return DispatchForText(effGetEffectName, 0);
}

std::string VstHost::VendorName()
{
  return DispatchForText(effGetVendorString, 0);
}

std::string VstHost::ProductName()
{
  return DispatchForText(effGetProductString, 0);
}

int VstHost::TailFrames()
{
  return static_cast<int>(Dispatch(effGetTailSize));
}

std::string VstHost::ParamName(int index)
{
  return index >= 0 && index < NumParams() ? DispatchForText(effGetParamName, index) : "";
}

std::string VstHost::ParamDisplay(int index)
{
  return index >= 0 && index < NumParams() ? DispatchForText(effGetParamDisplay, index) : "";
}

std::string VstHost::ParamLabel(int index)
{
  return index >= 0 && index < NumParams() ? DispatchForText(effGetParamLabel, index) : "";
}

float VstHost::ParamValue(int index)
{
  return index >= 0 && index < NumParams() ? mEffect->getParameter(mEffect, index) : 0.0f;
}

void VstHost::SetParamValue(int index, float normalised)
{
  if (index >= 0 && index < NumParams())
    mEffect->setParameter(mEffect, index, normalised);
}

int VstHost::FindParam(const std::string& name)
{
  const std::string wanted = Trimmed(name);
  for (int k = 0; k < NumParams(); ++k)
    if (SameIgnoringCase(Trimmed(ParamName(k)), wanted))
      return k;
  return -1;
}

bool VstHost::SetParamFromText(int index, const std::string& text)
{
  if (index < 0 || index >= NumParams())
    return false;
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back(0);
  return Dispatch(effString2Parameter, index, 0, buffer.data()) != 0;
}

std::string VstHost::ProgramName(int index)
{
  if (index < 0 || index >= NumPrograms())
    return "";
  char text[1024] = {};
  const VstIntPtr known = Dispatch(effGetProgramNameIndexed, index, -1, text);
  text[sizeof text - 1] = 0;
  if (!known && text[0] == 0 && index == CurrentProgram())
    return DispatchForText(effGetProgramName, 0);
  return text;
}

int VstHost::CurrentProgram()
{
  return static_cast<int>(Dispatch(effGetProgram));
}

void VstHost::SetProgram(int index)
{
  if (index < 0 || index >= NumPrograms())
    return;
  Dispatch(effBeginSetProgram);
  Dispatch(effSetProgram, 0, index);
  Dispatch(effEndSetProgram);
}

int VstHost::FindProgram(const std::string& indexOrName)
{
  const std::string wanted = Trimmed(indexOrName);
  if (!wanted.empty() && wanted.size() <= 9 &&
      std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; }))
  {
    const int index = std::stoi(wanted);
    return index < NumPrograms() ? index : -1;
  }
  std::vector<std::string> names;
  for (int k = 0; k < NumPrograms(); ++k)
    names.push_back(Trimmed(ProgramName(k)));
  for (int k = 0; k < NumPrograms(); ++k)
    if (names[k] == wanted)
      return k;
  for (int k = 0; k < NumPrograms(); ++k)
    if (SameIgnoringCase(names[k], wanted))
      return k;
  return -1;
}

plug::IPresetFile::Target VstHost::PresetFileTarget() const
{
  return plug::IPresetFile::Target{static_cast<int32_t>(UniqueId()), NumParams(), NumPrograms()};
}

bool VstHost::SetChunk(bool isProgram, const std::vector<uint8_t>& chunk, const char* what, std::string& error)
{
  if (chunk.empty())
  {
    error = std::string("the ") + what + " holds an empty chunk";
    return false;
  }
  std::vector<uint8_t> copy = chunk; // the call takes a writable pointer
  const VstIntPtr result = Dispatch(effSetChunk, isProgram ? 1 : 0, static_cast<VstIntPtr>(copy.size()), copy.data());
  // Plug-ins that announce chunks are not consistent about the result; the
  // others answer at all only when they took the chunk.
  if (result == 0 && !(mEffect->flags & effFlagsProgramChunks))
  {
    error = std::string("the plug-in refused the chunk of the ") + what;
    return false;
  }
  return true;
}

// Values beyond the plug-in's parameters are ignored; parameters without one keep theirs.
void VstHost::ApplyProgramValues(const plug::IPresetFile::Program& program)
{
  for (size_t k = 0; k < program.values.size() && k < static_cast<size_t>(NumParams()); ++k)
    SetParamValue(static_cast<int>(k), static_cast<float>(program.values[k]));
  if (!program.name.empty())
  {
    char name[64] = {};
    std::snprintf(name, sizeof name, "%s", program.name.c_str());
    Dispatch(effSetProgramName, 0, 0, name);
  }
}

bool VstHost::ApplyProgram(const plug::IPresetFile::Program& program, std::string& error)
{
  if (!mEffect)
  {
    error = "no plug-in loaded";
    return false;
  }
  if (program.isChunk)
    return SetChunk(true, program.chunk, "program file", error);
  ApplyProgramValues(program);
  return true;
}

// Records beyond the last program go to the program that is current then, the last one.
bool VstHost::ApplyBank(const plug::IPresetFile::Bank& bank, std::string& error)
{
  if (!mEffect)
  {
    error = "no plug-in loaded";
    return false;
  }
  if (bank.isChunk)
    return SetChunk(false, bank.chunk, "bank file", error);
  for (size_t i = 0; i < bank.programs.size(); ++i)
  {
    SetProgram(static_cast<int>(i));
    ApplyProgramValues(bank.programs[i]);
  }
  SetProgram(bank.currentProgram);
  return true;
}

const VstTimeInfo& VstHost::TimeInfo()
{
  VstTimeInfo& t = mTimeInfo;
  t = VstTimeInfo{};
  t.samplePos = static_cast<double>(mSamplePos);
  t.sampleRate = mSampleRate;
  t.tempo = kTempo;
  t.ppqPos = t.samplePos / mSampleRate * (kTempo / 60.0);
  t.timeSigNumerator = 4;
  t.timeSigDenominator = 4;
  t.barStartPos = std::floor(t.ppqPos / 4.0) * 4.0;
  t.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
  if (mSamplePos == 0)
    t.flags |= kVstTransportChanged;
  return t;
}

VstIntPtr VstHost::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  VstHost* host = tLoadingHost;
  if (!host && effect)
    host = static_cast<VstHost*>(effect->user);
  if (!host)
    return opcode == audioMasterVersion ? kVstVersion : 0;
  return host->AnswerHost(opcode, index, value, ptr, opt);
}

VstIntPtr VstHost::AnswerHost(VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/, void* ptr, float /*opt*/)
{
  switch (opcode)
  {
    case audioMasterVersion:
      return kVstVersion;
    case audioMasterGetTime:
      return reinterpret_cast<VstIntPtr>(&TimeInfo());
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(std::lround(mSampleRate));
    case audioMasterGetBlockSize:
      return mBlockFrames;
    case audioMasterGetVendorString:
      if (!ptr)
        return 0;
      CopyText(kVendorName, ptr, kVstMaxVendorStrLen);
      return 1;
    case audioMasterGetProductString:
      if (!ptr)
        return 0;
      CopyText(kProductName, ptr, kVstMaxProductStrLen);
      return 1;
    case audioMasterCanDo:
    {
      if (!ptr)
        return 0;
      const char* what = static_cast<const char*>(ptr);
      return std::strcmp(what, "sendVstTimeInfo") == 0 || std::strcmp(what, "startStopProcess") == 0 ? 1 : 0;
    }
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
      return 1;
    case audioMasterAutomate: // an offline render records no automation
    case audioMasterIdle:
    default:
      return 0;
  }
}
