#pragma once

#include "gfx/IControl.h"

namespace plug::gfx {

// The editor's own menu: shows an IPopupMenu over the editor and, while expanded, takes every
// pointer event. When it collapses it runs the chosen menu's completion function and hands the
// menu (or null when nothing was chosen) to ISurface::SetControlValueAfterPopupMenu.
class IPopupMenuControl : public IControl
{
public:
  explicit IPopupMenuControl(const IText& text = IText(), const IRECT& bounds = IRECT());

  void Draw(ISurface& g) override;

  // Opens the menu at bounds (its left edge, below its top).
  void CreatePopupMenu(IPopupMenu& menu, const IRECT& bounds);
  bool GetExpanded() const { return mMenu != nullptr; }

protected:
  IPopupMenu* mMenu = nullptr;
};

} // namespace plug::gfx
