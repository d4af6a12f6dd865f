#include "plug/IPluginVST2.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "checks/ThreadChecks.h"
#include "plug/VST2Keys.h"
#include "plug/core/NumberText.h"
#include "plug/core/Timer.h"
#include "plug/core/Utf8Text.h"

namespace plug {

namespace {

// Answers of the Cockos host extensions.
constexpr VstIntPtr kCockosAnswer = 0xBEEF;
constexpr VstIntPtr kCockosExtensionsAnswer = 0xBEEF0000;

// Positions in quarter notes, tempo, bar start, loop and time signature.
constexpr VstIntPtr kTimeInfoRequest =
    kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;

constexpr int kHostProductStrLen = 256;
constexpr int kBlockSizeAtStart = 512;
constexpr int32_t kFirstBankVersion = 0x00010000;
// "%.17f" of a value in 0 .. 1, terminator included.
constexpr int kNormalizedTextLen = 20;

// Copies text into a host buffer of capacity bytes, terminator included, cutting it to fit.
void CopyToHost(void* ptr, const char* text, int capacity)
{
  if (capacity > 0)
    CopyUtf8Text(static_cast<char*>(ptr), static_cast<std::size_t>(capacity), text);
}

// A host integer as an int; -1 when it does not fit (never a valid index).
int ToIndex(VstIntPtr value)
{
  if (value < 0 || value > std::numeric_limits<int>::max())
    return -1;
  return static_cast<int>(value);
}

// A host's decimal version (major * 10000 + minor * 100 + bug-fix) packed.
int32_t PackHostVersion(VstIntPtr decimal)
{
  const VstIntPtr v = std::clamp<VstIntPtr>(decimal, 0, std::numeric_limits<int32_t>::max());
  return PackVersion(static_cast<int>(v / 10000), static_cast<int>((v % 10000) / 100), static_cast<int>(v % 100));
}

void SetSpeakerArrangementChannels(VstSpeakerArrangement& arrangement, int nChannels)
{
  std::memset(&arrangement, 0, sizeof(arrangement));
  arrangement.type = nChannels <= 2 ? nChannels - 1 : kSpeakerArrUserDefined;
  arrangement.numChannels = nChannels;
}

// A stepped parameter's step as a share of its range when the shape keeps it the same everywhere
// (linear), else 0: what a host that works in normalised values may step by.
float NormalizedStep(const IParam& param)
{
  const double range = param.GetMax() - param.GetMin();
  if (!param.GetStepped() || !(range > 0.0) || !dynamic_cast<const IParam::ShapeLinear*>(&param.GetShape()))
    return 0.0f;
  return static_cast<float>(std::min(param.GetStep() / range, 1.0));
}

bool FitsChannels(const VstSpeakerArrangement* arrangement, int maxChannels)
{
  return !arrangement || (arrangement->numChannels >= 0 && arrangement->numChannels <= maxChannels);
}

} // namespace

// --- Construction ---------------------------------------------------------------------------------

IPluginVST2::IPluginVST2(const InstanceInfo& info, const Config& config)
  : IPluginAPIBase(config, kAPIVST2),
    IPluginProcessor(config),
    mHostCallback(info.mVSTHostCallback),
    mDoesChunks(config.plugDoesChunks)
{
  const int nInputs = MaxNChannels(ERoute::kInput);
  const int nOutputs = MaxNChannels(ERoute::kOutput);

  mAEffect.magic = kEffectMagic;
  mAEffect.dispatcher = VSTDispatcher;
  mAEffect.process = VSTProcess;
  mAEffect.setParameter = VSTSetParameter;
  mAEffect.getParameter = VSTGetParameter;
  mAEffect.processReplacing = VSTProcessReplacing;
  mAEffect.processDoubleReplacing = VSTProcessDoubleReplacing;
  mAEffect.numPrograms = config.nPresets;
  mAEffect.numParams = config.nParams;
  mAEffect.numInputs = nInputs;
  mAEffect.numOutputs = nOutputs;
  mAEffect.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (config.plugDoesChunks)
    mAEffect.flags |= effFlagsProgramChunks;
  if (LegalIO(1, -1))
    mAEffect.flags |= effFlagsCanMono;
  if (config.plugType == 1)
    mAEffect.flags |= effFlagsIsSynth;
  if (config.plugHasUI)
    mAEffect.flags |= effFlagsHasEditor;
  mAEffect.initialDelay = config.latency;
  mAEffect.ioRatio = 1.0f;
  mAEffect.object = this;
  mAEffect.uniqueID = config.uniqueID;
  mAEffect.version = GetPluginVersion(true);

  mEditRect.top = 0;
  mEditRect.left = 0;
  mEditRect.bottom = static_cast<VstInt16>(GetEditorHeight());
  mEditRect.right = static_cast<VstInt16>(GetEditorWidth());
  SetSpeakerArrangementChannels(mInputSpkrArr, nInputs);
  SetSpeakerArrangementChannels(mOutputSpkrArr, nOutputs);

  SetChannelConnections(ERoute::kInput, 0, nInputs, true);
  SetChannelConnections(ERoute::kOutput, 0, nOutputs, true);
  SetBlockSize(kBlockSizeAtStart);
  CreateTimer();
}

IPluginVST2::~IPluginVST2()
{
  // Before the effect's members are gone, so the timer cannot fire into a half-destroyed plug-in.
  mTimer.reset();
}

// --- Entry points ---------------------------------------------------------------------------------

VstIntPtr IPluginVST2::VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                     float opt)
{
  IPluginVST2* plug = effect ? static_cast<IPluginVST2*>(effect->object) : nullptr;
  if (!plug)
    return 0;
  if (opcode == effClose)
  {
    delete plug; // the record lives in the plug-in: nothing may touch it from here on
    return 0;
  }
  return plug->Dispatch(opcode, index, value, ptr, opt);
}

// Each processing entry marks its thread as processing for the call, whichever thread the host
// processes on: [audio] operations check it.
void IPluginVST2::VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames)
{
  const checks::ProcessingScope processing;
  IPluginVST2* plug = effect ? static_cast<IPluginVST2*>(effect->object) : nullptr;
  if (!plug)
    return;
  plug->PrepareProcessing(inputs, outputs, frames);
  plug->ProcessBuffersAccumulating(frames);
  plug->FinishProcessing();
}

void IPluginVST2::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames)
{
  const checks::ProcessingScope processing;
  IPluginVST2* plug = effect ? static_cast<IPluginVST2*>(effect->object) : nullptr;
  if (!plug)
    return;
  if (plug->TakesHostSingleBuffers(inputs, outputs))
  {
    plug->ReadHostState();
    plug->ProcessSingleBlock(inputs, outputs, frames);
  }
  else
  {
    plug->PrepareProcessing(inputs, outputs, frames);
    plug->ProcessBuffers(0.0f, frames);
  }
  plug->FinishProcessing();
}

void IPluginVST2::VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs, VstInt32 frames)
{
  const checks::ProcessingScope processing;
  IPluginVST2* plug = effect ? static_cast<IPluginVST2*>(effect->object) : nullptr;
  if (!plug)
    return;
  plug->PrepareProcessing(inputs, outputs, frames);
  plug->ProcessBuffers(0.0, frames);
  plug->FinishProcessing();
}

float IPluginVST2::VSTGetParameter(AEffect* effect, VstInt32 index)
{
  const IPluginVST2* plug = effect ? static_cast<const IPluginVST2*>(effect->object) : nullptr;
  return plug ? plug->GetParameterFromHost(index) : 0.0f;
}

void IPluginVST2::VSTSetParameter(AEffect* effect, VstInt32 index, float value)
{
  IPluginVST2* plug = effect ? static_cast<IPluginVST2*>(effect->object) : nullptr;
  if (plug)
    plug->SetParameterFromHost(index, value);
}

// --- Dispatcher -----------------------------------------------------------------------------------

VstIntPtr IPluginVST2::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  switch (opcode)
  {
    case effOpen:
      OpenFromHost();
      return 0;
    case effSetProgram:
      SetProgramFromHost(value);
      return 0;
    case effGetProgram:
      return GetCurrentPresetIdx();
    case effSetProgramName:
      SetProgramNameFromHost(static_cast<const char*>(ptr));
      return 0;
    case effGetProgramName:
      if (ptr)
      {
        const auto lock = LockPresets(); // the index and the name of one moment
        CopyToHost(ptr, GetPresetName(GetCurrentPresetIdx()).c_str(), kVstMaxProgNameLen);
      }
      return 0;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
      return GetParamText(opcode, index, ptr);
    // The next three reset the effect; hosts send them only while processing is stopped.
    case effSetSampleRate:
      SetSampleRate(opt);
      OnReset();
      return 0;
    case effSetBlockSize:
      SetBlockSize(static_cast<int>(std::clamp<VstIntPtr>(value, -1, kMaxBlockSize)));
      OnReset();
      return 0;
    case effMainsChanged:
      OnActivate(value != 0);
      if (value == 0)
        OnReset();
      return 0;
    case effEditGetRect:
      // The editor's size in the host's pixels: at the editor's draw scale times the screen scale,
      // before the editor opens as after (every resize keeps the rectangle up to date).
      if (!ptr || !HasUI())
        return 0;
      if (!mEditRectOnScreen)
        PlaceEditRectOnScreen();
      *static_cast<ERect**>(ptr) = &mEditRect;
      return 1;
    case effEditOpen:
      // ptr: the host's window. Ardour also passes its Display in value; the editor never uses
      // another program's connection and opens its own. Without a window there is no editor (a
      // window of the editor's own is for bindings whose hosts ask for one).
      return ptr && OpenWindow(ptr) ? 1 : 0;
    case effEditClose:
      if (!HasUI())
        return 0;
      CloseWindow();
      return 1;
    case effEditIdle:
      // Linux hosts have no run loop of ours: their idle calls drive the framework's timers, and
      // with them the open editor's tick (its X events, at most one frame).
      RunLoop::Pump();
      return 0;
    case effEditKeyDown:
    case effEditKeyUp:
      return KeyFromHost(opcode == effEditKeyDown, index, value, opt);
    case effIdentify:
      return kEffectIdentify;
    case effGetChunk:
      return GetChunk(index != 0, ptr);
    case effSetChunk:
      return SetChunk(index != 0, ptr, value);
    case effProcessEvents:
      return ProcessEvents(static_cast<const VstEvents*>(ptr));
    case effCanBeAutomated:
    {
      const IParam* param = GetParam(index);
      const int notAutomatable = IParam::kFlagNotAutomatable | IParam::kFlagHostPrivate;
      return param && !(param->GetFlags() & notAutomatable) ? 1 : 0;
    }
    case effString2Parameter:
      return StringToParameter(index, static_cast<const char*>(ptr));
    case effGetProgramNameIndexed:
    {
      if (!ptr)
        return 0;
      const std::string name = GetPresetName(index);
      CopyToHost(ptr, name.c_str(), kVstMaxProgNameLen);
      return name.empty() ? 0 : 1;
    }
    case effGetInputProperties:
      return GetPinProperties(ERoute::kInput, index, ptr);
    case effGetOutputProperties:
      return GetPinProperties(ERoute::kOutput, index, ptr);
    case effGetPlugCategory:
      return GetPlugType() == 1 ? kPlugCategSynth : kPlugCategEffect;
    case effSetSpeakerArrangement:
      return SetSpeakerArrangement(reinterpret_cast<const VstSpeakerArrangement*>(value),
                                   static_cast<const VstSpeakerArrangement*>(ptr));
    case effGetEffectName:
      if (!ptr)
        return 0;
      CopyToHost(ptr, GetPluginName(), kVstMaxEffectNameLen);
      return 1;
    case effGetVendorString:
      if (!ptr)
        return 0;
      CopyToHost(ptr, GetMfrName(), kVstMaxVendorStrLen);
      return 1;
    case effGetProductString:
      if (!ptr)
        return 0;
      CopyToHost(ptr, GetProductName(), kVstMaxProductStrLen);
      return 1;
    case effGetVendorVersion:
      return GetPluginVersion(true);
    case effVendorSpecific:
      return VendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return CanDo(static_cast<const char*>(ptr));
    case effGetTailSize:
      return GetTailSize();
    case effGetParameterProperties:
      return GetParameterProperties(index, ptr);
    case effGetVstVersion:
      return kVstVersion;
    case effGetMidiKeyName:
      return GetMidiKeyName(ptr);
    case effGetSpeakerArrangement:
      if (value)
        *reinterpret_cast<VstSpeakerArrangement**>(value) = nullptr;
      if (ptr)
        *static_cast<VstSpeakerArrangement**>(ptr) = nullptr;
      return 0;
    default:
      return 0;
  }
}

void IPluginVST2::OpenFromHost()
{
  if (GetHost() == kHostUninit)
  {
    char product[kHostProductStrLen] = {};
    CallHost(audioMasterGetProductString, 0, 0, product);
    product[kHostProductStrLen - 1] = '\0';
    int32_t version = 0;
    if (product[0])
      version = PackHostVersion(CallHost(audioMasterGetVendorVersion));
    SetHost(product, version);
  }
  OnParamReset(kReset);
}

void IPluginVST2::SetProgramFromHost(VstIntPtr value)
{
  const auto lock = LockPresets();
  // Without chunks the host keeps no state of its own: the slot being left keeps its edits.
  if (!mDoesChunks)
    ModifyCurrentPreset();
  RestorePreset(ToIndex(value));
}

void IPluginVST2::SetProgramNameFromHost(const char* name)
{
  if (!name)
    return;
  const auto lock = LockPresets();
  ModifyCurrentPreset(name); // kept up to the slot's 255 bytes
  OnPresetsModified();
}

VstIntPtr IPluginVST2::GetParamText(VstInt32 opcode, VstInt32 index, void* ptr) const
{
  const IParam* param = GetParam(index);
  if (!param || !ptr)
    return 0;
  switch (opcode)
  {
    case effGetParamLabel:
      CopyToHost(ptr, param->GetLabelForHost(), kVstMaxParamStrLen);
      break;
    case effGetParamDisplay:
    {
      std::string display;
      param->GetDisplayForHost(param->GetValue(), false, display, true, false);
      CopyToHost(ptr, display.c_str(), kVstMaxParamStrLen);
      break;
    }
    case effGetParamName:
      CopyToHost(ptr, param->GetNameForHost(), kVstExtMaxParamStrLen);
      break;
    default:
      break;
  }
  return 0;
}

// --- State chunks ---------------------------------------------------------------------------------

// The host reads the chunk after this call, with no word of when it is done, while another of its
// threads may already ask for a chunk of its own: the chunk is kept for the calling thread.
VstIntPtr IPluginVST2::GetChunk(bool isProgram, void* ptr)
{
  if (!ptr)
    return 0;
  IByteChunk chunk;
  chunk.WriteVersionHeader();
  const auto lock = LockPresets();
  bool ok = false;
  if (isProgram)
    ok = SerializeState(chunk);
  else
  {
    ModifyCurrentPreset();
    ok = SerializePresets(chunk);
  }
  if (!ok || chunk.Size() == 0)
    return 0;
  const IByteChunk& handedOut = KeepHandedOutChunk(isProgram, std::move(chunk));
  *static_cast<const void**>(ptr) = handedOut.GetData();
  return handedOut.Size();
}

// A host reads a chunk before it asks the same thread for the next one of that kind (the
// interface's "valid until the next call", per thread); the limit bounds what hosts that call
// from ever new threads leave behind.
const IByteChunk& IPluginVST2::KeepHandedOutChunk(bool isProgram, IByteChunk&& chunk)
{
  const std::thread::id thread = std::this_thread::get_id();
  std::erase_if(mChunksHandedOut,
                [&](const HandedOutChunk& kept) { return kept.thread == thread && kept.isProgram == isProgram; });
  if (mChunksHandedOut.size() >= kChunksKept)
    mChunksHandedOut.pop_front();
  return mChunksHandedOut.emplace_back(HandedOutChunk{thread, isProgram, std::move(chunk)}).chunk;
}

// The chunk is taken apart completely before anything is loaded, so that a malformed one is
// refused as a whole and leaves the parameters and the presets as they were. The host's bytes are
// copied first: it may change them once the call returns.
VstIntPtr IPluginVST2::SetChunk(bool isProgram, const void* ptr, VstIntPtr size)
{
  if (!ptr || size < 0 || size > std::numeric_limits<int>::max())
    return 0;
  IByteChunk received;
  received.PutBytes(ptr, static_cast<int>(size));

  int32_t version = 0;
  const int start = IByteChunk::ReadVersionHeader(received, &version);
  if (start < 0)
    return 0;
  const bool isBank = !isProgram && start > 0 && version >= kFirstBankVersion;

  if (isBank)
  {
    int pos = start;
    for (int i = 0; i < NPresets() && pos >= 0; ++i)
    {
      std::string name;
      uint8_t initialized = 0;
      pos = received.GetTextAt(name, pos);
      pos = received.GetValueAt(initialized, pos);
      if (initialized > 1)
        return 0;
      if (initialized)
        pos = CheckStateAt(received, pos);
    }
    if (pos < 0)
      return 0;
  }
  else if (CheckStateAt(received, start) != received.Size()) // a state ends where the chunk ends
    return 0;

  const auto lock = LockPresets();
  int result = -1;
  if (isBank)
    result = UnserializePresets(received, start);
  else
  {
    result = UnserializeState(received, start);
    ModifyCurrentPreset();
  }
  if (result < 0)
    return 0;
  OnRestoreState();
  return 1;
}

// --- Events, parameters, properties ---------------------------------------------------------------

// Hosts send a block's events just before the block, on its thread: they are part of processing.
VstIntPtr IPluginVST2::ProcessEvents(const VstEvents* events)
{
  const checks::ProcessingScope processing;
  if (!events)
    return 0;
  // The record declares two slots; the host allocates numEvents of them.
  VstEvent* const* list = events->events;
  for (VstInt32 i = 0; i < events->numEvents; ++i)
  {
    const VstEvent* event = list[i];
    if (!event)
      continue;
    if (event->type == kVstMidiType)
    {
      const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
      const IMidiMsg msg(midi->deltaFrames, static_cast<uint8_t>(midi->midiData[0]),
                         static_cast<uint8_t>(midi->midiData[1]), static_cast<uint8_t>(midi->midiData[2]));
      ProcessMidiMsg(msg);
      QueueMidiMsgForEditor(msg);
    }
    else if (event->type == kVstSysExType)
    {
      const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
      if (sysex->dumpBytes < 0 || (!sysex->sysexDump && sysex->dumpBytes > 0))
        continue;
      ISysEx msg(sysex->deltaFrames, reinterpret_cast<const uint8_t*>(sysex->sysexDump), sysex->dumpBytes);
      ProcessSysEx(msg);
    }
  }
  return 1;
}

VstIntPtr IPluginVST2::StringToParameter(VstInt32 index, const char* text)
{
  IParam* param = GetParam(index);
  if (!param)
    return 0;
  if (text)
  {
    param->SetValue(param->StringToValue(text));
    SendParameterValueFromAPI(index, param->GetValue(), false);
    OnParamChange(index, kHost, -1);
  }
  return 1;
}

float IPluginVST2::GetParameterFromHost(VstInt32 index) const
{
  const IParam* param = GetParam(index);
  return param ? static_cast<float>(param->GetNormalizedValue()) : 0.0f;
}

void IPluginVST2::SetParameterFromHost(VstInt32 index, float normalizedValue)
{
  IParam* param = GetParam(index);
  if (!param || !std::isfinite(normalizedValue))
    return;
  param->SetNormalizedValue(normalizedValue);
  SendParameterValueFromAPI(index, normalizedValue, true);
  OnParamChange(index, kHost, -1);
}

VstIntPtr IPluginVST2::GetPinProperties(ERoute direction, VstInt32 index, void* ptr) const
{
  const int nChannels = MaxNChannels(direction);
  if (!ptr || index < 0 || index >= nChannels)
    return 0;
  auto* properties = static_cast<VstPinProperties*>(ptr);
  std::memset(properties, 0, sizeof(*properties));
  // Channels pair up into stereo pins: an even channel that has a partner after it.
  const bool stereo = index % 2 == 0 && index < nChannels - 1;
  properties->flags = kVstPinIsActive | (stereo ? kVstPinIsStereo : 0);
  const char* label = GetChannelLabel(direction, index);
  if (*label)
    CopyToHost(properties->label, label, kVstMaxLabelLen);
  else
  {
    char text[kVstMaxLabelLen];
    std::snprintf(text, sizeof(text), "%s %d", direction == ERoute::kInput ? "Input" : "Output", index + 1);
    CopyToHost(properties->label, text, kVstMaxLabelLen);
  }
  return 1;
}

// Both arrangements are checked before either is applied, so a refused call changes nothing.
VstIntPtr IPluginVST2::SetSpeakerArrangement(const VstSpeakerArrangement* inputs, const VstSpeakerArrangement* outputs)
{
  const int nInputs = MaxNChannels(ERoute::kInput);
  const int nOutputs = MaxNChannels(ERoute::kOutput);
  if (!FitsChannels(inputs, nInputs) || !FitsChannels(outputs, nOutputs))
    return 0;
  if (inputs)
  {
    SetChannelConnections(ERoute::kInput, 0, inputs->numChannels, true);
    SetChannelConnections(ERoute::kInput, inputs->numChannels, nInputs - inputs->numChannels, false);
  }
  if (outputs)
  {
    SetChannelConnections(ERoute::kOutput, 0, outputs->numChannels, true);
    SetChannelConnections(ERoute::kOutput, outputs->numChannels, nOutputs - outputs->numChannels, false);
  }
  return 1;
}

// Hosts read the label as the parameter's name (Ardour's generic controls, JUCE-based hosts) and
// take units from effGetParamLabel alone. They read the float steps in normalised units, since
// values reach them in 0 .. 1 (Ardour steps its controls by them, Carla too when it has no Cockos
// extensions): only a stepped parameter on a linear shape has such a step, the others leave the
// host its own. Display index and category stay unannounced, and hosts then ignore them.
VstIntPtr IPluginVST2::GetParameterProperties(VstInt32 index, void* ptr) const
{
  const IParam* param = GetParam(index);
  if (!param || !ptr)
    return 0;
  auto* properties = static_cast<VstParameterProperties*>(ptr);
  std::memset(properties, 0, sizeof(*properties));
  switch (param->Type())
  {
    case IParam::kTypeInt:
    case IParam::kTypeEnum:
    {
      constexpr double lowest = std::numeric_limits<VstInt32>::min();
      constexpr double highest = std::numeric_limits<VstInt32>::max();
      properties->flags = kVstParameterUsesIntegerMinMax | kVstParameterUsesIntStep;
      properties->minInteger = static_cast<VstInt32>(std::clamp(param->GetMin(), lowest, highest));
      properties->maxInteger = static_cast<VstInt32>(std::clamp(param->GetMax(), lowest, highest));
      properties->stepInteger = 1;
      properties->largeStepInteger = 1;
      break;
    }
    case IParam::kTypeBool:
      properties->flags = kVstParameterIsSwitch;
      break;
    default:
      if (const float step = NormalizedStep(*param); step > 0.0f)
      {
        properties->flags = kVstParameterUsesFloatStep;
        properties->stepFloat = step;
        properties->smallStepFloat = step;
        properties->largeStepFloat = step;
      }
      break;
  }
  CopyToHost(properties->label, param->GetNameForHost(), kVstMaxLabelLen);
  CopyToHost(properties->shortLabel, param->GetNameForHost(), kVstMaxShortLabelLen);
  return 1;
}

// Host extensions in which value carries a parameter index (and opt a normalised value).
VstIntPtr IPluginVST2::VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
  const IParam* param = GetParam(ToIndex(value));
  switch (index)
  {
    case effGetParamDisplay:
      if (ptr)
      {
        if (param)
        {
          std::string display;
          param->GetDisplayForHost(opt, true, display, true, false);
          CopyToHost(ptr, display.c_str(), kVstMaxParamStrLen);
        }
        return kCockosAnswer;
      }
      break;
    case effString2Parameter:
      if (ptr && param)
      {
        char* text = static_cast<char*>(ptr);
        if (*text)
        {
          const double normalized = param->ValueToNorm(param->StringToValue(text));
          std::snprintf(text, kNormalizedTextLen, "%s", FixedText(normalized, 17).c_str());
        }
        return kCockosAnswer;
      }
      break;
    case kVstParameterUsesIntStep:
      if (param)
      {
        const bool isInteger = param->Type() == IParam::kTypeInt || param->Type() == IParam::kTypeEnum;
        if (param->Type() == IParam::kTypeBool || (isInteger && param->GetMax() - param->GetMin() < 1.5))
          return kCockosAnswer;
      }
      break;
    default:
      break;
  }
  return VSTVendorSpecific(index, value, ptr, opt);
}

VstIntPtr IPluginVST2::VSTVendorSpecific(int, VstIntPtr, void*, float)
{
  return 0;
}

VstIntPtr IPluginVST2::CanDo(const char* text)
{
  if (!text)
    return 0;
  auto is = [text](const char* candidate) { return std::strcmp(text, candidate) == 0; };
  if (is("receiveVstTimeInfo"))
    return 1;
  if (is("receiveVstEvents") || is("receiveVstMidiEvent"))
    return DoesMidiIn() ? 1 : 0;
  if (is("sendVstEvents") || is("sendVstMidiEvent"))
    return DoesMidiOut() ? 1 : 0;
  if (is("hasCockosExtensions") || is("hasCockosViewAsConfig"))
    return kCockosExtensionsAnswer;
  if (is("wantsChannelCountNotifications"))
    return 1;
  return VSTCanDo(text);
}

VstIntPtr IPluginVST2::VSTCanDo(const char*)
{
  return 0;
}

// 1 tells the host the editor used the key (an open text field or menu took it); with 0 the host
// handles it itself.
VstIntPtr IPluginVST2::KeyFromHost(bool down, VstInt32 character, VstIntPtr virtualKey, float modifiers)
{
  QM_MAIN_THREAD(EditorThread());
  if (!HasUI())
    return 0;
  const IKeyPress key = KeyPressFromVST2(character, virtualKey, modifiers);
  return (down ? OnKeyDown(key) : OnKeyUp(key)) ? 1 : 0;
}

VstIntPtr IPluginVST2::GetMidiKeyName(void* ptr) const
{
  if (!ptr)
    return 0;
  auto* key = static_cast<MidiKeyName*>(ptr);
  key->keyName[0] = '\0';
  return GetMidiNoteText(key->thisKeyNumber, key->keyName) ? 1 : 0;
}

// --- Processing -----------------------------------------------------------------------------------

template <typename Sample>
void IPluginVST2::PrepareProcessing(Sample** inputs, Sample** outputs, VstInt32 frames)
{
  AttachBuffers(ERoute::kInput, 0, MaxNChannels(ERoute::kInput), inputs, frames);
  AttachBuffers(ERoute::kOutput, 0, MaxNChannels(ERoute::kOutput), outputs, frames);
  ReadHostState();
}

// What each block reads of the host besides its buffers, and the editor's MIDI.
void IPluginVST2::ReadHostState()
{
  if (DoesMidiIn())
    CallHost(audioMasterWantMidi);
  ReadTimeInfo();
  SetRenderingOffline(CallHost(audioMasterGetCurrentProcessLevel) == kVstProcessLevelOffline);
  IMidiMsg msg;
  while (PopMidiMsgFromEditor(msg))
    ProcessMidiMsg(msg);
}

void IPluginVST2::ReadTimeInfo()
{
  ITimeInfo info;
  const auto* host = reinterpret_cast<const VstTimeInfo*>(CallHost(audioMasterGetTime, 0, kTimeInfoRequest));
  if (host)
  {
    const VstInt32 flags = host->flags;
    info.mSamplePos = host->samplePos;
    if ((flags & kVstPpqPosValid) && host->ppqPos >= 0.0)
      info.mPPQPos = host->ppqPos;
    if ((flags & kVstTempoValid) && host->tempo > 0.0)
      info.mTempo = host->tempo;
    if ((flags & kVstBarsValid) && host->barStartPos >= 0.0)
      info.mLastBar = host->barStartPos;
    if ((flags & kVstCyclePosValid) && host->cycleStartPos >= 0.0 && host->cycleEndPos >= 0.0)
    {
      info.mCycleStart = host->cycleStartPos;
      info.mCycleEnd = host->cycleEndPos;
    }
    if ((flags & kVstTimeSigValid) && host->timeSigNumerator >= 1 && host->timeSigDenominator >= 1)
    {
      info.mNumerator = host->timeSigNumerator;
      info.mDenominator = host->timeSigDenominator;
    }
    info.mTransportIsRunning = (flags & kVstTransportPlaying) != 0;
    info.mTransportLoopEnabled = (flags & kVstTransportCycleActive) != 0;
  }
  SetTimeInfo(info);
}

void IPluginVST2::FinishProcessing()
{
  SysExData data;
  while (PopSysExFromEditor(data))
    SendSysEx(data.AsSysEx());
}

// --- Requests to the host -------------------------------------------------------------------------

VstIntPtr IPluginVST2::CallHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const
{
  if (!mHostCallback)
    return 0;
  return mHostCallback(const_cast<AEffect*>(&mAEffect), opcode, index, value, ptr, opt);
}

void IPluginVST2::BeginInformHostOfParamChange(int paramIdx)
{
  QM_MAIN_THREAD(EditorThread());
  CallHost(audioMasterBeginEdit, paramIdx);
}

void IPluginVST2::InformHostOfParamChange(int paramIdx, double normalizedValue)
{
  QM_MAIN_THREAD(EditorThread());
  CallHost(audioMasterAutomate, paramIdx, 0, nullptr, static_cast<float>(normalizedValue));
}

void IPluginVST2::EndInformHostOfParamChange(int paramIdx)
{
  QM_MAIN_THREAD(EditorThread());
  CallHost(audioMasterEndEdit, paramIdx);
}

void IPluginVST2::InformHostOfProgramChange()
{
  CallHost(audioMasterUpdateDisplay);
}

bool IPluginVST2::EditorResize(int width, int height)
{
  QM_MAIN_THREAD(EditorThread());
  bool resized = false;
  if (HasUI() && (width != GetEditorWidth() || height != GetEditorHeight()))
  {
    mEditRect.top = 0;
    mEditRect.left = 0;
    mEditRect.bottom = static_cast<VstInt16>(height);
    mEditRect.right = static_cast<VstInt16>(width);
    mEditRectOnScreen = true;
    // Hosts that cannot resize their window may misread the request: ask only those that can.
    if (HostCanDo("sizeWindow"))
      resized = CallHost(audioMasterSizeWindow, width, height) != 0;
  }
  IPluginAPIBase::EditorResize(width, height);
  return resized;
}

bool IPluginVST2::HostCanDo(const char* text) const
{
  QM_MAIN_THREAD(EditorThread());
  return CallHost(audioMasterCanDo, 0, 0, const_cast<char*>(text)) == 1;
}

// Sized as the editor sizes its window: the layout at the draw scale, in whole pixels, times the
// screen scale.
void IPluginVST2::PlaceEditRectOnScreen()
{
  const int screenScale = std::clamp(GetScreenScaleForEditor(), 1, 8);
  float drawScale = GetDrawScaleForEditor();
  if (!(drawScale > 0.0f && drawScale <= 8.0f))
    drawScale = 1.0f;
  const auto onScreen = [&](int size) {
    return static_cast<VstInt16>(static_cast<int>(float(size) * drawScale) * screenScale);
  };
  mEditRect.top = 0;
  mEditRect.left = 0;
  mEditRect.bottom = onScreen(GetEditorHeight());
  mEditRect.right = onScreen(GetEditorWidth());
  mEditRectOnScreen = true;
}

bool IPluginVST2::SendMidiMsg(const IMidiMsg& msg)
{
  QM_AUDIO_THREAD();
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = msg.mOffset;
  event.midiData[0] = static_cast<char>(msg.mStatus);
  event.midiData[1] = static_cast<char>(msg.mData1);
  event.midiData[2] = static_cast<char>(msg.mData2);
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return CallHost(audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool IPluginVST2::SendSysEx(const ISysEx& msg)
{
  QM_AUDIO_THREAD();
  VstMidiSysexEvent event{};
  event.type = kVstSysExType;
  event.byteSize = sizeof(VstMidiSysexEvent);
  event.deltaFrames = msg.mOffset;
  event.dumpBytes = msg.mSize;
  event.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(msg.mData));
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return CallHost(audioMasterProcessEvents, 0, 0, &events) == 1;
}

void IPluginVST2::SetLatency(int frames)
{
  if (frames < 0)
    return;
  mAEffect.initialDelay = frames;
  IPluginProcessor::SetLatency(frames);
}

void IPluginVST2::HostSpecificInit()
{
  switch (GetHost())
  {
    case kHostForte:
    case kHostAudition:
    case kHostOrion:
    case kHostSAWStudio:
      LimitToStereoIO();
      break;
    default:
      break;
  }
  const int nInputs = MaxNChannels(ERoute::kInput);
  const int nOutputs = MaxNChannels(ERoute::kOutput);
  SetSpeakerArrangementChannels(mInputSpkrArr, nInputs);
  SetSpeakerArrangementChannels(mOutputSpkrArr, nOutputs);
  mAEffect.numInputs = nInputs;
  mAEffect.numOutputs = nOutputs;
}

} // namespace plug
