// The editor in the X11 test host's window (the Xvfb server that tools/qm bench starts): what an
// open editor costs while nothing changes, how long effEditOpen takes to show the first frame, and
// what a continuous knob drag at 60 frames per second costs at draw scale 2. CPU figures are the
// host process's (all its threads) over wall time, in percent of one core; the X server's own work
// is not counted.

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "gfx/platform/ISurfaceLinux.h"
#include "tests/support/X11EffectHost.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
      1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// The host's window. The editor keeps its scale in the host's own settings folder when it closes,
// so that no run measures a scale an earlier one left.
constexpr int kHostWidth = 800, kHostHeight = 400;

// Idle calls every 20 ms for a second, the editor open and nothing changing.
void BM_EditorIdle(benchmark::State& state)
{
  X11EffectHost host(kHostWidth, kHostHeight);
  if (!host.OpenEditor())
    return state.SkipWithError("no display or no editor");
  for (int i = 0; i < 10; ++i)
    host.Idle();
  double cpu = 0.0, wall = 0.0;
  for (auto _ : state)
  {
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    for (int i = 0; i < 50; ++i)
    {
      host.Idle();
      std::this_thread::sleep_until(t0 + std::chrono::milliseconds(20 * (i + 1)));
    }
    cpu += ProcessCpuSeconds() - cpu0;
    wall += std::chrono::duration<double>(Clock::now() - t0).count();
  }
  state.counters["cpu_%"] = 100.0 * cpu / wall;
  host.CloseEditor();
}
BENCHMARK(BM_EditorIdle)->Iterations(5)->Unit(benchmark::kMillisecond);

// From effEditOpen to the first frame in the window (the server has taken the pixels).
void BM_FirstFrame(benchmark::State& state)
{
  X11EffectHost host(kHostWidth, kHostHeight);
  for (auto _ : state)
  {
    const auto t0 = Clock::now();
    if (!host.OpenEditor())
      return state.SkipWithError("no display or no editor");
    XSync(host.UI()->GetXWindow()->GetDisplay(), False);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    state.PauseTiming();
    host.CloseEditor();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstFrame)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// A knob dragged without pause for two seconds at draw scale 2: a motion and an idle call every
// 1/60 s, each drawing the knob's region.
void BM_KnobDragAt60FpsScale2(benchmark::State& state)
{
  X11EffectHost host(kHostWidth, kHostHeight);
  if (!host.OpenEditor())
    return state.SkipWithError("no display or no editor");
  host.UI()->Resize(340, 160, 2.f);
  for (int i = 0; i < 5; ++i)
    host.Idle();
  XTestFakeMotionEvent(host.GetDisplay(), 0, 100, 150, CurrentTime); // the first knob at scale 2
  XTestFakeButtonEvent(host.GetDisplay(), 1, True, CurrentTime);
  XSync(host.GetDisplay(), False);
  host.Idle();
  double cpu = 0.0, wall = 0.0;
  int frames = 0;
  for (auto _ : state)
  {
    const int frames0 = host.UI()->NumFramesDrawn();
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    for (int i = 0; i < 120; ++i)
    {
      XTestFakeRelativeMotionEvent(host.GetDisplay(), 0, (i / 30) % 2 ? 1 : -1, CurrentTime);
      XSync(host.GetDisplay(), False); // the server has sent the motion on to the editor
      host.Idle();
      std::this_thread::sleep_until(t0 + std::chrono::microseconds(16667 * (i + 1)));
    }
    cpu += ProcessCpuSeconds() - cpu0;
    wall += std::chrono::duration<double>(Clock::now() - t0).count();
    frames += host.UI()->NumFramesDrawn() - frames0;
  }
  XTestFakeButtonEvent(host.GetDisplay(), 1, False, CurrentTime);
  XSync(host.GetDisplay(), False);
  host.Idle();
  state.counters["cpu_%"] = 100.0 * cpu / wall;
  state.counters["fps"] = frames / wall;
  host.CloseEditor();
}
BENCHMARK(BM_KnobDragAt60FpsScale2)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
