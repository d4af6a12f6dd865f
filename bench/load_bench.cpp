// How long a host waits for dlopen of QuillonMini.so, next to Dragonfly Plate Reverb (Debian's
// dragonfly-reverb-vst, which tools/qm bench installs): every load in a fresh process of this
// program, which itself links nothing but the C and C++ runtimes, so that each plug-in pays for
// the libraries it brings; the two plug-ins take turns. Prints the median time of each, on the
// clock (what the host waits) and in CPU time (what the load costs, which a busy machine does not
// stretch), and their ratios, as the ratio of the medians and as the median of the ratios of
// neighbouring runs (a shared machine's speed drifts; runs a moment apart share it).
//
//   load_bench [RUNS] [--plugin PATH] [--peer PATH]      RUNS per plug-in, default 21
//
// Google Benchmark's options, which tools/qm bench passes to every benchmark, are ignored.

#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/FreshProcess.h"

namespace {

constexpr const char* kTimeOne = "--time-dlopen";

struct LoadTime
{
  double wallMs = -1.0; // negative when the load failed
  double cpuMs = -1.0;  // the process's CPU time (user and system, page faults included)
};

double CpuMs()
{
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// In the fresh process: one dlopen, as hosts call it, in milliseconds of the clock and of CPU time.
int TimeOneLoad(const char* path)
{
  using Clock = std::chrono::steady_clock;
  const double cpuStart = CpuMs();
  const auto start = Clock::now();
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const double cpuMs = CpuMs() - cpuStart;
  if (!module)
  {
    std::fprintf(stderr, "load_bench: %s\n", dlerror());
    return 1;
  }
  std::printf("%.4f %.4f\n", ms, cpuMs);
  return 0;
}

// Runs this program again to load path.
LoadTime LoadInFreshProcess(const char* self, const char* path)
{
  const std::optional<std::string> output = OutputOfAFreshProcess(self, {kTimeOne, path});
  LoadTime time;
  if (!output || std::sscanf(output->c_str(), "%lf %lf", &time.wallMs, &time.cpuMs) != 2)
    return {};
  return time;
}

double Median(std::vector<double> values)
{
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

std::string FileName(const std::string& path)
{
  return path.substr(path.find_last_of('/') + 1);
}

} // namespace

int main(int argc, char** argv)
{
  if (argc == 3 && std::strcmp(argv[1], kTimeOne) == 0)
    return TimeOneLoad(argv[2]);

  int runs = 21;
  std::string plugin = QM_PLUGIN_PATH, peer = QM_PEER_PLUGIN;
  for (int i = 1; i < argc; ++i)
  {
    const std::string arg = argv[i];
    if ((arg == "--plugin" || arg == "--peer") && i + 1 < argc)
      (arg == "--plugin" ? plugin : peer) = argv[++i];
    else if (arg.rfind("--benchmark_", 0) == 0)
      continue;
    else if (const int n = std::atoi(arg.c_str()); n > 0 && std::to_string(n) == arg)
      runs = n;
    else
    {
      std::fprintf(stderr, "usage: load_bench [RUNS] [--plugin PATH] [--peer PATH]\n");
      return 2;
    }
  }
  for (const std::string& path : {plugin, peer})
  {
    if (access(path.c_str(), R_OK) != 0)
    {
      std::fprintf(stderr, "load_bench: no plug-in at %s (tools/qm bench installs dragonfly-reverb-vst)\n",
                   path.c_str());
      return 1;
    }
  }

  std::vector<double> ours, theirs, ratios, oursCpu, theirsCpu, cpuRatios;
  for (int i = 0; i < runs; ++i)
  {
    const LoadTime a = LoadInFreshProcess(argv[0], plugin.c_str());
    const LoadTime b = LoadInFreshProcess(argv[0], peer.c_str());
    if (a.wallMs < 0.0 || b.wallMs < 0.0)
    {
      std::fprintf(stderr, "load_bench: %s could not be loaded\n", (a.wallMs < 0.0 ? plugin : peer).c_str());
      return 1;
    }
    ours.push_back(a.wallMs);
    theirs.push_back(b.wallMs);
    ratios.push_back(a.wallMs / b.wallMs);
    oursCpu.push_back(a.cpuMs);
    theirsCpu.push_back(b.cpuMs);
    cpuRatios.push_back(a.cpuMs / b.cpuMs);
  }
  std::printf("dlopen (RTLD_NOW | RTLD_LOCAL) in a fresh process, %d runs each, taking turns\n", runs);
  auto report = [](const char* what, const std::string& name, const std::vector<double>& times) {
    std::printf("%-28s %-10s median %7.3f ms (fastest %.3f, slowest %.3f)\n", name.c_str(), what, Median(times),
                *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
  };
  report("clock", FileName(plugin), ours);
  report("clock", FileName(peer), theirs);
  report("CPU time", FileName(plugin), oursCpu);
  report("CPU time", FileName(peer), theirsCpu);
  std::printf("ratio, clock: %.2f (of the medians), %.2f (median of the neighbouring runs' ratios)\n",
              Median(ours) / Median(theirs), Median(ratios));
  std::printf("ratio, CPU time: %.2f (of the medians), %.2f (median of the neighbouring runs' ratios)\n",
              Median(oursCpu) / Median(theirsCpu), Median(cpuRatios));
  return 0;
}
