#pragma once

// The common base of the effect's own controls: the knobs, the preset strip, the buttons and the
// about box. Threads: [main] throughout.

#include "gfx/IControl.h"

namespace quillon {

class TControl : public plug::gfx::IControl
{
public:
  using IControl::IControl;

  // Disabled controls draw at a quarter weight; setting the same state again redraws nothing.
  void SetDisabled(bool disable) override;

protected:
  bool mDisabledState = false;
};

} // namespace quillon
