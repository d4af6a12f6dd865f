// An LV2 plug-in as Linux hosts run it, found through lilv (LV2_PATH or the usual folders):
//   - run()'s CPU time per frame: blocks of 512 frames of stereo white noise at 48 kHz, the control
//     inputs at their defaults or at a preset's values, the plug-in's scheduled work done after
//     each block as a host's worker would;
//   - its X11 editor open in a host's window with nothing changing, idled at a host's 30 Hz: the
//     process's CPU time (all its threads) over wall time, in percent of one core; the X server's
//     own work is not counted;
//   - the time from the editor's instantiate to its first frame on the window (read back from the
//     server until the window shows more than one colour), in a fresh process (each iteration one)
//     and again in the same process.
//
//   lv2_bench [--plugin=URI] [--preset=URI] [benchmark options]
//
// By default the plug-in is QuillonMini from the build (QM_LV2_BENCH_PLUGIN), and BM_Vst2ProcessPerFrame runs
// the same work through its VST 2 plug-in; the editor's figures need the X display that
// tools/qm bench starts.

#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/worker/worker.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "plug/VST2Types.h"
#include "tests/support/FreshProcess.h"
#include "tests/support/Lv2UiHost.h"
#include "tests/support/Lv2UridMap.h"
#include "tests/support/TempFolder.h"
#include "tests/support/X11TestHost.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* gSelf = nullptr; // this program, for fresh processes
std::string gPlugin = QM_LV2_BENCH_PLUGIN;
std::string gPreset;

constexpr double kRate = 48000.0;
constexpr uint32_t kBlock = 512;

double ProcessCpuSeconds()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
      1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

constexpr uint32_t kNoiseFrames = 48000 / kBlock * kBlock; // a second of noise, whole blocks

// Stereo white noise, the same in every run.
std::vector<std::vector<float>> Noise()
{
  std::mt19937 random(20240607);
  std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
  std::vector<std::vector<float>> channels(2, std::vector<float>(kNoiseFrames));
  for (std::vector<float>& channel : channels)
    for (float& sample : channel)
      sample = noise(random);
  return channels;
}

// The editor may keep settings between openings: in a folder of this process, so that no run
// measures what an earlier one left.
void UsePrivateSettings()
{
  static const TempSettingsFolder settings("qm_lv2_bench");
}

// What a host's worker thread does, done after each block instead: the plug-in's scheduled work,
// then its responses, then end_run.
class Worker
{
public:
  Worker() { mSchedule = {this, &Schedule}; }
  LV2_Worker_Schedule* Feature() { return &mSchedule; }
  void Attach(LV2_Handle handle, const LV2_Worker_Interface* worker)
  {
    mHandle = handle;
    mWorker = worker;
  }
  void AfterRun()
  {
    if (!mWorker)
      return;
    std::vector<std::vector<uint8_t>> requests;
    requests.swap(mRequests);
    for (const std::vector<uint8_t>& request : requests)
      mWorker->work(mHandle, &Respond, this, uint32_t(request.size()), request.data());
    std::vector<std::vector<uint8_t>> responses;
    responses.swap(mResponses);
    for (const std::vector<uint8_t>& response : responses)
      mWorker->work_response(mHandle, uint32_t(response.size()), response.data());
    if (mWorker->end_run)
      mWorker->end_run(mHandle);
  }

private:
  static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data)
  {
    auto* bytes = static_cast<const uint8_t*>(data);
    static_cast<Worker*>(handle)->mRequests.emplace_back(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
  }
  static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data)
  {
    auto* bytes = static_cast<const uint8_t*>(data);
    static_cast<Worker*>(handle)->mResponses.emplace_back(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
  }

  LV2_Worker_Schedule mSchedule{};
  LV2_Handle mHandle = nullptr;
  const LV2_Worker_Interface* mWorker = nullptr;
  std::vector<std::vector<uint8_t>> mRequests, mResponses;
};

// One instance of the plug-in at 48 kHz, every port connected: audio to the noise and to output
// buffers, control inputs to their defaults (or the preset's values), atom inputs to an empty
// sequence, the rest to buffers of their own.
class Lv2Run
{
public:
  explicit Lv2Run(const std::string& uri)
  {
    mWorld = lilv_world_new();
    lilv_world_load_all(mWorld);
    LilvNode* node = lilv_new_uri(mWorld, uri.c_str());
    mPlugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), node);
    lilv_node_free(node);
    if (!mPlugin)
    {
      mError = "no LV2 plug-in " + uri + " on LV2_PATH";
      return;
    }
    MakeFeatures();
    mInstance = lilv_plugin_instantiate(mPlugin, kRate, mFeatures.data());
    if (!mInstance)
    {
      mError = "the plug-in's instantiate returned null";
      return;
    }
    if (const void* worker = lilv_instance_get_extension_data(mInstance, LV2_WORKER__interface))
      mWorker.Attach(lilv_instance_get_handle(mInstance), static_cast<const LV2_Worker_Interface*>(worker));
    ConnectPorts();
    lilv_instance_activate(mInstance);
  }
  ~Lv2Run()
  {
    if (mInstance)
    {
      lilv_instance_deactivate(mInstance);
      lilv_instance_free(mInstance);
    }
    lilv_world_free(mWorld);
  }
  Lv2Run(const Lv2Run&) = delete;
  Lv2Run& operator=(const Lv2Run&) = delete;

  const std::string& Error() const { return mError; }

  // The preset's port values (and its state, for a plug-in that keeps one) restored.
  bool ApplyPreset(const std::string& uri)
  {
    LilvNode* node = lilv_new_uri(mWorld, uri.c_str());
    lilv_world_load_resource(mWorld, node);
    LilvState* state = lilv_state_new_from_world(mWorld, static_cast<LV2_URID_Map*>(mUrids.MapFeature()->data), node);
    lilv_node_free(node);
    if (!state)
    {
      mError = "no preset " + uri;
      return false;
    }
    lilv_state_restore(state, mInstance, &SetPortValue, this, 0, mFeatures.data());
    lilv_state_free(state);
    return true;
  }

  // The next block of the noise through the plug-in.
  void RunBlock()
  {
    for (std::size_t i = 0; i < mAudioIn.size(); ++i)
      lilv_instance_connect_port(mInstance, mAudioIn[i], &mNoise[i % 2][mAt]);
    for (LV2_Atom_Sequence* out : mAtomOut)
      *out = {{kAtomCapacity - uint32_t(sizeof(LV2_Atom)), mUrids.Map(LV2_ATOM__Chunk)}, {0, 0}};
    lilv_instance_run(mInstance, kBlock);
    mWorker.AfterRun();
    mAt = (mAt + kBlock) % kNoiseFrames;
  }

private:
  static constexpr uint32_t kAtomCapacity = 8192;

  void MakeFeatures()
  {
    const LV2_URID intType = mUrids.Map(LV2_ATOM__Int), floatType = mUrids.Map(LV2_ATOM__Float);
    mOptions = {
        {LV2_OPTIONS_INSTANCE, 0, mUrids.Map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), intType, &kOne},
        {LV2_OPTIONS_INSTANCE, 0, mUrids.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType, &kMax},
        {LV2_OPTIONS_INSTANCE, 0, mUrids.Map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), intType, &kMax},
        {LV2_OPTIONS_INSTANCE, 0, mUrids.Map(LV2_PARAMETERS__sampleRate), sizeof(float), floatType, &kRateFloat},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    mFeatureList = {*mUrids.MapFeature(),
                    *mUrids.UnmapFeature(),
                    {LV2_OPTIONS__options, mOptions.data()},
                    {LV2_BUF_SIZE__boundedBlockLength, nullptr},
                    {LV2_WORKER__schedule, mWorker.Feature()}};
    for (const LV2_Feature& feature : mFeatureList)
      mFeatures.push_back(&feature);
    mFeatures.push_back(nullptr);
  }

  void ConnectPorts()
  {
    const std::vector<std::vector<float>> noise = Noise();
    mNoise[0] = noise[0];
    mNoise[1] = noise[1];
    LilvNode* audio = lilv_new_uri(mWorld, LV2_CORE__AudioPort);
    LilvNode* control = lilv_new_uri(mWorld, LV2_CORE__ControlPort);
    LilvNode* atom = lilv_new_uri(mWorld, LV2_ATOM__AtomPort);
    LilvNode* input = lilv_new_uri(mWorld, LV2_CORE__InputPort);
    const uint32_t ports = lilv_plugin_get_num_ports(mPlugin);
    std::vector<float> defaults(ports);
    lilv_plugin_get_port_ranges_float(mPlugin, nullptr, nullptr, defaults.data());
    mControls.assign(ports, 0.f);
    mAtoms.resize(ports);
    mBuffers.resize(ports);
    for (uint32_t i = 0; i < ports; ++i)
    {
      const LilvPort* port = lilv_plugin_get_port_by_index(mPlugin, i);
      const bool in = lilv_port_is_a(mPlugin, port, input);
      if (lilv_port_is_a(mPlugin, port, audio) && in)
        mAudioIn.push_back(i);
      else if (lilv_port_is_a(mPlugin, port, control))
      {
        mControls[i] = in && !std::isnan(defaults[i]) ? defaults[i] : 0.f;
        lilv_instance_connect_port(mInstance, i, &mControls[i]);
      }
      else if (lilv_port_is_a(mPlugin, port, atom))
      {
        mAtoms[i].resize(kAtomCapacity / sizeof(uint64_t));
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(mAtoms[i].data());
        *sequence = {{sizeof(LV2_Atom_Sequence_Body), mUrids.Map(LV2_ATOM__Sequence)}, {0, 0}};
        if (!in)
          mAtomOut.push_back(sequence);
        lilv_instance_connect_port(mInstance, i, sequence);
      }
      else
      {
        mBuffers[i].assign(kBlock, 0.f); // audio outputs, CV
        lilv_instance_connect_port(mInstance, i, mBuffers[i].data());
      }
    }
    for (LilvNode* node : {audio, control, atom, input})
      lilv_node_free(node);
  }

  static void SetPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type)
  {
    auto* run = static_cast<Lv2Run*>(user);
    LilvNode* name = lilv_new_string(run->mWorld, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(run->mPlugin, name);
    lilv_node_free(name);
    if (port && size == sizeof(float) && type == run->mUrids.Map(LV2_ATOM__Float))
      std::memcpy(&run->mControls[lilv_port_get_index(run->mPlugin, port)], value, sizeof(float));
  }

  static constexpr int32_t kOne = 1, kMax = kBlock;
  static constexpr float kRateFloat = float(kRate);

  std::string mError;
  LilvWorld* mWorld = nullptr;
  const LilvPlugin* mPlugin = nullptr;
  LilvInstance* mInstance = nullptr;
  Lv2UridMap mUrids;
  Worker mWorker;
  std::vector<LV2_Options_Option> mOptions;
  std::vector<LV2_Feature> mFeatureList;
  std::vector<const LV2_Feature*> mFeatures;
  std::vector<float> mNoise[2];
  std::vector<uint32_t> mAudioIn;
  std::vector<float> mControls;
  std::vector<std::vector<uint64_t>> mAtoms; // 64-bit aligned, as atoms must be
  std::vector<LV2_Atom_Sequence*> mAtomOut;
  std::vector<std::vector<float>> mBuffers;
  uint32_t mAt = 0;
};

void BM_Lv2RunPerFrame(benchmark::State& state)
{
  Lv2Run run(gPlugin);
  if (!run.Error().empty() || (!gPreset.empty() && !run.ApplyPreset(gPreset)))
    return state.SkipWithError(run.Error().c_str());
  for (int i = 0; i < 100; ++i) // the tail filled, the caches warm
    run.RunBlock();
  for (auto _ : state)
    run.RunBlock();
  state.counters["per_frame"] = benchmark::Counter(double(state.iterations()) * kBlock,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Lv2RunPerFrame)->Unit(benchmark::kMicrosecond);

// The same work through QuillonMini's VST 2 plug-in (QM_PLUGIN_PATH), the reference for its LV2
// figure: the same noise, blocks and defaults, processReplacing in single precision.
void BM_Vst2ProcessPerFrame(benchmark::State& state)
{
  void* module = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  const auto entry = module ? reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain")) : nullptr;
  AEffect* effect =
      entry ? entry([](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr { return 0; }) : nullptr;
  if (!effect)
    return state.SkipWithError("cannot load " QM_PLUGIN_PATH);
  effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.f);
  effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, float(kRate));
  effect->dispatcher(effect, effSetBlockSize, 0, kBlock, nullptr, 0.f);
  effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.f);
  const std::vector<std::vector<float>> noise = Noise();
  std::vector<float> out[2] = {std::vector<float>(kBlock), std::vector<float>(kBlock)};
  float* outputs[2] = {out[0].data(), out[1].data()};
  uint32_t at = 0;
  const auto block = [&] {
    float* inputs[2] = {const_cast<float*>(&noise[0][at]), const_cast<float*>(&noise[1][at])};
    effect->processReplacing(effect, inputs, outputs, kBlock);
    at = (at + kBlock) % uint32_t(noise[0].size());
  };
  for (int i = 0; i < 100; ++i)
    block();
  for (auto _ : state)
    block();
  state.counters["per_frame"] = benchmark::Counter(double(state.iterations()) * kBlock,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.f);
}
BENCHMARK(BM_Vst2ProcessPerFrame)->Unit(benchmark::kMicrosecond);

// The editor in a host's window the size of the screen.
struct EditorHost
{
  Display* display = OpenTestDisplay();
  Window parent = display ? MapHostWindow(display, DisplayWidth(display, 0), DisplayHeight(display, 0)) : None;
  Lv2UiHost ui{gPlugin};

  ~EditorHost()
  {
    ui.Cleanup();
    if (display)
      XCloseDisplay(display);
  }
  const char* Error() const { return !display ? "no X display" : ui.Error().empty() ? nullptr : ui.Error().c_str(); }

  // From instantiate to the first frame on the window, in milliseconds; -1 when none came within
  // two seconds. Idle calls at once and then every half millisecond, so that a UI that draws
  // only in its idle call draws as soon as it can.
  double FirstFrameMs()
  {
    const auto t0 = Clock::now();
    if (!ui.Instantiate(parent))
      return -1.0;
    while (Clock::now() - t0 < std::chrono::seconds(2))
    {
      ui.Idle();
      if (ShowsAFrame(display, ui.Widget()))
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return -1.0;
  }
};

// Idle calls at 30 Hz for three seconds, the editor open and nothing changing.
void BM_Lv2EditorIdleAt30Hz(benchmark::State& state)
{
  UsePrivateSettings();
  EditorHost host;
  if (host.Error())
    return state.SkipWithError(host.Error());
  if (host.FirstFrameMs() < 0)
    return state.SkipWithError("the editor showed no frame");
  for (int i = 0; i < 10; ++i)
    host.ui.Idle();
  double cpu = 0.0, wall = 0.0;
  for (auto _ : state)
  {
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    for (int i = 0; i < 90; ++i)
    {
      host.ui.Idle();
      std::this_thread::sleep_until(t0 + std::chrono::microseconds(33333 * (i + 1)));
    }
    cpu += ProcessCpuSeconds() - cpu0;
    wall += std::chrono::duration<double>(Clock::now() - t0).count();
  }
  state.counters["cpu_%"] = 100.0 * cpu / wall;
}
BENCHMARK(BM_Lv2EditorIdleAt30Hz)->Iterations(3)->Unit(benchmark::kMillisecond);

// In a fresh process: the host found the plug-in and loaded its editor's binary, then the first
// instantiate of the process (the editor's fonts and pictures read, its first frame drawn).
double FirstFrameInAFreshProcessMs()
{
  UsePrivateSettings();
  EditorHost host;
  return host.Error() ? -1.0 : host.FirstFrameMs();
}

void BM_Lv2EditorFirstFrameInAProcess(benchmark::State& state)
{
  for (auto _ : state)
  {
    const double ms = NumberFromAFreshProcess(gSelf, {"--first-frame", "--plugin=" + gPlugin});
    if (ms < 0.0)
      return state.SkipWithError("the fresh process showed no frame (no X display?)");
    state.SetIterationTime(ms / 1000.0);
  }
}
BENCHMARK(BM_Lv2EditorFirstFrameInAProcess)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Instantiate and cleanup again in the same process.
void BM_Lv2EditorFirstFrameLater(benchmark::State& state)
{
  UsePrivateSettings();
  EditorHost host;
  if (host.Error())
    return state.SkipWithError(host.Error());
  for (auto _ : state)
  {
    const double ms = host.FirstFrameMs();
    host.ui.Cleanup();
    if (ms < 0.0)
      return state.SkipWithError("the editor showed no frame");
    state.SetIterationTime(ms / 1000.0);
  }
}
BENCHMARK(BM_Lv2EditorFirstFrameLater)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
  gSelf = argv[0];
  if (!getenv("LV2_PATH")) // the build's bundle first
    setenv("LV2_PATH", QM_LV2_DIR ":/usr/local/lib/lv2:/usr/lib/lv2", 1);
  PinLv2Path();
  bool firstFrame = false;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i)
  {
    if (std::strncmp(argv[i], "--plugin=", 9) == 0)
      gPlugin = argv[i] + 9;
    else if (std::strncmp(argv[i], "--preset=", 9) == 0)
      gPreset = argv[i] + 9;
    else if (std::strcmp(argv[i], "--first-frame") == 0)
      firstFrame = true;
    else
      rest.push_back(argv[i]);
  }
  if (firstFrame)
  {
    std::printf("%.3f\n", FirstFrameInAFreshProcessMs());
    return 0;
  }
  int count = int(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
