// The renderer: its VST 2 host, program and bank files, command line, and the
// built program run against the test plug-in and against QuillonMini.
#include <dlfcn.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "checks/ThreadChecks.h"
#include "dsp/dsp.h"
#include "plug/IPresetFile.h"
#include "tests/support/TempFolder.h"
#include "tools/RenderOptions.h"
#include "tools/RenderSource.h"
#include "tools/VstHost.h"

extern char** environ;

namespace fs = std::filesystem;

using quillon::TReverb;

namespace {
constexpr uint32_t kTestId = 0x5447616E;    // 'TGan', the test plug-in
constexpr uint32_t kQuillonId = 0x514C4D4E; // 'QLMN'

// --- Files written by hand ------------------------------------------------------------------------

struct BigEndian
{
  std::vector<uint8_t> bytes;
  BigEndian& U32(uint32_t v)
  {
    for (int shift = 24; shift >= 0; shift -= 8)
      bytes.push_back(static_cast<uint8_t>(v >> shift));
    return *this;
  }
  BigEndian& Tag(const char* t) { return U32(static_cast<uint32_t>(plug::MakeFourCC(t[0], t[1], t[2], t[3]))); }
  BigEndian& F32(float v)
  {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return U32(bits);
  }
  BigEndian& Text(const std::string& text, size_t size)
  {
    for (size_t i = 0; i < size; ++i)
      bytes.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
    return *this;
  }
  BigEndian& Bytes(const std::vector<uint8_t>& more)
  {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
  }
};

std::vector<uint8_t> ProgramFile(uint32_t id, const std::string& name, const std::vector<float>& values,
                                 uint32_t version = 1)
{
  BigEndian w;
  w.Tag("CcnK").U32(0).Tag("FxCk").U32(version).U32(id).U32(1).U32(static_cast<uint32_t>(values.size()));
  w.Text(name, 28);
  for (float v : values)
    w.F32(v);
  return w.bytes;
}

std::vector<uint8_t> ChunkProgramFile(uint32_t id, const std::vector<uint8_t>& chunk)
{
  BigEndian w;
  w.Tag("CcnK").U32(0).Tag("FPCh").U32(1).U32(id).U32(1).U32(2).Text("Chunky", 28);
  return w.U32(static_cast<uint32_t>(chunk.size())).Bytes(chunk).bytes;
}

std::vector<uint8_t> BankHeader(const char* form, uint32_t id, uint32_t count, uint32_t current)
{
  BigEndian w;
  w.Tag("CcnK").U32(0).Tag(form).U32(2).U32(id).U32(1).U32(count).U32(current);
  return w.Text("", 124).bytes;
}

std::vector<uint8_t> BankFile(uint32_t id, uint32_t current, const std::vector<std::vector<float>>& programs)
{
  BigEndian w{BankHeader("FxBk", id, static_cast<uint32_t>(programs.size()), current)};
  for (size_t i = 0; i < programs.size(); ++i)
    w.Bytes(ProgramFile(id, "Bank " + std::to_string(i), programs[i]));
  return w.bytes;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// --- The test plug-in, in this process ---------------------------------------------------------------

// Loads the test plug-in in the given mode; the mode is read at its entry point.
bool LoadTestPlugin(VstHost& host, const char* mode, std::string& error)
{
  setenv("QM_TEST_VST_MODE", mode, 1);
  const bool loaded = host.Load(QM_TEST_PLUGIN, error);
  unsetenv("QM_TEST_VST_MODE");
  return loaded;
}

template <typename T>
T TestPluginSymbol(const char* name)
{
  void* library = dlopen(QM_TEST_PLUGIN, RTLD_NOW | RTLD_NOLOAD);
  void* symbol = library ? dlsym(library, name) : nullptr;
  if (library)
    dlclose(library); // drops only the reference taken here
  return reinterpret_cast<T>(symbol);
}

// --- The built renderer, in a sandbox ------------------------------------------------------------------

struct RunResult
{
  int status = -1;
  std::string out, err;
};

std::string ReadText(const fs::path& path)
{
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class RenderToolRun : public ::testing::Test
{
protected:
  void SetUp() override { ASSERT_FALSE(mFolder.Path().empty()); }

  // Runs quillon-render in the sandbox folder, with HOME and XDG_CONFIG_HOME there too.
  RunResult Run(const std::vector<std::string>& args, const std::string& testMode = "")
  {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
      if (std::strncmp(*e, "HOME=", 5) && std::strncmp(*e, "XDG_CONFIG_HOME=", 16) &&
          std::strncmp(*e, "QM_TEST_VST_MODE=", 17))
        env.push_back(*e);
    env.push_back("HOME=" + mDir.string());
    env.push_back("XDG_CONFIG_HOME=" + (mDir / "config").string());
    if (!testMode.empty())
      env.push_back("QM_TEST_VST_MODE=" + testMode);
    std::vector<std::string> argv = {QM_RENDER_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());

    const fs::path out = mDir / "stdout.txt", err = mDir / "stderr.txt";
    const pid_t child = fork();
    if (child == 0)
    {
      std::vector<char*> a, e;
      for (std::string& s : argv)
        a.push_back(s.data());
      for (std::string& s : env)
        e.push_back(s.data());
      a.push_back(nullptr);
      e.push_back(nullptr);
      if (chdir(mDir.c_str()) != 0 || !freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr))
        _exit(127);
      execve(a[0], a.data(), e.data());
      _exit(127);
    }
    RunResult result;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child)
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadText(out);
    result.err = ReadText(err);
    fs::remove(out);
    fs::remove(err);
    return result;
  }

  // The failure the renderer must report: a non-zero exit, one line, no output left behind.
  void ExpectCleanFailure(const RunResult& result, const std::string& output, const std::string& mentions)
  {
    EXPECT_NE(result.status, 0) << result.err;
    EXPECT_EQ(result.err.rfind("quillon-render: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find(mentions), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(mDir / output)) << result.err;
    EXPECT_FALSE(fs::exists(mDir / (output + ".partial"))) << result.err;
  }

  // The renderer loads the plug-in built beside it by default; the build always makes it there.
  static ::testing::AssertionResult FindsQuillonMini()
  {
    const fs::path expected = fs::path(QM_RENDER_TOOL).parent_path().parent_path() / "QuillonMini.so";
    if (fs::exists(expected) && fs::equivalent(expected, QM_PLUGIN_PATH))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the renderer looks for " << expected << ", the build made "
                                         << QM_PLUGIN_PATH;
  }

  std::vector<double> ReadAudio(const std::string& name)
  {
    RenderSource source;
    std::string error;
    std::vector<double> samples;
    if (!source.OpenFile((mDir / name).string(), error))
    {
      ADD_FAILURE() << error;
      return samples;
    }
    std::vector<double> block(2 * 4096);
    long n;
    while ((n = source.Read(block.data(), 4096)) > 0)
      samples.insert(samples.end(), block.begin(), block.begin() + 2 * n);
    return samples;
  }

  TempFolder mFolder{"qm-render-test"};
  const fs::path mDir{mFolder.Path()};
};
} // namespace

// --- The command line ----------------------------------------------------------------------------------

TEST(RenderOptions, ParsesEveryOptionAndRefusesWhatItCannotUse)
{
  auto parse = [](std::vector<const char*> args, RenderOptions& options, std::string& error) {
    args.insert(args.begin(), "quillon-render");
    return RenderOptions::Parse(static_cast<int>(args.size()), args.data(), options, error);
  };
  RenderOptions o;
  std::string error;
  ASSERT_TRUE(parse({"in.flac", "-o", "out.wav", "--plugin", "x.so", "--program", "Large Hall", "--fxp", "a.fxp",
                     "--fxb", "b.fxb", "-p", "Decay=4.5 s", "-n", "mix=0.25", "--double", "--block", "37", "-q"},
                    o, error))
      << error;
  EXPECT_EQ(o.input, "in.flac");
  EXPECT_EQ(o.output, "out.wav");
  EXPECT_EQ(o.plugin, "x.so");
  EXPECT_EQ(o.program, "Large Hall");
  EXPECT_EQ(o.fxp, "a.fxp");
  EXPECT_EQ(o.fxb, "b.fxb");
  ASSERT_EQ(o.params.size(), 2u);
  EXPECT_EQ(o.params[0].name, "Decay");
  EXPECT_EQ(o.params[0].value, "4.5 s");
  EXPECT_FALSE(o.params[0].normalised);
  EXPECT_TRUE(o.params[1].normalised);
  EXPECT_EQ(o.params[1].normalisedValue, 0.25);
  EXPECT_TRUE(o.doublePrecision && o.quiet && !o.list);
  EXPECT_EQ(o.block, 37);

  const std::vector<std::pair<std::vector<const char*>, std::string>> refused = {
      {{"--block", "0"}, "--block needs"},
      {{"--block", "1.5"}, "--block needs"},
      {{"--block"}, "--block needs"},
      {{"-p", "Decay"}, "expected NAME=VALUE"},
      {{"-p", "=3"}, "expected NAME=VALUE"},
      {{"-n", "Mix=1.5"}, "not a normalised value"},
      {{"-n", "Mix=half"}, "not a normalised value"},
      {{"--tail", "-1"}, "--tail needs"},
      {{"--make-noise", "2"}, "needs -o"},
      {{"--frobnicate"}, "unknown option"},
      {{"a.wav", "b.wav"}, "only one input"},
      {{""}, "an empty input file name"},
      {{"-o", ""}, "-o needs a file name, got an empty one"},
  };
  for (const auto& [args, reason] : refused)
  {
    RenderOptions untouched;
    untouched.block = 99;
    EXPECT_FALSE(parse(args, untouched, error)) << reason;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_EQ(untouched.block, 99);
  }
}

// --- The host, with the test plug-in ------------------------------------------------------------------

TEST(VstHost, AnswersThePluginsRequestsAndKeepsTime)
{
  VstHost host;
  std::string error;
  ASSERT_TRUE(LoadTestPlugin(host, "", error)) << error;
  EXPECT_STREQ(TestPluginSymbol<const char* (*)()>("QmTestVstHostProduct")(), "QuillonMini renderer")
      << "asked at effOpen";
  ASSERT_TRUE(host.Prepare(44100.0, 256, error)) << error;

  char text[256] = {};
  EXPECT_EQ(host.AnswerHost(audioMasterVersion, 0, 0, nullptr, 0.0f), 2400);
  EXPECT_EQ(host.AnswerHost(audioMasterGetVendorString, 0, 0, text, 0.0f), 1);
  EXPECT_STREQ(text, "Brannock Sound");
  EXPECT_EQ(host.AnswerHost(audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), 44100);
  EXPECT_EQ(host.AnswerHost(audioMasterGetBlockSize, 0, 0, nullptr, 0.0f), 256);
  char timeInfo[] = "sendVstTimeInfo", events[] = "receiveVstEvents";
  EXPECT_EQ(host.AnswerHost(audioMasterCanDo, 0, 0, timeInfo, 0.0f), 1);
  EXPECT_EQ(host.AnswerHost(audioMasterCanDo, 0, 0, events, 0.0f), 0);
  EXPECT_EQ(host.AnswerHost(audioMasterCanDo, 0, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(host.AnswerHost(audioMasterBeginEdit, 1, 0, nullptr, 0.0f), 1);
  EXPECT_EQ(host.AnswerHost(audioMasterAutomate, 1, 0, nullptr, 0.5f), 0);
  EXPECT_EQ(host.AnswerHost(audioMasterGetVendorString, 0, 0, nullptr, 0.0f), 0) << "no buffer, no answer";
  EXPECT_EQ(host.AnswerHost(audioMasterSizeWindow, 340, 160, nullptr, 0.0f), 0);
  EXPECT_EQ(host.AnswerHost(9999, 0, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(VstHost::HostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f), 2400)
      << "a request without a record is still answered safely";
  EXPECT_EQ(VstHost::HostCallback(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), 0);

  ASSERT_TRUE(host.Start(false, error)) << error;
  std::vector<double> l(256, 0.1), r(256, 0.2);
  for (int block = 0; block < 4; ++block)
    host.ProcessStereo(l.data(), r.data(), l.data(), r.data(), block == 3 ? 100 : 256);
  int requests = 0;
  const VstTimeInfo time = *TestPluginSymbol<const VstTimeInfo* (*)(int*)>("QmTestVstLastTime")(&requests);
  EXPECT_EQ(requests, 4);
  EXPECT_EQ(time.samplePos, 768.0) << "the position of the last block's first frame";
  EXPECT_EQ(time.sampleRate, 44100.0);
  EXPECT_EQ(time.tempo, 120.0);
  EXPECT_DOUBLE_EQ(time.ppqPos, 768.0 / 44100.0 * 2.0);
  EXPECT_EQ(time.barStartPos, 0.0);
  EXPECT_EQ(time.timeSigNumerator, 4);
  EXPECT_EQ(time.timeSigDenominator, 4);
  const int wanted = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
  EXPECT_EQ(time.flags & wanted, wanted);
  EXPECT_EQ(time.flags & kVstTransportChanged, 0) << "only the first block reports the start";
  EXPECT_EQ(host.ProcessedFrames(), 868);
  EXPECT_GE(host.ProcessingCpuSeconds(), 0.0);
  EXPECT_NEAR(l[0], 0.1, 1e-7) << "gain 1";
  EXPECT_NEAR(r[99], 0.2, 1e-7);
}

TEST(VstHost, RefusesMisbehavingPluginsWithAReason)
{
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"null", "returned no plug-in"},
      {"magic", "wrong magic 0x56737458"},
      {"wide", "2 inputs and 9 outputs"},
  };
  for (const auto& [mode, reason] : cases)
  {
    VstHost host;
    std::string error;
    EXPECT_FALSE(LoadTestPlugin(host, mode, error)) << mode;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_FALSE(host.IsLoaded());
  }

  VstHost host;
  std::string error;
  EXPECT_FALSE(host.Load("/nonexistent/Nothing.so", error));
  EXPECT_NE(error.find("cannot load plug-in: /nonexistent/Nothing.so"), std::string::npos) << error;
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&sf_version_string), &info), 0);
  EXPECT_FALSE(host.Load(info.dli_fname, error)) << "a library without an entry point";
  EXPECT_NE(error.find("exports neither VSTPluginMain nor main"), std::string::npos) << error;

  ASSERT_TRUE(LoadTestPlugin(host, "single", error)) << error;
  ASSERT_TRUE(host.Prepare(48000.0, 64, error));
  EXPECT_FALSE(host.Start(true, error));
  EXPECT_NE(error.find("cannot process in double precision"), std::string::npos) << error;
  EXPECT_TRUE(host.Start(false, error)) << error;
}

TEST(VstHost, FoldsMonoPluginsToStereoAndSetsParametersByName)
{
  VstHost host;
  std::string error;
  ASSERT_TRUE(LoadTestPlugin(host, "mono", error)) << error;
  ASSERT_TRUE(host.Prepare(48000.0, 8, error) && host.Start(true, error)) << error;
  std::vector<double> l(8, 1.0), r(8, 0.0), outL(8, 9.0), outR(8, 9.0);
  host.ProcessStereo(l.data(), r.data(), outL.data(), outR.data(), 8);
  EXPECT_EQ(outL, std::vector<double>(8, 0.5)) << "one input takes the mid, one output feeds both sides";
  EXPECT_EQ(outR, std::vector<double>(8, 0.5));
  host.ProcessStereo(l.data(), r.data(), outL.data(), outR.data(), 9); // more than prepared: ignored
  EXPECT_EQ(host.ProcessedFrames(), 8);

  EXPECT_EQ(host.FindParam(" tone SHIFT "), 1);
  EXPECT_EQ(host.FindParam("Tone"), -1);
  ASSERT_EQ(host.FindParam("gain"), 0);
  EXPECT_TRUE(host.SetParamFromText(0, "1.5"));
  EXPECT_EQ(host.ParamValue(0), 0.75f);
  EXPECT_EQ(host.ParamDisplay(0), "1.500");
  EXPECT_FALSE(host.SetParamFromText(1, "50")) << "the plug-in's refusal is reported";
  host.ProcessStereo(l.data(), r.data(), outL.data(), outR.data(), 8);
  EXPECT_EQ(outL[0], 0.75);

  EXPECT_EQ(host.FindProgram("2"), 2);
  EXPECT_EQ(host.FindProgram("3"), -1);
  EXPECT_EQ(host.FindProgram("beta"), 1);
  EXPECT_EQ(host.FindProgram("Delta"), -1);
}

TEST(VstHost, AppliesProgramAndBankFilesAsThePluginWould)
{
  VstHost host;
  std::string error;
  ASSERT_TRUE(LoadTestPlugin(host, "", error)) << error;
  const plug::IPresetFile::Target target = host.PresetFileTarget();
  EXPECT_EQ(target.uniqueID, static_cast<int32_t>(kTestId));
  EXPECT_EQ(target.nParams, 2);
  EXPECT_EQ(target.nPrograms, 3);
  auto program = [&](const std::vector<uint8_t>& bytes) {
    plug::IPresetFile::Program p;
    EXPECT_TRUE(plug::IPresetFile::ParseProgram(bytes.data(), bytes.size(), target, p, &error)) << error;
    return p;
  };
  auto bank = [&](const std::vector<uint8_t>& bytes) {
    plug::IPresetFile::Bank b;
    EXPECT_TRUE(plug::IPresetFile::ParseBank(bytes.data(), bytes.size(), target, b, &error)) << error;
    return b;
  };

  ASSERT_TRUE(host.ApplyProgram(program(ProgramFile(kTestId, "Edited", {0.125f})), error)) << error;
  EXPECT_EQ(host.ParamValue(0), 0.125f);
  EXPECT_EQ(host.ParamValue(1), 0.25f) << "a parameter the file does not hold keeps its value";
  EXPECT_EQ(host.ProgramName(0), "Edited");
  // A value a rounding step above 1 is 1, values beyond the parameters are ignored.
  ASSERT_TRUE(host.ApplyProgram(program(ProgramFile(kTestId, "", {std::nextafter(1.0f, 2.0f), 0.5f, 0.7f})), error));
  EXPECT_EQ(host.ParamValue(0), 1.0f);
  EXPECT_EQ(host.ParamValue(1), 0.5f);

  ASSERT_TRUE(host.ApplyProgram(program(ChunkProgramFile(kTestId, {4, 5, 6})), error)) << error;
  size_t size = 0;
  int index = -1;
  const unsigned char* chunk =
      TestPluginSymbol<const unsigned char* (*)(size_t*, int*)>("QmTestVstChunk")(&size, &index);
  EXPECT_EQ(std::vector<uint8_t>(chunk, chunk + size), (std::vector<uint8_t>{4, 5, 6}));
  EXPECT_EQ(index, 1) << "a program chunk";

  ASSERT_TRUE(host.ApplyBank(bank(BankFile(kTestId, 1, {{0.1f, 0.2f}, {0.3f, 0.4f}})), error)) << error;
  EXPECT_EQ(host.CurrentProgram(), 1);
  EXPECT_EQ(host.ProgramName(0), "Bank 0");
  EXPECT_EQ(host.ProgramName(1), "Bank 1");
  EXPECT_EQ(host.ProgramName(2), "Gamma");
  EXPECT_EQ(host.ParamValue(1), 0.4f);
  // Records beyond the last program each go to the program current then, the last one.
  ASSERT_TRUE(
      host.ApplyBank(bank(BankFile(kTestId, 0, {{0.1f, 0.1f}, {0.1f, 0.1f}, {0.1f, 0.1f}, {0.9f, 0.9f}})), error));
  EXPECT_EQ(host.ProgramName(2), "Bank 3");
}

// --- The built renderer ---------------------------------------------------------------------------------

TEST_F(RenderToolRun, FailsWithOneLineAndLeavesNoOutput)
{
  const std::string plugin = QM_TEST_PLUGIN;
  WriteFile(mDir / "other.fxp", ProgramFile(kQuillonId, "", {0.5f, 0.5f}));
  WriteFile(mDir / "short.fxp", {'C', 'c', 'n', 'K', 0, 0});
  // A WAV file of four stereo frames that declares 2 000 000 000 Hz.
  BigEndian wav;
  wav.Text("RIFF", 4).U32(0x34000000).Text("WAVEfmt ", 8).U32(0x10000000).U32(0x01000200);
  wav.U32(0x00943577).U32(0x00506BDC).U32(0x04001000).Text("data", 4).U32(0x10000000).Text("", 16);
  WriteFile(mDir / "fast.wav", wav.bytes);

  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav", "-p", "Wobble=3"}), "out.wav",
                     "unknown parameter 'Wobble' (the plug-in has: Gain, Tone Shift)");
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav", "-p", "gain=loud"}), "out.wav",
                     "'loud' is not a number (parameter Gain)");
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav", "-p", "Gain=2 dB"}), "out.wav", "is not a number");
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav", "-p", "Gain=2.01"}), "out.wav",
                     "Gain 2.01 is out of range (the plug-in's highest is 2.000 x)");
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav", "-p", "Tone Shift=50"}), "out.wav",
                     "the plug-in refused the value 50 for Tone Shift");
  ExpectCleanFailure(Run({"missing.wav", "--plugin", plugin, "-o", "out.wav"}), "out.wav", "cannot read 'missing.wav'");
  ExpectCleanFailure(Run({"fast.wav", "--plugin", plugin, "-o", "out.wav"}), "out.wav",
                     "'fast.wav' is at 2000000000 Hz; the reverb runs from");
  ExpectCleanFailure(Run({"--plugin", "/nowhere/Plate.so", "-o", "out.wav"}), "out.wav",
                     "cannot load plug-in: /nowhere/Plate.so");
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav"}, "magic"), "out.wav", "wrong magic");
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav", "--fxp", "other.fxp"}), "out.wav",
                     "'other.fxp': the program file is for plug-in 'QLMN'");
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav", "--fxp", "short.fxp"}), "out.wav",
                     "'short.fxp': truncated program file");
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav", "--program", "Delta"}), "out.wav", "no program 'Delta'");
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav", "--block", "zero"}), "out.wav", "--block needs");
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  ExpectCleanFailure(Run({"--plugin", plugin, "-o", "out.wav"}, "crash"), "out.wav", "fatal signal 11");
#endif

  const RunResult good = Run({"--plugin", plugin, "-o", "out.wav", "--program", "gamma", "-p", "gain = 0.5 X"});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_NE(good.err.find("through TestGain, program \"Gamma\": Gain 0.500 x, Tone Shift 25.000 %"), std::string::npos)
      << good.err;
  EXPECT_NE(good.err.find("cpu: "), std::string::npos) << good.err;
  EXPECT_TRUE(fs::exists(mDir / "out.wav"));
}

TEST_F(RenderToolRun, RendersTheDemoAndListsQuillonMini)
{
  ASSERT_TRUE(FindsQuillonMini());
  const RunResult list = Run({"--list"});
  ASSERT_EQ(list.status, 0) << list.err;
  for (const char* text :
       {"QuillonMini by Brannock Sound", "'QLMN'", "version 10004", "2 in, 2 out", "single and double",
        "parameters (4):", "Decay", "Width", "Color", "Mix", "programs (20):", " *   0  Default", "Medium Hall"})
    EXPECT_NE(list.out.find(text), std::string::npos) << text << " in\n" << list.out;

  const RunResult demo = Run({});
  ASSERT_EQ(demo.status, 0) << demo.err;
  EXPECT_NE(demo.err.find("wrote quillon-demo.wav"), std::string::npos) << demo.err;
  EXPECT_NE(demo.err.find("through QuillonMini, program \"Default\""), std::string::npos) << demo.err;
  const std::vector<double> audio = ReadAudio("quillon-demo.wav");
  EXPECT_GT(audio.size(), 2u * 48000 * 4) << "the three-second phrase and a reverb tail";
  double tailPeak = 0.0;
  for (size_t i = 2 * 48000 * 3; i < audio.size(); ++i)
    tailPeak = std::max(tailPeak, std::fabs(audio[i]));
  EXPECT_GT(tailPeak, 1e-3) << "the reverb rings on after the phrase";
}

TEST_F(RenderToolRun, ProgramFileWrittenByHandChangesQuillonMinisParameters)
{
  ASSERT_TRUE(FindsQuillonMini());
  // Decay, Width, Color, Mix all at the bottom of their ranges: 0.1 s, 0 %, -100, 0 %.
  WriteFile(mDir / "dry.fxp", ProgramFile(kQuillonId, "By Hand", {0.0f, 0.0f, 0.0f, 0.0f}));
  const RunResult plain = Run({"-o", "plain.wav", "--tail", "1"});
  const RunResult dry = Run({"-o", "dry.wav", "--tail", "1", "--fxp", "dry.fxp"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_NE(dry.err.find("program \"By Hand\""), std::string::npos) << dry.err;
  const std::string plainSettings = plain.err.substr(plain.err.find(": Decay")),
                    drySettings = dry.err.substr(dry.err.find(": Decay"));
  EXPECT_NE(plainSettings.substr(0, plainSettings.find('\n')), drySettings.substr(0, drySettings.find('\n')));

  // With Mix at 0 % only the dry input is left; the built-in demo plays for three seconds.
  const std::vector<double> plainAudio = ReadAudio("plain.wav"), dryAudio = ReadAudio("dry.wav");
  ASSERT_EQ(dryAudio.size(), plainAudio.size());
  double dryTail = 0.0, plainTail = 0.0;
  for (size_t i = 2 * 48000 * 3; i < dryAudio.size(); ++i)
  {
    dryTail = std::max(dryTail, std::fabs(dryAudio[i]));
    plainTail = std::max(plainTail, std::fabs(plainAudio[i]));
  }
  EXPECT_LT(dryTail, 1e-6);
  EXPECT_GT(plainTail, 1e-3);
}

// The output file holds what the engine itself makes of the input with the program's values;
// double precision differs from it only by the single-precision rounding of the output.
TEST_F(RenderToolRun, RendersWhatTheEngineMakesInBothPrecisions)
{
  ASSERT_TRUE(FindsQuillonMini());
  // Noise in a float file: its output is a float file too, so nothing is lost on the way out.
  ASSERT_EQ(Run({"--make-noise", "1", "-o", "noise.wav", "-q"}).status, 0);
  const std::vector<std::string> args = {"noise.wav", "--tail", "0.5", "--block", "300", "--program", "Large Hall"};
  std::vector<std::string> singleArgs = args, doubleArgs = args;
  singleArgs.insert(singleArgs.end(), {"-o", "single.wav"});
  doubleArgs.insert(doubleArgs.end(), {"-o", "double.wav", "--double"});
  const RunResult single = Run(singleArgs), twice = Run(doubleArgs);
  ASSERT_EQ(single.status, 0) << single.err;
  ASSERT_EQ(twice.status, 0) << twice.err;
  EXPECT_NE(twice.err.find("(double precision, block 300)"), std::string::npos) << twice.err;
  const std::vector<double> noise = ReadAudio("noise.wav"), a = ReadAudio("single.wav"), b = ReadAudio("double.wav");
  ASSERT_EQ(a.size(), 2u * 72000);
  ASSERT_EQ(b.size(), a.size());

  TReverb reverb;
  reverb.SetSampleRate(48000.0);
  const double largeHall[4] = {4.6, 152.510638, 0.0, 26.595745};
  for (int i = 0; i < 4; ++i)
    reverb.SetParam(i, largeHall[i]);
  std::vector<float> left(72000, 0.0f), right(72000, 0.0f);
  for (size_t i = 0; i < noise.size() / 2; ++i)
  {
    left[i] = static_cast<float>(noise[2 * i]);
    right[i] = static_cast<float>(noise[2 * i + 1]);
  }
  float* channels[2] = {left.data(), right.data()};
  const checks::ProcessingScope processing; // the block as the plug-in's processing call runs it
  reverb.ProcessBlock(channels, channels, 72000);
  double largest = 0.0;
  for (size_t i = 0; i < a.size(); i += 2)
  {
    ASSERT_EQ(a[i], left[i / 2]) << i / 2;
    ASSERT_EQ(a[i + 1], right[i / 2]) << i / 2;
    largest = std::max({largest, std::fabs(a[i] - b[i]), std::fabs(a[i + 1] - b[i + 1])});
  }
  EXPECT_LT(largest, 1e-6);
}
