#pragma once

// A menu, or a submenu, as the editor hands it to the menu control: items in display order, each
// with flags, a caller's tag and an owned submenu. Choosing sets the chosen index of the menu that
// holds the item (-1 means nothing chosen) and, when that menu has one, runs its completion
// function. Whoever builds a menu owns it and keeps it alive until the choice has been handled.
//
// Threads: [main] throughout.

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace plug::gfx {

class IPopupMenu;
using IPopupMenuFunction = std::function<void(IPopupMenu* menu)>;

class IPopupMenu
{
public:
  // Where AddItem puts a new item besides a plain index.
  static constexpr int kAppend = -1;
  static constexpr int kSorted = -2; // before the first item whose text is not less, ignoring case

  class Item
  {
  public:
    enum EFlags
    {
      kNoFlags = 0,
      kDisabled = 0x01,
      kTitle = 0x02,
      kChecked = 0x04,
      kSeparator = 0x08,
      kTicked = 0x10
    };

    explicit Item(const char* text, int flags = kNoFlags, int tag = -1);
    // Takes ownership of the submenu.
    Item(const char* text, IPopupMenu* submenu);
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    const char* GetText() const { return mText.c_str(); }
    void SetText(const char* text) { mText = text ? text : ""; }
    IPopupMenu* GetSubmenu() const { return mSubmenu.get(); }
    // Takes ownership; the previous submenu is deleted.
    void SetSubmenu(IPopupMenu* submenu) { mSubmenu.reset(submenu); }
    int GetFlags() const { return mFlags; }
    void SetFlags(int flags) { mFlags = flags; }
    int GetTag() const { return mTag; }
    void SetTag(int tag) { mTag = tag; }

    bool GetEnabled() const { return !(mFlags & kDisabled); }
    bool GetChecked() const { return mFlags & kChecked; }
    bool GetTicked() const { return mFlags & kTicked; }
    bool GetIsTitle() const { return mFlags & kTitle; }
    bool GetIsSeparator() const { return mFlags & kSeparator; }
    // A plain item the user can pick: enabled, neither title nor separator, without submenu.
    bool GetIsChoosable() const { return GetEnabled() && !GetIsTitle() && !GetIsSeparator() && !mSubmenu; }
    void SetEnabled(bool enabled) { SetFlag(kDisabled, !enabled); }
    void SetChecked(bool checked) { SetFlag(kChecked, checked); }
    void SetTicked(bool ticked) { SetFlag(kTicked, ticked); }
    void SetTitle(bool title) { SetFlag(kTitle, title); }

  private:
    void SetFlag(int flag, bool on) { mFlags = on ? (mFlags | flag) : (mFlags & ~flag); }

    std::string mText;
    std::unique_ptr<IPopupMenu> mSubmenu;
    int mFlags = kNoFlags;
    int mTag = -1;
  };

  // prefix numbers the item texts: 0 none, 1 "1: ", 2 "01: ", 3 "001: ".
  explicit IPopupMenu(const char* rootTitle = "", int prefix = 0, bool multiCheck = false,
                      const std::initializer_list<const char*>& items = {});
  IPopupMenu(const char* rootTitle, const std::initializer_list<const char*>& items, IPopupMenuFunction func);
  // Deletes the items from the last to the first, each with its submenu.
  ~IPopupMenu();
  IPopupMenu(const IPopupMenu&) = delete;
  IPopupMenu& operator=(const IPopupMenu&) = delete;

  // Takes ownership and inserts at index (kAppend, kSorted, or a position: other negative values
  // count as 0, values past the end append). A null item is refused (null returned).
  Item* AddItem(Item* item, int index = kAppend);
  Item* AddItem(const char* text, int index = kAppend, int flags = Item::kNoFlags);
  // The item owns the submenu, which receives a copy of this menu's completion function.
  Item* AddItem(const char* text, int index, IPopupMenu* submenu);
  Item* AddItem(const char* text, IPopupMenu* submenu, int index = kAppend);
  Item* AddSeparator(int index = kAppend);
  // Takes out (and deletes) every item of this menu, not of its submenus, whose submenu is empty.
  void RemoveEmptySubmenus();

  int NItems() const { return static_cast<int>(mItems.size()); }
  // Null outside the list.
  Item* GetItem(int index) const;
  // "" outside the list.
  const char* GetItemText(int index) const;
  // The item's text as shown: with this menu's number in front when a prefix is set.
  std::string GetItemDisplayText(int index) const;
  // The first item with that text, or -1.
  int GetItemIdx(const char* text) const;

  // Prefix 0, multi-check off, every item deleted; the title, function and choice stay.
  void Clear();

  int GetPrefix() const { return mPrefix; }
  void SetPrefix(int prefix) { mPrefix = prefix; }
  bool GetMultiCheck() const { return mMultiCheck; }
  void SetMultiCheck(bool multiCheck) { mMultiCheck = multiCheck; }
  const char* GetRootTitle() const { return mRootTitle.c_str(); }
  void SetRootTitle(const char* title) { mRootTitle = title ? title : ""; }

  int GetChosenItemIdx() const { return mChosenItemIdx; }
  void SetChosenItemIdx(int index) { mChosenItemIdx = index; }
  // Null when nothing is chosen.
  Item* GetChosenItem() const { return GetItem(mChosenItemIdx); }

  // Checks one item; without multi-check every other item is unchecked.
  void CheckItem(int index, bool checked);
  bool IsItemChecked(int index) const;
  void SetItemEnabled(int index, bool enabled);

  const IPopupMenuFunction& GetFunction() const { return mFunction; }
  void SetFunction(IPopupMenuFunction func) { mFunction = std::move(func); }
  // Runs the completion function, if any, with this menu.
  void ExecFunction();

private:
  int mPrefix = 0;
  int mChosenItemIdx = -1;
  bool mMultiCheck = false;
  std::vector<std::unique_ptr<Item>> mItems;
  IPopupMenuFunction mFunction;
  std::string mRootTitle;
};

} // namespace plug::gfx
