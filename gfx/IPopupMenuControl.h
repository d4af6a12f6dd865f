#pragma once

// The in-editor popup menu: every menu of the editor is shown by this control on Linux, where
// there are no native menus. The surface hands it a menu tree and an anchor rectangle
// (ISurface::DoCreatePopupMenu, or the platform's CreatePlatformPopupMenu, which attaches one on
// demand); it lays out one panel per open level with one cell per item, expands, takes every mouse
// and key event while it is open (ISurface routes them here), and when it collapses it calls the
// chosen menu's completion function and then ISurface::SetControlValueAfterPopupMenu.
//
// Mouse: a press on a selectable cell (not disabled, not a title, not a separator, no submenu)
// chooses it; hovering a cell with a submenu opens that submenu beside it; a press anywhere else
// chooses nothing. Keys: up and down move the highlight over selectable cells, right (or return
// on a submenu) opens a submenu, left closes one, return chooses, escape dismisses.

#include <vector>

#include "gfx/IControl.h"

namespace plug::gfx {

class IPopupMenu;

class IPopupMenuControl : public IControl
{
public:
  enum class EState
  {
    kCollapsed,
    kExpanding,
    kExpanded,
    kCollapsing
  };

  // bounds: where menus may open (empty: the whole editor when the first menu opens). A menu
  // taller than that runs on in further columns; cells are the text's size plus 4 high (at size
  // 11, twenty items fit the 160-point editor in two columns).
  explicit IPopupMenuControl(const IText& text = IText(11.f), const IRECT& bounds = IRECT());

  // Opens menu below the anchor's left edge (or above, or clamped, where it would not fit). The
  // menu must stay alive until the completion has run. A menu without items completes at once
  // with nothing chosen.
  void CreatePopupMenu(IPopupMenu& menu, const IRECT& anchor);
  // Open (or opening): the control takes every mouse and key event. A collapsing menu only fades.
  bool GetExpanded() const { return mState == EState::kExpanding || mState == EState::kExpanded; }
  EState GetState() const { return mState; }
  // The root menu being shown, or null.
  IPopupMenu* GetMenu() const { return mMenu; }
  // The rectangle of item itemIdx of the open panel at depth level (0: the root), in points;
  // empty when there is no such cell. Tests and tools use it to click on items.
  IRECT GetItemBounds(int level, int itemIdx) const;

  void Draw(ISurface& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float /*x*/, float /*y*/, const IMouseMod& /*mod*/) override {}
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override { OnMouseDown(x, y, mod); }
  void OnMouseOver(float x, float y, const IMouseMod& mod) override;
  void OnMouseOut() override;
  void OnMouseWheel(float /*x*/, float /*y*/, const IMouseMod& /*mod*/, float /*delta*/) override {}
  bool OnKeyDown(float x, float y, const IKeyPress& key) override;
  bool IsHit(float /*x*/, float /*y*/) const override { return GetExpanded(); }
  void OnEndAnimation() override;

private:
  struct Panel
  {
    IPopupMenu* menu = nullptr;
    IRECT bounds;             // the whole panel
    std::vector<IRECT> cells; // one per item
    int highlighted = -1;     // item under the pointer or the keyboard's choice
  };

  static constexpr float kSeparatorHeight = 7.f;
  static constexpr float kTextPad = 8.f;
  static constexpr float kMarkWidth = 14.f;  // room for checks and ticks on the left
  static constexpr float kArrowWidth = 12.f; // room for the submenu arrow on the right
  static constexpr int kAnimationMs = 120;

  float CellHeight() const { return mText.mSize + 4.f; }
  void OpenPanel(IPopupMenu& menu, const IRECT& anchor, bool beside);
  void CloseFrom(int level);
  // The panel and item under the point; false when the point is on no cell.
  bool CellAt(float x, float y, int& level, int& itemIdx) const;
  bool Selectable(const Panel& panel, int itemIdx) const;
  void Choose(int level, int itemIdx);
  void Collapse();
  void Complete();
  void MoveHighlight(int step);

  EState mState = EState::kCollapsed;
  IRECT mMaxBounds;
  IPopupMenu* mMenu = nullptr;
  IPopupMenu* mChosenMenu = nullptr; // the menu (root or submenu) in which an item was chosen
  std::vector<Panel> mPanels;
  float mOpacity = 0.f;
};

} // namespace plug::gfx
