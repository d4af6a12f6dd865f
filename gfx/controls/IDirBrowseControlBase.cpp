#include "gfx/controls/IDirBrowseControlBase.h"

#include <filesystem>

namespace plug::gfx {

IDirBrowseControlBase::IDirBrowseControlBase(const IRECT& bounds, const char* extension, bool showFileExtensions)
  : IControl(bounds),
    mExtension(extension ? extension : ""),
    mShowFileExtensions(showFileExtensions)
{
}

void IDirBrowseControlBase::AddPath(const char* path, const char* label)
{
  mPaths.emplace_back(path ? path : "");
  mPathLabels.emplace_back(label ? label : "");
}

void IDirBrowseControlBase::SetupMenu()
{
  mFiles.clear();
  mItems.clear();
  mMainMenu.Clear();
  if (mPaths.size() == 1)
    ScanDirectory(mPaths.front(), mMainMenu);
  else
    for (std::size_t i = 0; i < mPaths.size(); ++i)
    {
      auto* submenu = new IPopupMenu(mPathLabels[i].c_str());
      ScanDirectory(mPaths[i], *submenu);
      mMainMenu.AddItem(mPathLabels[i].c_str(), submenu);
    }
  CollectSortedItems(mMainMenu);
}

// A folder that cannot be read adds nothing.
void IDirBrowseControlBase::ScanDirectory(const std::string& path, IPopupMenu& menu)
{
  namespace fs = std::filesystem;
  std::error_code error;
  const std::string suffix = "." + mExtension;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
  {
    const std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.')
      continue;
    if (it->is_directory(error))
    {
      auto* submenu = new IPopupMenu(name.c_str());
      ScanDirectory(it->path().string(), *submenu);
      menu.AddItem(name.c_str(), submenu, IPopupMenu::kSorted);
    }
    else if (name.size() > suffix.size() && name.ends_with(suffix))
    {
      const std::string text = mShowFileExtensions ? name : name.substr(0, name.size() - suffix.size());
      auto* item = new IPopupMenu::Item(text.c_str(), IPopupMenu::Item::kNoFlags, static_cast<int>(mFiles.size()));
      mFiles.push_back(it->path().string());
      menu.AddItem(item, IPopupMenu::kSorted);
    }
  }
}

void IDirBrowseControlBase::CollectSortedItems(const IPopupMenu& menu)
{
  for (int i = 0; i < menu.NItems(); ++i)
  {
    IPopupMenu::Item* item = menu.GetItem(i);
    if (item->GetSubmenu())
      CollectSortedItems(*item->GetSubmenu());
    else
      mItems.push_back(item);
  }
}

IPopupMenu::Item* IDirBrowseControlBase::GetItem(int idx) const
{
  return idx >= 0 && idx < NItems() ? mItems[static_cast<std::size_t>(idx)] : nullptr;
}

std::string IDirBrowseControlBase::GetItemPath(const IPopupMenu::Item* item) const
{
  if (!item || item->GetTag() < 0 || item->GetTag() >= static_cast<int>(mFiles.size()))
    return {};
  return mFiles[static_cast<std::size_t>(item->GetTag())];
}

} // namespace plug::gfx
