#include "plug/IPluginAPIBase.h"

#include <cmath>
#include <cstring>

#include "checks/ThreadChecks.h"

namespace plug {

namespace {

std::string CopyText(const char* text)
{
  return text ? std::string(text) : std::string();
}

bool IsHostPrivate(const IParam& param)
{
  return (param.GetFlags() & IParam::kFlagHostPrivate) != 0;
}

} // namespace

IPluginAPIBase::IPluginAPIBase(const Config& config, EAPI plugAPI)
  : IPluginBase(config.nParams, config.nPresets),
    mPluginName(CopyText(config.pluginName)),
    mProductName(CopyText(config.productName)),
    mMfrName(CopyText(config.mfrName)),
    mBundleID(CopyText(config.bundleID)),
    mURI(CopyText(config.uri)),
    mUniqueID(config.uniqueID),
    mMfrID(config.mfrID),
    mHasUI(config.plugHasUI),
    mEditorWidth(config.plugWidth),
    mEditorHeight(config.plugHeight)
{
  mPluginVersion = config.vendorVersion;
  mAPI = plugAPI;
  mHost = kHostUninit;
  mHostVersion = 0;
}

IPluginAPIBase::~IPluginAPIBase()
{
  mTimer.reset();
}

bool IPluginAPIBase::CompareState(const uint8_t* data, int startPos) const
{
  if (!data || startPos < 0)
    return false;
  for (int i = 0; i < NParams(); ++i)
  {
    double stored = 0.0;
    std::memcpy(&stored, data + (static_cast<size_t>(startPos) + static_cast<size_t>(i)) * sizeof(double),
                sizeof(double));
    const float current = static_cast<float>(GetParam(i)->GetValue());
    if (!(std::fabs(current - static_cast<float>(stored)) <= 1e-5f))
      return false;
  }
  return true;
}

void IPluginAPIBase::OnHostRequestingImportantParameters(int count, std::vector<int>& results)
{
  if (count >= NParams())
    return;
  for (int i = 0; i < count; ++i)
    results.push_back(i);
}

bool IPluginAPIBase::GetMidiNoteText(int, char* text) const
{
  if (text)
    text[0] = '\0';
  return false;
}

void IPluginAPIBase::SendParameterValueFromAPI(int paramIdx, double value, bool normalized)
{
  const IParam* param = GetParam(paramIdx);
  if (!param || IsHostPrivate(*param))
    return;
  if (normalized)
    value = param->NormToValue(value);
  SendParameterValueFromDelegate(paramIdx, value, false);
}

bool IPluginAPIBase::EditorResize(int width, int height)
{
  QM_MAIN_THREAD(EditorThread());
  mEditorWidth = width;
  mEditorHeight = height;
  return false;
}

void IPluginAPIBase::SetParameterValue(int paramIdx, double normalizedValue)
{
  QM_MAIN_THREAD(EditorThread());
  IParam* param = GetParam(paramIdx);
  if (!param)
    return;
  param->SetNormalizedValue(normalizedValue);
  if (!IsHostPrivate(*param))
    InformHostOfParamChange(paramIdx, normalizedValue);
  OnParamChange(paramIdx, kUI, -1);
}

void IPluginAPIBase::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
  SetParameterValue(paramIdx, normalizedValue);
  IPluginBase::SendParameterValueFromUI(paramIdx, normalizedValue);
}

void IPluginAPIBase::BeginInformHostOfParamChangeFromUI(int paramIdx)
{
  BeginInformHostOfParamChange(paramIdx);
}

void IPluginAPIBase::EndInformHostOfParamChangeFromUI(int paramIdx)
{
  EndInformHostOfParamChange(paramIdx);
}

void IPluginAPIBase::DirtyParametersFromUI()
{
  for (int i = 0; i < NParams(); ++i)
    InformHostOfParamChange(i, GetParam(i)->GetNormalizedValue());
}

bool IPluginAPIBase::EditorResizeFromUI(int viewWidth, int viewHeight)
{
  return EditorResize(viewWidth, viewHeight);
}

void IPluginAPIBase::SendMidiMsgFromUI(const IMidiMsg& msg)
{
  DeferMidiMsg(msg);
}

void IPluginAPIBase::SendSysexMsgFromUI(const ISysEx& msg)
{
  DeferSysexMsg(msg);
}

void IPluginAPIBase::SendArbitraryMsgFromUI(int msgTag, int ctrlTag, int dataSize, const void* pData)
{
  OnMessage(msgTag, ctrlTag, dataSize, pData);
}

void IPluginAPIBase::DeferMidiMsg(const IMidiMsg& msg)
{
  mMidiMsgsFromEditor.Push(msg);
}

void IPluginAPIBase::DeferSysexMsg(const ISysEx& msg)
{
  SysExData entry;
  if (entry.Assign(msg))
    mSysExDataFromEditor.Push(entry);
}

void IPluginAPIBase::SetHost(const char* hostName, int32_t packedVersion)
{
  mHostName = LowerCaseHostName(hostName);
  mHost = IdentifyHost(mHostName.c_str());
  mHostVersion = packedVersion;
  HostSpecificInit();
  OnHostIdentified();
}

int IPluginAPIBase::GetHostVersion(bool decimal) const
{
  return decimal ? VersionDecimal(mHostVersion) : mHostVersion;
}

void IPluginAPIBase::GetHostVersionStr(std::string& str) const
{
  str = GetVersionStr(mHostVersion);
}

int IPluginAPIBase::GetPluginVersion(bool decimal) const
{
  return decimal ? VersionDecimal(mPluginVersion) : mPluginVersion;
}

void IPluginAPIBase::GetPluginVersionStr(std::string& str) const
{
  str = GetVersionStr(mPluginVersion);
}

void IPluginAPIBase::GetBuildInfoStr(std::string& str) const
{
  str = FormatBuildInfoStr(mPluginName.c_str(), mPluginVersion, mAPI, __DATE__, __TIME__);
}

void IPluginAPIBase::CreateTimer()
{
  QM_MAIN_THREAD(EditorThread());
  mTimer.reset();
  mTimer = Timer::Create([this](Timer& timer) { OnTimer(timer); }, kTimerPeriodMs);
}

void IPluginAPIBase::OnTimer(Timer&)
{
  QM_MAIN_THREAD(EditorThread());
  if (mHasUI)
  {
    DrainParamChangesToEditor();
    DrainMidiMsgsToEditor();
    DrainSysExToEditor();
  }
  OnIdle();
}

// Each drain takes only what was queued when it began, so a producer that keeps pushing cannot
// hold the main thread in the loop.
void IPluginAPIBase::DrainParamChangesToEditor()
{
  ParamChange change;
  for (size_t n = mParamChangeFromProcessor.ElementsAvailable(); n > 0 && mParamChangeFromProcessor.Pop(change); --n)
    SendParameterValueFromDelegate(change.idx, change.value, false);
}

void IPluginAPIBase::DrainMidiMsgsToEditor()
{
  IMidiMsg msg;
  for (size_t n = mMidiMsgsFromProcessor.ElementsAvailable(); n > 0 && mMidiMsgsFromProcessor.Pop(msg); --n)
    SendMidiMsgFromDelegate(msg);
}

void IPluginAPIBase::DrainSysExToEditor()
{
  SysExData data;
  for (size_t n = mSysExDataFromProcessor.ElementsAvailable(); n > 0 && mSysExDataFromProcessor.Pop(data); --n)
    SendSysexMsgFromDelegate(data.AsSysEx());
}

bool IPluginAPIBase::QueueParamChangeForEditor(int paramIdx, double plainValue)
{
  if (paramIdx < 0 || paramIdx >= NParams())
    return false;
  return mParamChangeFromProcessor.Push(ParamChange(paramIdx, plainValue));
}

bool IPluginAPIBase::QueueMidiMsgForEditor(const IMidiMsg& msg)
{
  return mMidiMsgsFromProcessor.Push(msg);
}

bool IPluginAPIBase::QueueSysExForEditor(const ISysEx& msg)
{
  SysExData entry;
  return entry.Assign(msg) && mSysExDataFromProcessor.Push(entry);
}

bool IPluginAPIBase::PopMidiMsgFromEditor(IMidiMsg& msg)
{
  return mMidiMsgsFromEditor.Pop(msg);
}

bool IPluginAPIBase::PopSysExFromEditor(SysExData& data)
{
  return mSysExDataFromEditor.Pop(data);
}

} // namespace plug
