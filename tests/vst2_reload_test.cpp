// A host that unloads QuillonMini.so and loads it again, over and over, in one process: dlopen
// (without RTLD_NODELETE), VSTPluginMain, effOpen, the editor opened in a window of the host's on
// the Xvfb server that tools/qm test starts, idle calls, effEditClose, effClose, dlclose. Nothing
// the module leaves behind may run its code after it is gone, and what it keeps for the process
// must not grow with every load (LeakSanitizer, in the sanitizer build, counts what is lost).

// Google Test first: the X11 headers define macros (None, Bool) that its names clash with.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "plug/VST2Types.h"
#include "tests/support/TempFolder.h"
#include "tests/support/X11TestHost.h"

#if defined(__SANITIZE_ADDRESS__)
#define QM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QM_ASAN 1
#endif
#endif
#ifdef QM_ASAN
// The sanitizer runtime's count of the heap in use (GCC ships no header that declares it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

const TempSettingsFolder gSettings("qm_vst2_reload"); // before the plug-in is first loaded

VstIntPtr HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
  if (opcode == audioMasterGetProductString)
  {
    std::strcpy(static_cast<char*>(ptr), "Reloading Test Host");
    return 1;
  }
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Bytes of the heap in use (the sanitizer's allocator keeps its own count).
std::size_t HeapInUse()
{
#ifdef QM_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

std::size_t ResidentBytes()
{
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r"))
  {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
      resident = 0;
    std::fclose(statm);
  }
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// One load of the module with its editor opened and closed; false (with the reason recorded)
// when a step fails.
bool LoadOpenCloseUnload(Display* display, Window parent)
{
  void* module = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(module, nullptr) << dlerror();
  if (!module)
    return false;
  auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
  AEffect* effect = entry ? entry(HostCallback) : nullptr;
  EXPECT_NE(effect, nullptr);
  bool opened = false;
  if (effect)
  {
    auto dispatch = [effect](VstInt32 opcode, void* ptr = nullptr) {
      return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.f);
    };
    dispatch(effOpen);
    opened = dispatch(effEditOpen, reinterpret_cast<void*>(parent)) == 1;
    EXPECT_TRUE(opened);
    for (int i = 0; i < 3; ++i)
    {
      XSync(display, False);
      dispatch(effEditIdle);
    }
    dispatch(effEditClose);
    dispatch(effClose);
  }
  EXPECT_EQ(dlclose(module), 0) << dlerror();
  return effect && opened;
}

TEST(Reload, AHundredLoadsWithTheEditorOpenedKeepTheProcessAliveAndItsMemoryLevel)
{
  Display* display = OpenTestDisplay();
  ASSERT_NE(display, nullptr) << kNoTestDisplay;
  const Window parent = MapHostWindow(display, 400, 200);

  ASSERT_TRUE(LoadOpenCloseUnload(display, parent));
  const std::size_t heapAfterFirst = HeapInUse(), residentAfterFirst = ResidentBytes();
  for (int i = 1; i < 100; ++i)
    ASSERT_TRUE(LoadOpenCloseUnload(display, parent)) << "load " << i + 1;
  const std::size_t heapAfterLast = HeapInUse(), residentAfterLast = ResidentBytes();

  constexpr std::size_t kMiB = 1 << 20;
  EXPECT_LT(heapAfterLast, heapAfterFirst + kMiB) << heapAfterFirst << " bytes after the first load";
#ifndef QM_ASAN // the sanitizer holds freed memory back in its quarantine
  EXPECT_LT(residentAfterLast, residentAfterFirst + kMiB) << residentAfterFirst << " bytes after the first load";
#else
  (void)residentAfterFirst;
  (void)residentAfterLast;
#endif
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

} // namespace
