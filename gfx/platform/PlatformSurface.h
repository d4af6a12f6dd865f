#pragma once

// The platform's editor surface as code outside the platform sees it: one made for a delegate, and
// the screen scale it would get. Nothing of the window system reaches those who include this.

#include <memory>

namespace plug::gfx {

class ISurface;
class ISurfaceEditorDelegate;

// The platform surface for the delegate, of w x h points at the frame rate and draw scale. [main]
std::unique_ptr<ISurface> MakeGraphics(ISurfaceEditorDelegate& dlg, int w, int h, int fps, float scale);

// [host] The screen scale an editor opened now would get, asked over a connection of its own; 1
// without a display.
int QueryScreenScale();

} // namespace plug::gfx
