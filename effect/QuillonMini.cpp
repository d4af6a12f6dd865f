#include "effect/QuillonMini.h"

#include <unistd.h>

#include <algorithm>
#include <iterator>

#include "checks/ThreadChecks.h"
#include "effect/FactoryPresets.h"

namespace quillon {

namespace {

plug::Config MakeConfig()
{
  return plug::Config{
      .nParams = TQuillonMini::kNumParams,
      .nPresets = TQuillonMini::kNumPresets,
      .channelIOStr = "2-2",
      .pluginName = "QuillonMini",
      .productName = "",
      .mfrName = "Brannock Sound",
      .vendorVersion = plug::PackVersion(1, 0, 4),
      .uniqueID = plug::MakeFourCC('Q', 'L', 'M', 'N'),
      .mfrID = plug::MakeFourCC('B', 'R', 'N', 'K'),
      .latency = 0,
      .plugDoesMidiIn = false,
      .plugDoesMidiOut = false,
      .plugDoesMPE = false,
      .plugDoesChunks = false,
      .plugType = 0, // effect
      .plugHasUI = true,
      .plugWidth = TQuillonMini::kEditorWidth,
      .plugHeight = TQuillonMini::kEditorHeight,
      .bundleID = TQuillonMini::kBundleID,
      .uri = kPluginURI,
  };
}

// Why a file did not load: it cannot be read at all, or it is not ours.
plug::EPresetFileResult LoadFailure(const char* path)
{
  const bool readable = path && access(path, R_OK) == 0;
  return readable ? plug::EPresetFileResult::kNotThisPlugin : plug::EPresetFileResult::kUnreadable;
}

plug::EPresetFileResult LoadResult(bool loaded, const char* path)
{
  return loaded ? plug::EPresetFileResult::kDone : LoadFailure(path);
}

plug::EPresetFileResult SaveResult(bool saved)
{
  return saved ? plug::EPresetFileResult::kDone : plug::EPresetFileResult::kUnwritable;
}

} // namespace

TQuillonMini::TQuillonMini(const TBinding::Info& info)
  : TBinding(info, MakeConfig())
{
  DeclareParams();
  MakePresets();
  RestorePreset(0);
#if QM_PLUGIN_EDITOR
  InstallEditor();
#endif
}

void TQuillonMini::DeclareParams()
{
  using plug::IParam;
  constexpr const TFactoryPreset& defaults = kFactoryPresets[0];
  GetParam(kMix)->InitPercentage("Mix", defaults.mix, 0.0, 100.0);
  GetParam(kColor)->InitDouble("Color", defaults.color, -100.0, 100.0, 0.1, "", 0, "", IParam::ShapeLinear(),
                               IParam::kUnitCustom);
  GetParam(kDecay)->InitDouble("Decay", defaults.decay, 0.1, 100.0, 0.1, "s", 0, "", IParam::ShapeExp(),
                               IParam::kUnitSeconds);
  GetParam(kWidth)->InitPercentage("Width", defaults.width, 0.0, 200.0);
}

static_assert(std::size(kFactoryPresets) == TQuillonMini::kNumPresets);

// Slot 0 from the parameters' defaults, which are the table's "Default".
void TQuillonMini::MakePresets()
{
  MakeDefaultPreset(kFactoryPresets[0].name, 1);
  for (int slot = 1; slot < kNumPresets; ++slot)
  {
    const TFactoryPreset& preset = kFactoryPresets[slot];
    MakePreset(preset.name, preset.decay, preset.width, preset.color, preset.mix);
  }
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
// on the audio thread). Changes still waiting for a block reach the reverb first, as if each had
// reached it when it was made: a change of rate then returns the colour filters to their initial
// settings, and only the current values are applied again (a negative colour chosen before it must
// not come back at the next block). A rate the reverb refuses leaves it at the rate it runs, and
// the processor takes that rate back, so that the two never disagree.
void TQuillonMini::OnReset()
{
  ApplyPendingChanges();
  if (!mReverb.SetSampleRate(GetSampleRate()))
    SetSampleRate(mReverb.SampleRate());
  for (int i = 0; i < kNumParams; ++i)
    mReverb.SetParam(i, GetParam(i)->GetValue());
  mReverb.Reset();
}

void TQuillonMini::ProcessBlock(double** inputs, double** outputs, int frames)
{
  QM_AUDIO_THREAD();
  ProcessEither(inputs, outputs, frames);
}

// The host's single-precision buffers go to the reverb as they are: its
// output is the double form's, rounded to float, as after a conversion.
void TQuillonMini::ProcessSingleBlock(float** inputs, float** outputs, int frames)
{
  QM_AUDIO_THREAD();
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

// Under the program store's lock, so that the shown name is the one of the slot that is current.
void TQuillonMini::OnPresetsModified()
{
  const auto lock = LockPresets();
  mCurrentPresetName.Set(GetPresetName(GetCurrentPresetIdx()));
}

// ---------------------------------------------------------------------------
// What the editor's preset strip, help button and about box ask

// The shown name is taken back from the slot, so the strip shows what the host reads: an emptied
// name keeps the program's name, a long one is cut as the slot cuts it.
void TQuillonMini::ModifyThisPreset(const char* name)
{
  QM_MAIN_THREAD(EditorThread());
  const auto lock = LockPresets();
  ModifyCurrentPreset(name);
  OnPresetsModified();
}

void TQuillonMini::RestoreCurrentPreset()
{
  QM_MAIN_THREAD(EditorThread());
  const auto lock = LockPresets();
  RestorePreset(GetCurrentPresetIdx());
}

void TQuillonMini::SetCurrentPreset(int index)
{
  QM_MAIN_THREAD(EditorThread());
  RestorePreset(std::clamp(index, 0, std::max(NPresets() - 1, 0)));
  InformHostOfProgramChange(); // outside the store's lock: the host may call back on another thread
}

#if !QM_PLUGIN_EDITOR
bool TQuillonMini::ShowAboutBox()
{
  return false;
}
#endif

plug::EPresetFileResult TQuillonMini::LoadProgramFile(const char* path)
{
  QM_MAIN_THREAD(EditorThread());
  return LoadResult(LoadProgramFromFXP(path), path);
}

plug::EPresetFileResult TQuillonMini::SaveProgramFile(const char* path)
{
  QM_MAIN_THREAD(EditorThread());
  return SaveResult(SaveProgramAsFXP(path));
}

plug::EPresetFileResult TQuillonMini::LoadBankFile(const char* path)
{
  QM_MAIN_THREAD(EditorThread());
  return LoadResult(LoadBankFromFXB(path), path);
}

plug::EPresetFileResult TQuillonMini::SaveBankFile(const char* path)
{
  QM_MAIN_THREAD(EditorThread());
  return SaveResult(SaveBankAsFXB(path));
}

std::string TQuillonMini::GetVersionText() const
{
  const int32_t version = GetPluginVersion(false);
  return std::to_string(plug::VersionMajor(version)) + "." + std::to_string(plug::VersionMinor(version)) + "." +
      std::to_string(plug::VersionBugFix(version));
}

} // namespace quillon
