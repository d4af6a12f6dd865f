#include "effect/controls.h"

#include <algorithm>
#include <cctype>

#include <unistd.h>

#include "effect/Palette.h"
#include "gfx/ISurface.h"
#include "gfx/ITextFit.h"
#include "plug/IPluginBase.h"

namespace quillon {

using namespace plug::gfx;

namespace {

constexpr uint32_t kServiceDelayMs = 40;
constexpr float kArrowWidth = 25.f;
constexpr float kNamePadding = 8.f; // room left between a long name and the arrows

constexpr const char* kIconPrev = "\xEF\x80\x83"; // U+F003
constexpr const char* kIconNext = "\xEF\x80\x84"; // U+F004
constexpr const char* kIconMenu = "\xEF\x80\x85"; // U+F005

// The empty area at a rectangle's bottom-left corner, where menus drop down from.
IRECT BottomLeft(const IRECT& r)
{
  return {r.L, r.B, r.L, r.B};
}

// What the notice says of a file command that failed; null for one that did not.
const char* FileNotice(plug::EPresetFileResult result, bool bank)
{
  switch (result)
  {
    case plug::EPresetFileResult::kUnreadable:
      return "Cannot read the file";
    case plug::EPresetFileResult::kNotThisPlugin:
      return bank ? "Not a QuillonMini bank" : "Not a QuillonMini preset";
    case plug::EPresetFileResult::kUnwritable:
      return bank ? "Could not save the bank" : "Could not save the preset";
    case plug::EPresetFileResult::kDone:
      break;
  }
  return nullptr;
}

// The file name a save writes: the chosen one, with the extension appended unless it ends in it
// already (in any letter case), so that the load prompt's filter shows the file.
std::string WithExtension(const std::string& fileName, bool bank)
{
  const std::string extension = bank ? ".fxb" : ".fxp";
  if (fileName.size() >= extension.size())
  {
    std::string ending = fileName.substr(fileName.size() - extension.size());
    std::transform(ending.begin(), ending.end(), ending.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ending == extension)
      return fileName;
  }
  return fileName + extension;
}

} // namespace

TPresetControl::TPresetControl(const IRECT& bounds, const IText& nameText, const IText& iconText,
                               plug::IPresetDelegate& presets)
  : TControl(bounds),
    mPresets(presets),
    mNameText(nameText),
    mIconText(iconText),
    mSelf(std::make_shared<TPresetControl*>(this))
{
  // Quick clicks on the arrows each step: the second of two is a click, not a double click.
  SetMouseDblAsSingleClick(true);
  // The rename field holds what a program's name keeps.
  SetTextEntryLength(plug::IPresetEntry::kMaxNameLength - 1);
}

TPresetControl::~TPresetControl() = default;

void TPresetControl::OnResize()
{
  const IRECT& b = mRECT;
  mZoneRects[kPrevZone] = {b.L, b.T, b.L + kArrowWidth, b.B - 1.f};
  mZoneRects[kNextZone] = {b.R - 2.f * kArrowWidth, b.T, b.R - kArrowWidth, b.B - 1.f};
  mZoneRects[kMenuZone] = {b.R - kArrowWidth, b.T, b.R, b.B - 1.f};
  mZoneRects[kNameZone] = {b.L + kArrowWidth, b.T, b.R - 2.f * kArrowWidth, b.B - 1.f};
}

int TPresetControl::GetZone(float x, float y) const
{
  for (int zone = 0; zone < kNumZones; ++zone)
  {
    if (mZoneRects[zone].Contains(x, y))
      return zone;
  }
  return kNoZone;
}

// ---------------------------------------------------------------------------
// Mouse

void TPresetControl::OnMouseDown(float x, float y, const IMouseMod&)
{
  mPressed = true;
  mZone = GetZone(x, y);
  if (mZone == kNoZone)
    return;
  mDirty = true;
  if (mZone == kNameZone)
    DoPopupPresetMenu();
  else if (mZone == kMenuZone)
    DoPopupServiceMenu();
}

// Steps happen on release, wherever the pointer is then.
void TPresetControl::OnMouseUp(float, float, const IMouseMod&)
{
  mPressed = false;
  mDirty = true;
  const int n = mPresets.NPresets();
  if (n > 0 && (mZone == kPrevZone || mZone == kNextZone))
  {
    const int c = mPresets.GetCurrentPresetIdx();
    mPresets.SetCurrentPreset(mZone == kNextZone ? (c + 1) % n : (c == 0 ? n - 1 : c - 1));
  }
  mZone = kNoZone;
}

void TPresetControl::OnMouseOver(float, float, const IMouseMod&)
{
  GetUI()->SetMouseCursor(ECursor::kHand);
}

void TPresetControl::OnMouseOut()
{
  mZone = kNoZone;
  GetUI()->SetMouseCursor(ECursor::kArrow);
  TControl::OnMouseOut();
  mDirty = true;
}

// ---------------------------------------------------------------------------
// Menus

void TPresetControl::DoPopupPresetMenu()
{
  mPresetMenu.Clear();
  const int current = mPresets.GetCurrentPresetIdx();
  for (int i = 0; i < mPresets.NPresets(); ++i)
  {
    const int flags = i == current ? IPopupMenu::Item::kTicked : IPopupMenu::Item::kNoFlags;
    mPresetMenu.AddItem(new IPopupMenu::Item(mPresets.GetPresetName(i).c_str(), flags, i));
  }
  GetUI()->CreatePopupMenu(*this, mPresetMenu, BottomLeft(mZoneRects[kNameZone]), kPresetMenuIdx);
}

void TPresetControl::DoPopupServiceMenu()
{
  mServiceMenu.Clear();
  const auto add = [this](const char* text, int tag) {
    mServiceMenu.AddItem(new IPopupMenu::Item(text, IPopupMenu::Item::kNoFlags, tag));
  };
  add("Restore Preset", kRestore);
  add("Modify Preset", kModify);
  mServiceMenu.AddSeparator();
  add("Load Preset...", kLoadPreset);
  add("Save Preset...", kSavePreset);
  add("Load Bank...", kLoadBank);
  add("Save Bank...", kSaveBank);
  mServiceMenu.AddSeparator();
  add("About...", kAbout);
  GetUI()->CreatePopupMenu(*this, mServiceMenu, BottomLeft(mZoneRects[kMenuZone]), kServiceMenuIdx);
}

void TPresetControl::OnPopupMenuSelection(IPopupMenu* menu, int valIdx)
{
  mMenuResult = -1;
  mPressed = false;
  mDirty = true;
  const IPopupMenu::Item* item = menu ? menu->GetChosenItem() : nullptr;
  if (!item)
    return;
  mMenuResult = item->GetTag();
  if (valIdx == kPresetMenuIdx)
  {
    mPresets.SetCurrentPreset(mMenuResult);
  }
  else if (valIdx == kServiceMenuIdx)
  {
    // The command runs after the menu has finished closing.
    mTimer = plug::Timer::Create([this](plug::Timer&) { OnTimer(); }, kServiceDelayMs);
  }
}

void TPresetControl::OnTimer()
{
  mTimer.reset();
  HandlePopupMenu();
}

void TPresetControl::HandlePopupMenu()
{
  const int command = mMenuResult;
  mMenuResult = -1;
  switch (command)
  {
    case kRestore:
      mPresets.RestoreCurrentPreset();
      break;
    case kModify:
      GetUI()->CreateTextEntry(*this, mNameText, mZoneRects[kNameZone], mPresets.GetCurrentPresetName().c_str(), 0);
      break;
    case kLoadPreset:
      PromptLoad(false);
      break;
    case kSavePreset:
      PromptSave(false);
      break;
    case kLoadBank:
      PromptLoad(true);
      break;
    case kSaveBank:
      PromptSave(true);
      break;
    case kAbout:
      mPresets.ShowAboutBox();
      break;
    default:
      break;
  }
}

void TPresetControl::OnTextEntryCompletion(const char* str, int)
{
  mPresets.ModifyThisPreset(str);
  mDirty = true;
}

// ---------------------------------------------------------------------------
// Files

std::string TPresetControl::ProposedPresetFileName(const std::string& presetName)
{
  std::string name = presetName;
  std::replace(name.begin(), name.end(), '/', '-');
  if (name.empty() || name.front() == '.')
    name.insert(0, "Preset");
  return name + ".fxp";
}

void TPresetControl::PromptLoad(bool bank)
{
  std::weak_ptr<TPresetControl*> self = mSelf;
  GetUI()->PromptForFile(
      EFileAction::kOpen, "", "", bank ? "fxb" : "fxp", [self, bank](const std::string& fileName, const std::string&) {
        const auto control = self.lock();
        if (fileName.empty() || !control)
          return;
        plug::IPresetDelegate& presets = (*control)->mPresets;
        (*control)->ShowFileNotice(
            bank ? presets.LoadBankFile(fileName.c_str()) : presets.LoadProgramFile(fileName.c_str()), bank);
      });
}

void TPresetControl::PromptSave(bool bank)
{
  const std::string proposed =
      bank ? std::string("NewBank.fxb") : ProposedPresetFileName(mPresets.GetCurrentPresetName());
  std::weak_ptr<TPresetControl*> self = mSelf;
  GetUI()->PromptForFile(EFileAction::kSave, proposed.c_str(), "", bank ? "fxb" : "fxp",
                         [self, bank](const std::string& fileName, const std::string&) {
                           const auto control = self.lock();
                           if (fileName.empty() || !control)
                             return;
                           // The dialog asked before replacing the name chosen, not the one with the
                           // extension appended: such a file is left alone.
                           const std::string path = WithExtension(fileName, bank);
                           if (path != fileName && access(path.c_str(), F_OK) == 0)
                           {
                             (*control)->ShowNotice("A file of that name exists");
                             return;
                           }
                           plug::IPresetDelegate& presets = (*control)->mPresets;
                           (*control)->ShowFileNotice(
                               bank ? presets.SaveBankFile(path.c_str()) : presets.SaveProgramFile(path.c_str()), bank);
                         });
}

void TPresetControl::ShowFileNotice(plug::EPresetFileResult result, bool bank)
{
  if (const char* notice = FileNotice(result, bank))
    ShowNotice(notice);
}

void TPresetControl::ShowNotice(const char* text)
{
  GetUI()->ShowNotice(text);
}

// ---------------------------------------------------------------------------
// Drawing

bool TPresetControl::RefreshShownName()
{
  const uint64_t version = mPresets.GetPresetNameVersion();
  if (version == mShownNameVersion)
    return false;
  // The version is read before the name: a change in between shows at the next check.
  mShownNameVersion = version;
  mShownName = mPresets.GetCurrentPresetName();
  return true;
}

bool TPresetControl::IsDirty()
{
  if (RefreshShownName())
    mDirty = true;
  return TControl::IsDirty();
}

void TPresetControl::Draw(ISurface& g)
{
  RefreshShownName();
  if (mPressed && mZone >= kPrevZone && mZone <= kMenuZone)
    g.FillRect(COLOR_LIGHT_LINE, mZoneRects[mZone]);
  g.DrawText(mIconText, kIconPrev, mZoneRects[kPrevZone]);
  g.DrawText(mIconText, kIconNext, mZoneRects[kNextZone]);
  g.DrawText(mIconText, kIconMenu, mZoneRects[kMenuZone]);
  // Long names end in an ellipsis rather than running under the arrows.
  const IRECT& zone = mZoneRects[kNameZone];
  g.DrawText(mNameText, EllipsizedToWidth(g, mNameText, mShownName, zone.W() - kNamePadding).c_str(), zone);
}

} // namespace quillon
