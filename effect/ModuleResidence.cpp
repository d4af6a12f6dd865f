#include "effect/ModuleResidence.h"

#include <dlfcn.h>

namespace quillon {

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

} // namespace quillon
