#include "gfx/IPopupMenu.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace plug::gfx {

IPopupMenu::Item::Item(const char* text, int flags, int tag)
  : mText(text ? text : ""),
    mFlags(flags),
    mTag(tag)
{
}

IPopupMenu::Item::Item(const char* text, IPopupMenu* submenu)
  : mText(text ? text : ""),
    mSubmenu(submenu)
{
}

IPopupMenu::IPopupMenu(const char* rootTitle, int prefix, bool multiCheck,
                       const std::initializer_list<const char*>& items)
  : mPrefix(prefix),
    mMultiCheck(multiCheck),
    mRootTitle(rootTitle ? rootTitle : "")
{
  for (const char* text : items)
    AddItem(text);
}

IPopupMenu::IPopupMenu(const char* rootTitle, const std::initializer_list<const char*>& items, IPopupMenuFunction func)
  : IPopupMenu(rootTitle, 0, false, items)
{
  mFunction = std::move(func);
}

IPopupMenu::~IPopupMenu()
{
  Clear();
}

IPopupMenu::Item* IPopupMenu::AddItem(Item* item, int index)
{
  if (!item)
    return nullptr;
  std::unique_ptr<Item> owned(item);
  auto at = mItems.end();
  if (index == kSorted)
    at = std::lower_bound(mItems.begin(), mItems.end(), item, [](const auto& existing, const Item* added) {
      return strcasecmp(existing->GetText(), added->GetText()) < 0;
    });
  else if (index != kAppend)
    at = mItems.begin() + std::clamp(index, 0, NItems());
  mItems.insert(at, std::move(owned));
  return item;
}

IPopupMenu::Item* IPopupMenu::AddItem(const char* text, int index, int flags)
{
  return AddItem(new Item(text, flags), index);
}

IPopupMenu::Item* IPopupMenu::AddItem(const char* text, int index, IPopupMenu* submenu)
{
  if (submenu && mFunction)
    submenu->SetFunction(mFunction);
  return AddItem(new Item(text, submenu), index);
}

IPopupMenu::Item* IPopupMenu::AddItem(const char* text, IPopupMenu* submenu, int index)
{
  return AddItem(text, index, submenu);
}

IPopupMenu::Item* IPopupMenu::AddSeparator(int index)
{
  return AddItem(new Item("", Item::kSeparator), index);
}

void IPopupMenu::RemoveEmptySubmenus()
{
  std::erase_if(mItems, [](const auto& item) { return item->GetSubmenu() && item->GetSubmenu()->NItems() == 0; });
}

IPopupMenu::Item* IPopupMenu::GetItem(int index) const
{
  if (index < 0 || index >= NItems())
    return nullptr;
  return mItems[static_cast<std::size_t>(index)].get();
}

const char* IPopupMenu::GetItemText(int index) const
{
  const Item* item = GetItem(index);
  return item ? item->GetText() : "";
}

std::string IPopupMenu::GetItemDisplayText(int index) const
{
  const Item* item = GetItem(index);
  if (!item)
    return {};
  char number[16] = "";
  if (mPrefix >= 1 && mPrefix <= 3)
    std::snprintf(number, sizeof number, "%0*d: ", mPrefix, index + 1);
  return number + std::string(item->GetText());
}

int IPopupMenu::GetItemIdx(const char* text) const
{
  for (int i = 0; text && i < NItems(); ++i)
    if (std::strcmp(mItems[static_cast<std::size_t>(i)]->GetText(), text) == 0)
      return i;
  return -1;
}

void IPopupMenu::Clear()
{
  mPrefix = 0;
  mMultiCheck = false;
  while (!mItems.empty())
    mItems.pop_back();
}

void IPopupMenu::CheckItem(int index, bool checked)
{
  for (int i = 0; i < NItems(); ++i)
  {
    Item& item = *mItems[static_cast<std::size_t>(i)];
    if (i == index)
      item.SetChecked(checked);
    else if (!mMultiCheck && checked)
      item.SetChecked(false);
  }
}

bool IPopupMenu::IsItemChecked(int index) const
{
  const Item* item = GetItem(index);
  return item && item->GetChecked();
}

void IPopupMenu::SetItemEnabled(int index, bool enabled)
{
  if (Item* item = GetItem(index))
    item->SetEnabled(enabled);
}

void IPopupMenu::ExecFunction()
{
  if (mFunction)
    mFunction(this);
}

} // namespace plug::gfx
