#pragma once

#include "gfx/IColor.h"
#include "gfx/IText.h"

namespace plug::gfx {

// The look of the panels the editor opens over itself: the in-editor menu and the notice. A plug-in
// gives its own to the controls it attaches; the default is a light panel with black text.
struct IPopupStyle
{
  // Font, text colour and the size the text is drawn at when the panel fits; the alignments are
  // the control's own.
  IText text{14.f, COLOR_BLACK};
  // A panel that does not fit at text.mSize is laid out again in smaller type, down to this size.
  float minTextSize = 9.f;
  IColor panel{255, 246, 246, 246};
  IColor border{255, 120, 122, 124};
  IColor disabledText{255, 150, 150, 150};
  IColor highlight{255, 52, 152, 219};
  IColor highlightText{255, 255, 255, 255};
  IColor separator{255, 200, 200, 200};
  // Drawn 2 points right of and 3 below the panel; transparent for none.
  IColor shadow{60, 0, 0, 0};
  float cornerRadius = 3.f;
};

} // namespace plug::gfx
