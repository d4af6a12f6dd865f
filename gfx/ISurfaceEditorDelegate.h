#pragma once

#include "plug/IEditorDelegate.h"

namespace plug::gfx {

// The editor delegate that will own the editor's graphics context.
class ISurfaceEditorDelegate : public IEditorDelegate
{
public:
  explicit ISurfaceEditorDelegate(int nParams)
    : IEditorDelegate(nParams)
  {
  }
};

} // namespace plug::gfx
