// Many instances in one process, as a host with a reverb on every track runs them: N instances of
// QuillonMini.so and, beside it, of Debian's Dragonfly Plate Reverb (dragonfly-reverb-vst), each
// loaded through the VST 2 interface and processing 512-frame blocks of stereo noise in single
// precision, one instance after the other. Reports per plug-in and N:
//   per_instance_frame  CPU time per frame of one instance (the goal: at 32 and 64 instances at
//                       most 25 % above the one-instance figure);
//   heap_per_instance   bytes the instance holds on the heap once it has processed (mallinfo2);
//   create_each         wall time from VSTPluginMain to an instance ready to process (effOpen,
//                       rate, block size, mains on, start).
// The peer is skipped with an error when its plug-in is missing; tools/qm installs it for the
// benchmarks. Run with --benchmark_repetitions and --benchmark_enable_random_interleaving so that
// the two plug-ins and the counts take turns on a shared machine.
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <malloc.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "plug/VST2Types.h"

namespace {
constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
constexpr int kTapeBlocks = 32;
constexpr const char* kPeerPath = "/usr/lib/lxvst/DragonflyPlateReverb-vst.so";

const char* PluginPath(int plugin)
{
  return plugin == 0 ? QM_PLUGIN_PATH : kPeerPath;
}

// The host's side of the VST 2 calls: a 2.4 host with no time information.
VstIntPtr HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  switch (opcode)
  {
    case audioMasterVersion:
      return 2400;
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(kRate);
    case audioMasterGetBlockSize:
      return kBlock;
    default:
      return 0;
  }
}

// The plug-in's entry, from its library loaded once for the whole run (and never closed, as hosts
// keep them): a library loaded for N instances is mapped once. Null when it cannot be loaded.
VstPluginMainProc Entry(int plugin)
{
  static VstPluginMainProc entries[2] = {};
  static bool tried[2] = {};
  if (!tried[plugin])
  {
    tried[plugin] = true;
    if (void* handle = dlopen(PluginPath(plugin), RTLD_NOW | RTLD_LOCAL))
    {
      // Dragonfly's plug-ins export only the legacy name.
      void* symbol = dlsym(handle, "VSTPluginMain");
      entries[plugin] = reinterpret_cast<VstPluginMainProc>(symbol ? symbol : dlsym(handle, "main"));
    }
  }
  return entries[plugin];
}

// One instance with its own output buffers, as one track of a host has.
struct Instance
{
  AEffect* effect = nullptr;
  std::vector<float> outL = std::vector<float>(kBlock), outR = std::vector<float>(kBlock);

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
  {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }

  bool Create(VstPluginMainProc entry)
  {
    effect = entry(HostCallback);
    if (!effect || effect->magic != kEffectMagic || effect->numInputs != 2 || effect->numOutputs != 2 ||
        !effect->processReplacing)
      return false;
    Dispatch(effOpen);
    Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    Dispatch(effSetBlockSize, 0, kBlock);
    Dispatch(effMainsChanged, 0, 1);
    Dispatch(effStartProcess);
    return true;
  }

  void Process(float** in)
  {
    float* out[2] = {outL.data(), outR.data()};
    effect->processReplacing(effect, in, out, kBlock);
  }

  void Destroy()
  {
    if (!effect)
      return;
    Dispatch(effStopProcess);
    Dispatch(effMainsChanged, 0, 0);
    Dispatch(effClose);
    effect = nullptr;
  }
};

// Loud stereo noise, a different block for every call so that no branch pattern repeats.
struct NoiseTape
{
  std::vector<float> l = std::vector<float>(kTapeBlocks * kBlock), r = std::vector<float>(kTapeBlocks * kBlock);

  NoiseTape()
  {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (size_t i = 0; i < l.size(); ++i)
    {
      l[i] = dist(rng);
      r[i] = dist(rng);
    }
  }

  void Block(int index, float** in)
  {
    const size_t at = static_cast<size_t>(index % kTapeBlocks) * kBlock;
    in[0] = l.data() + at;
    in[1] = r.data() + at;
  }
};

size_t HeapBytes()
{
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Every instance processes one block, in turn.
void ProcessRound(std::vector<Instance>& instances, NoiseTape& tape, int round)
{
  float* in[2];
  for (size_t k = 0; k < instances.size(); ++k)
  {
    tape.Block(round + static_cast<int>(k), in);
    instances[k].Process(in);
  }
}

void BM_Density(benchmark::State& state)
{
  const int plugin = static_cast<int>(state.range(0));
  const int count = static_cast<int>(state.range(1));
  const VstPluginMainProc entry = Entry(plugin);
  if (!entry)
  {
    state.SkipWithError((std::string("cannot load ") + PluginPath(plugin)).c_str());
    return;
  }
  NoiseTape tape;
  {
    // The library's own allocations on first use (of an instance and of its processing) are not any
    // instance's.
    Instance first;
    if (!first.Create(entry))
    {
      state.SkipWithError("the plug-in is not a stereo VST 2 effect");
      return;
    }
    float* in[2];
    tape.Block(0, in);
    first.Process(in);
    first.Destroy();
  }

  std::vector<Instance> instances(count);
  const size_t heapBefore = HeapBytes();
  const auto createStart = std::chrono::steady_clock::now();
  for (Instance& instance : instances)
    instance.Create(entry);
  const double createSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - createStart).count();
  // A second of noise: every line written, every lazily made buffer made.
  int round = 0;
  for (; round < static_cast<int>(kRate) / kBlock; ++round)
    ProcessRound(instances, tape, round);
  const size_t heapAfter = HeapBytes();

  for (auto _ : state)
  {
    ProcessRound(instances, tape, round++);
    benchmark::ClobberMemory();
  }

  for (Instance& instance : instances)
    instance.Destroy();

  state.SetLabel(plugin == 0 ? "QuillonMini" : "Dragonfly Plate");
  // Seconds per frame of one instance, printed with its SI prefix (n = nanoseconds).
  state.counters["per_instance_frame"] = benchmark::Counter(
      static_cast<double>(count) * kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["heap_per_instance"] = benchmark::Counter(static_cast<double>(heapAfter - heapBefore) / count,
                                                           benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
  state.counters["create_each"] = createSeconds / count;
}
} // namespace

BENCHMARK(BM_Density)
    ->Name("Density")
    ->ArgNames({"dragonfly", "instances"})
    ->ArgsProduct({{0, 1}, {1, 8, 32, 64}})
    ->Unit(benchmark::kMicrosecond);
