#include "plug/IPluginLV2UI.h"

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "gfx/ISurface.h"
#include "plug/core/IByteChunk.h"
#include "plug/core/Timer.h"

namespace plug {

namespace {

const void* FindFeature(const LV2_Feature* const* features, const char* uri)
{
  for (const LV2_Feature* const* feature = features; feature && *feature; ++feature)
  {
    if (std::strcmp((*feature)->URI, uri) == 0)
      return (*feature)->data;
  }
  return nullptr;
}

IPluginLV2UI::MakeFunc sMakeEditor = nullptr;

IPluginLV2UI* Editor(LV2UI_Handle handle)
{
  return static_cast<IPluginLV2UI*>(handle);
}

// --- The C interface ---

LV2UI_Handle CInstantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                          LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features)
{
  try
  {
    std::unique_ptr<IPluginLV2UI> editor(sMakeEditor ? sMakeEditor(LV2UIInstanceInfo{write, controller, features})
                                                     : nullptr);
    LV2UI_Widget made = nullptr;
    if (!editor || !editor->FinishInstantiation(&made))
    {
      if (editor)
        editor->CloseWindow();
      return nullptr;
    }
    if (widget)
      *widget = made;
    return editor.release();
  }
  catch (...)
  {
    // Nothing may unwind into the host; an editor that cannot be built is reported as none.
    return nullptr;
  }
}

// The editor closes while the effect is whole (it keeps its scale as it closes).
void CCleanup(LV2UI_Handle handle)
{
  IPluginLV2UI* editor = Editor(handle);
  editor->CloseWindow();
  delete editor;
}

void CPortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
  Editor(handle)->PortEvent(port, size, format, buffer);
}

int CIdle(LV2UI_Handle handle)
{
  return Editor(handle)->Idle();
}

int CShow(LV2UI_Handle handle)
{
  return Editor(handle)->Show();
}

int CHide(LV2UI_Handle handle)
{
  return Editor(handle)->Hide();
}

const void* CExtensionData(const char* uri)
{
  static const LV2UI_Idle_Interface kIdle = {CIdle};
  static const LV2UI_Show_Interface kShow = {CShow, CHide};
  if (std::strcmp(uri, LV2_UI__idleInterface) == 0)
    return &kIdle;
  if (std::strcmp(uri, LV2_UI__showInterface) == 0)
    return &kShow;
  return nullptr;
}

} // namespace

const LV2UI_Descriptor& IPluginLV2UI::Descriptor(const char* uri, MakeFunc make)
{
  if (!sMakeEditor)
    sMakeEditor = make;
  static const LV2UI_Descriptor descriptor = {uri, CInstantiate, CCleanup, CPortEvent, CExtensionData};
  return descriptor;
}

// --- Construction ---------------------------------------------------------------------------------

IPluginLV2UI::IPluginLV2UI(const Info& info, const Config& config)
  : IPluginAPIBase(config, kAPILV2),
    IPluginProcessor(config),
    mWrite(info.write),
    mController(info.controller)
{
  mPorts = {MaxNChannels(ERoute::kInput), MaxNChannels(ERoute::kOutput), config.nParams};
  mValuesToHost.assign(static_cast<size_t>(config.nParams), false);
  mMessage.assign(static_cast<size_t>(lv2::MessageBufferSize(config.nParams, config.nPresets)), 0);
  ReadFeatures(info.features);
  CreateTimer();
}

IPluginLV2UI::~IPluginLV2UI()
{
  mTimer.reset();
}

void IPluginLV2UI::ReadFeatures(const LV2_Feature* const* features)
{
  mURIDs.Map(static_cast<const LV2_URID_Map*>(FindFeature(features, LV2_URID__map)), GetConfigURI());
  mParent = const_cast<void*>(FindFeature(features, LV2_UI__parent));
  mResize = static_cast<const LV2UI_Resize*>(FindFeature(features, LV2_UI__resize));
  mTouch = static_cast<const LV2UI_Touch*>(FindFeature(features, LV2_UI__touch));
  const auto* options = static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options));
  for (const LV2_Options_Option* option = options; option && option->key != 0; ++option)
  {
    if (mURIDs.Mapped() && option->key == mURIDs.scaleFactor && option->type == mURIDs.atomFloat && option->value &&
        option->size == sizeof(float))
    {
      const float scale = *static_cast<const float*>(option->value);
      if (std::isfinite(scale) && scale >= 1.f && scale <= 8.f)
        mHostScale = scale;
    }
  }
}

bool IPluginLV2UI::FinishInstantiation(LV2UI_Widget* widget)
{
  // What the plug-in's construction set (its first program) is no change of the user's.
  std::fill(mValuesToHost.begin(), mValuesToHost.end(), false);
  mProgramsToHost = false;
  mReady = true;
  *widget = nullptr;
  if (mParent)
  {
    OpenEditor(mParent);
    if (!GetUI() || !GetUI()->GetWindow())
      return false;
    *widget = GetUI()->GetWindow();
  }
  SendMessage(nullptr, 0); // the DSP answers with its session
  return true;
}

void IPluginLV2UI::OpenEditor(void* parent)
{
  if (!OpenWindow(parent))
    return;
  ApplyHostScale();
  if (const gfx::ISurface* ui = GetUI(); ui && mResize)
  {
    const int scale = ui->GetScreenScale();
    mResize->ui_resize(mResize->handle, ui->WindowWidth() * scale, ui->WindowHeight() * scale);
  }
}

void IPluginLV2UI::ApplyHostScale()
{
  if (mHostScale > 0.f && GetUI())
    SetScreenScale(mHostScale);
}

// --- Host to editor -------------------------------------------------------------------------------

void IPluginLV2UI::PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
  if (!buffer)
    return;
  if (const int paramIdx = mPorts.ParamOfPort(port); paramIdx >= 0)
  {
    if (format == 0 && size == sizeof(float))
      ReceiveControl(paramIdx, *static_cast<const float*>(buffer));
    return;
  }
  if (port != mPorts.MessagesOut() || !mURIDs.Mapped() || format != mURIDs.atomEventTransfer || size < sizeof(LV2_Atom))
    return;
  const auto* atom = static_cast<const LV2_Atom*>(buffer);
  if (atom->size > size - sizeof(LV2_Atom))
    return;
  const lv2::Message message = lv2::ReadMessage(atom, mURIDs);
  // A change of the editor's own not yet sent supersedes what the DSP had (an echo of an earlier one).
  if (message.kind != lv2::Message::EKind::kSession || mProgramsToHost)
    return;
  IByteChunk session;
  session.PutBytes(message.bytes, static_cast<int>(message.size));
  UnserializeSession(session, false);
}

// The path host automation takes; a control the user holds keeps its place (ISurface).
void IPluginLV2UI::ReceiveControl(int paramIdx, float value)
{
  IParam* param = GetParam(paramIdx);
  if (!param)
    return;
  const double plain = std::isnan(value) ? param->GetDefault()
                                         : std::clamp(static_cast<double>(value), param->GetMin(), param->GetMax());
  param->SetValue(plain);
  SendParameterValueFromAPI(paramIdx, plain, false);
  IPluginAPIBase::OnParamChange(paramIdx, kHost, -1);
}

// --- Running --------------------------------------------------------------------------------------

int IPluginLV2UI::Idle()
{
  RunLoop::Pump();
  const bool closedByUser = mShown && GetUI() && !GetUI()->GetWindow();
  if (closedByUser)
  {
    CloseWindow();
    mShown = false;
  }
  SendToHost();
  return closedByUser ? 1 : 0;
}

int IPluginLV2UI::Show()
{
  if (!GetUI() || !GetUI()->GetWindow())
    OpenEditor(nullptr);
  mShown = GetUI() && GetUI()->GetWindow();
  return mShown ? 0 : 1;
}

int IPluginLV2UI::Hide()
{
  if (mShown)
    CloseWindow();
  mShown = false;
  return 0;
}

// --- Editor to host -------------------------------------------------------------------------------

void IPluginLV2UI::OnParamChange(int paramIdx, EParamSource source, int sampleOffset)
{
  if (mReady && source == kPresetRecall && paramIdx >= 0 && paramIdx < NParams())
    mValuesToHost[static_cast<size_t>(paramIdx)] = true;
  IPluginAPIBase::OnParamChange(paramIdx, source, sampleOffset);
}

void IPluginLV2UI::OnProgramStoreChanged()
{
  if (mReady)
    mProgramsToHost = true;
}

// A program's values go out each between a touch on and off, as a gesture of their own, so the host
// records them; then the programs.
void IPluginLV2UI::SendToHost()
{
  for (int i = 0; i < NParams(); ++i)
  {
    if (!mValuesToHost[static_cast<size_t>(i)])
      continue;
    mValuesToHost[static_cast<size_t>(i)] = false;
    Touch(i, true);
    WriteControl(i);
    Touch(i, false);
  }
  if (mProgramsToHost)
  {
    mProgramsToHost = false;
    IByteChunk session;
    if (SerializeSession(session))
      SendMessage(session.GetData(), static_cast<uint32_t>(session.Size()));
  }
}

void IPluginLV2UI::SendMessage(const uint8_t* bytes, uint32_t size)
{
  const uint32_t written =
      lv2::WriteMessage(mMessage.data(), static_cast<uint32_t>(mMessage.size()), mURIDs, bytes, size);
  if (written > 0 && mWrite)
    mWrite(mController, mPorts.MessagesIn(), written, mURIDs.atomEventTransfer, mMessage.data());
}

void IPluginLV2UI::WriteControl(int paramIdx)
{
  const IParam* param = GetParam(paramIdx);
  if (!param || !mWrite)
    return;
  const auto value = static_cast<float>(param->GetValue());
  mWrite(mController, mPorts.Control(paramIdx), sizeof(value), 0, &value);
}

void IPluginLV2UI::Touch(int paramIdx, bool grabbed)
{
  if (mTouch && mTouch->touch && paramIdx >= 0 && paramIdx < NParams())
    mTouch->touch(mTouch->handle, mPorts.Control(paramIdx), grabbed);
}

void IPluginLV2UI::BeginInformHostOfParamChange(int paramIdx)
{
  Touch(paramIdx, true);
}

void IPluginLV2UI::InformHostOfParamChange(int paramIdx, double)
{
  WriteControl(paramIdx);
}

void IPluginLV2UI::EndInformHostOfParamChange(int paramIdx)
{
  Touch(paramIdx, false);
}

bool IPluginLV2UI::EditorResize(int width, int height)
{
  IPluginAPIBase::EditorResize(width, height);
  return mResize && mResize->ui_resize(mResize->handle, width, height) == 0;
}

} // namespace plug
