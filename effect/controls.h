#pragma once

// The preset strip along the top of the editor, right of the title tab: previous and next arrows,
// the current preset's name (a press lists the presets, the current one ticked) and a service menu
// (restore, modify and rename, load and save presets and banks, about). It reaches the plug-in's
// programs only through the IPresetDelegate it is given.
//
// Menus complete later, through OnPopupMenuSelection; service commands then run from a one-shot
// 40 ms timer, after the menu has closed; file prompts complete later again, on the editor's
// thread, where the file is loaded or saved (a name chosen without ".fxp" or ".fxb" gets it, unless
// a file of that name exists). A file that fails to load or save leaves the presets as they were
// and the editor's notice (ISurface::ShowNotice) says why. The shown name is copied from the
// delegate on the editor's thread whenever its version moved, so program changes that the host
// makes on its own thread show by the next frame. Threads: [main] throughout.

#include <cstdint>
#include <memory>
#include <string>

#include "effect/TControl.h"
#include "gfx/IPopupMenu.h"
#include "plug/core/IPresetDelegate.h"
#include "plug/core/Timer.h"

namespace quillon {

class TPresetControl : public TControl
{
public:
  enum EZone
  {
    kNoZone = -1,
    kPrevZone = 0,
    kNextZone = 1,
    kMenuZone = 2,
    kNameZone = 3,
    kNumZones = 4
  };

  // Value indices under which the two menus complete.
  static constexpr int kPresetMenuIdx = 1;
  static constexpr int kServiceMenuIdx = 2;

  enum EServiceItem
  {
    kRestore = 1,
    kModify = 2,
    kLoadPreset = 3,
    kSavePreset = 4,
    kLoadBank = 5,
    kSaveBank = 6,
    kAbout = 7
  };

  // presets outlives the control.
  TPresetControl(const plug::gfx::IRECT& bounds, const plug::gfx::IText& nameText, const plug::gfx::IText& iconText,
                 plug::IPresetDelegate& presets);
  ~TPresetControl() override;

  void OnMouseDown(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseOver(float x, float y, const plug::gfx::IMouseMod& mod) override;
  void OnMouseOut() override;
  void OnResize() override;
  void OnPopupMenuSelection(plug::gfx::IPopupMenu* menu, int valIdx) override;
  void OnTextEntryCompletion(const char* str, int valIdx) override;
  void Draw(plug::gfx::ISurface& g) override;
  // Also notices a preset name changed by the plug-in since the last frame.
  bool IsDirty() override;

  // The first zone holding the point, or kNoZone.
  int GetZone(float x, float y) const;
  const plug::gfx::IRECT& GetZoneRect(int zone) const { return mZoneRects[zone]; }
  // The name as drawn (refreshed by IsDirty).
  const std::string& GetShownName() const { return mShownName; }
  // Shows text in the editor's notice, below the strip.
  void ShowNotice(const char* text);
  // A file name for the preset to be saved: its name with "/" replaced, "Preset" when empty.
  static std::string ProposedPresetFileName(const std::string& presetName);

private:
  // Copies the delegate's preset name when it changed since the last copy; true when it did.
  bool RefreshShownName();
  void DoPopupPresetMenu();
  void DoPopupServiceMenu();
  void HandlePopupMenu();
  void OnTimer();
  // File commands: prompt, then load or save on completion.
  void PromptLoad(bool bank);
  void PromptSave(bool bank);
  // Says why a file command failed; nothing when it did not.
  void ShowFileNotice(plug::EPresetFileResult result, bool bank);

  plug::IPresetDelegate& mPresets;
  plug::gfx::IText mNameText;
  plug::gfx::IText mIconText;
  plug::gfx::IRECT mZoneRects[kNumZones];
  std::unique_ptr<plug::Timer> mTimer;
  plug::gfx::IPopupMenu mPresetMenu;
  plug::gfx::IPopupMenu mServiceMenu;
  bool mPressed = false;
  int mZone = kNoZone;
  int mMenuResult = -1;

  std::string mShownName;
  uint64_t mShownNameVersion = 0; // the delegate's name version last copied
  // Held by prompt completions, which may outlive the control.
  std::shared_ptr<TPresetControl*> mSelf;
};

} // namespace quillon
