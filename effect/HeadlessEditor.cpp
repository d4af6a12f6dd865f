#include "effect/HeadlessEditor.h"

#include <memory>

#include "checks/ThreadChecks.h"
#include "gfx/platform/ISurfaceHeadless.h"

namespace quillon {

void UseHeadlessEditor(TQuillonMini& plugin)
{
  QM_MAIN_THREAD(plugin.EditorThread());
  plugin.SetMakeGraphicsFunc([&plugin]() -> std::unique_ptr<plug::gfx::ISurface> {
    auto ui = std::make_unique<plug::gfx::ISurfaceHeadless>(plugin, TQuillonMini::kEditorWidth,
                                                            TQuillonMini::kEditorHeight, TQuillonMini::kEditorFPS, 1.f);
    TQuillonMini::ConfigureSurface(*ui);
    return ui;
  });
}

} // namespace quillon
