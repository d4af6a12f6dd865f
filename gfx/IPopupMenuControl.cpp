#include "gfx/IPopupMenuControl.h"

#include <algorithm>

#include "gfx/IPopupMenu.h"
#include "gfx/ISurface.h"

namespace plug::gfx {

namespace {

constexpr IColor kPanelColor{255, 246, 246, 246};
constexpr IColor kBorderColor{255, 120, 122, 124};
constexpr IColor kTextColor{255, 20, 20, 20};
constexpr IColor kDisabledColor{255, 150, 150, 150};
constexpr IColor kHighlightColor{255, 52, 152, 219};
constexpr IColor kHighlightTextColor{255, 255, 255, 255};
constexpr IColor kSeparatorColor{255, 200, 200, 200};
constexpr IColor kShadowColor{60, 0, 0, 0};

} // namespace

IPopupMenuControl::IPopupMenuControl(const IText& text, const IRECT& bounds)
  : IControl(IRECT()),
    mMaxBounds(bounds)
{
  mText = text.WithAlign(EAlign::kNear).WithVAlign(EVAlign::kMiddle);
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

void IPopupMenuControl::OpenPanel(IPopupMenu& menu, const IRECT& anchor, bool beside)
{
  ISurface* ui = GetUI();
  Panel panel;
  panel.menu = &menu;
  float width = 60.f;
  bool anySubmenu = false;
  for (int i = 0; i < menu.NItems(); ++i)
  {
    const IPopupMenu::Item* item = menu.GetItem(i);
    if (item->GetIsSeparator())
      continue;
    IRECT r;
    width = std::max(width, ui->MeasureText(mText, menu.GetItemDisplayText(i).c_str(), r));
    anySubmenu = anySubmenu || item->GetSubmenu() != nullptr;
  }
  width += kMarkWidth + 2.f * kTextPad + (anySubmenu ? kArrowWidth : 0.f);

  // Items run down a column until it would be taller than the editor, then on in the next one.
  const float cellHeight = CellHeight();
  const float maxColumnHeight = std::max(cellHeight, mMaxBounds.H() - 4.f);
  std::vector<IRECT> cells; // relative to the panel's top-left corner
  float top = 2.f, height = 0.f;
  int column = 0;
  for (int i = 0; i < menu.NItems(); ++i)
  {
    const float h = menu.GetItem(i)->GetIsSeparator() ? kSeparatorHeight : cellHeight;
    if (top > 2.f && top - 2.f + h > maxColumnHeight)
    {
      ++column;
      top = 2.f;
    }
    const float left = float(column) * width;
    cells.push_back({left + 1.f, top, left + width - 1.f, top + h});
    top += h;
    height = std::max(height, top + 2.f);
  }
  width *= float(column + 1);

  float x = beside ? anchor.R : anchor.L;
  float y = beside ? anchor.T - 2.f : anchor.T + 4.f;
  if (x + width > mMaxBounds.R)
    x = beside ? anchor.L - width : mMaxBounds.R - width;
  if (y + height > mMaxBounds.B)
    y = mMaxBounds.B - height;
  x = std::max(x, mMaxBounds.L);
  y = std::max(y, mMaxBounds.T);
  panel.bounds = IRECT::MakeXYWH(x, y, width, height);
  for (const IRECT& c : cells)
    panel.cells.push_back(c.GetTranslated(x, y));
  mPanels.push_back(std::move(panel));
}

void IPopupMenuControl::CloseFrom(int level)
{
  if (level >= 0 && level < static_cast<int>(mPanels.size()))
    mPanels.resize(static_cast<std::size_t>(level));
  SetDirty(false);
}

IRECT IPopupMenuControl::GetItemBounds(int level, int itemIdx) const
{
  if (level < 0 || level >= static_cast<int>(mPanels.size()))
    return {};
  const Panel& p = mPanels[static_cast<std::size_t>(level)];
  return itemIdx >= 0 && itemIdx < static_cast<int>(p.cells.size()) ? p.cells[static_cast<std::size_t>(itemIdx)]
                                                                    : IRECT();
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

void IPopupMenuControl::OnMouseDown(float x, float y, const IMouseMod& /*mod*/)
{
  if (mState == EState::kCollapsing || mState == EState::kCollapsed)
    return;
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

void IPopupMenuControl::MoveHighlight(int step)
{
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

void IPopupMenuControl::Draw(ISurface& g)
{
  if (mPanels.empty() || !(mOpacity > 0.f))
    return;
  const IBlend blend(EBlend::kDefault, mOpacity);
  for (const Panel& panel : mPanels)
  {
    g.FillRoundRect(kShadowColor, panel.bounds.GetTranslated(2.f, 3.f), 3.f, &blend);
    g.FillRoundRect(kPanelColor, panel.bounds, 3.f, &blend);
    g.DrawRoundRect(kBorderColor, panel.bounds, 3.f, &blend);
    for (int i = 0; i < panel.menu->NItems(); ++i)
    {
      const IPopupMenu::Item& item = *panel.menu->GetItem(i);
      const IRECT& cell = panel.cells[static_cast<std::size_t>(i)];
      if (item.GetIsSeparator())
      {
        g.DrawLine(kSeparatorColor, cell.L + 4.f, cell.MH(), cell.R - 4.f, cell.MH(), &blend);
        continue;
      }
      const bool highlighted = i == panel.highlighted;
      if (highlighted)
        g.FillRect(kHighlightColor, cell, &blend);
      const bool enabled = Selectable(panel, i);
      const IColor textColor = highlighted ? kHighlightTextColor : enabled ? kTextColor : kDisabledColor;
      const float markX = cell.L + kTextPad;
      if (item.GetChecked())
        g.DrawRect(textColor, {markX, cell.MH() - 4.f, markX + 8.f, cell.MH() + 4.f}, &blend);
      if (item.GetChecked() || item.GetTicked())
      {
        g.DrawLine(textColor, markX + 1.f, cell.MH(), markX + 3.5f, cell.MH() + 3.f, &blend, 1.5f);
        g.DrawLine(textColor, markX + 3.5f, cell.MH() + 3.f, markX + 8.f, cell.MH() - 4.f, &blend, 1.5f);
      }
      const float indent = item.GetIsTitle() ? 0.f : kMarkWidth;
      const IRECT textRect(markX + indent, cell.T, cell.R - kTextPad, cell.B);
      g.DrawText(mText.WithFGColor(textColor), panel.menu->GetItemDisplayText(i).c_str(), textRect, &blend);
      if (item.GetSubmenu())
        g.FillTriangle(textColor, cell.R - 10.f, cell.MH() - 4.f, cell.R - 10.f, cell.MH() + 4.f, cell.R - 5.f,
                       cell.MH(), &blend);
    }
  }
}

} // namespace plug::gfx
