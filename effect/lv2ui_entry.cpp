// The LV2 editor binary's entry point, QuillonMini_ui.so in the bundle. Compiled only into that
// module, over the effect built with the LV2 editor binding.

#include <lv2/ui/ui.h>

#include <mutex>
#include <new>
#include <string>

#include "effect/ModuleResidence.h"
#include "effect/QuillonMini.h"
#include "plug/IPluginLV2UI.h"
#include "plug/LV2Protocol.h"

#define QM_EXPORT __attribute__((visibility("default")))

namespace {

plug::IPluginLV2UI* MakeEditor(const plug::LV2UIInstanceInfo& info)
{
  static std::mutex sConstructionMutex;
  const std::lock_guard<std::mutex> lock(sConstructionMutex);
  quillon::KeepModuleLoaded();
  return new (std::nothrow) quillon::TQuillonMini(info);
}

} // namespace

extern "C" {

// [main] The one editor of this binary.
QM_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
  static const std::string uri = std::string(quillon::kPluginURI) + plug::lv2::kUIFragment;
  return index == 0 ? &plug::IPluginLV2UI::Descriptor(uri.c_str(), MakeEditor) : nullptr;
}

} // extern "C"
