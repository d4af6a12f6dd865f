#include "gfx/ISurfaceEditorDelegate.h"

#include <cmath>

#include "gfx/IControl.h"
#include "gfx/ISurface.h"
#include "plug/core/IByteChunk.h"

namespace plug::gfx {

ISurfaceEditorDelegate::ISurfaceEditorDelegate(int nParams)
  : IEditorDelegate(nParams),
    mPendingValues(static_cast<std::size_t>(NParams()))
{
}

// The plug-in above this class is gone: the surface must not call back into it (ending a
// gesture would reach a host binding that no longer exists), so a capture is dropped quietly
// before the surface and its controls go.
ISurfaceEditorDelegate::~ISurfaceEditorDelegate()
{
  if (mGraphics)
    mGraphics->EndCaptures(false);
  mGraphics.reset();
}

std::unique_ptr<ISurface> ISurfaceEditorDelegate::CreateGraphics()
{
  return mMakeGraphicsFunc ? mMakeGraphicsFunc() : nullptr;
}

void ISurfaceEditorDelegate::LayoutUI(ISurface* ui)
{
  if (mLayoutFunc)
    mLayoutFunc(ui);
}

void* ISurfaceEditorDelegate::OpenWindow(void* parent)
{
  mEditorThread.store(std::this_thread::get_id(), std::memory_order_release);
  if (!mGraphics)
  {
    mEditorThreadCheck.Open(); // making and laying out the surface are [main] already
    mGraphics = CreateGraphics();
    if (mGraphics && mLastWidth != 0 && mLastHeight != 0 && mLastScale != 0.f)
      mGraphics->Resize(mLastWidth, mLastHeight, mLastScale);
  }
  if (!mGraphics)
    mEditorThreadCheck.Close();
  return mGraphics ? mGraphics->OpenWindow(parent) : nullptr;
}

void ISurfaceEditorDelegate::CloseWindow()
{
  QM_MAIN_THREAD(mEditorThreadCheck);
  if (mClosing)
    return;
  mClosing = true;
  OnUIClose();
  if (mGraphics)
  {
    mLastWidth = mGraphics->Width();
    mLastHeight = mGraphics->Height();
    mLastScale = mGraphics->GetDrawScale();
    mGraphics->ReleaseMouseCapture();
    mGraphics->CloseWindow();
    mGraphics.reset();
  }
  mEditorThreadCheck.Close();
  mClosing = false;
}

void ISurfaceEditorDelegate::SetScreenScale(double scale)
{
  QM_MAIN_THREAD(mEditorThreadCheck);
  if (mGraphics)
    mGraphics->SetScreenScale(static_cast<int>(std::round(scale)));
}

// The value always goes through the parameter's slot: the slot holds the newest value, so a value
// applied at once on the editor's thread can never be overtaken by an older one deferred from
// another thread. Value before flag, flag before the any-pending mark; the editor clears the mark
// before it looks at the flags and each flag before it reads the value, so whatever it misses it
// finds at its next check.
void ISurfaceEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double value, bool normalized)
{
  const IParam* param = GetParam(paramIdx);
  if (param && paramIdx < static_cast<int>(mPendingValues.size()))
  {
    PendingValue& slot = mPendingValues[static_cast<std::size_t>(paramIdx)];
    slot.value.store(normalized ? value : param->ValueToNorm(value), std::memory_order_relaxed);
    slot.pending.store(true, std::memory_order_release);
    mAnyPending.store(true, std::memory_order_release);
    if (OnEditorThread())
      ApplyPendingParameterValues();
  }
  IEditorDelegate::SendParameterValueFromDelegate(paramIdx, value, normalized);
}

void ISurfaceEditorDelegate::ApplyPendingParameterValues()
{
  QM_MAIN_THREAD(mEditorThreadCheck);
  if (!mAnyPending.exchange(false, std::memory_order_acq_rel))
    return;
  for (std::size_t i = 0; i < mPendingValues.size(); ++i)
  {
    PendingValue& slot = mPendingValues[i];
    if (slot.pending.exchange(false, std::memory_order_acq_rel))
      ApplyParameterValue(static_cast<int>(i), slot.value.load(std::memory_order_relaxed));
  }
}

void ISurfaceEditorDelegate::ApplyParameterValue(int paramIdx, double normalized)
{
  if (!mGraphics)
    return;
  for (int i = 0; i < mGraphics->NControls(); ++i)
  {
    IControl* control = mGraphics->GetControl(i);
    for (int v = 0; v < control->NVals(); ++v)
      if (control->GetParamIdx(v) == paramIdx)
        control->SetValueFromDelegate(normalized, v);
  }
}

void ISurfaceEditorDelegate::SendControlValueFromDelegate(int ctrlTag, double normalizedValue)
{
  QM_MAIN_THREAD(mEditorThreadCheck);
  if (ctrlTag < 0 || !mGraphics)
    return;
  for (int i = 0; i < mGraphics->NControls(); ++i)
    if (mGraphics->GetControl(i)->GetTag() == ctrlTag)
      mGraphics->GetControl(i)->SetValueFromDelegate(normalizedValue, 0);
}

void ISurfaceEditorDelegate::SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* pData)
{
  QM_MAIN_THREAD(mEditorThreadCheck);
  if (ctrlTag < 0 || !mGraphics)
    return;
  for (int i = 0; i < mGraphics->NControls(); ++i)
    if (mGraphics->GetControl(i)->GetTag() == ctrlTag)
      mGraphics->GetControl(i)->OnMsgFromDelegate(msgTag, dataSize, pData);
}

void ISurfaceEditorDelegate::SendMidiMsgFromDelegate(const IMidiMsg& msg)
{
  QM_MAIN_THREAD(mEditorThreadCheck);
  for (int i = 0; mGraphics && i < mGraphics->NControls(); ++i)
    if (mGraphics->GetControl(i)->GetWantsMidi())
      mGraphics->GetControl(i)->OnMidi(msg);
  OnMidiMsgUI(msg);
}

bool ISurfaceEditorDelegate::OnKeyDown(const IKeyPress& key)
{
  QM_MAIN_THREAD(mEditorThreadCheck);
  if (!mGraphics || !mGraphics->KeysTakenByEntryOrMenu())
    return false;
  float x = 0.f, y = 0.f;
  mGraphics->GetMouseLocation(x, y);
  return mGraphics->OnKeyDown(x, y, key);
}

bool ISurfaceEditorDelegate::OnKeyUp(const IKeyPress& key)
{
  QM_MAIN_THREAD(mEditorThreadCheck);
  if (!mGraphics || !mGraphics->KeysTakenByEntryOrMenu())
    return false;
  float x = 0.f, y = 0.f;
  mGraphics->GetMouseLocation(x, y);
  mGraphics->OnKeyUp(x, y, key);
  return true;
}

bool ISurfaceEditorDelegate::SerializeEditorSize(IByteChunk& chunk) const
{
  const int32_t width = mGraphics ? mGraphics->Width() : mLastWidth;
  const int32_t height = mGraphics ? mGraphics->Height() : mLastHeight;
  const float scale = mGraphics ? mGraphics->GetDrawScale() : mLastScale;
  chunk.PutValue(width);
  chunk.PutValue(height);
  chunk.PutValue(scale);
  return true;
}

int ISurfaceEditorDelegate::UnserializeEditorSize(const IByteChunk& chunk, int startPos)
{
  int32_t width = 0, height = 0;
  float scale = 0.f;
  auto read = [&](auto& field, int offset) {
    if (startPos < 0 || chunk.GetValueAt(field, startPos + offset) < 0)
      field = {};
  };
  read(width, 0);
  read(height, 4);
  read(scale, 8);
  if (!mGraphics)
  {
    mLastWidth = width;
    mLastHeight = height;
    mLastScale = scale;
  }
  else if (width != 0 && height != 0 && scale != 0.f)
    mGraphics->Resize(width, height, scale);
  return startPos >= 0 && startPos + 12 <= chunk.Size() ? startPos + 12 : -1;
}

} // namespace plug::gfx
