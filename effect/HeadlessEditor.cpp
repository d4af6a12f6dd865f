#include "effect/HeadlessEditor.h"

#include <memory>

#include "gfx/platform/ISurfaceHeadless.h"

namespace quillon {

void UseHeadlessEditor(TQuillonMini& plugin)
{
  plugin.SetMakeGraphicsFunc([&plugin]() -> std::unique_ptr<plug::gfx::ISurface> {
    auto ui = std::make_unique<plug::gfx::ISurfaceHeadless>(plugin, TQuillonMini::kEditorWidth,
                                                            TQuillonMini::kEditorHeight, TQuillonMini::kEditorFPS, 1.f);
    TQuillonMini::ConfigureSurface(*ui);
    return ui;
  });
}

} // namespace quillon
