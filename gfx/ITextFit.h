#pragma once

// Texts made to fit a width when drawn in a style, measured by the surface: cut short and ended
// with an ellipsis, or wrapped into lines. Cuts never split a UTF-8 character. [main]

#include <string>
#include <vector>

#include "gfx/IText.h"

namespace plug::gfx {

class ISurface;

// text itself when it fits; else its longest start that fits with "…" after it ("" when not even
// that does).
std::string EllipsizedToWidth(const ISurface& g, const IText& style, const std::string& text, float width);

// The lines of text, broken at blanks (and at line feeds), each as wide as fits width; a word
// wider than width on its own is broken between characters. Blanks at the breaks are dropped. An
// empty text has no lines.
std::vector<std::string> WrappedToWidth(const ISurface& g, const IText& style, const std::string& text, float width);

} // namespace plug::gfx
