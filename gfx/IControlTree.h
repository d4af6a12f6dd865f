#pragma once

// The editor's controls, owned by the surface through this tree: the ordered list that the
// layout fills, and the special controls that live outside it (the performance display, the
// corner resizer, the text entry, the in-editor menu, the notice) and the value bubbles.
//
// Order carries meaning. The list is hit-tested from its end (a control attached later lies on
// top) and index 0 is the background. Every walk over all controls, for drawing, animation,
// dirtiness and the surface's broadcasts, takes the list, then the special controls in the order
// above, then the bubbles, so that these paint over the list.
//
// The tree only holds and finds: the surface links a control to itself before handing it over,
// and drops its other references to a control (capture, mouse-over, a pending menu or text entry)
// before taking one out. A walk re-reads the count at every step, so a control may add or remove
// controls from inside it.
//
// Threads: the editor's thread only ([main]).

#include <memory>
#include <string>
#include <vector>

namespace plug::gfx {

class IControl;
class ICornerResizerControl;
class IPopupMenuControl;
class INoticeControl;
class ITextEntryControl;
class IFPSDisplayControl;
class IBubbleControl;

class IControlTree
{
public:
  IControlTree();
  // As Clear.
  ~IControlTree();
  IControlTree(const IControlTree&) = delete;
  IControlTree& operator=(const IControlTree&) = delete;

  // --- The list ---

  // Takes ownership and appends; a null control is ignored.
  void Append(IControl* control);
  // Takes ownership and inserts at index 0, in front of the others.
  void Prepend(IControl* control);
  // Takes the first control with that tag out of the list without deleting it; null when none.
  IControl* ReleaseWithTag(int tag);
  // Deletes the control when it is listed; false otherwise.
  bool Erase(const IControl* control);
  // Deletes every control: the special ones first (menu, notice, text entry, corner resizer,
  // performance display), then the bubbles and the list, each from its last to its first.
  void Clear();

  int NControls() const { return static_cast<int>(mControls.size()); }
  // Null outside the list.
  IControl* Get(int idx) const;
  // The first in list order; null when none has it.
  IControl* GetWithTag(int tag) const;
  // -1 when the control is not listed (a special control, a bubble, or none).
  int IndexOf(const IControl* control) const;

  // --- Special controls: one of each kind ---

  // Each takes ownership and returns the control, or deletes it and returns null when one of its
  // kind is there already.
  ICornerResizerControl* SetCornerResizer(std::unique_ptr<ICornerResizerControl> control);
  IPopupMenuControl* SetPopupMenu(std::unique_ptr<IPopupMenuControl> control);
  INoticeControl* SetNotice(std::unique_ptr<INoticeControl> control);
  ITextEntryControl* SetTextEntry(std::unique_ptr<ITextEntryControl> control);
  IFPSDisplayControl* SetPerfDisplay(std::unique_ptr<IFPSDisplayControl> control);
  // Deletes the performance display.
  void ErasePerfDisplay();
  // Bubbles may be several; a null one is ignored.
  IBubbleControl* AddBubble(std::unique_ptr<IBubbleControl> control);

  ICornerResizerControl* GetCornerResizer() const { return mCornerResizer.get(); }
  IPopupMenuControl* GetPopupMenu() const { return mPopupMenu.get(); }
  INoticeControl* GetNotice() const { return mNotice.get(); }
  ITextEntryControl* GetTextEntry() const { return mTextEntry.get(); }
  IFPSDisplayControl* GetPerfDisplay() const { return mPerfDisplay.get(); }
  // The first bubble; null when there is none.
  IBubbleControl* GetBubble() const { return mBubbles.empty() ? nullptr : mBubbles.front().get(); }

  // --- Walks ---

  // Every control, listed or not, in the order of the opening comment; GetAny(i) is null for i
  // outside 0 .. NAll() - 1.
  int NAll() const;
  IControl* GetAny(int i) const;
  template <typename Func>
  void ForAll(Func&& func) const
  {
    for (int i = 0; i < NAll(); ++i)
      func(GetAny(i));
  }
  // The listed controls only, in list order.
  template <typename Func>
  void ForListed(Func&& func) const
  {
    for (int i = 0; i < NControls(); ++i)
      func(Get(i));
  }
  // The listed controls with a value bound to the parameter, in list order.
  template <typename Func>
  void ForParam(int paramIdx, Func&& func) const
  {
    for (int i = 0; i < NControls(); ++i)
      if (LinkedToParam(*Get(i), paramIdx))
        func(Get(i));
  }
  // The listed controls whose group is the non-empty group, in list order.
  template <typename Func>
  void ForGroup(const char* group, Func&& func) const
  {
    for (int i = 0; group && *group && i < NControls(); ++i)
      if (GroupIs(*Get(i), group))
        func(Get(i));
  }

private:
  static bool LinkedToParam(const IControl& control, int paramIdx);
  static bool GroupIs(const IControl& control, const char* group);

  std::vector<std::unique_ptr<IControl>> mControls;
  std::unique_ptr<IFPSDisplayControl> mPerfDisplay;
  std::unique_ptr<ICornerResizerControl> mCornerResizer;
  std::unique_ptr<ITextEntryControl> mTextEntry;
  std::unique_ptr<IPopupMenuControl> mPopupMenu;
  std::unique_ptr<INoticeControl> mNotice;
  std::vector<std::unique_ptr<IBubbleControl>> mBubbles;
};

} // namespace plug::gfx
