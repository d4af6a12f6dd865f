// The LV2 DSP binary's entry point, QuillonMini_dsp.so in the bundle. Compiled only into that module,
// over the effect built without an editor: nothing here or below reaches X11, Cairo or FreeType.

#include <lv2/core/lv2.h>

#include <mutex>
#include <new>

#include "effect/QuillonMini.h"
#include "plug/IPluginLV2.h"

#define QM_EXPORT __attribute__((visibility("default")))

namespace {

plug::IPluginLV2* MakePlugin(const plug::LV2InstanceInfo& info)
{
  static std::mutex sConstructionMutex;
  const std::lock_guard<std::mutex> lock(sConstructionMutex);
  return new (std::nothrow) quillon::TQuillonMini(info);
}

} // namespace

extern "C" {

// [host] The one plug-in of this binary.
QM_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
  return index == 0 ? &plug::IPluginLV2::Descriptor(quillon::kPluginURI, MakePlugin) : nullptr;
}

} // extern "C"
