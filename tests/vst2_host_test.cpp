// A test host: drives QuillonMini.so only through dlopen, VSTPluginMain and the AEffect callbacks.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "checks/ThreadChecks.h"
#include "dsp/dsp.h"
#include "plug/VST2Types.h"
#include "tests/support/CommaLocale.h"
#include "tests/support/TempFolder.h"

using quillon::TReverb;

namespace {

// Settings go to a temporary folder, set before the plug-in is first loaded.
const TempSettingsFolder gSettings("qm_vst2_host");

VstPluginMainProc Entry(const char* name)
{
  static void* handle = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  return handle ? reinterpret_cast<VstPluginMainProc>(dlsym(handle, name)) : nullptr;
}

struct HostState
{
  std::vector<VstInt32> opcodes;
  bool giveTime = false;
  VstTimeInfo time{};
};

VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
  auto* host = effect ? static_cast<HostState*>(effect->user) : nullptr;
  if (!host)
    return 0;
  host->opcodes.push_back(opcode);
  switch (opcode)
  {
    case audioMasterGetProductString:
      std::strcpy(static_cast<char*>(ptr), "Test Host");
      return 1;
    case audioMasterGetVendorVersion:
      return 10203;
    case audioMasterGetTime:
      return host->giveTime ? reinterpret_cast<VstIntPtr>(&host->time) : 0;
    case audioMasterGetCurrentProcessLevel:
      return kVstProcessLevelRealtime;
    default:
      return 0;
  }
}

struct Stereo
{
  std::vector<double> l, r;
  explicit Stereo(int n = 0)
    : l(n, 0.0),
      r(n, 0.0)
  {
  }
};

Stereo Impulse(int n)
{
  Stereo s(n);
  s.l[0] = s.r[0] = 1.0;
  return s;
}

class Plugin
{
public:
  explicit Plugin(const char* entry = "VSTPluginMain")
  {
    const VstPluginMainProc main = Entry(entry);
    effect = main ? main(HostCallback) : nullptr;
    if (effect)
      effect->user = &host;
  }
  ~Plugin()
  {
    if (effect)
      Dispatch(effClose);
  }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0)
  {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }
  void Start(float rate = 44100.0f)
  {
    Dispatch(effOpen);
    Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    Dispatch(effSetBlockSize, 0, 512);
    Dispatch(effMainsChanged, 0, 1);
  }
  std::string Text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0)
  {
    char text[256] = {};
    Dispatch(opcode, index, value, text);
    return text;
  }
  float Get(int index) { return effect->getParameter(effect, index); }
  void Set(int index, float value) { effect->setParameter(effect, index, value); }

  std::vector<uint8_t> Chunk(bool program)
  {
    void* data = nullptr;
    const VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return size > 0 ? std::vector<uint8_t>(bytes, bytes + size) : std::vector<uint8_t>();
  }
  VstIntPtr SetChunk(bool program, const std::vector<uint8_t>& chunk)
  {
    return Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(chunk.size()),
                    const_cast<uint8_t*>(chunk.data()));
  }
  // The four plain values, read from a program chunk.
  std::vector<double> Values()
  {
    const std::vector<uint8_t> chunk = Chunk(true);
    std::vector<double> values(4, NAN);
    if (chunk.size() == 40)
      std::memcpy(values.data(), chunk.data() + 8, 32);
    return values;
  }

  Stereo ProcessDouble(const Stereo& in, int block = 256)
  {
    Stereo out(static_cast<int>(in.l.size()));
    for (size_t at = 0; at < in.l.size(); at += block)
    {
      const int n = static_cast<int>(std::min<size_t>(block, in.l.size() - at));
      double* inputs[2] = {const_cast<double*>(in.l.data() + at), const_cast<double*>(in.r.data() + at)};
      double* outputs[2] = {out.l.data() + at, out.r.data() + at};
      effect->processDoubleReplacing(effect, inputs, outputs, n);
    }
    return out;
  }
  // Single precision through processReplacing, or the accumulating process onto outputs of 0.25.
  std::vector<float> ProcessFloatLeft(const Stereo& in, bool accumulate)
  {
    std::vector<float> inL(in.l.begin(), in.l.end()), inR(in.r.begin(), in.r.end());
    std::vector<float> outL(inL.size(), 0.25f), outR(inL.size(), 0.25f);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    (accumulate ? effect->process : effect->processReplacing)(effect, inputs, outputs,
                                                              static_cast<VstInt32>(inL.size()));
    return outL;
  }

  HostState host;
  AEffect* effect = nullptr;
};

// A bank chunk as the plug-in writes it: header, then per slot name, initialised byte and values.
std::vector<uint8_t> BankChunk(const std::vector<std::string>& names, const double values[4])
{
  std::vector<uint8_t> chunk;
  auto put = [&chunk](const void* p, size_t n) {
    chunk.insert(chunk.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
  };
  const int32_t header[2] = {0x70666674, 0x00010000};
  put(header, 8);
  for (const std::string& name : names)
  {
    const int32_t length = static_cast<int32_t>(name.size());
    const uint8_t initialized = 1;
    put(&length, 4);
    put(name.data(), name.size());
    put(&initialized, 1);
    put(values, 32);
  }
  return chunk;
}

class Vst2Host : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_NE(plug.effect, nullptr) << dlerror();
    plug.Start();
  }
  Plugin plug;
};

TEST(Vst2Entry, RecordAndBothEntryPoints)
{
  for (const char* entry : {"VSTPluginMain", "main"})
  {
    Plugin plug(entry);
    ASSERT_NE(plug.effect, nullptr) << entry;
    const AEffect& e = *plug.effect;
    EXPECT_EQ(e.magic, 0x56737450);
    EXPECT_EQ(e.numPrograms, 20);
    EXPECT_EQ(e.numParams, 4);
    EXPECT_EQ(e.numInputs, 2);
    EXPECT_EQ(e.numOutputs, 2);
    EXPECT_EQ(e.flags, 4113);
    EXPECT_EQ(e.uniqueID, plug::MakeFourCC('Q', 'L', 'M', 'N'));
    EXPECT_EQ(e.version, 10004);
    EXPECT_EQ(e.initialDelay, 0);
    EXPECT_EQ(e.ioRatio, 1.0f);
    EXPECT_TRUE(e.process && e.processReplacing && e.processDoubleReplacing && e.setParameter && e.getParameter);
  }
  // A host without a callback still gets a working plug-in.
  AEffect* bare = Entry("VSTPluginMain")(nullptr);
  ASSERT_NE(bare, nullptr);
  bare->dispatcher(bare, effOpen, 0, 0, nullptr, 0);
  float silence[64] = {};
  float* buffers[2] = {silence, silence};
  bare->processReplacing(bare, buffers, buffers, 64);
  bare->dispatcher(bare, effClose, 0, 0, nullptr, 0);
}

TEST_F(Vst2Host, IdentityAndSimpleAnswers)
{
  EXPECT_EQ(plug.Text(effGetEffectName), "QuillonMini");
  EXPECT_EQ(plug.Text(effGetVendorString), "Brannock Sound");
  char product[64] = "unchanged";
  EXPECT_EQ(plug.Dispatch(effGetProductString, 0, 0, product), 1);
  EXPECT_STREQ(product, "");
  EXPECT_EQ(plug.Dispatch(effGetVendorVersion), 10004);
  EXPECT_EQ(plug.Dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(plug.Dispatch(effGetPlugCategory), 1);
  EXPECT_EQ(plug.Dispatch(effGetTailSize), 0);
  EXPECT_EQ(plug.Dispatch(effGetVstVersion), 2400);
  for (VstInt32 unlisted : {9, 28, 44, 53, 67, 70, 77, 1000})
    EXPECT_EQ(plug.Dispatch(unlisted, 1, 1), 0) << unlisted;

  auto canDo = [&](const char* text) { return plug.Dispatch(effCanDo, 0, 0, const_cast<char*>(text)); };
  EXPECT_EQ(canDo("receiveVstTimeInfo"), 1);
  EXPECT_EQ(canDo("receiveVstEvents"), 0);
  EXPECT_EQ(canDo("receiveVstMidiEvent"), 0);
  EXPECT_EQ(canDo("sendVstEvents"), 0);
  EXPECT_EQ(canDo("sendVstMidiEvent"), 0);
  EXPECT_EQ(canDo("hasCockosExtensions"), 0xBEEF0000);
  EXPECT_EQ(canDo("hasCockosViewAsConfig"), 0xBEEF0000);
  EXPECT_EQ(canDo("wantsChannelCountNotifications"), 1);
  EXPECT_EQ(canDo("bypass"), 0);

  // effOpen asked the host who it is.
  const auto& calls = plug.host.opcodes;
  EXPECT_NE(std::find(calls.begin(), calls.end(), audioMasterGetProductString), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), audioMasterGetVendorVersion), calls.end());
}

TEST_F(Vst2Host, ParameterTextsAndTextEntry)
{
  const char* names[4] = {"Decay", "Width", "Color", "Mix"};
  const char* labels[4] = {"s", "%", "", "%"};
  const char* displays[4] = {"3.2", "150", "0.0", "21"};
  for (int i = 0; i < 4; ++i)
  {
    EXPECT_EQ(plug.Text(effGetParamName, i), names[i]);
    EXPECT_EQ(plug.Text(effGetParamLabel, i), labels[i]);
    EXPECT_EQ(plug.Text(effGetParamDisplay, i), displays[i]);
    EXPECT_EQ(plug.Dispatch(effCanBeAutomated, i), 1);
    // Hosts read the properties' label as the name (Ardour, JUCE) and their float steps in
    // normalised units (Ardour, Carla): none of the four is stepped, so none announces a step.
    VstParameterProperties props{};
    EXPECT_EQ(plug.Dispatch(effGetParameterProperties, i, 0, &props), 1);
    EXPECT_STREQ(props.label, names[i]);
    EXPECT_STREQ(props.shortLabel, names[i]);
    EXPECT_EQ(props.flags, 0);
  }
  EXPECT_EQ(plug.Dispatch(effCanBeAutomated, 4), 0);
  VstParameterProperties none{};
  EXPECT_EQ(plug.Dispatch(effGetParameterProperties, 4, 0, &none), 0);
  EXPECT_NEAR(plug.Get(0), std::log(32.0) / std::log(1000.0), 1e-6);
  EXPECT_EQ(plug.Get(4), 0.0f);

  auto toParam = [&](int i, const char* text) {
    return plug.Dispatch(effString2Parameter, i, 0, const_cast<char*>(text));
  };
  EXPECT_EQ(toParam(0, "10"), 1);
  EXPECT_EQ(plug.Text(effGetParamDisplay, 0), "10.0");
  EXPECT_NEAR(plug.Get(0), 2.0 / 3.0, 1e-6);
  EXPECT_EQ(toParam(0, "1000"), 1);
  EXPECT_EQ(plug.Text(effGetParamDisplay, 0), "100.0");
  EXPECT_EQ(plug.Dispatch(effString2Parameter, 0), 1); // no text: nothing changes
  EXPECT_EQ(plug.Text(effGetParamDisplay, 0), "100.0");
  // The leading number as atof reads it; no number (NaN included) is 0, clamped.
  const std::pair<const char*, const char*> entries[] = {{"0x10", "16.0"}, {"abc", "0.1"}, {"inf", "100.0"},
                                                         {"nan", "0.1"},   {"9", "9.0"},   {"", "0.1"}};
  for (const auto& [text, display] : entries)
  {
    EXPECT_EQ(toParam(0, text), 1) << text;
    EXPECT_EQ(plug.Text(effGetParamDisplay, 0), display) << text;
  }
  EXPECT_EQ(toParam(2, "abc"), 1);
  EXPECT_EQ(plug.Text(effGetParamDisplay, 2), "0.0");
  EXPECT_EQ(toParam(4, "1"), 0);
  plug.Set(2, NAN); // refused as well
  EXPECT_EQ(plug.Text(effGetParamDisplay, 2), "0.0");

  // Cockos extensions: display of a normalised value, text to normalised value, integer steps.
  char text[64] = {};
  EXPECT_EQ(plug.Dispatch(effVendorSpecific, effGetParamDisplay, 0, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "3.2");
  std::strcpy(text, "10");
  EXPECT_EQ(plug.Dispatch(effVendorSpecific, effString2Parameter, 0, text), 0xBEEF);
  EXPECT_NEAR(std::strtod(text, nullptr), 2.0 / 3.0, 1e-15);
  for (const auto& [index, normalized] : {std::pair{0, "0.00000000000000000"}, std::pair{2, "0.50000000000000000"}})
  {
    std::strcpy(text, "abc");
    EXPECT_EQ(plug.Dispatch(effVendorSpecific, effString2Parameter, index, text), 0xBEEF);
    EXPECT_STREQ(text, normalized);
  }
  text[0] = '\0';
  EXPECT_EQ(plug.Dispatch(effVendorSpecific, effString2Parameter, 0, text), 0xBEEF);
  EXPECT_STREQ(text, "") << "an empty text stays empty";
  EXPECT_EQ(plug.Dispatch(effVendorSpecific, kVstParameterUsesIntStep, 1), 0);
}

// A host in a decimal-comma locale still gets and gives numbers in the C form.
TEST_F(Vst2Host, NumberTextsIgnoreTheHostsLocale)
{
  CommaLocale comma;
  if (!comma)
    GTEST_SKIP() << "no de_DE locale could be built here (Debian package locales)";
  EXPECT_EQ(plug.Text(effGetParamDisplay, 0), "3.2");
  char text[64] = "4.5";
  EXPECT_EQ(plug.Dispatch(effString2Parameter, 0, 0, text), 1);
  EXPECT_EQ(plug.Text(effGetParamDisplay, 0), "4.5");
  std::strcpy(text, "10");
  EXPECT_EQ(plug.Dispatch(effVendorSpecific, effString2Parameter, 0, text), 0xBEEF);
  EXPECT_EQ(std::string(text).substr(0, 8), "0.666666") << text;
}

TEST_F(Vst2Host, TextsNeverExceedTheirFields)
{
  // Names far longer than a program name field arrive in a bank.
  const double values[4] = {100.0, 200.0, -100.0, 100.0};
  std::vector<std::string> names(20, std::string(100, 'x'));
  ASSERT_EQ(plug.SetChunk(false, BankChunk(names, values)), 1);

  // How many bytes of a buffer filled with 0x7F a call wrote, terminator included.
  auto written = [&](VstInt32 opcode, VstInt32 index, VstIntPtr value = 0, float opt = 0.0f) {
    char buffer[128];
    std::memset(buffer, 0x7F, sizeof(buffer));
    plug.Dispatch(opcode, index, value, buffer, opt);
    size_t n = sizeof(buffer);
    while (n > 0 && buffer[n - 1] == 0x7F)
      --n;
    return n;
  };
  EXPECT_EQ(written(effGetProgramName, 0), 24u);
  EXPECT_EQ(written(effGetProgramNameIndexed, 7), 24u);
  for (int i = 0; i < 4; ++i)
  {
    EXPECT_LE(written(effGetParamLabel, i), 8u);
    EXPECT_LE(written(effGetParamDisplay, i), 8u);
    EXPECT_LE(written(effGetParamName, i), 32u);
    EXPECT_LE(written(effVendorSpecific, effGetParamDisplay, i, 1.0f), 8u);
  }
  EXPECT_LE(written(effGetEffectName, 0), 32u);
  EXPECT_LE(written(effGetVendorString, 0), 64u);
  EXPECT_LE(written(effGetProductString, 0), 64u);

  // A host's name is kept up to the slot's 255 bytes; every cut falls between UTF-8 characters.
  auto storedName = [&] {
    const std::vector<uint8_t> bank = plug.Chunk(false);
    int32_t length = 0;
    std::memcpy(&length, bank.data() + 8, 4); // the first slot's name follows the header
    return std::string(bank.begin() + 12, bank.begin() + 12 + length);
  };
  auto repeated = [](const std::string& piece, int n) {
    std::string text;
    while (n-- > 0)
      text += piece;
    return text;
  };
  // (name, bytes kept in the slot, bytes in the host's 24-byte field)
  const std::tuple<std::string, size_t, size_t> hostNames[] = {
      {std::string(300, 'y'), 255, 23}, {repeated("\xC3\xA9", 13), 26, 22}, {repeated("\xC3\xA9", 200), 254, 22}};
  for (const auto& [name, kept, shown] : hostNames)
  {
    plug.Dispatch(effSetProgramName, 0, 0, const_cast<char*>(name.c_str()));
    EXPECT_EQ(storedName(), name.substr(0, kept));
    EXPECT_EQ(plug.Text(effGetProgramName), name.substr(0, shown));
  }
}

TEST_F(Vst2Host, ProgramsHoldTheFactoryValuesAndKeepEdits)
{
  const char* names[20] = {"Default",          "Next Room",     "Small Hall",    "Station",
                           "Edge Of A Forest", "Medium Hall",   "Factory",       "Arena",
                           "Piano Hall",       "Stadium",       "Large Hall",    "Cathedral",
                           "Mellow",           "Silver Wind",   "Far Space",     "Entrance In A Cave",
                           "Long Tunnel",      "Dark Ambience", "Long Ambience", "Deep Underground"};
  const double values[20][4] = {{3.2, 150, 0, 21},
                                {0.334591, 14, -45.212766, 23.12766},
                                {1.4, 122, 0, 26.595745},
                                {2, 119.680851, -33.510638, 37.234043},
                                {2.1, 164, 59.042553, 21},
                                {2.7, 130.510638, 0, 26.595745},
                                {3.453041, 52.787234, -78.191489, 83.510638},
                                {3.5, 200, -60.106383, 72.074468},
                                {3.8, 157, 62.765957, 23.404255},
                                {4.6, 176, -58.510638, 29.521277},
                                {4.6, 152.510638, 0, 26.595745},
                                {4.620877, 151.595745, -52.659574, 52.659574},
                                {6.3, 162, 47.659574, 42.553191},
                                {12.3, 176.06383, 95, 33.776596},
                                {10.2, 177.12766, -35.638298, 49.734043},
                                {15.5, 22.340426, -35.638298, 33.244681},
                                {20, 68.170213, -35.638298, 28.989362},
                                {33, 200, -43.085106, 31.117021},
                                {50, 100, 0, 37.765957},
                                {50, 200, -88.829787, 72.074468}};
  for (int p = 0; p < 20; ++p)
  {
    char name[64] = {};
    EXPECT_EQ(plug.Dispatch(effGetProgramNameIndexed, p, 0, name), 1);
    EXPECT_STREQ(name, names[p]);
    plug.Dispatch(effSetProgram, 0, p);
    EXPECT_EQ(plug.Dispatch(effGetProgram), p);
    EXPECT_EQ(plug.Values(), std::vector<double>(values[p], values[p] + 4)) << names[p];
  }
  char none[64] = {};
  EXPECT_EQ(plug.Dispatch(effGetProgramNameIndexed, 20, 0, none), 0);

  plug.Dispatch(effSetProgram, 0, 0);
  plug.Set(0, 1.0f);
  plug.Dispatch(effSetProgram, 0, 5);
  EXPECT_EQ(plug.Text(effGetProgramName), "Medium Hall");
  EXPECT_EQ(plug.Text(effGetParamDisplay, 0), "2.7");
  plug.Dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(plug.Text(effGetParamDisplay, 0), "100.0"); // the edit stayed in program 0
  plug.Dispatch(effSetProgram, 0, 99);                  // no such program: nothing changes
  EXPECT_EQ(plug.Dispatch(effGetProgram), 0);
  plug.Dispatch(effSetProgramName, 0, 0, const_cast<char*>("My Room"));
  EXPECT_EQ(plug.Text(effGetProgramNameIndexed, 0), "My Room");
}

TEST_F(Vst2Host, ChunksRoundTripAndClearTheTail)
{
  const std::vector<uint8_t> program = plug.Chunk(true);
  ASSERT_EQ(program.size(), 40u);
  const uint8_t header[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(program.data(), header, 8), 0);
  EXPECT_EQ(plug.Values(), (std::vector<double>{3.2, 150, 0, 21}));

  plug.Set(0, 0.9f);
  plug.Set(3, 1.0f);
  const Stereo tail = plug.ProcessDouble(Impulse(2048));
  EXPECT_NE(tail.l[2047], 0.0);
  EXPECT_EQ(plug.SetChunk(true, program), 1);
  EXPECT_EQ(plug.Values(), (std::vector<double>{3.2, 150, 0, 21}));
  const Stereo after = plug.ProcessDouble(Stereo(512));
  for (int i = 0; i < 512; ++i)
    ASSERT_EQ(after.l[i] + after.r[i], 0.0) << i;

  // A state without the header loads from the start.
  EXPECT_EQ(plug.SetChunk(true, std::vector<uint8_t>(program.begin() + 8, program.end())), 1);

  // Banks: names and values of every program come back, and the current program with them.
  plug.Dispatch(effSetProgram, 0, 3);
  const std::vector<uint8_t> bank = plug.Chunk(false);
  plug.Dispatch(effSetProgramName, 0, 0, const_cast<char*>("Renamed"));
  plug.Set(1, 0.0f);
  plug.Dispatch(effSetProgram, 0, 7);
  plug.Dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(plug.Text(effGetParamDisplay, 1), "0");
  EXPECT_EQ(plug.SetChunk(false, bank), 1);
  EXPECT_EQ(plug.Text(effGetProgramNameIndexed, 3), "Station");
  EXPECT_EQ(plug.Values(), (std::vector<double>{2, 119.680851, -33.510638, 37.234043}));
  EXPECT_EQ(plug.Chunk(false), bank);
}

TEST_F(Vst2Host, MalformedChunksAreRefusedAndChangeNothing)
{
  plug.Dispatch(effSetProgram, 0, 6);
  plug.Set(0, 0.25f);
  const std::vector<uint8_t> program = plug.Chunk(true);
  const std::vector<uint8_t> bank = plug.Chunk(false);
  auto unchanged = [&] { return plug.Chunk(true) == program && plug.Chunk(false) == bank; };

  EXPECT_EQ(plug.Dispatch(effSetChunk, 1, 40, nullptr), 0);
  EXPECT_EQ(plug.Dispatch(effSetChunk, 1, -1, const_cast<uint8_t*>(program.data())), 0);
  EXPECT_EQ(plug.SetChunk(true, std::vector<uint8_t>(program.begin(), program.begin() + 6)), 0); // cut header
  EXPECT_EQ(plug.SetChunk(true, std::vector<uint8_t>(program.begin(), program.end() - 1)), 0);   // cut value
  EXPECT_EQ(plug.SetChunk(true, {}), 0);
  std::vector<uint8_t> withNaN = program;
  const double nan = NAN;
  std::memcpy(withNaN.data() + 16, &nan, 8);
  EXPECT_EQ(plug.SetChunk(true, withNaN), 0);
  std::vector<uint8_t> longer = program;
  longer.push_back(0);
  EXPECT_EQ(plug.SetChunk(true, longer), 0);
  EXPECT_EQ(plug.SetChunk(true, bank), 0);                                                // a bank is no program
  EXPECT_EQ(plug.SetChunk(false, std::vector<uint8_t>(bank.begin(), bank.end() - 3)), 0); // cut bank
  std::vector<uint8_t> badFlag = bank;
  badFlag[8 + 4 + 7] = 2; // initialised byte of "Default"
  EXPECT_EQ(plug.SetChunk(false, badFlag), 0);
  EXPECT_TRUE(unchanged());

  // Anything else a host might hand over: never read outside it, and a refusal changes nothing.
  std::mt19937 random(4);
  for (int n = 0; n < 400; ++n)
  {
    const bool isProgram = n % 2 == 0;
    std::vector<uint8_t> junk(random() % 120);
    for (uint8_t& byte : junk)
      byte = static_cast<uint8_t>(random());
    if (n % 3 == 0 && junk.size() >= 8)
      std::memcpy(junk.data(), (isProgram ? program : bank).data(), 8);
    if (plug.SetChunk(isProgram, junk) == 0)
      ASSERT_TRUE(unchanged()) << n;
    else
      ASSERT_EQ(plug.SetChunk(true, program) + plug.SetChunk(false, bank), 2);
  }
}

TEST_F(Vst2Host, PinsAndSpeakerArrangements)
{
  VstPinProperties pin{};
  EXPECT_EQ(plug.Dispatch(effGetInputProperties, 0, 0, &pin), 1);
  EXPECT_EQ(pin.flags, 3);
  EXPECT_STREQ(pin.label, "Input 1");
  EXPECT_EQ(plug.Dispatch(effGetInputProperties, 1, 0, &pin), 1);
  EXPECT_EQ(pin.flags, 1);
  EXPECT_STREQ(pin.label, "Input 2");
  EXPECT_EQ(plug.Dispatch(effGetInputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(plug.Dispatch(effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Output 2");
  EXPECT_EQ(plug.Dispatch(effGetOutputProperties, 0), 0);

  // Dry only, so the outputs show which inputs are connected.
  plug.Set(3, 0.0f);
  Stereo in(64);
  std::fill(in.l.begin(), in.l.end(), 0.5);
  std::fill(in.r.begin(), in.r.end(), 0.25);
  VstSpeakerArrangement mono{}, stereo{}, three{};
  mono.numChannels = 1;
  stereo.numChannels = 2;
  three.numChannels = 3;
  auto arrange = [&](VstSpeakerArrangement* inputs, VstSpeakerArrangement* outputs) {
    return plug.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(inputs), outputs);
  };
  EXPECT_EQ(arrange(&three, nullptr), 0);
  EXPECT_EQ(plug.ProcessDouble(in).r[10], 0.25);
  EXPECT_EQ(arrange(&mono, &stereo), 1);
  EXPECT_EQ(plug.ProcessDouble(in).r[10], 0.0);
  EXPECT_EQ(arrange(&stereo, &three), 0); // refused as a whole
  EXPECT_EQ(plug.ProcessDouble(in).r[10], 0.0);
  EXPECT_EQ(arrange(&stereo, nullptr), 1);
  EXPECT_EQ(plug.ProcessDouble(in).r[10], 0.25);

  VstSpeakerArrangement* given[2] = {&mono, &mono};
  EXPECT_EQ(plug.Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&given[0]), &given[1]), 0);
  EXPECT_EQ(given[0], nullptr);
  EXPECT_EQ(given[1], nullptr);
}

TEST_F(Vst2Host, EditorHooks)
{
  ERect* rect = nullptr;
  EXPECT_EQ(plug.Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 160);
  EXPECT_EQ(rect->right, 340);
  EXPECT_EQ(plug.Dispatch(effEditOpen), 0);
  EXPECT_EQ(plug.Dispatch(effEditIdle), 0);
  EXPECT_EQ(plug.Dispatch(effEditClose), 1);
}

TEST_F(Vst2Host, NullPointersAndOddCallsFromTheHost)
{
  for (VstInt32 opcode = 0; opcode < 80; ++opcode)
  {
    if (opcode != effClose)
      plug.Dispatch(opcode, 0, 0, nullptr, 0.0f);
  }
  plug.Start();

  VstMidiEvent note{kVstMidiType, 32, 3, 0, 0, 0, {char(0x90), 60, 100, 0}, 0, 0, 0, 0};
  VstMidiSysexEvent sysex{kVstSysExType, 48, 0, 0, 16, 0, nullptr, 0}; // no data behind its size
  VstEvents events{3, 0, {reinterpret_cast<VstEvent*>(&note), nullptr}};
  struct
  {
    VstEvents head;
    VstEvent* more[1];
  } list{events, {reinterpret_cast<VstEvent*>(&sysex)}};
  EXPECT_EQ(plug.Dispatch(effProcessEvents, 0, 0, &list.head), 1);
  EXPECT_EQ(plug.Dispatch(effProcessEvents), 0);

  std::vector<double> longBuffer(5000);
  double d[64] = {};
  float f[64] = {};
  double* dNull[2] = {nullptr, d};
  float* fNull[2] = {f, nullptr};
  AEffect* e = plug.effect;
  e->processDoubleReplacing(e, nullptr, nullptr, 64);
  e->processDoubleReplacing(e, dNull, dNull, 64);
  e->processReplacing(e, nullptr, fNull, 64);
  e->process(e, fNull, nullptr, 64);
  e->processReplacing(e, fNull, fNull, 0);
  e->processReplacing(e, fNull, fNull, -5);
  double* dLong[2] = {nullptr, longBuffer.data()};
  e->processDoubleReplacing(e, dLong, dLong, 5000); // longer than the block size

  AEffect orphan = *e;
  orphan.object = nullptr;
  EXPECT_EQ(orphan.dispatcher(&orphan, effGetVendorVersion, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(orphan.getParameter(&orphan, 0), 0.0f);
  orphan.processReplacing(&orphan, fNull, fNull, 64);
  EXPECT_EQ(e->dispatcher(nullptr, effGetVendorVersion, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(plug.Dispatch(effGetVendorVersion), 10004); // still alive
}

// The reverb engine itself, given what the plug-in is given.
struct Engine
{
  // The rate and the plug-in's exact parameter values, with the tail cleared.
  void Set(double rate, const std::vector<double>& values)
  {
    reverb.SetSampleRate(rate);
    for (int i = 0; i < 4; ++i)
      reverb.SetParam(i, values[i]);
    reverb.Reset();
  }
  Stereo Process(const Stereo& in, int block)
  {
    const checks::ProcessingScope processing; // the blocks as the plug-in's processing calls run them
    Stereo out(static_cast<int>(in.l.size()));
    for (size_t at = 0; at < in.l.size(); at += block)
    {
      const int n = static_cast<int>(std::min<size_t>(block, in.l.size() - at));
      double* inputs[2] = {const_cast<double*>(in.l.data() + at), const_cast<double*>(in.r.data() + at)};
      double* outputs[2] = {out.l.data() + at, out.r.data() + at};
      reverb.ProcessBlock(inputs, outputs, n);
    }
    return out;
  }
  TReverb reverb;
};

double Energy(const std::vector<double>& x, size_t from, size_t to)
{
  double sum = 0.0;
  for (size_t i = from; i < to; ++i)
    sum += x[i] * x[i];
  return sum;
}

TEST_F(Vst2Host, AudioIsTheEnginesAudio)
{
  const Stereo impulse = Impulse(44100);
  const Stereo out = plug.ProcessDouble(impulse);
  Engine engine;
  engine.Set(44100, plug.Values());
  const Stereo expected = engine.Process(impulse, 256);
  EXPECT_EQ(out.l, expected.l);
  EXPECT_EQ(out.r, expected.r);
  const double early = Energy(out.l, 2000, 12000), late = Energy(out.l, 34000, 44100);
  EXPECT_GT(early, 0.0);
  EXPECT_GT(late, 0.0);
  EXPECT_LT(late, early * 0.1);

  // The host asked for its time information (and got none) and its process level each call.
  const auto& calls = plug.host.opcodes;
  EXPECT_GE(std::count(calls.begin(), calls.end(), audioMasterGetTime), 173);
  EXPECT_GE(std::count(calls.begin(), calls.end(), audioMasterGetCurrentProcessLevel), 173);

  // After a change of rate the reverb still has the parameters' values, and no tail (its
  // modulation goes on where it was, in the engine as in the plug-in).
  plug.host.giveTime = true;
  plug.host.time.flags = kVstTempoValid | kVstTransportPlaying;
  plug.Set(0, 0.8f);
  plug.Set(1, 0.3f);
  plug.Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  const Stereo at48k = plug.ProcessDouble(impulse, 512);
  engine.Set(48000, plug.Values());
  const Stereo expected48k = engine.Process(impulse, 512);
  EXPECT_EQ(at48k.l, expected48k.l);
  EXPECT_EQ(at48k.r, expected48k.r);

  // Rates the engine refuses (it runs from 1 to 1 536 000 Hz) leave it at 48000 Hz with its tail
  // cleared.
  for (const float refused : {2e6f, 0.5f})
  {
    plug.Dispatch(effSetSampleRate, 0, 0, nullptr, refused);
    const Stereo got = plug.ProcessDouble(impulse, 512);
    engine.Set(48000, plug.Values());
    EXPECT_EQ(got.l, engine.Process(impulse, 512).l) << refused;
  }
}

// Colour changes only the filter on the side of its sign; when it crosses zero between two blocks,
// both filters must still end where the individual changes put them.
TEST_F(Vst2Host, ColourCrossingZeroBetweenBlocksSetsBothFilters)
{
  plug.Set(2, 0.25f); // -50: hi-cut near 3162 Hz
  plug.Set(2, 0.75f); // +50: low-cut near 245 Hz, hi-cut kept
  const Stereo impulse = Impulse(44100);
  const Stereo out = plug.ProcessDouble(impulse, 512);
  Engine engine;
  engine.reverb.SetParam(2, -50.0);
  engine.Set(44100, plug.Values());
  const Stereo expected = engine.Process(impulse, 512);
  EXPECT_EQ(out.l, expected.l);
  EXPECT_EQ(out.r, expected.r);
}

// Whatever was chosen before a change of rate, with or without audio before it, the rate change
// leaves exactly the current values applied: as in an instance that got the rate first and the
// final program after it (a host walking the programs to read their names does the former).
TEST(Vst2Rate, ChangeOfRateLeavesOnlyTheCurrentValues)
{
  for (const bool processedBefore : {false, true})
  {
    for (const int final : {0, 4})
    {
      Plugin walked, fresh;
      ASSERT_NE(walked.effect, nullptr);
      ASSERT_NE(fresh.effect, nullptr);
      walked.Start();
      fresh.Start();
      walked.Dispatch(effSetProgram, 0, 1); // a hi-cut
      if (processedBefore)
      {
        // The same number of frames in both, so that their modulation stays in step.
        walked.ProcessDouble(Impulse(1024), 512);
        fresh.ProcessDouble(Impulse(1024), 512);
      }
      for (int p = 0; p < 20; ++p)
        walked.Dispatch(effSetProgram, 0, p);
      walked.Set(2, 0.1f);
      walked.Dispatch(effSetProgram, 0, final);
      for (Plugin* plug : {&walked, &fresh})
      {
        plug->Dispatch(effMainsChanged, 0, 0);
        plug->Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        plug->Dispatch(effMainsChanged, 0, 1);
      }
      fresh.Dispatch(effSetProgram, 0, final);
      const Stereo impulse = Impulse(48000);
      const Stereo got = walked.ProcessDouble(impulse, 512), expected = fresh.ProcessDouble(impulse, 512);
      EXPECT_EQ(got.l, expected.l) << "program " << final << (processedBefore ? ", after processing" : "");
      EXPECT_EQ(got.r, expected.r) << "program " << final << (processedBefore ? ", after processing" : "");
    }
  }
}

TEST_F(Vst2Host, PrecisionsAgreeAndChangesTakeEffectAtTheNextBlock)
{
  Plugin other;
  ASSERT_NE(other.effect, nullptr);
  other.Start();
  Plugin accumulating;
  ASSERT_NE(accumulating.effect, nullptr);
  accumulating.Start();

  Stereo in(512);
  for (int i = 0; i < 512; ++i)
    in.l[i] = in.r[i] = static_cast<float>(std::sin(i * 0.05) * 0.5); // exact in single precision
  const Stereo reference = plug.ProcessDouble(in, 512);
  const std::vector<float> single = other.ProcessFloatLeft(in, false);
  const std::vector<float> added = accumulating.ProcessFloatLeft(in, true);
  for (int i = 0; i < 512; ++i)
  {
    ASSERT_EQ(single[i], static_cast<float>(reference.l[i])) << i;
    ASSERT_EQ(added[i], 0.25f + static_cast<float>(reference.l[i])) << i;
  }

  // In place, and longer than the block size in one call: the host's single-precision buffers go
  // to the engine as they are.
  Plugin inPlace, twin;
  ASSERT_NE(inPlace.effect, nullptr);
  ASSERT_NE(twin.effect, nullptr);
  inPlace.Start();
  twin.Start();
  Stereo longIn(1500);
  for (int i = 0; i < 1500; ++i)
    longIn.l[i] = longIn.r[i] = static_cast<float>(std::cos(i * 0.031) * 0.7);
  const Stereo longReference = twin.ProcessDouble(longIn, 512);
  std::vector<float> l(longIn.l.begin(), longIn.l.end()), r(longIn.r.begin(), longIn.r.end());
  float* buffers[2] = {l.data(), r.data()};
  inPlace.effect->processReplacing(inPlace.effect, buffers, buffers, 1500);
  for (int i = 0; i < 1500; ++i)
  {
    ASSERT_EQ(l[i], static_cast<float>(longReference.l[i])) << i;
    ASSERT_EQ(r[i], static_cast<float>(longReference.r[i])) << i;
  }

  plug.Set(3, 0.0f); // dry only from the next block on
  const Stereo dry = plug.ProcessDouble(in, 512);
  EXPECT_EQ(dry.l, in.l);
  EXPECT_EQ(dry.r, in.r);

  // A full-scale square wave makes outputs beyond the largest float, which leave as 0 whether every
  // channel has a buffer (the engine stores the floats) or one has none (the framework converts).
  Plugin whole, partial;
  ASSERT_NE(whole.effect, nullptr);
  ASSERT_NE(partial.effect, nullptr);
  whole.Start();
  partial.Start();
  std::vector<float> square(8192), wholeL(8192), wholeR(8192), partialL(8192);
  for (size_t i = 0; i < square.size(); ++i)
    square[i] = std::fmod(i * 200.0 / 44100.0, 2.0) < 1.0 ? FLT_MAX : -FLT_MAX;
  float* squareIn[2] = {square.data(), square.data()};
  float* wholeOut[2] = {wholeL.data(), wholeR.data()};
  float* partialOut[2] = {partialL.data(), nullptr};
  whole.effect->processReplacing(whole.effect, squareIn, wholeOut, 8192);
  partial.effect->processReplacing(partial.effect, squareIn, partialOut, 8192);
  int zeros = 0;
  for (int i = 0; i < 8192; ++i)
  {
    ASSERT_TRUE(std::isnormal(wholeL[i]) || wholeL[i] == 0.0f) << i << ": " << wholeL[i];
    ASSERT_EQ(std::memcmp(&wholeL[i], &partialL[i], sizeof(float)), 0) << i << ": " << partialL[i];
    zeros += wholeL[i] == 0.0f;
  }
  EXPECT_GT(zeros, 0);
}

} // namespace
