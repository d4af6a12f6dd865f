#include "effect/QuillonMini.h"

#include <algorithm>

#include "effect/inifile.h"

namespace {

plug::Config MakeConfig()
{
  return plug::Config{
      TQuillonMini::kNumParams,
      TQuillonMini::kNumPresets,
      "2-2",
      "QuillonMini",
      "",
      "Brannock Sound",
      plug::PackVersion(1, 0, 4),
      plug::MakeFourCC('Q', 'L', 'M', 'N'),
      plug::MakeFourCC('B', 'R', 'N', 'K'),
      0,     // latency
      false, // receives MIDI
      false, // sends MIDI
      false, // MPE
      false, // state as chunks
      0,     // effect
      true,  // has an editor
      340,
      160,
      "com.BrannockSound.vst.QuillonMini",
  };
}

} // namespace

TQuillonMini::TQuillonMini(const plug::InstanceInfo& info)
  : plug::IPluginVST2(info, MakeConfig())
{
  TIniFile::GetIniFileName(mIniFileName);
  DeclareParams();
  MakePresets();
  RestorePreset(0);
  InstallEditor();
}

void TQuillonMini::DeclareParams()
{
  using plug::IParam;
  GetParam(kMix)->InitPercentage("Mix", 21.0, 0.0, 100.0);
  GetParam(kColor)->InitDouble("Color", 0.0, -100.0, 100.0, 0.1, "", 0, "", IParam::ShapeLinear(), IParam::kUnitCustom);
  GetParam(kDecay)->InitDouble("Decay", 3.2, 0.1, 100.0, 0.1, "s", 0, "", IParam::ShapeExp(), IParam::kUnitSeconds);
  GetParam(kWidth)->InitPercentage("Width", 150.0, 0.0, 200.0);
}

// Values in index order: Decay (s), Width (%), Color, Mix (%).
void TQuillonMini::MakePresets()
{
  MakeDefaultPreset("Default", 1);
  MakePreset("Next Room", 0.334591, 14.0, -45.212766, 23.12766);
  MakePreset("Small Hall", 1.4, 122.0, 0.0, 26.595745);
  MakePreset("Station", 2.0, 119.680851, -33.510638, 37.234043);
  MakePreset("Edge Of A Forest", 2.1, 164.0, 59.042553, 21.0);
  MakePreset("Medium Hall", 2.7, 130.510638, 0.0, 26.595745);
  MakePreset("Factory", 3.453041, 52.787234, -78.191489, 83.510638);
  MakePreset("Arena", 3.5, 200.0, -60.106383, 72.074468);
  MakePreset("Piano Hall", 3.8, 157.0, 62.765957, 23.404255);
  MakePreset("Stadium", 4.6, 176.0, -58.510638, 29.521277);
  MakePreset("Large Hall", 4.6, 152.510638, 0.0, 26.595745);
  MakePreset("Cathedral", 4.620877, 151.595745, -52.659574, 52.659574);
  MakePreset("Mellow", 6.3, 162.0, 47.659574, 42.553191);
  MakePreset("Silver Wind", 12.3, 176.06383, 95.0, 33.776596);
  MakePreset("Far Space", 10.2, 177.12766, -35.638298, 49.734043);
  MakePreset("Entrance In A Cave", 15.5, 22.340426, -35.638298, 33.244681);
  MakePreset("Long Tunnel", 20.0, 68.170213, -35.638298, 28.989362);
  MakePreset("Dark Ambience", 33.0, 200.0, -43.085106, 31.117021);
  MakePreset("Long Ambience", 50.0, 100.0, 0.0, 37.765957);
  MakePreset("Deep Underground", 50.0, 200.0, -88.829787, 72.074468);
}

// The value is published before its bit, so the audio thread, seeing the bit, sees this value or
// a newer one; a bit set again while the audio thread applies only repeats the newest value.
void TQuillonMini::OnParamChange(int paramIdx)
{
  const plug::IParam* param = GetParam(paramIdx);
  if (!param || paramIdx >= kNumParams)
    return;
  const double value = param->GetValue();
  if (paramIdx == kColor && value < 0.0)
  {
    mPendingNegativeColor.store(value, std::memory_order_relaxed);
    mPendingParams.fetch_or(1u << kPendingNegativeColor, std::memory_order_release);
    return;
  }
  mPendingValues[paramIdx].store(value, std::memory_order_relaxed);
  mPendingParams.fetch_or(1u << paramIdx, std::memory_order_release);
}

void TQuillonMini::ApplyPendingChanges()
{
  const uint32_t pending = mPendingParams.exchange(0, std::memory_order_acquire);
  if (pending & (1u << kPendingNegativeColor))
    mReverb.SetParam(kColor, mPendingNegativeColor.load(std::memory_order_relaxed));
  for (int i = 0; i < kNumParams; ++i)
  {
    if (pending & (1u << i))
      mReverb.SetParam(i, mPendingValues[i].load(std::memory_order_relaxed));
  }
  if (mTailClearPending.exchange(false, std::memory_order_acquire))
    mReverb.Reset();
}

// Hosts change the sample rate and block size and suspend the plug-in only while they are not
// processing, so the reverb can be rebuilt here directly (SetSampleRate allocates and must not run
// on the audio thread). Changes still pending are applied again at the next block, which repeats
// the same values.
void TQuillonMini::OnReset()
{
  mReverb.SetSampleRate(GetSampleRate());
  for (int i = 0; i < kNumParams; ++i)
    mReverb.SetParam(i, GetParam(i)->GetValue());
  mReverb.Reset();
}

void TQuillonMini::ProcessBlock(double** inputs, double** outputs, int frames)
{
  ProcessEither(inputs, outputs, frames);
}

// The host's single-precision buffers go to the reverb as they are: its
// output is the double form's, rounded to float, as after a conversion.
void TQuillonMini::ProcessSingleBlock(float** inputs, float** outputs, int frames)
{
  ProcessEither(inputs, outputs, frames);
}

template <typename Sample>
void TQuillonMini::ProcessEither(Sample** inputs, Sample** outputs, int frames)
{
  ApplyPendingChanges();
  if (!inputs || !outputs || frames <= 0)
    return;
  if (!inputs[0] || !inputs[1] || !outputs[0] || !outputs[1])
    return;
  mReverb.ProcessBlock(inputs, outputs, frames);
}

void TQuillonMini::OnRestoreState()
{
  mTailClearPending.store(true, std::memory_order_release);
  for (int i = 0; i < NParams(); ++i)
    SendParameterValueFromDelegate(i, GetParam(i)->GetNormalizedValue(), true);
}

void TQuillonMini::OnPresetsModified()
{
  mCurrentPresetName = GetPresetName(GetCurrentPresetIdx());
}

void TQuillonMini::ModifyThisPreset(const char* name)
{
  mCurrentPresetName = name ? name : "";
  ModifyCurrentPreset(name);
}

void TQuillonMini::RestoreCurrentPreset()
{
  RestorePreset(GetCurrentPresetIdx());
}

void TQuillonMini::SetCurrentPreset(int index)
{
  RestorePreset(std::clamp(index, 0, std::max(NPresets() - 1, 0)));
  InformHostOfProgramChange();
}
