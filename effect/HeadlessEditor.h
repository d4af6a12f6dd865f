#pragma once

// The effect's editor on the headless surface (ISurfaceHeadless) in place of an X11 window, set
// up as the real one, for the tools and benchmarks that draw it into memory without a display.

#include "effect/QuillonMini.h"

namespace quillon {

// [main] From the next opening of plugin's editor on.
void UseHeadlessEditor(TQuillonMini& plugin);

} // namespace quillon
