// The plug-in module's entry points. Compiled only into the module (QuillonMini.so), never into
// the effect's static library: a symbol named main must not reach programs that link it.

#include <dlfcn.h>

#include <algorithm>
#include <mutex>
#include <new>

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

// [host] Once an instance has been made, this module stays mapped until the process ends, whatever
// dlclose the host calls. The editor's fonts live on in Cairo's process-wide font cache, which
// releases them (through a function of this module) whenever it pleases, and the run loop, the
// reaper of child processes and the X error trap are the process's, not an instance's: unmapped,
// Cairo would call into nothing, and every load would leave another set of them behind. So they
// are kept on purpose and found again by the next load.
void KeepModuleLoaded()
{
  [[maybe_unused]] static const bool kept = [] {
    Dl_info self{};
    if (!dladdr(reinterpret_cast<const void*>(&KeepModuleLoaded), &self) || !self.dli_fname)
      return false;
    // Already loaded, so this only marks the module as never to be unloaded and counts one more
    // reference, which is given back at once.
    void* module = dlopen(self.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    if (module)
      dlclose(module);
    return module != nullptr;
  }();
}

AEffect* CreateEffect(audioMasterCallback hostCallback)
{
  plug::InstanceInfo info;
  info.mVSTHostCallback = hostCallback;
  try
  {
    KeepModuleLoaded();
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
