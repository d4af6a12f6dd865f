#pragma once

#include <string>
#include <vector>

#include "gfx/IControl.h"
#include "gfx/IPopupMenu.h"

namespace plug::gfx {

// A menu of the files with one extension found under one or more folders: subfolders become
// submenus, hidden entries (".name") are skipped, and each level is sorted ignoring case. Each
// file's item carries, as its tag, the index of the file's path (GetItemPath).
class IDirBrowseControlBase : public IControl
{
public:
  // extension without the dot ("fxp"); showFileExtensions keeps it in the item texts.
  IDirBrowseControlBase(const IRECT& bounds, const char* extension, bool showFileExtensions = false);

  // A folder to scan, shown as label when there are several.
  void AddPath(const char* path, const char* label);
  // Rebuilds the menu from the folders (one submenu per folder when there are several) and the
  // flat list of its files.
  void SetupMenu();

  IPopupMenu& GetMenu() { return mMainMenu; }
  int NItems() const { return static_cast<int>(mItems.size()); }
  // The files' items in menu order, depth first.
  IPopupMenu::Item* GetItem(int idx) const;
  // The path of the file an item stands for; "" for anything else.
  std::string GetItemPath(const IPopupMenu::Item* item) const;

protected:
  void ScanDirectory(const std::string& path, IPopupMenu& menu);
  void CollectSortedItems(const IPopupMenu& menu);

  std::vector<std::string> mPaths;
  std::vector<std::string> mPathLabels;
  std::vector<std::string> mFiles;
  std::vector<IPopupMenu::Item*> mItems; // owned by the menu
  std::string mExtension;
  bool mShowFileExtensions;
  IPopupMenu mMainMenu;
};

} // namespace plug::gfx
