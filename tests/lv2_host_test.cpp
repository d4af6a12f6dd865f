// A test host of the LV2 plug-in's DSP: loads the built bundle with lilv, as hosts do, and compares
// the plug-in with the effect's tables and with the VST 2 plug-in (QuillonMini.so through dlopen).
// Also runs the tools of the LV2 world on the bundle: serdi, lv2_validate, lv2apply.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/units/units.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "effect/FactoryPresets.h"
#include "effect/QuillonMini.h"
#include "plug/LV2Protocol.h"
#include "plug/VST2Types.h"
#include "plug/core/IByteChunk.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/Lv2UridMap.h"
#include "tests/support/TempFolder.h"

namespace {

const TempSettingsFolder gSettings("qm_lv2_host");

constexpr const char* kURI = "https://www.brannocksound.com/plugins/QuillonMini";
constexpr int kControls = 4;
constexpr uint32_t kFirstControl = 4;
constexpr uint32_t kMessagesIn = 8;
constexpr uint32_t kMessagesOut = 9;
constexpr size_t kAtomBufferSize = 16384;
const char* const kSymbols[kControls] = {"decay", "width", "color", "mix"};

// Runs a command, returning its exit status and what it printed.
int RunCommand(const std::string& command, std::string* output = nullptr)
{
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe)
    return -1;
  char buffer[4096];
  std::string text;
  while (size_t n = fread(buffer, 1, sizeof(buffer), pipe))
    text.append(buffer, n);
  const int status = pclose(pipe);
  if (output)
    *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What programs run by the tests need to load a plug-in built with sanitizers.
std::string ToolEnvironment()
{
  std::string env = std::string("LV2_PATH=") + QM_LV2_DIR + " ";
#ifdef QM_SANITIZER_PRELOAD
  env += std::string("LD_PRELOAD=\"") + QM_SANITIZER_PRELOAD + "\" ASAN_OPTIONS=detect_leaks=0 ";
#endif
  return env;
}

// --- The host's URID map ---------------------------------------------------------------------------

Lv2UridMap& Urids()
{
  static Lv2UridMap* map = new Lv2UridMap;
  return *map;
}

const plug::lv2::URIDs& MessageUrids()
{
  static const plug::lv2::URIDs urids = [] {
    plug::lv2::URIDs u;
    u.Map(Urids().MapInterface(), kURI);
    return u;
  }();
  return urids;
}

// --- The world: the built bundle only ---------------------------------------------------------------

struct World
{
  LilvWorld* world = lilv_world_new();
  const LilvPlugin* plugin = nullptr;

  World()
  {
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, QM_LV2_BUNDLE "/");
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world, kURI);
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
  }
  LilvNode* Uri(const char* uri) { return lilv_new_uri(world, uri); }
};

World& TheWorld()
{
  static World* world = new World;
  return *world;
}

// --- A plug-in instance with its buffers --------------------------------------------------------------

struct Features
{
  bool worker = true;
  bool map = true;
  int maxBlockLength = 256;
};

class Dsp
{
public:
  explicit Dsp(double rate, Features features = {})
    : mFeatures(features)
  {
    mSchedule.handle = this;
    mSchedule.schedule_work = [](LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
      static_cast<Dsp*>(handle)->mJobs += size > 0 && data ? 1 : 0;
      return LV2_WORKER_SUCCESS;
    };
    mBlockLength = features.maxBlockLength;
    mOptions[0] = {
        LV2_OPTIONS_INSTANCE, 0, Urids().Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), Urids().Map(LV2_ATOM__Int),
        &mBlockLength};
    mOptions[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    mMapFeature = {LV2_URID__map, Urids().MapInterface()};
    mScheduleFeature = {LV2_WORKER__schedule, &mSchedule};
    mOptionsFeature = {LV2_OPTIONS__options, mOptions};
    if (features.map)
      mFeatureList.push_back(&mMapFeature);
    if (features.worker)
      mFeatureList.push_back(&mScheduleFeature);
    if (features.maxBlockLength > 0)
      mFeatureList.push_back(&mOptionsFeature);
    mFeatureList.push_back(nullptr);
    instance = lilv_plugin_instantiate(TheWorld().plugin, rate, mFeatureList.data());
    if (!instance)
      return;
    for (int i = 0; i < kControls; ++i)
      controls[i] = DefaultOf(i);
    for (uint32_t i = 0; i < kControls; ++i)
      lilv_instance_connect_port(instance, kFirstControl + i, &controls[i]);
    mIn.assign(kAtomBufferSize / 8, 0);
    mOut.assign(kAtomBufferSize / 8, 0);
    lilv_instance_connect_port(instance, kMessagesIn, mIn.data());
    lilv_instance_connect_port(instance, kMessagesOut, mOut.data());
    ClearMessagesIn();
    lilv_instance_activate(instance);
  }
  ~Dsp()
  {
    if (instance)
    {
      lilv_instance_deactivate(instance);
      lilv_instance_free(instance);
    }
  }

  static float DefaultOf(int i)
  {
    const double defaults[kControls] = {3.2, 150.0, 0.0, 21.0};
    return static_cast<float>(defaults[i]);
  }

  // Runs frames of in through the plug-in into out (which may be in), then the worker.
  void Process(std::vector<float>* in, std::vector<float>* out, size_t offset, uint32_t frames)
  {
    for (int c = 0; c < 2; ++c)
    {
      lilv_instance_connect_port(instance, static_cast<uint32_t>(c), in[c].data() + offset);
      lilv_instance_connect_port(instance, static_cast<uint32_t>(2 + c), out[c].data() + offset);
    }
    RunOnly(frames);
  }
  void RunOnly(uint32_t frames)
  {
    auto* out = reinterpret_cast<LV2_Atom_Sequence*>(mOut.data());
    out->atom.size = static_cast<uint32_t>(kAtomBufferSize - sizeof(LV2_Atom));
    out->atom.type = 0;
    lilv_instance_run(instance, frames);
    ReadMessagesOut();
    ClearMessagesIn();
    DoWork();
  }
  void DoWork()
  {
    const auto* worker =
        static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance, LV2_WORKER__interface));
    const uint8_t token = 1;
    for (; mJobs > 0; --mJobs)
      worker->work(lilv_instance_get_handle(instance), nullptr, nullptr, sizeof(token), &token);
  }

  // Messages to the DSP: a Session with these bytes, or a Request without.
  void Send(const plug::IByteChunk* session)
  {
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(mIn.data());
    auto* event = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<uint8_t*>(&sequence->body) + sequence->atom.size);
    const uint32_t room = static_cast<uint32_t>(kAtomBufferSize - sizeof(LV2_Atom) - sequence->atom.size - 8);
    const uint32_t written =
        plug::lv2::WriteMessage(&event->body, room, MessageUrids(), session ? session->GetData() : nullptr,
                                session ? static_cast<uint32_t>(session->Size()) : 0);
    ASSERT_GT(written, 0u);
    event->time.frames = 0;
    sequence->atom.size += lv2_atom_pad_size(8 + written);
  }
  // The sessions the DSP sent at the last run.
  std::vector<plug::IByteChunk> received;

  LilvInstance* instance = nullptr;
  float controls[kControls] = {};

private:
  void ClearMessagesIn()
  {
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(mIn.data());
    sequence->atom.type = Urids().Map(LV2_ATOM__Sequence);
    sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
    sequence->body.unit = 0;
    sequence->body.pad = 0;
  }
  void ReadMessagesOut()
  {
    received.clear();
    const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(mOut.data());
    if (sequence->atom.type != Urids().Map(LV2_ATOM__Sequence))
      return;
    LV2_ATOM_SEQUENCE_FOREACH(sequence, event)
    {
      const plug::lv2::Message message = plug::lv2::ReadMessage(&event->body, MessageUrids());
      if (message.kind == plug::lv2::Message::EKind::kSession)
      {
        received.emplace_back();
        received.back().PutBytes(message.bytes, static_cast<int>(message.size));
      }
    }
  }

  Features mFeatures;
  int32_t mBlockLength = 0;
  LV2_Worker_Schedule mSchedule{};
  LV2_Options_Option mOptions[2]{};
  LV2_Feature mMapFeature{};
  LV2_Feature mScheduleFeature{};
  LV2_Feature mOptionsFeature{};
  std::vector<const LV2_Feature*> mFeatureList;
  std::vector<uint64_t> mIn, mOut; // 8-byte aligned atom buffers
  int mJobs = 0;                   // scheduled, not yet worked (counted only: run() must not make the host allocate)
};

// --- Signals ---------------------------------------------------------------------------------------

struct Signal
{
  std::vector<float> ch[2];
  explicit Signal(size_t n)
  {
    ch[0].assign(n, 0.0f);
    ch[1].assign(n, 0.0f);
  }
  bool operator==(const Signal& other) const
  {
    return ch[0].size() == other.ch[0].size() &&
        std::memcmp(ch[0].data(), other.ch[0].data(), ch[0].size() * sizeof(float)) == 0 &&
        std::memcmp(ch[1].data(), other.ch[1].data(), ch[1].size() * sizeof(float)) == 0;
  }
};

// Plucks and noise bursts, different on each side.
Signal TestInput(size_t n)
{
  Signal s(n);
  uint32_t seed = 12345;
  for (size_t i = 0; i < n; ++i)
  {
    seed = seed * 1664525u + 1013904223u;
    const float noise = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    s.ch[0][i] = i % 4000 < 300 ? 0.5f * std::sin(0.07f * static_cast<float>(i)) : 0.0f;
    s.ch[1][i] = i % 5000 < 200 ? 0.3f * noise : 0.0f;
  }
  return s;
}

// Frames per run: one frame, nothing, short ones, one longer than the announced maximum.
const std::vector<uint32_t> kPartition = {1, 0, 7, 300, 0, 5000, 64, 1, 1, 999, 0};

Signal RunLv2(Dsp& dsp, const Signal& input, bool inPlace)
{
  Signal out = input;
  Signal in = input;
  std::vector<float>* source = in.ch;
  std::vector<float>* target = inPlace ? in.ch : out.ch;
  size_t offset = 0;
  for (size_t k = 0; offset < input.ch[0].size(); ++k)
  {
    const uint32_t n = static_cast<uint32_t>(
        std::min<size_t>(k < kPartition.size() ? kPartition[k] : 4096, input.ch[0].size() - offset));
    dsp.Process(source, target, offset, n);
    offset += n;
  }
  return inPlace ? in : out;
}

// --- The VST 2 plug-in, as the reference ---------------------------------------------------------------

VstIntPtr Vst2HostCallback(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

// Processes input through QuillonMini.so's single-precision path, its values given as plain doubles
// through a program chunk.
Signal RunVst2(const std::array<float, kControls>& values, double rate, const Signal& input)
{
  static void* module = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  const auto main = module ? reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain")) : nullptr;
  AEffect* effect = main ? main(Vst2HostCallback) : nullptr;
  Signal out(input.ch[0].size());
  if (!effect)
  {
    ADD_FAILURE() << "QuillonMini.so did not load";
    return out;
  }
  const auto dispatch = [effect](VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  };
  dispatch(effOpen, 0, 0, nullptr, 0.0f);
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  dispatch(effSetBlockSize, 0, 512, nullptr, 0.0f);
  plug::IByteChunk chunk;
  chunk.WriteVersionHeader();
  for (float value : values)
    chunk.PutValue(static_cast<double>(value));
  EXPECT_EQ(dispatch(effSetChunk, 1, chunk.Size(), chunk.GetData(), 0.0f), 1);
  dispatch(effMainsChanged, 0, 1, nullptr, 0.0f);
  Signal in = input;
  float* inputs[2] = {in.ch[0].data(), in.ch[1].data()};
  float* outputs[2] = {out.ch[0].data(), out.ch[1].data()};
  effect->processReplacing(effect, inputs, outputs, static_cast<VstInt32>(in.ch[0].size()));
  dispatch(effClose, 0, 0, nullptr, 0.0f);
  return out;
}

// --- State through lilv ------------------------------------------------------------------------------

const void* GetPortValue(const char* symbol, void* user, uint32_t* size, uint32_t* type)
{
  auto* dsp = static_cast<Dsp*>(user);
  for (int i = 0; i < kControls; ++i)
  {
    if (std::strcmp(symbol, kSymbols[i]) == 0)
    {
      *size = sizeof(float);
      *type = Urids().Map(LV2_ATOM__Float);
      return &dsp->controls[i];
    }
  }
  *size = 0;
  *type = 0;
  return nullptr;
}

void SetPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type)
{
  auto* values = static_cast<std::map<std::string, float>*>(user);
  if (size == sizeof(float) && type == Urids().Map(LV2_ATOM__Float))
    (*values)[symbol] = *static_cast<const float*>(value);
  else if (size == sizeof(double) && type == Urids().Map(LV2_ATOM__Double))
    (*values)[symbol] = static_cast<float>(*static_cast<const double*>(value));
  else if (size == sizeof(int32_t) && type == Urids().Map(LV2_ATOM__Int))
    (*values)[symbol] = static_cast<float>(*static_cast<const int32_t*>(value));
}

// Restores state into dsp as a host does: the port values, then the plug-in's own state.
void Restore(const LilvState* state, Dsp& dsp)
{
  std::map<std::string, float> values;
  lilv_state_restore(state, dsp.instance, SetPortValue, &values, 0, nullptr);
  for (int i = 0; i < kControls; ++i)
  {
    if (values.count(kSymbols[i]))
      dsp.controls[i] = values[kSymbols[i]];
  }
}

// An effect of our own, for the sessions an editor sends and to read the ones the DSP sends.
std::unique_ptr<quillon::TQuillonMini> Effect()
{
  return std::make_unique<quillon::TQuillonMini>(plug::InstanceInfo{});
}

std::vector<std::string> ProgramNames(const plug::IByteChunk& session, std::string* shown = nullptr)
{
  const auto effect = Effect();
  EXPECT_TRUE(effect->UnserializeSession(session, false));
  std::vector<std::string> names;
  for (int i = 0; i < effect->NPresets(); ++i)
    names.push_back(effect->GetPresetName(i));
  if (shown)
    *shown = effect->GetCurrentPresetName();
  return names;
}

// The session the DSP holds, asked for as an editor asks.
plug::IByteChunk AskSession(Dsp& dsp)
{
  dsp.Send(nullptr);
  dsp.RunOnly(0);
  EXPECT_EQ(dsp.received.size(), 1u);
  return dsp.received.empty() ? plug::IByteChunk() : dsp.received.front();
}

// --- Tests -------------------------------------------------------------------------------------------

TEST(Lv2Bundle, TurtleParsesStrictlyValidatesAndTheDspBinaryNeedsNoDisplay)
{
  for (const char* file : {"manifest.ttl", "QuillonMini.ttl", "presets.ttl"})
  {
    std::string output;
    EXPECT_EQ(
        RunCommand(std::string("serdi -i turtle -o ntriples ") + QM_LV2_BUNDLE + "/" + file + " >/dev/null", &output),
        0)
        << file << ": " << output;
    EXPECT_EQ(output, "") << file;
  }
  std::string report;
  const int status = RunCommand(
      std::string("cd ") + QM_LV2_BUNDLE + " && lv2_validate manifest.ttl QuillonMini.ttl presets.ttl", &report);
  EXPECT_EQ(status, 0) << report;
  EXPECT_NE(report.find("Found 0 errors"), std::string::npos) << report; // a syntax error exits 0

  std::string libraries;
  ASSERT_EQ(RunCommand(std::string("ldd ") + QM_LV2_BUNDLE + "/QuillonMini_dsp.so", &libraries), 0) << libraries;
  for (const char* library : {"libX11", "libxcb", "libcairo", "libfreetype"})
    EXPECT_EQ(libraries.find(library), std::string::npos) << library << " in\n" << libraries;
}

// Ports, ranges, defaults and units as hosts read them, against the effect's own tables; each
// program as a preset that lilv restores to the program's values, exactly as single floats.
TEST(Lv2Bundle, PortsAndPresetsAreTheEffectsTables)
{
  World& w = TheWorld();
  ASSERT_NE(w.plugin, nullptr);
  const auto effect = Effect();
  ASSERT_EQ(lilv_plugin_get_num_ports(w.plugin), 10u);
  LilvNode* unitProperty = w.Uri(LV2_UNITS__unit);
  const char* units[kControls] = {LV2_UNITS__s, LV2_UNITS__pc, nullptr, LV2_UNITS__pc};
  for (int i = 0; i < kControls; ++i)
  {
    const plug::IParam& param = *effect->GetParam(i);
    const LilvPort* port = lilv_plugin_get_port_by_index(w.plugin, kFirstControl + static_cast<uint32_t>(i));
    EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(w.plugin, port)), kSymbols[i]);
    LilvNode* name = lilv_port_get_name(w.plugin, port);
    EXPECT_STREQ(lilv_node_as_string(name), param.GetNameForHost());
    lilv_node_free(name);
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(w.plugin, port, &def, &min, &max);
    EXPECT_EQ(lilv_node_as_float(def), static_cast<float>(param.GetDefault())) << kSymbols[i];
    EXPECT_EQ(lilv_node_as_float(min), static_cast<float>(param.GetMin())) << kSymbols[i];
    EXPECT_EQ(lilv_node_as_float(max), static_cast<float>(param.GetMax())) << kSymbols[i];
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);
    LilvNodes* unit = lilv_port_get_value(w.plugin, port, unitProperty);
    if (units[i])
      EXPECT_STREQ(unit ? lilv_node_as_uri(lilv_nodes_get_first(unit)) : "", units[i]) << kSymbols[i];
    else
      EXPECT_EQ(unit, nullptr) << kSymbols[i];
    lilv_nodes_free(unit);
  }
  lilv_node_free(unitProperty);

  LilvNode* presetClass = w.Uri(LV2_PRESETS__Preset);
  LilvNode* label = w.Uri("http://www.w3.org/2000/01/rdf-schema#label");
  LilvNodes* presets = lilv_plugin_get_related(w.plugin, presetClass);
  EXPECT_EQ(lilv_nodes_size(presets), 20u);
  std::map<std::string, std::map<std::string, float>> found;
  LILV_FOREACH(nodes, it, presets)
  {
    const LilvNode* preset = lilv_nodes_get(presets, it);
    lilv_world_load_resource(w.world, preset);
    LilvNodes* labels = lilv_world_find_nodes(w.world, preset, label, nullptr);
    ASSERT_NE(labels, nullptr);
    LilvState* state = lilv_state_new_from_world(w.world, Urids().MapInterface(), preset);
    ASSERT_NE(state, nullptr);
    Dsp dsp(48000.0);
    std::map<std::string, float> values;
    lilv_state_restore(state, dsp.instance, SetPortValue, &values, 0, nullptr);
    const std::string name = lilv_node_as_string(lilv_nodes_get_first(labels));
    found[name] = values;
    std::string current; // the preset's program becomes the current one
    ProgramNames(AskSession(dsp), &current);
    EXPECT_EQ(current, name);
    lilv_state_free(state);
    lilv_nodes_free(labels);
  }
  lilv_nodes_free(presets);
  lilv_node_free(label);
  lilv_node_free(presetClass);
  for (const quillon::TFactoryPreset& program : quillon::kFactoryPresets)
  {
    ASSERT_EQ(found.count(program.name), 1u) << program.name;
    std::map<std::string, float>& values = found[program.name];
    EXPECT_EQ(values["decay"], static_cast<float>(program.decay)) << program.name;
    EXPECT_EQ(values["width"], static_cast<float>(program.width)) << program.name;
    EXPECT_EQ(values["color"], static_cast<float>(program.color)) << program.name;
    EXPECT_EQ(values["mix"], static_cast<float>(program.mix)) << program.name;
  }
}

// The same bits as the VST 2 plug-in's single-precision output for the same values, whatever the
// rate, the partition into runs (one frame, none, longer than announced) and whether the host runs
// it in place.
TEST(Lv2Dsp, OutputIsTheVst2FloatOutputBitForBit)
{
  const quillon::TFactoryPreset& hall = quillon::FactoryPreset("Cathedral");
  const std::array<float, kControls> values = {static_cast<float>(hall.decay), static_cast<float>(hall.width),
                                               static_cast<float>(hall.color), static_cast<float>(hall.mix)};
  const Signal input = TestInput(24000);
  for (const double rate : {44100.0, 48000.0, 96000.0})
  {
    const Signal reference = RunVst2(values, rate, input);
    ASSERT_NE(reference.ch[1][23999], 0.0f); // the tail rings
    for (const bool inPlace : {false, true})
    {
      Dsp dsp(rate);
      ASSERT_NE(dsp.instance, nullptr);
      std::copy(values.begin(), values.end(), dsp.controls);
      EXPECT_TRUE(RunLv2(dsp, input, inPlace) == reference) << rate << " Hz, in place " << inPlace;
    }
  }
}

// Calls hosts make that the plug-in must survive: ports connected to nothing (as lilv leaves them
// after instantiation, and lv2apply leaves the message ports), runs without any feature, control
// values that are NaN (the default) or out of range (the nearest end).
TEST(Lv2Dsp, TakesWhatHostsGive)
{
  {
    Dsp dsp(48000.0, Features{.worker = false, .map = false, .maxBlockLength = 0});
    ASSERT_NE(dsp.instance, nullptr);
    for (uint32_t port = 0; port < 10; ++port)
      lilv_instance_connect_port(dsp.instance, port, nullptr);
    lilv_instance_run(dsp.instance, 0);
    lilv_instance_run(dsp.instance, 64);
  }
  const Signal input = TestInput(6000);
  const auto render = [&input](std::array<float, kControls> values) {
    Dsp dsp(48000.0);
    std::copy(values.begin(), values.end(), dsp.controls);
    return RunLv2(dsp, input, false);
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_TRUE(render({nan, nan, nan, nan}) == render({3.2f, 150.0f, 0.0f, 21.0f}));
  const Signal wild = render({inf, -1e9f, 500.0f, 1e30f});
  EXPECT_TRUE(wild == render({100.0f, 0.0f, 100.0f, 100.0f}));
  for (const std::vector<float>& channel : wild.ch)
    for (const float sample : channel)
      ASSERT_TRUE(std::isfinite(sample));
}

// The editor's messages: a request is answered with the session, a session sent is applied (its
// programs and shown name, never its values) and echoed to every editor; without a worker it waits
// for the next state save. A state saved then gives a fresh instance the same output and the same
// programs, after a Modify and after a loaded bank alike.
TEST(Lv2Dsp, SessionsFromTheEditorAndStateKeepWhatTheUserDid)
{
  World& w = TheWorld();
  const TempFolder folder("qm_lv2_state");
  const Signal input = TestInput(8000);

  const auto editor = Effect();
  editor->SetCurrentPreset(10);
  editor->GetParam(0)->SetValue(7.5);
  editor->ModifyThisPreset("My Hall");
  plug::IByteChunk afterModify;
  ASSERT_TRUE(editor->SerializeSession(afterModify));
  const auto other = Effect();
  other->SetCurrentPreset(4);
  other->GetParam(3)->SetValue(66.0);
  other->ModifyThisPreset("Banked");
  ASSERT_EQ(other->SaveBankFile(folder.PathOf("bank.fxb").c_str()), plug::EPresetFileResult::kDone);
  ASSERT_EQ(editor->LoadBankFile(folder.PathOf("bank.fxb").c_str()), plug::EPresetFileResult::kDone);
  plug::IByteChunk afterBank;
  ASSERT_TRUE(editor->SerializeSession(afterBank));

  for (const bool worker : {true, false})
  {
    const plug::IByteChunk& session = worker ? afterModify : afterBank;
    std::string shown;
    const std::vector<std::string> names = ProgramNames(session, &shown);
    EXPECT_EQ(shown, worker ? "My Hall" : "Banked");

    Dsp dsp(48000.0, Features{.worker = worker});
    ASSERT_NE(dsp.instance, nullptr);
    EXPECT_EQ(ProgramNames(AskSession(dsp))[10], "Large Hall");
    dsp.Send(&session);
    dsp.RunOnly(0);
    dsp.RunOnly(0);
    if (worker)
    {
      ASSERT_EQ(dsp.received.size(), 1u); // the echo, unasked
      EXPECT_EQ(ProgramNames(dsp.received.front()), names);
    }
    else
      EXPECT_TRUE(dsp.received.empty());

    const std::array<float, kControls> user = {5.0f, 120.0f, -30.0f, 40.0f};
    std::copy(user.begin(), user.end(), dsp.controls);
    dsp.RunOnly(1);
    LilvState* state = lilv_state_new_from_instance(w.plugin, dsp.instance, Urids().MapInterface(), nullptr, nullptr,
                                                    nullptr, nullptr, GetPortValue, &dsp, 0, nullptr);
    ASSERT_NE(state, nullptr);
    std::string shownKept;
    EXPECT_EQ(ProgramNames(AskSession(dsp), &shownKept), names) << "worker " << worker;
    EXPECT_EQ(shownKept, shown);
    lilv_instance_deactivate(dsp.instance);
    lilv_instance_activate(dsp.instance);
    const Signal saved = RunLv2(dsp, input, false);

    Dsp fresh(48000.0, Features{.worker = worker});
    Restore(state, fresh);
    EXPECT_TRUE(std::equal(user.begin(), user.end(), fresh.controls));
    EXPECT_TRUE(RunLv2(fresh, input, false) == saved) << "worker " << worker;
    std::string shownRestored;
    EXPECT_EQ(ProgramNames(AskSession(fresh), &shownRestored), names);
    EXPECT_EQ(shownRestored, shown);
    lilv_state_free(state);
  }
}

// Nothing in run() allocates: not the controls changing, not the messages in and out, not a run
// longer than the announced maximum.
TEST(Lv2Dsp, RunAllocatesNothing)
{
  Dsp dsp(48000.0);
  Signal signal = TestInput(6000);
  Signal out(6000);
  dsp.Process(signal.ch, out.ch, 0, 512);
  const auto editor = Effect();
  plug::IByteChunk session;
  editor->SerializeSession(session);
  dsp.Send(nullptr);
  dsp.Send(&session);
  dsp.controls[0] = 9.0f;
  dsp.controls[2] = -20.0f;
  const long before = AllocationsSoFar();
  lilv_instance_run(dsp.instance, 5000);
  EXPECT_EQ(AllocationsSoFar(), before);
}

// lv2apply: no features at all, runs of one frame, the message ports left unconnected.
TEST(Lv2Bundle, Lv2applyRendersAFile)
{
  const TempFolder folder("qm_lv2apply");
  const std::string in = folder.PathOf("in.wav");
  const std::string out = folder.PathOf("out.wav");
  {
    constexpr uint32_t kFrames = 4800;
    std::ofstream file(in, std::ios::binary);
    const auto u32 = [&file](uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&file](uint16_t v) { file.write(reinterpret_cast<const char*>(&v), 2); };
    file.write("RIFF", 4);
    u32(36 + kFrames * 4);
    file.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(48000);
    u32(48000 * 4);
    u16(4);
    u16(16);
    file.write("data", 4);
    u32(kFrames * 4);
    for (uint32_t i = 0; i < kFrames; ++i)
    {
      const auto sample = static_cast<int16_t>(i < 480 ? 8000.0 * std::sin(0.05 * i) : 0.0);
      u16(static_cast<uint16_t>(sample));
      u16(static_cast<uint16_t>(sample));
    }
  }
  std::string output;
  EXPECT_EQ(RunCommand(ToolEnvironment() + "lv2apply -i " + in + " -o " + out + " " + kURI, &output), 0) << output;
  std::ifstream rendered(out, std::ios::binary | std::ios::ate);
  EXPECT_GE(static_cast<long>(rendered.tellg()), 44 + 4800 * 4) << output;
}

} // namespace
