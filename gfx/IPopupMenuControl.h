#pragma once

// The in-editor popup menu: every menu of the editor is shown by this control on Linux, where
// there are no native menus. The surface hands it a menu tree and an anchor rectangle
// (ISurface::DoCreatePopupMenu, or the platform's CreatePlatformPopupMenu, which attaches one with
// the default look on demand); it lays out one panel per open level with one cell per item,
// expands, takes every mouse and key event while it is open (ISurface routes them here), and when
// it collapses it calls the chosen menu's completion function and then
// ISurface::SetControlValueAfterPopupMenu.
//
// Every panel lies inside the control's bounds, laid out from the measured widths of its texts: in
// the style's text size when that fits, else in as many columns as it takes and, where they do not
// fit across, in smaller type down to the style's smallest size. A list that does not fit even then
// runs in one column that scrolls (the wheel, the arrow rows at its ends, the keys); a text wider
// than the bounds on its own ends in an ellipsis. So no panel is ever cut by the editor's edges.
//
// Mouse: a press on a selectable cell (not disabled, not a title, not a separator, no submenu)
// chooses it; hovering a cell with a submenu opens that submenu beside it; a press anywhere else
// chooses nothing. Keys: up and down move the highlight over selectable cells, right (or return
// on a submenu) opens a submenu, left closes one, return chooses, escape dismisses.

#include <string>
#include <vector>

#include "gfx/IControl.h"
#include "gfx/IPopupStyle.h"

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

  // bounds: where menus may open (empty: the whole editor when the first menu opens).
  explicit IPopupMenuControl(const IPopupStyle& style = IPopupStyle(), const IRECT& bounds = IRECT());

  // Opens menu below the anchor's left edge (or above, or moved in, where it would not fit). The
  // menu must stay alive until the completion has run. A menu without items completes at once
  // with nothing chosen.
  void CreatePopupMenu(IPopupMenu& menu, const IRECT& anchor);
  // Open (or opening): the control takes every mouse and key event. A collapsing menu only fades.
  bool GetExpanded() const { return mState == EState::kExpanding || mState == EState::kExpanded; }
  EState GetState() const { return mState; }
  // The root menu being shown, or null.
  IPopupMenu* GetMenu() const { return mMenu; }
  const IPopupStyle& GetStyle() const { return mStyle; }
  // The rectangle of item itemIdx of the open panel at depth level (0: the root), in points;
  // empty when there is no such cell or it is scrolled out of view. Tests and tools use it to
  // click on items.
  IRECT GetItemBounds(int level, int itemIdx) const;
  // The open panel at depth level: its rectangle (empty when there is none), the size its texts
  // are drawn at, an item's text as drawn, and whether it scrolls.
  IRECT GetPanelBounds(int level) const;
  float GetTextSize(int level) const;
  std::string GetItemText(int level, int itemIdx) const;
  bool GetScrolls(int level) const;

  void Draw(ISurface& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float /*x*/, float /*y*/, const IMouseMod& /*mod*/) override {}
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override { OnMouseDown(x, y, mod); }
  void OnMouseOver(float x, float y, const IMouseMod& mod) override;
  void OnMouseOut() override;
  // Scrolls the panel under the pointer when it scrolls.
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta) override;
  bool OnKeyDown(float x, float y, const IKeyPress& key) override;
  bool IsHit(float /*x*/, float /*y*/) const override { return GetExpanded(); }
  void OnEndAnimation() override;

private:
  struct Panel
  {
    IPopupMenu* menu = nullptr;
    IRECT bounds;                   // the whole panel
    std::vector<IRECT> cells;       // one per item; empty for items scrolled out of view
    std::vector<std::string> texts; // one per item, as drawn
    int highlighted = -1;           // item under the pointer or the keyboard's choice
    float textSize = 0.f;
    float columnWidth = 0.f;
    int rows = 0; // items per column
    bool scrolls = false;
    int firstItem = 0; // the first item shown by a scrolling panel
    IRECT scrollUp;    // a scrolling panel's arrow rows
    IRECT scrollDown;
  };

  static constexpr int kAnimationMs = 120;

  // Where panels may lie: the bounds, less room for the shadow.
  IRECT Room() const;
  // Text size, columns and column width of a panel for menu; its size in width and height.
  void LayOut(Panel& panel, float& width, float& height) const;
  // The cells (and arrow rows) of a placed panel, for its first shown item.
  void PlaceCells(Panel& panel) const;
  void OpenPanel(IPopupMenu& menu, const IRECT& anchor, bool beside);
  void CloseFrom(int level);
  // The panel and item under the point; false when the point is on no cell.
  bool CellAt(float x, float y, int& level, int& itemIdx) const;
  bool Selectable(const Panel& panel, int itemIdx) const;
  void Choose(int level, int itemIdx);
  void Collapse();
  void Complete();
  void MoveHighlight(int step);
  // Moves a scrolling panel's first shown item by step (clamped); closes its submenus.
  void Scroll(int level, int step);
  // The items a scrolling panel shows from its first one on.
  int ShownItems(const Panel& panel) const;
  void DrawPanel(ISurface& g, const Panel& panel, const IBlend& blend);

  IPopupStyle mStyle;
  EState mState = EState::kCollapsed;
  IRECT mMaxBounds;
  IPopupMenu* mMenu = nullptr;
  IPopupMenu* mChosenMenu = nullptr; // the menu (root or submenu) in which an item was chosen
  std::vector<Panel> mPanels;
  float mOpacity = 0.f;
};

} // namespace plug::gfx
