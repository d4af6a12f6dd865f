#include "plug/IPluginLV2.h"

#include <lv2/atom/util.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "checks/ThreadChecks.h"
#include "plug/core/IByteChunk.h"

namespace plug {

namespace {

constexpr int kBlockSizeAtStart = 512;

const void* FindFeature(const LV2_Feature* const* features, const char* uri)
{
  for (const LV2_Feature* const* feature = features; feature && *feature; ++feature)
  {
    if (std::strcmp((*feature)->URI, uri) == 0)
      return (*feature)->data;
  }
  return nullptr;
}

IPluginLV2::MakeFunc sMakePlugin = nullptr;

IPluginLV2* Plugin(LV2_Handle instance)
{
  return static_cast<IPluginLV2*>(instance);
}

// --- The C interface ---

LV2_Handle CInstantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features)
{
  try
  {
    std::unique_ptr<IPluginLV2> plugin(sMakePlugin ? sMakePlugin(LV2InstanceInfo{sampleRate, features}) : nullptr);
    if (!plugin || !plugin->FinishInstantiation(sampleRate))
      return nullptr;
    return plugin.release();
  }
  catch (...)
  {
    // Nothing may unwind into the host; a plug-in that cannot be built is reported as none.
    return nullptr;
  }
}

void CConnectPort(LV2_Handle instance, uint32_t port, void* data)
{
  Plugin(instance)->ConnectPort(port, data);
}

void CActivate(LV2_Handle instance)
{
  Plugin(instance)->Activate();
}

// run() marks its thread as processing for the call, whichever thread the host runs it on: [audio]
// operations check it.
void CRun(LV2_Handle instance, uint32_t frames)
{
  const checks::ProcessingScope processing;
  Plugin(instance)->Run(frames);
}

void CDeactivate(LV2_Handle instance)
{
  Plugin(instance)->Deactivate();
}

void CCleanup(LV2_Handle instance)
{
  delete Plugin(instance);
}

LV2_State_Status CSave(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                       const LV2_Feature* const*)
{
  return store ? Plugin(instance)->SaveState(store, handle) : LV2_STATE_ERR_UNKNOWN;
}

LV2_State_Status CRestore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, uint32_t,
                          const LV2_Feature* const*)
{
  return retrieve ? Plugin(instance)->RestoreState(retrieve, handle) : LV2_STATE_ERR_UNKNOWN;
}

LV2_Worker_Status CWork(LV2_Handle instance, LV2_Worker_Respond_Function, LV2_Worker_Respond_Handle, uint32_t,
                        const void*)
{
  return Plugin(instance)->Work();
}

LV2_Worker_Status CWorkResponse(LV2_Handle, uint32_t, const void*)
{
  return LV2_WORKER_SUCCESS;
}

const void* CExtensionData(const char* uri)
{
  static const LV2_State_Interface kState = {CSave, CRestore};
  static const LV2_Worker_Interface kWorker = {CWork, CWorkResponse, nullptr};
  if (std::strcmp(uri, LV2_STATE__interface) == 0)
    return &kState;
  if (std::strcmp(uri, LV2_WORKER__interface) == 0)
    return &kWorker;
  return nullptr;
}

} // namespace

const LV2_Descriptor& IPluginLV2::Descriptor(const char* uri, MakeFunc make)
{
  if (!sMakePlugin)
    sMakePlugin = make;
  static const LV2_Descriptor descriptor = {uri,  CInstantiate, CConnectPort, CActivate,
                                            CRun, CDeactivate,  CCleanup,     CExtensionData};
  return descriptor;
}

// --- Construction ---------------------------------------------------------------------------------

IPluginLV2::IPluginLV2(const Info& info, const Config& config)
  : IPluginAPIBase(config, kAPILV2),
    IPluginProcessor(config)
{
  mPorts = {MaxNChannels(ERoute::kInput), MaxNChannels(ERoute::kOutput), config.nParams};
  mAudioIn.assign(static_cast<size_t>(mPorts.nInputs), nullptr);
  mAudioOut.assign(static_cast<size_t>(mPorts.nOutputs), nullptr);
  mControls.assign(static_cast<size_t>(mPorts.nParams), nullptr);
  mLastControls.assign(static_cast<size_t>(mPorts.nParams), std::numeric_limits<float>::quiet_NaN());
  SetChannelConnections(ERoute::kInput, 0, mPorts.nInputs, true);
  SetChannelConnections(ERoute::kOutput, 0, mPorts.nOutputs, true);
  SetBlockSize(kBlockSizeAtStart);
  ReadFeatures(info.features);
  mSilence.assign(static_cast<size_t>(std::max(GetBlockSize(), 1)), 0.0f);

  const auto capacity = static_cast<size_t>(lv2::MaxSessionSize(config.nParams, config.nPresets));
  const auto reserve = [capacity](MessageSlot& slot) { slot.bytes.assign(capacity, 0); };
  mFromEditor.ForEachSlot(reserve);
  mToEditor.ForEachSlot(reserve);
}

IPluginLV2::~IPluginLV2() = default;

void IPluginLV2::ReadFeatures(const LV2_Feature* const* features)
{
  mURIDs.Map(static_cast<const LV2_URID_Map*>(FindFeature(features, LV2_URID__map)), GetConfigURI());
  mSchedule = static_cast<const LV2_Worker_Schedule*>(FindFeature(features, LV2_WORKER__schedule));
  const auto* options = static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options));
  for (const LV2_Options_Option* option = options; option && option->key != 0; ++option)
  {
    if (mURIDs.Mapped() && option->key == mURIDs.maxBlockLength && option->type == mURIDs.atomInt && option->value &&
        option->size == sizeof(int32_t))
      SetBlockSize(std::clamp(*static_cast<const int32_t*>(option->value), 1, kMaxBlockSize));
  }
}

bool IPluginLV2::FinishInstantiation(double sampleRate)
{
  if (!SetSampleRate(sampleRate))
    return false;
  OnReset();
  if (GetSampleRate() != sampleRate) // the effect cannot run at this rate
    return false;
  const std::lock_guard<std::mutex> lock(mMessageMutex);
  PrepareSessionForEditors();
  return true;
}

// --- Instance calls -------------------------------------------------------------------------------

void IPluginLV2::ConnectPort(uint32_t port, void* data)
{
  for (int c = 0; c < mPorts.nInputs; ++c)
  {
    if (port == mPorts.AudioIn(c))
      mAudioIn[static_cast<size_t>(c)] = static_cast<float*>(data);
  }
  for (int c = 0; c < mPorts.nOutputs; ++c)
  {
    if (port == mPorts.AudioOut(c))
      mAudioOut[static_cast<size_t>(c)] = static_cast<float*>(data);
  }
  if (const int paramIdx = mPorts.ParamOfPort(port); paramIdx >= 0)
    mControls[static_cast<size_t>(paramIdx)] = static_cast<const float*>(data);
  if (port == mPorts.MessagesIn())
    mMessagesIn = static_cast<const LV2_Atom_Sequence*>(data);
  if (port == mPorts.MessagesOut())
    mMessagesOut = static_cast<LV2_Atom_Sequence*>(data);
}

void IPluginLV2::Activate()
{
  OnActivate(true);
  OnReset();
}

void IPluginLV2::Deactivate()
{
  OnActivate(false);
}

// A run of no frames changes nothing of the sound; it still reads and writes the message ports,
// which the host expects valid after every run.
void IPluginLV2::Run(uint32_t frames)
{
  ReadEditorMessages();
  if (frames > 0)
  {
    ApplyControlPorts();
    ProcessAudio(frames);
  }
  WriteEditorMessages();
}

void IPluginLV2::ApplyControlPorts()
{
  const bool resync = mResyncControls.exchange(false, std::memory_order_acquire);
  for (int i = 0; i < mPorts.nParams; ++i)
  {
    const float* port = mControls[static_cast<size_t>(i)];
    IParam* param = GetParam(i);
    if (!port || !param)
      continue;
    const float given = *port;
    const float value = std::isnan(given)
        ? static_cast<float>(param->GetDefault())
        : std::clamp(given, static_cast<float>(param->GetMin()), static_cast<float>(param->GetMax()));
    float& last = mLastControls[static_cast<size_t>(i)];
    if (value == last && !resync)
      continue;
    last = value;
    param->SetValue(value);
    SendParameterValueFromAPI(i, value, false);
    OnParamChange(i, kHost, -1);
  }
}

void IPluginLV2::ProcessAudio(uint32_t frames)
{
  const int total = static_cast<int>(std::min<uint32_t>(frames, std::numeric_limits<int>::max()));
  if (!ProcessesSingleBlocks())
  {
    AttachBuffers(ERoute::kInput, 0, mPorts.nInputs, mAudioIn.data(), total);
    AttachBuffers(ERoute::kOutput, 0, mPorts.nOutputs, mAudioOut.data(), total);
    ProcessBuffers(0.0f, total);
    return;
  }
  if (std::any_of(mAudioOut.begin(), mAudioOut.end(), [](const float* out) { return !out; }))
    return; // nowhere to write
  // The inputs and outputs of one piece; a plug-in of up to two channels each way needs no more.
  constexpr int kMaxPieceChannels = 8;
  if (mPorts.nInputs > kMaxPieceChannels || mPorts.nOutputs > kMaxPieceChannels)
    return;
  float* inputs[kMaxPieceChannels];
  float* outputs[kMaxPieceChannels];
  const int block = static_cast<int>(mSilence.size());
  for (int offset = 0; offset < total; offset += block)
  {
    const int n = std::min(block, total - offset);
    for (int c = 0; c < mPorts.nInputs; ++c)
    {
      float* in = mAudioIn[static_cast<size_t>(c)];
      inputs[c] = in ? in + offset : mSilence.data();
    }
    for (int c = 0; c < mPorts.nOutputs; ++c)
      outputs[c] = mAudioOut[static_cast<size_t>(c)] + offset;
    ProcessSingleBlock(inputs, outputs, n);
  }
}

// --- Messages -------------------------------------------------------------------------------------

void IPluginLV2::ReadEditorMessages()
{
  if (!mMessagesIn || !mURIDs.Mapped() || mMessagesIn->atom.type != mURIDs.atomSequence)
    return;
  bool received = false;
  LV2_ATOM_SEQUENCE_FOREACH(mMessagesIn, event)
  {
    const lv2::Message message = lv2::ReadMessage(&event->body, mURIDs);
    if (message.kind == lv2::Message::EKind::kRequest)
      mEditorAsked = true;
    else if (message.kind == lv2::Message::EKind::kSession &&
             CopyInto(mFromEditor.WriteSlot(), message.bytes, message.size))
    {
      mFromEditor.Publish();
      received = true;
    }
  }
  if (received && mSchedule)
  {
    const uint8_t token = 1;
    mSchedule->schedule_work(mSchedule->handle, sizeof(token), &token);
  }
}

void IPluginLV2::WriteEditorMessages()
{
  lv2::SequenceWriter writer(mMessagesOut, mURIDs);
  const bool changed = mToEditor.Take();
  if (!changed && !mEditorAsked)
    return;
  const MessageSlot& session = mToEditor.ReadSlot();
  if (session.size > 0)
    writer.AppendMessage(session.bytes.data(), session.size);
  mEditorAsked = false; // a buffer too small for it would not take it at the next run either
}

bool IPluginLV2::CopyInto(MessageSlot& slot, const uint8_t* bytes, uint32_t size)
{
  if (!bytes || size > slot.bytes.size())
    return false;
  std::memcpy(slot.bytes.data(), bytes, size);
  slot.size = size;
  return true;
}

// An editor's session gives the programs, the current program and the shown name, never the
// values: those are the ports'. Whatever it held, every editor is told what the programs now are.
void IPluginLV2::TakeEditorMessage()
{
  if (!mFromEditor.Take())
    return;
  const MessageSlot& slot = mFromEditor.ReadSlot();
  IByteChunk chunk;
  chunk.PutBytes(slot.bytes.data(), static_cast<int>(slot.size));
  UnserializeSession(chunk, false);
  PrepareSessionForEditors();
}

void IPluginLV2::PrepareSessionForEditors()
{
  IByteChunk chunk;
  if (!SerializeSession(chunk) ||
      !CopyInto(mToEditor.WriteSlot(), chunk.GetData(), static_cast<uint32_t>(chunk.Size())))
    return;
  mToEditor.Publish();
}

// A preset of the bundle: its program becomes the current one, its values are the preset's ports.
LV2_State_Status IPluginLV2::RestoreProgram(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle)
{
  size_t size = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  const void* data = retrieve(handle, mURIDs.programKey, &size, &type, &flags);
  if (!data)
    return LV2_STATE_ERR_NO_PROPERTY;
  if (type != mURIDs.atomInt || size != sizeof(int32_t))
    return LV2_STATE_ERR_BAD_TYPE;
  if (!SelectPreset(*static_cast<const int32_t*>(data)))
    return LV2_STATE_ERR_UNKNOWN;
  PrepareSessionForEditors();
  return LV2_STATE_SUCCESS;
}

LV2_Worker_Status IPluginLV2::Work()
{
  const std::lock_guard<std::mutex> lock(mMessageMutex);
  TakeEditorMessage();
  return LV2_WORKER_SUCCESS;
}

// --- State ----------------------------------------------------------------------------------------

LV2_State_Status IPluginLV2::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle)
{
  if (!mURIDs.Mapped())
    return LV2_STATE_ERR_NO_FEATURE;
  const std::lock_guard<std::mutex> lock(mMessageMutex);
  TakeEditorMessage(); // without a worker, an editor's last change waits for this
  IByteChunk chunk;
  if (!SerializeSession(chunk))
    return LV2_STATE_ERR_UNKNOWN;
  return store(handle, mURIDs.sessionKey, chunk.GetData(), static_cast<size_t>(chunk.Size()), mURIDs.atomChunk,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

// The session's values are loaded, and the control ports are applied again at the next run: the
// host restores their values from the same state, so the two agree, and where the host did not,
// the ports the host shows win over values it cannot see.
LV2_State_Status IPluginLV2::RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle)
{
  if (!mURIDs.Mapped())
    return LV2_STATE_ERR_NO_FEATURE;
  const std::lock_guard<std::mutex> lock(mMessageMutex);
  TakeEditorMessage();
  size_t size = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  const void* data = retrieve(handle, mURIDs.sessionKey, &size, &type, &flags);
  if (!data)
    return RestoreProgram(retrieve, handle);
  if (type != mURIDs.atomChunk)
    return LV2_STATE_ERR_BAD_TYPE;
  if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
    return LV2_STATE_ERR_UNKNOWN;
  IByteChunk chunk;
  chunk.PutBytes(data, static_cast<int>(size));
  if (!UnserializeSession(chunk, true))
    return LV2_STATE_ERR_UNKNOWN;
  mResyncControls.store(true, std::memory_order_release);
  PrepareSessionForEditors();
  return LV2_STATE_SUCCESS;
}

} // namespace plug
