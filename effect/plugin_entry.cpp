// The plug-in module's entry points. Compiled only into the module (QuillonMini.so), never into
// the effect's static library: a symbol named main must not reach programs that link it.

#include <algorithm>
#include <mutex>
#include <new>

#include "effect/ModuleResidence.h"
#include "effect/QuillonMini.h"
#include "plug/IPluginVST2.h"

#define QM_EXPORT __attribute__((visibility("default")))

namespace plug {

namespace {

// Serialises the construction of instances; created on first use.
std::recursive_mutex& ConstructionMutex()
{
  static std::recursive_mutex sMutex;
  return sMutex;
}

} // namespace

IPluginVST2* MakePlug(const InstanceInfo& info)
{
  std::lock_guard<std::recursive_mutex> lock(ConstructionMutex());
  return new (std::nothrow) quillon::TQuillonMini(info);
}

} // namespace plug

namespace {

AEffect* CreateEffect(audioMasterCallback hostCallback)
{
  plug::InstanceInfo info;
  info.mVSTHostCallback = hostCallback;
  try
  {
    quillon::KeepModuleLoaded();
    plug::IPluginVST2* plugin = plug::MakePlug(info);
    if (!plugin)
      return nullptr;
    plugin->EnsureDefaultPreset();
    AEffect& effect = plugin->GetAEffect();
    effect.numPrograms = std::max(effect.numPrograms, 1);
    return &effect;
  }
  catch (...)
  {
    // Nothing may unwind into the host; a plug-in that cannot be built is reported as none.
    return nullptr;
  }
}

} // namespace

extern "C" {

// [host] The plug-in, or null when it could not be created.
QM_EXPORT AEffect* VSTPluginMain(audioMasterCallback hostCallback)
{
  return CreateEffect(hostCallback);
}

// Linux hosts also look for the entry under the name main; it takes and returns 64-bit pointers
// like VSTPluginMain. C++ reserves the name, so the symbol is given its name by the assembler.
QM_EXPORT AEffect* VSTPluginMainLegacy(audioMasterCallback hostCallback) __asm__("main");
AEffect* VSTPluginMainLegacy(audioMasterCallback hostCallback)
{
  return CreateEffect(hostCallback);
}

} // extern "C"
