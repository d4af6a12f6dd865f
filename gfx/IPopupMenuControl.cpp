#include "gfx/IPopupMenuControl.h"

#include <algorithm>
#include <cmath>

#include "gfx/IPopupMenu.h"
#include "gfx/ISurface.h"
#include "gfx/ITextFit.h"

namespace plug::gfx {

namespace {

constexpr float kPanelPad = 2.f; // above the first cell and below the last one
constexpr float kSeparatorHeight = 7.f;
constexpr float kSizeStep = 0.5f; // the steps in which type gets smaller until a panel fits
constexpr float kShadowX = 2.f;
constexpr float kShadowY = 3.f;
constexpr float kAnchorGap = 4.f; // between the anchor's top and a menu opened below it

// Cell metrics grow with the text size (the values at size 14 in brackets).
float CellHeight(float size)
{
  return size + 4.f; // (18)
}
float TextPad(float size)
{
  return 0.6f * size; // (8.4) each side of the text
}
float MarkWidth(float size)
{
  return size; // (14) checks and ticks, left of the text
}
float ArrowWidth(float size)
{
  return 0.85f * size; // (11.9) the submenu arrow, right of the text
}
float ScrollRowHeight(float size)
{
  return 0.8f * CellHeight(size);
}

float ItemHeight(const IPopupMenu& menu, int i, float size)
{
  return menu.GetItem(i)->GetIsSeparator() ? kSeparatorHeight : CellHeight(size);
}

// The height of a panel whose columns hold rows items each.
float GridHeight(const IPopupMenu& menu, float size, int rows)
{
  float tallest = 0.f, column = 0.f;
  for (int i = 0; i < menu.NItems(); ++i)
  {
    if (i % rows == 0)
      column = 0.f;
    column += ItemHeight(menu, i, size);
    tallest = std::max(tallest, column);
  }
  return tallest + 2.f * kPanelPad;
}

} // namespace

IPopupMenuControl::IPopupMenuControl(const IPopupStyle& style, const IRECT& bounds)
  : IControl(IRECT()),
    mStyle(style),
    mMaxBounds(bounds)
{
  mText = style.text.WithAlign(EAlign::kNear).WithVAlign(EVAlign::kMiddle);
  mHide = true;
}

void IPopupMenuControl::CreatePopupMenu(IPopupMenu& menu, const IRECT& anchor)
{
  ISurface* ui = GetUI();
  mMenu = &menu;
  mChosenMenu = nullptr;
  mPanels.clear();
  menu.SetChosenItemIdx(-1);
  if (!ui || menu.NItems() == 0)
  {
    Collapse();
    return;
  }
  if (mMaxBounds.Empty())
    mMaxBounds = ui->GetBounds();
  OpenPanel(menu, anchor, false);
  SetTargetAndDrawRECTs(mMaxBounds);
  Hide(false);
  mState = EState::kExpanding;
  mOpacity = 0.f;
  SetAnimation(
      [](IControl* c) {
        auto* self = static_cast<IPopupMenuControl*>(c);
        const double p = c->GetAnimationProgress();
        self->mOpacity = static_cast<float>(std::min(1.0, p));
        if (p > 1.0)
        {
          self->mState = EState::kExpanded;
          c->OnEndAnimation();
        }
      },
      kAnimationMs);
}

// --- Layout ---

IRECT IPopupMenuControl::Room() const
{
  const bool shadow = mStyle.shadow.A > 0;
  return mMaxBounds.GetPadded(0.f, 0.f, shadow ? -kShadowX : 0.f, shadow ? -kShadowY : 0.f);
}

void IPopupMenuControl::LayOut(Panel& panel, float& width, float& height) const
{
  const IPopupMenu& menu = *panel.menu;
  const int n = menu.NItems();
  const IRECT room = Room();
  bool anySubmenu = false;
  for (int i = 0; i < n; ++i)
    anySubmenu = anySubmenu || menu.GetItem(i)->GetSubmenu() != nullptr;
  const auto decoration = [anySubmenu](float size) {
    return MarkWidth(size) + 2.f * TextPad(size) + (anySubmenu ? ArrowWidth(size) : 0.f);
  };
  const auto columnWidth = [&](float size) {
    const IText style = mStyle.text.WithSize(size);
    float widest = 0.f;
    for (int i = 0; i < n; ++i)
    {
      IRECT r;
      if (!menu.GetItem(i)->GetIsSeparator())
        widest = std::max(widest, GetUI()->MeasureText(style, menu.GetItemDisplayText(i).c_str(), r));
    }
    return std::ceil(widest + decoration(size));
  };

  // The fewest columns that fit, in the largest type they fit in: one column while it can be
  // done, so that a menu keeps its order and its separators read as they are meant.
  const float minSize = std::min(mStyle.minTextSize, mStyle.text.mSize);
  const int nSizes = 1 + static_cast<int>((mStyle.text.mSize - minSize) / kSizeStep + 0.001f);
  const auto sizeAt = [&](int step) { return std::max(minSize, mStyle.text.mSize - float(step) * kSizeStep); };
  std::vector<float> widths(static_cast<std::size_t>(nSizes), 0.f); // column widths, measured when needed
  const auto widthAt = [&](int step) {
    float& w = widths[static_cast<std::size_t>(step)];
    if (w == 0.f)
      w = columnWidth(sizeAt(step));
    return w;
  };
  bool fits = false;
  for (int columns = 1; columns <= n && !fits; ++columns)
  {
    panel.rows = (n + columns - 1) / columns;
    if (columns > 1 && (n + columns - 2) / (columns - 1) == panel.rows)
      continue; // the same rows as one column fewer, and an empty column
    if (float(columns) * widthAt(nSizes - 1) > room.W())
      break;                                           // more columns are only wider
    for (int step = 0; step < nSizes && !fits; ++step) // smaller type is both shorter and narrower
    {
      height = GridHeight(menu, sizeAt(step), panel.rows);
      if (height > room.H())
        continue; // widths are measured only for sizes whose rows fit
      width = float(columns) * widthAt(step);
      fits = width <= room.W();
      panel.textSize = sizeAt(step);
      panel.columnWidth = widthAt(step);
    }
  }
  if (!fits)
  {
    // Even the smallest type does not fit: as many columns as fit across, texts too wide on their
    // own cut; a list still too tall scrolls in one column.
    panel.textSize = minSize;
    panel.columnWidth = std::min(widthAt(nSizes - 1), std::floor(room.W()));
    const int across = std::max(1, static_cast<int>(room.W() / panel.columnWidth));
    panel.rows = (n + across - 1) / across;
    height = GridHeight(menu, panel.textSize, panel.rows);
    width = float((n + panel.rows - 1) / panel.rows) * panel.columnWidth;
    if (height > room.H())
    {
      panel.rows = n;
      panel.scrolls = true;
      height = room.H();
      width = panel.columnWidth;
    }
  }
  const IText style = mStyle.text.WithSize(panel.textSize);
  const float textRoom = panel.columnWidth - decoration(panel.textSize);
  panel.texts.clear();
  for (int i = 0; i < n; ++i)
    panel.texts.push_back(EllipsizedToWidth(*GetUI(), style, menu.GetItemDisplayText(i), textRoom));
}

void IPopupMenuControl::PlaceCells(Panel& panel) const
{
  const IPopupMenu& menu = *panel.menu;
  const float size = panel.textSize;
  panel.cells.assign(static_cast<std::size_t>(menu.NItems()), IRECT());
  const IRECT& b = panel.bounds;
  float top = b.T + kPanelPad;
  float bottom = b.B - kPanelPad;
  if (panel.scrolls)
  {
    panel.scrollUp = {b.L + 1.f, top, b.R - 1.f, top + ScrollRowHeight(size)};
    panel.scrollDown = {b.L + 1.f, bottom - ScrollRowHeight(size), b.R - 1.f, bottom};
    top = panel.scrollUp.B;
    bottom = panel.scrollDown.T;
  }
  for (int i = panel.firstItem; i < menu.NItems(); ++i)
  {
    const int row = i % panel.rows;
    if (row == 0)
      top = b.T + kPanelPad + (panel.scrolls ? panel.scrollUp.H() : 0.f);
    const float h = ItemHeight(menu, i, size);
    if (top + h > bottom + 0.001f)
      break; // a scrolling panel's end
    const float left = b.L + float(i / panel.rows) * panel.columnWidth;
    panel.cells[static_cast<std::size_t>(i)] = {left + 1.f, top, left + panel.columnWidth - 1.f, top + h};
    top += h;
  }
}

void IPopupMenuControl::OpenPanel(IPopupMenu& menu, const IRECT& anchor, bool beside)
{
  Panel panel;
  panel.menu = &menu;
  float width = 0.f, height = 0.f;
  LayOut(panel, width, height);

  const IRECT room = Room();
  float x = beside ? anchor.R : anchor.L;
  float y = beside ? anchor.T - kPanelPad : anchor.T + kAnchorGap;
  if (x + width > room.R)
    x = beside ? anchor.L - width : room.R - width;
  if (y + height > room.B)
    y = room.B - height;
  x = std::max(x, room.L);
  y = std::max(y, room.T);
  panel.bounds = IRECT::MakeXYWH(x, y, width, height);
  PlaceCells(panel);
  mPanels.push_back(std::move(panel));
}

int IPopupMenuControl::ShownItems(const Panel& panel) const
{
  return static_cast<int>(
      std::count_if(panel.cells.begin(), panel.cells.end(), [](const IRECT& c) { return !c.Empty(); }));
}

void IPopupMenuControl::Scroll(int level, int step)
{
  Panel& panel = mPanels[static_cast<std::size_t>(level)];
  if (!panel.scrolls)
    return;
  // The last first item: the one from which the rest of the list fills the panel.
  const float room = panel.scrollDown.T - panel.scrollUp.B;
  int lastFirst = panel.menu->NItems();
  for (float filled = 0.f; lastFirst > 0;)
  {
    filled += ItemHeight(*panel.menu, lastFirst - 1, panel.textSize);
    if (filled > room + 0.001f)
      break;
    --lastFirst;
  }
  const int first = std::clamp(panel.firstItem + step, 0, std::max(0, lastFirst));
  if (first == panel.firstItem)
    return;
  CloseFrom(level + 1);
  panel.firstItem = first;
  PlaceCells(panel);
  SetDirty(false);
}

void IPopupMenuControl::CloseFrom(int level)
{
  if (level >= 0 && level < static_cast<int>(mPanels.size()))
    mPanels.resize(static_cast<std::size_t>(level));
  SetDirty(false);
}

// --- Queries ---

IRECT IPopupMenuControl::GetItemBounds(int level, int itemIdx) const
{
  if (level < 0 || level >= static_cast<int>(mPanels.size()))
    return {};
  const Panel& p = mPanels[static_cast<std::size_t>(level)];
  return itemIdx >= 0 && itemIdx < static_cast<int>(p.cells.size()) ? p.cells[static_cast<std::size_t>(itemIdx)]
                                                                    : IRECT();
}

IRECT IPopupMenuControl::GetPanelBounds(int level) const
{
  return level >= 0 && level < static_cast<int>(mPanels.size()) ? mPanels[static_cast<std::size_t>(level)].bounds
                                                                : IRECT();
}

float IPopupMenuControl::GetTextSize(int level) const
{
  return level >= 0 && level < static_cast<int>(mPanels.size()) ? mPanels[static_cast<std::size_t>(level)].textSize
                                                                : 0.f;
}

std::string IPopupMenuControl::GetItemText(int level, int itemIdx) const
{
  if (level < 0 || level >= static_cast<int>(mPanels.size()))
    return "";
  const Panel& p = mPanels[static_cast<std::size_t>(level)];
  return itemIdx >= 0 && itemIdx < static_cast<int>(p.texts.size()) ? p.texts[static_cast<std::size_t>(itemIdx)] : "";
}

bool IPopupMenuControl::GetScrolls(int level) const
{
  return level >= 0 && level < static_cast<int>(mPanels.size()) && mPanels[static_cast<std::size_t>(level)].scrolls;
}

bool IPopupMenuControl::CellAt(float x, float y, int& level, int& itemIdx) const
{
  for (int l = static_cast<int>(mPanels.size()) - 1; l >= 0; --l) // the deepest panel lies on top
  {
    const Panel& p = mPanels[static_cast<std::size_t>(l)];
    if (!p.bounds.Contains(x, y))
      continue;
    for (int i = 0; i < static_cast<int>(p.cells.size()); ++i)
      if (p.cells[static_cast<std::size_t>(i)].Contains(x, y))
      {
        level = l;
        itemIdx = i;
        return true;
      }
    level = l;
    itemIdx = -1;
    return false;
  }
  return false;
}

bool IPopupMenuControl::Selectable(const Panel& panel, int itemIdx) const
{
  const IPopupMenu::Item* item = panel.menu->GetItem(itemIdx);
  return item && item->GetEnabled() && !item->GetIsTitle() && !item->GetIsSeparator();
}

// --- Choosing and closing ---

void IPopupMenuControl::Choose(int level, int itemIdx)
{
  Panel& panel = mPanels[static_cast<std::size_t>(level)];
  panel.menu->SetChosenItemIdx(itemIdx);
  mChosenMenu = panel.menu;
  Collapse();
}

void IPopupMenuControl::Collapse()
{
  mState = EState::kCollapsing;
  SetAnimation(
      [](IControl* c) {
        auto* self = static_cast<IPopupMenuControl*>(c);
        const double p = c->GetAnimationProgress();
        self->mOpacity = static_cast<float>(std::max(0.0, 1.0 - p));
        if (p > 1.0)
          c->OnEndAnimation();
      },
      kAnimationMs);
  Complete(); // the result goes out at once; the panels only fade
}

void IPopupMenuControl::Complete()
{
  IPopupMenu* result = mChosenMenu;
  mMenu = nullptr;
  mChosenMenu = nullptr;
  if (result && result->GetFunction())
    result->GetFunction()(result);
  if (ISurface* ui = GetUI())
    ui->SetControlValueAfterPopupMenu(result);
}

void IPopupMenuControl::OnEndAnimation()
{
  IControl::OnEndAnimation();
  if (mState == EState::kCollapsing)
  {
    mState = EState::kCollapsed;
    mPanels.clear();
    mOpacity = 0.f;
    Hide(true);
  }
}

// --- Mouse and keys ---

void IPopupMenuControl::OnMouseDown(float x, float y, const IMouseMod& /*mod*/)
{
  if (mState == EState::kCollapsing || mState == EState::kCollapsed)
    return;
  for (int l = static_cast<int>(mPanels.size()) - 1; l >= 0; --l)
  {
    const Panel& p = mPanels[static_cast<std::size_t>(l)];
    if (p.scrolls && (p.scrollUp.Contains(x, y) || p.scrollDown.Contains(x, y)))
    {
      const int page = std::max(1, ShownItems(p) - 1);
      Scroll(l, p.scrollUp.Contains(x, y) ? -page : page);
      return;
    }
  }
  int level = -1, itemIdx = -1;
  if (CellAt(x, y, level, itemIdx))
  {
    Panel& panel = mPanels[static_cast<std::size_t>(level)];
    IPopupMenu::Item* item = panel.menu->GetItem(itemIdx);
    if (Selectable(panel, itemIdx) && item->GetSubmenu())
    {
      // Pressing a submenu's item opens it (as hovering does), for pointers that do not hover.
      CloseFrom(level + 1);
      panel.highlighted = itemIdx;
      OpenPanel(*item->GetSubmenu(), panel.cells[static_cast<std::size_t>(itemIdx)], true);
      return;
    }
    if (Selectable(panel, itemIdx))
    {
      Choose(level, itemIdx);
      return;
    }
  }
  Collapse();
}

void IPopupMenuControl::OnMouseOver(float x, float y, const IMouseMod& /*mod*/)
{
  int level = -1, itemIdx = -1;
  if (mState == EState::kCollapsing || !CellAt(x, y, level, itemIdx))
    return;
  Panel& panel = mPanels[static_cast<std::size_t>(level)];
  if (panel.highlighted == itemIdx && level + 1 == static_cast<int>(mPanels.size()))
    return;
  CloseFrom(level + 1);
  panel.highlighted = Selectable(panel, itemIdx) ? itemIdx : -1;
  IPopupMenu::Item* item = panel.menu->GetItem(itemIdx);
  if (panel.highlighted >= 0 && item->GetSubmenu() && item->GetSubmenu()->NItems() > 0)
    OpenPanel(*item->GetSubmenu(), panel.cells[static_cast<std::size_t>(itemIdx)], true);
  SetDirty(false);
}

void IPopupMenuControl::OnMouseDrag(float x, float y, float /*dX*/, float /*dY*/, const IMouseMod& mod)
{
  OnMouseOver(x, y, mod);
}

void IPopupMenuControl::OnMouseOut()
{
  if (!mPanels.empty())
  {
    mPanels.back().highlighted = -1;
    SetDirty(false);
  }
}

void IPopupMenuControl::OnMouseWheel(float x, float y, const IMouseMod& /*mod*/, float delta)
{
  if (!GetExpanded() || mPanels.empty() || delta == 0.f)
    return;
  int level = static_cast<int>(mPanels.size()) - 1;
  while (level > 0 && !mPanels[static_cast<std::size_t>(level)].bounds.Contains(x, y))
    --level;
  Scroll(level, delta > 0.f ? -1 : 1); // the wheel turned up shows the items above
}

void IPopupMenuControl::MoveHighlight(int step)
{
  const int level = static_cast<int>(mPanels.size()) - 1;
  Panel& panel = mPanels.back();
  const int n = panel.menu->NItems();
  int i = panel.highlighted;
  for (int tries = 0; tries < n; ++tries)
  {
    i = i < 0 ? (step > 0 ? 0 : n - 1) : (i + step + n) % n;
    if (Selectable(panel, i))
    {
      panel.highlighted = i;
      break;
    }
  }
  // A scrolling panel shows the highlighted item.
  if (panel.scrolls && panel.highlighted >= 0)
  {
    if (panel.highlighted < panel.firstItem)
      Scroll(level, panel.highlighted - panel.firstItem);
    for (int guard = n; guard > 0 && panel.cells[static_cast<std::size_t>(panel.highlighted)].Empty(); --guard)
      Scroll(level, 1);
  }
  SetDirty(false);
}

bool IPopupMenuControl::OnKeyDown(float /*x*/, float /*y*/, const IKeyPress& key)
{
  if (mState == EState::kCollapsing || mState == EState::kCollapsed || mPanels.empty())
    return false;
  const int level = static_cast<int>(mPanels.size()) - 1;
  Panel& panel = mPanels.back();
  IPopupMenu::Item* item = panel.highlighted >= 0 ? panel.menu->GetItem(panel.highlighted) : nullptr;
  switch (key.VK)
  {
    case kVK_UP:
      MoveHighlight(-1);
      return true;
    case kVK_DOWN:
      MoveHighlight(1);
      return true;
    case kVK_LEFT:
      if (level > 0)
        CloseFrom(level);
      return true;
    case kVK_RIGHT:
    case kVK_RETURN:
    case kVK_SPACE:
      if (item && item->GetSubmenu() && item->GetSubmenu()->NItems() > 0)
      {
        OpenPanel(*item->GetSubmenu(), panel.cells[static_cast<std::size_t>(panel.highlighted)], true);
        MoveHighlight(1);
      }
      else if (item && key.VK != kVK_RIGHT)
        Choose(level, panel.highlighted);
      return true;
    case kVK_ESCAPE:
      Collapse();
      return true;
    default:
      return false;
  }
}

// --- Drawing ---

void IPopupMenuControl::Draw(ISurface& g)
{
  if (mPanels.empty() || !(mOpacity > 0.f))
    return;
  const IBlend blend(EBlend::kDefault, mOpacity);
  for (const Panel& panel : mPanels)
    DrawPanel(g, panel, blend);
}

void IPopupMenuControl::DrawPanel(ISurface& g, const Panel& panel, const IBlend& blend)
{
  const float radius = mStyle.cornerRadius;
  if (mStyle.shadow.A > 0)
    g.FillRoundRect(mStyle.shadow, panel.bounds.GetTranslated(kShadowX, kShadowY), radius, &blend);
  g.FillRoundRect(mStyle.panel, panel.bounds, radius, &blend);
  g.DrawRoundRect(mStyle.border, panel.bounds, radius, &blend);
  const float size = panel.textSize;
  const IText text = mText.WithSize(size);
  for (int i = 0; i < panel.menu->NItems(); ++i)
  {
    const IPopupMenu::Item& item = *panel.menu->GetItem(i);
    const IRECT& cell = panel.cells[static_cast<std::size_t>(i)];
    if (cell.Empty())
      continue;
    if (item.GetIsSeparator())
    {
      g.DrawLine(mStyle.separator, cell.L + 4.f, cell.MH(), cell.R - 4.f, cell.MH(), &blend);
      continue;
    }
    const bool highlighted = i == panel.highlighted;
    if (highlighted)
      g.FillRect(mStyle.highlight, cell, &blend);
    const IColor textColor = highlighted ? mStyle.highlightText
        : Selectable(panel, i)           ? mStyle.text.mFGColor
                                         : mStyle.disabledText;
    // Checks and ticks: a mark of the text's size in the room left of it.
    const float markX = cell.L + TextPad(size);
    const float m = 0.29f * size; // half the mark's height
    if (item.GetChecked())
      g.DrawRect(textColor, {markX, cell.MH() - m, markX + 2.f * m, cell.MH() + m}, &blend);
    if (item.GetChecked() || item.GetTicked())
    {
      const float thickness = std::max(1.f, 0.11f * size);
      g.DrawLine(textColor, markX + 0.25f * m, cell.MH(), markX + 0.87f * m, cell.MH() + 0.75f * m, &blend, thickness);
      g.DrawLine(textColor, markX + 0.87f * m, cell.MH() + 0.75f * m, markX + 2.f * m, cell.MH() - m, &blend,
                 thickness);
    }
    const float indent = item.GetIsTitle() ? 0.f : MarkWidth(size);
    const IRECT textRect(markX + indent, cell.T, cell.R - TextPad(size), cell.B);
    g.DrawText(text.WithFGColor(textColor), panel.texts[static_cast<std::size_t>(i)].c_str(), textRect, &blend);
    if (item.GetSubmenu())
    {
      const float a = 0.29f * size;
      const float ax = cell.R - 0.7f * size;
      g.FillTriangle(textColor, ax, cell.MH() - a, ax, cell.MH() + a, ax + 0.36f * size, cell.MH(), &blend);
    }
  }
  if (panel.scrolls)
  {
    const int n = panel.menu->NItems();
    const bool moreAbove = panel.firstItem > 0;
    const bool moreBelow = panel.cells[static_cast<std::size_t>(n - 1)].Empty();
    const float a = 0.3f * size;
    const IRECT& up = panel.scrollUp;
    const IRECT& down = panel.scrollDown;
    g.FillTriangle(moreAbove ? mStyle.text.mFGColor : mStyle.disabledText, up.MW() - a, up.MH() + 0.5f * a, up.MW() + a,
                   up.MH() + 0.5f * a, up.MW(), up.MH() - 0.5f * a, &blend);
    g.FillTriangle(moreBelow ? mStyle.text.mFGColor : mStyle.disabledText, down.MW() - a, down.MH() - 0.5f * a,
                   down.MW() + a, down.MH() - 0.5f * a, down.MW(), down.MH() + 0.5f * a, &blend);
  }
}

} // namespace plug::gfx
