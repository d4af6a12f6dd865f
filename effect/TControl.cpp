#include "effect/TControl.h"

namespace quillon {

void TControl::SetDisabled(bool disable)
{
  if (disable == mDisabledState)
    return;
  mDisabledState = disable;
  mBlend.mWeight = disable ? 0.25f : 1.f;
  mDisabled = disable;
  SetDirty(false);
}

} // namespace quillon
