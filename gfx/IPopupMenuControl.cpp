#include "gfx/IPopupMenuControl.h"

#include "gfx/IPopupMenu.h"
#include "gfx/ISurface.h"

namespace plug::gfx {

IPopupMenuControl::IPopupMenuControl(const IText& text, const IRECT& bounds)
  : IControl(bounds)
{
  mText = text;
}

void IPopupMenuControl::Draw(ISurface&) {}

void IPopupMenuControl::CreatePopupMenu(IPopupMenu& menu, const IRECT&)
{
  mMenu = &menu;
  mMenu = nullptr;
  if (GetUI())
    GetUI()->SetControlValueAfterPopupMenu(nullptr);
}

} // namespace plug::gfx
