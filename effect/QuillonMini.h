#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "dsp/dsp.h"
#include "effect/TSharedText.h"
#include "plug/core/IPresetDelegate.h"

// The binding the effect is compiled over, one per module: the VST 2 plug-in (the default), the LV2
// plug-in's DSP binary (QM_BINDING_LV2, built without an editor: QM_PLUGIN_EDITOR=0) or its editor's
// binary (QM_BINDING_LV2_UI, the effect over a mirror of the DSP's programs).
#if defined(QM_BINDING_LV2)
#include "plug/IPluginLV2.h"
#elif defined(QM_BINDING_LV2_UI)
#include "plug/IPluginLV2UI.h"
#else
#include "plug/IPluginVST2.h"
#endif

namespace plug::gfx {
class IControl;
class ISurface;
} // namespace plug::gfx

namespace quillon {

#if defined(QM_BINDING_LV2)
using TBinding = plug::IPluginLV2;
#elif defined(QM_BINDING_LV2_UI)
using TBinding = plug::IPluginLV2UI;
#else
using TBinding = plug::IPluginVST2;
#endif

// The LV2 plug-in's URI, fixed for ever; its editor's, presets' and messages' URIs add "#...".
inline constexpr const char* kPluginURI = "https://www.brannocksound.com/plugins/QuillonMini";

class TPresetControl;
class TAboutBox;

// The QuillonMini plate reverb: its configuration, parameters and factory presets, and the reverb
// network it feeds with parameter changes, resets and audio blocks.
//
// Threads: parameter changes arrive on the host's thread, on the main thread or while presets and
// state load; the reverb itself is touched only by the audio thread (ProcessBlock), which takes the
// changes at the start of each block, and by OnReset while the host is not processing.
//
// Its editor's preset strip, help button and about box reach it only as an IPresetDelegate.
class TQuillonMini : public TBinding, public plug::IPresetDelegate
{
public:
  enum EParams
  {
    kDecay = 0,
    kWidth = 1,
    kColor = 2,
    kMix = 3,
    kNumParams
  };

  static constexpr int kNumPresets = 20;
  // The editor's layout size in points and its frame rate.
  static constexpr int kEditorWidth = 340;
  static constexpr int kEditorHeight = 160;
  static constexpr int kEditorFPS = 60;
  // The scales the corner handle reaches, which a scale from the settings file is brought within.
  static constexpr float kMinEditorScale = 0.5f;
  static constexpr float kMaxEditorScale = 2.0f;
  static constexpr const char* kBundleID = "com.BrannockSound.vst.QuillonMini";

  explicit TQuillonMini(const TBinding::Info& info); // [host] under the construction mutex

#if QM_PLUGIN_EDITOR
  // --- Editor ---

  // [host] The screen scale of the display the editor opens on.
  int GetScreenScaleForEditor() override;
  // [host, main] The scale kept in the settings file, brought within the editor's limits: the
  // scale the next opening takes.
  float GetDrawScaleForEditor() override;
#endif

  // --- Framework hooks ---

  using TBinding::OnParamChange;
  // [any] Hands the parameter's current value to the audio thread for the next block.
  // The four parameter paths that end here: the top of plug/IPluginAPIBase.h.
  void OnParamChange(int paramIdx) override;
  // [host, not processing] Sample rate, block size, suspend: rebuilds the
  // reverb for the current rate, applies every parameter again and clears the tail.
  // A rate the reverb refuses puts the processor's rate back to the reverb's.
  void OnReset() override;
  void OnActivate(bool) override {}
  // [audio] Applies pending parameter changes and tail clearing, then reverberates the block.
  void ProcessBlock(double** inputs, double** outputs, int frames) override;
  bool ProcessesSingleBlocks() const override
  {
    return true;
  }
  void ProcessSingleBlock(float** inputs, float** outputs, int frames) override;
  void ProcessMidiMsg(const plug::IMidiMsg&) override {} // the effect ignores MIDI
  // [host, main] Asks the audio thread to clear the tail, then sends every value to the editor.
  void OnRestoreState() override;
  // [host, main] The shown name becomes the current preset's; the preset strip shows it by the
  // next frame.
  void OnPresetsModified() override;
  bool OnHostRequestingProductHelp() override
  {
    return true;
  }
  // [host, main] The name the preset strip shows, kept with the plug-in's state.
  std::string GetShownPresetName() const override
  {
    return mCurrentPresetName.Get();
  }
  void SetShownPresetName(const char* name) override
  {
    mCurrentPresetName.Set(name ? name : "");
  }

#if QM_PLUGIN_EDITOR
  // --- Editor side (main) ---

  // Keeps the editor's scale in the settings file and forgets the controls.
  void OnUIClose() override;
  // Shows the about box when the editor is open.
  bool OnHostRequestingAboutBox() override;
  // Where a new editor surface looks for the artwork: the plug-in's identifier and its folder
  // under the shared resources folder.
  static void ConfigureSurface(plug::gfx::ISurface& ui);
  // The editor's layout (effect/QuillonMiniEditor.cpp), on every opening.
  void LayoutUI(plug::gfx::ISurface* ui) override;
  // Attaches the editor's controls to g, in their order from back to front, and sizes the editor
  // at the scale kept in the settings file.
  void LayoutEditor(plug::gfx::ISurface& g);
  void NullControls();
  TPresetControl* GetPresetControl() const
  {
    return mPresetControl;
  }
  TAboutBox* GetAboutBox() const;
#endif

  // --- What the editor's preset strip, help button and about box ask (IPresetDelegate) ---
  // [main] unless tagged otherwise; the program store's lock is taken within.

  int NPresets() const override
  {
    return TBinding::NPresets();
  } // [host, main]
  int GetCurrentPresetIdx() const override
  {
    return TBinding::GetCurrentPresetIdx();
  } // [any]
  std::string GetPresetName(int idx) const override
  {
    return TBinding::GetPresetName(idx);
  } // [host, main]
  // [any] The name the preset strip shows, and a number that grows whenever it is set.
  std::string GetCurrentPresetName() const override
  {
    return mCurrentPresetName.Get();
  }
  uint64_t GetPresetNameVersion() const override
  {
    return mCurrentPresetName.Version();
  }
  // Clamps index to the preset list, restores that preset and tells the host.
  void SetCurrentPreset(int index) override;
  void RestoreCurrentPreset() override;
  // The current slot takes the current values, and name when it is not empty; the shown name
  // becomes the slot's name.
  void ModifyThisPreset(const char* name) override;
  bool ShowAboutBox() override;
  plug::EPresetFileResult LoadProgramFile(const char* path) override;
  plug::EPresetFileResult SaveProgramFile(const char* path) override;
  plug::EPresetFileResult LoadBankFile(const char* path) override;
  plug::EPresetFileResult SaveBankFile(const char* path) override;
  std::string GetVersionText() const override; // [any]
  const char* GetBindingName() const override
  {
    return kBindingName;
  } // [any]

  // [any] The settings file's full path; empty without an editor.
  const std::string& GetIniFileName() const
  {
    return mIniFileName;
  }

private:
#if QM_PLUGIN_EDITOR
  // [host] Finds the settings file and sets the editor's make-graphics function.
  void InstallEditor();
#endif
  void DeclareParams();
  void MakePresets();
  void ApplyPendingChanges(); // [audio], or [host, not processing] from OnReset
  template <typename Sample>
  void ProcessEither(Sample** inputs, Sample** outputs, int frames); // [audio]

  TReverb mReverb;
  // Set on the host's thread by program changes while the editor reads it on the main thread.
  TSharedText mCurrentPresetName;
  std::string mIniFileName;
#if QM_PLUGIN_EDITOR
  // The editor's preset strip and about box while it is open; the surface owns them. The about
  // box is known here only as a control to show.
  TPresetControl* mPresetControl = nullptr;
  plug::gfx::IControl* mAboutBox = nullptr;
#endif

  // Parameter values waiting for the audio thread, one bit per parameter in mPendingParams.
  // Colour sets only the filter on the side of its sign, so the last negative colour waits
  // separately (bit kPendingNegativeColor): both filters end as if every change had reached the
  // reverb at once, even when the colour crosses zero between two blocks.
  static constexpr int kPendingNegativeColor = kNumParams;
  std::atomic<double> mPendingValues[kNumParams];
  std::atomic<double> mPendingNegativeColor{0.0};
  std::atomic<uint32_t> mPendingParams{0};
  std::atomic<bool> mTailClearPending{false};

  static_assert(std::atomic<double>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free,
                "the audio thread must not lock");
};

// The effect's parameter indices are the reverb's, and go to TReverb::SetParam unchanged.
static_assert(int{TQuillonMini::kDecay} == int{TReverb::kDecay} && int{TQuillonMini::kWidth} == int{TReverb::kWidth} &&
                  int{TQuillonMini::kColor} == int{TReverb::kColor} && int{TQuillonMini::kMix} == int{TReverb::kMix},
              "the effect's parameter indices must be the reverb's");

} // namespace quillon
