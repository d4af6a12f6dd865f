// Speed of QuillonMini's editor:
//   - a full frame at scale 2 (every control drawn, panel and knob bodies from their layers) and a
//     frame after one knob's value changed (only that knob's region), drawn by the Cairo layer
//     into memory on the headless surface, which draws exactly as the X11 window does before its
//     copy to the screen;
//   - QuillonMini.so loaded and its editor opened through effEditOpen for the first time in a
//     process (fonts and pictures read, the first frame drawn and sent; each iteration a fresh
//     process), and later openings in the same process, on the X display tools/qm bench starts.
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "effect/HeadlessEditor.h"
#include "effect/QuillonMini.h"
#include "gfx/platform/ISurfaceHeadless.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/X11TestHost.h"

using namespace plug::gfx;
using quillon::TQuillonMini;

namespace {

const char* gSelf = nullptr; // this program, for fresh processes

// A settings folder of this process: the editor keeps its scale there when it closes, and a scale
// left by an earlier run would change what the next one measures.
void UsePrivateSettings()
{
  static const TempSettingsFolder settings("qm_editor_bench");
}

std::unique_ptr<TQuillonMini> MakePlugin()
{
  UsePrivateSettings();
  plug::InstanceInfo info;
  auto plug = std::make_unique<TQuillonMini>(info);
  quillon::UseHeadlessEditor(*plug);
  return plug;
}

ISurfaceHeadless& OpenAt(TQuillonMini& plug, float scale)
{
  plug.OpenWindow(nullptr);
  auto& ui = static_cast<ISurfaceHeadless&>(*plug.GetUI());
  ui.Resize(TQuillonMini::kEditorWidth, TQuillonMini::kEditorHeight, scale);
  ui.DrawFrame();
  return ui;
}

void BM_FullFrameAtScale2(benchmark::State& state)
{
  auto plug = MakePlugin();
  ISurfaceHeadless& ui = OpenAt(*plug, 2.f);
  for (auto _ : state)
  {
    ui.SetAllControlsDirty();
    ui.DrawFrame();
  }
  plug->CloseWindow();
}
BENCHMARK(BM_FullFrameAtScale2)->Unit(benchmark::kMillisecond);

void BM_KnobValueFrameAtScale2(benchmark::State& state)
{
  auto plug = MakePlugin();
  ISurfaceHeadless& ui = OpenAt(*plug, 2.f);
  bool up = false;
  for (auto _ : state)
  {
    up = !up;
    plug->GetParam(TQuillonMini::kMix)->SetNormalizedValue(up ? 0.6 : 0.4);
    plug->SendParameterValueFromDelegate(TQuillonMini::kMix, up ? 0.6 : 0.4, true);
    ui.DrawFrame();
  }
  plug->CloseWindow();
}
BENCHMARK(BM_KnobValueFrameAtScale2)->Unit(benchmark::kMillisecond);

// A host as Linux hosts are: QuillonMini.so loaded with dlopen, instantiated through VSTPluginMain
// and effOpen, its editor opened with effEditOpen in a window of the host's on the X display that
// tools/qm bench starts.
struct ModuleHost
{
  Display* display = nullptr;
  Window parent = 0;
  AEffect* effect = nullptr;

  // False without a display or a plug-in.
  bool Load()
  {
    display = OpenTestDisplay();
    if (!display)
      return false;
    parent = MapHostWindow(display, 680, 320);
    void* module = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    auto entry = module ? reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(module, "VSTPluginMain")) : nullptr;
    effect =
        entry ? entry([](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr { return 0; }) : nullptr;
    if (effect)
      effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.f);
    return effect != nullptr;
  }
  // The editor's window with its first frame drawn and sent to the server.
  bool OpenEditor() { return effect->dispatcher(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0.f) == 1; }
  void CloseEditor() { effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.f); }
  ~ModuleHost()
  {
    if (effect)
      effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.f);
    if (display)
      XCloseDisplay(display);
  }
};

// In a fresh process: the module loaded and instantiated, then the editor opened for the first time
// (fonts and pictures read from the module, the first frame drawn).
double FirstOpeningMs()
{
  UsePrivateSettings();
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  ModuleHost host;
  if (!host.Load() || !host.OpenEditor())
    return -1.0;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  host.CloseEditor();
  return ms;
}

void BM_FirstOpeningInAProcess(benchmark::State& state)
{
  for (auto _ : state)
  {
    const double ms = NumberFromAFreshProcess(gSelf, {"--first-opening"});
    if (ms < 0.0)
      return state.SkipWithError("the fresh process could not open the editor (no X display?)");
    state.SetIterationTime(ms / 1000.0);
  }
}
BENCHMARK(BM_FirstOpeningInAProcess)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// effEditOpen and effEditClose again in the same process, the caches warm.
void BM_LaterOpening(benchmark::State& state)
{
  UsePrivateSettings();
  ModuleHost host;
  if (!host.Load() || !host.OpenEditor())
    return state.SkipWithError("no X display or no editor");
  host.CloseEditor();
  for (auto _ : state)
  {
    host.OpenEditor();
    host.CloseEditor();
  }
}
BENCHMARK(BM_LaterOpening)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
  gSelf = argv[0];
  if (argc == 2 && std::strcmp(argv[1], "--first-opening") == 0)
  {
    std::printf("%.3f\n", FirstOpeningMs());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
