#include <gtest/gtest.h>

#include <sys/resource.h>

#include <bit>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "plug/Config.h"
#include "plug/IPluginAPIBase.h"
#include "plug/IPluginBase.h"
#include "plug/IPresetFile.h"
#include "tests/support/TempFolder.h"
#include "tests/support/UnprivilegedUser.h"

using plug::IByteChunk;
namespace fs = std::filesystem;

namespace {

// Identifier 'QLMN', version 1.0.4; parameters like the reverb's (the first two or all four)
// unless the test declares its own.
class TestPlugin : public plug::IPluginBase
{
public:
  TestPlugin(int nParams, int nPresets, bool declare = true)
    : IPluginBase(nParams, nPresets)
  {
    mPluginVersion = plug::PackVersion(1, 0, 4);
    if (!declare)
      return;
    GetParam(0)->InitDouble("Color", 0.0, -100.0, 100.0, 0.1);
    GetParam(1)->InitPercentage("Width", 100.0, 0.0, 200.0);
    if (nParams > 2)
    {
      GetParam(2)->InitDouble("Decay", 3.2, 0.1, 100.0, 0.1, "s", 0, "", plug::IParam::ShapeExp());
      GetParam(3)->InitPercentage("Mix", 21.0);
    }
  }

  int32_t GetUniqueID() const override { return plug::MakeFourCC('Q', 'L', 'M', 'N'); }
  void InformHostOfProgramChange() override { mLog.push_back("host"); }
  void OnRestoreState() override { mLog.push_back("restore"); }
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}

  void SetValues(const std::vector<double>& values)
  {
    for (std::size_t i = 0; i < values.size(); ++i)
      GetParam(static_cast<int>(i))->SetValue(values[i]);
  }
  double Value(int idx) const { return GetParam(idx)->GetValue(); }
  // Everything a load could touch.
  std::string Snapshot() const
  {
    IByteChunk all;
    SerializePresets(all);
    SerializeState(all);
    all.PutValue(GetCurrentPresetIdx());
    return std::string(reinterpret_cast<const char*>(all.GetData()), static_cast<std::size_t>(all.Size()));
  }

  std::vector<std::string> mLog;
};

class PresetFiles : public ::testing::Test
{
protected:
  void SetUp() override { ASSERT_FALSE(mFolder.Path().empty()); }

  std::string PathOf(const char* name) const { return (mDir / name).string(); }
  std::size_t FilesInDir() const
  {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(mDir), fs::directory_iterator()));
  }
  static std::string Read(const std::string& path)
  {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void Write(const std::string& path, const std::string& bytes)
  {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  TempFolder mFolder{"qm-presets"};
  const fs::path mDir{mFolder.Path()};
};

void Put32(std::string& file, std::size_t at, uint32_t value)
{
  for (std::size_t k = 0; k < 4; ++k)
    file[at + k] = static_cast<char>(value >> (24 - 8 * k));
}

// A program record of the two-parameter plug-in, written out by hand: byte size 0, version 1,
// 'QLMN', plug-in version 10004, two parameters, the zero-padded name, two big-endian floats.
std::string HandBuiltRecord(const std::string& name, const std::string& values)
{
  return std::string("CcnK\0\0\0\0FxCk\0\0\0\1QLMN\0\0\x27\x14\0\0\0\2", 28) + name +
      std::string(28 - name.size(), '\0') + values;
}

} // namespace

TEST_F(PresetFiles, LayoutIsBigEndianByteForByte)
{
  TestPlugin plugin(2, 2);
  plugin.MakePreset("Warm", 50.0, 50.0); // slot 1 stays uninitialised and holds no values
  plugin.RestorePreset(0);
  const std::string fxp = PathOf("p.fxp"), fxb = PathOf("b.fxb");
  const std::string warm = std::string("\x3F\x40\0\0\x3E\x80\0\0", 8); // 0.75, 0.25
  ASSERT_TRUE(plugin.SaveProgramAsFXP(fxp.c_str()));
  EXPECT_EQ(Read(fxp), HandBuiltRecord("Warm", warm));

  plugin.SetValues({-100.0, 200.0}); // live values are not in a bank
  ASSERT_TRUE(plugin.SaveBankAsFXB(fxb.c_str()));
  const std::string header("CcnK\0\0\0\0FxBk\0\0\0\2QLMN\0\0\x27\x14\0\0\0\2\0\0\0\0", 32);
  EXPECT_EQ(Read(fxb),
            header + std::string(124, '\0') + HandBuiltRecord("Warm", warm) +
                HandBuiltRecord("empty", std::string("\x3F\0\0\0\0\0\0\0", 8)));

  // Names are cut to 27 bytes, never inside a UTF-8 sequence; a save replaces the old file.
  plugin.ModifyCurrentPreset("abcdefghijklmnopqrstuvwxyz\xC3\xA9zz");
  ASSERT_TRUE(plugin.SaveProgramAsFXP(fxp.c_str()));
  EXPECT_EQ(Read(fxp).substr(24, 32), std::string("\0\0\0\2abcdefghijklmnopqrstuvwxyz\0\0", 32));
  EXPECT_EQ(FilesInDir(), 2u) << "no temporary file is left behind";
}

TEST_F(PresetFiles, HostBaseSuppliesIdentifierAndVersion)
{
  struct Plugin : plug::IPluginAPIBase
  {
    explicit Plugin(const plug::Config& config)
      : IPluginAPIBase(config, plug::kAPIVST2)
    {
    }
  };
  Plugin plugin(plug::Config{.nParams = 1,
                             .nPresets = 1,
                             .vendorVersion = plug::PackVersion(2, 3, 4),
                             .uniqueID = plug::MakeFourCC('A', 'b', 'C', 'd')});
  const std::string path = PathOf("p.fxp");
  ASSERT_TRUE(plugin.SaveProgramAsFXP(path.c_str()));
  EXPECT_EQ(Read(path).substr(16, 8), std::string("AbCd\0\0\x4F\x50", 8)); // 20304
  EXPECT_TRUE(plugin.LoadProgramFromFXP(path.c_str()));
}

TEST_F(PresetFiles, ProgramRoundTrip)
{
  TestPlugin plugin(4, 20), other(4, 20);
  plugin.MakePreset("Hall", 10.0, 120.0, 5.0, 40.0);
  plugin.RestorePreset(0);
  plugin.SetValues({-33.3, 77.0, 12.5, 63.0});
  const std::string path = PathOf("p.fxp");
  ASSERT_TRUE(plugin.SaveProgramAsFXP(path.c_str()));
  EXPECT_EQ(Read(path).size(), 72u);

  other.EnsureDefaultPreset(); // as the plug-in's entry point does
  ASSERT_TRUE(other.LoadProgramFromFXP(path.c_str()));
  for (int i = 0; i < 4; ++i)
    EXPECT_NEAR(other.Value(i), plugin.Value(i), 1e-4) << "single precision on disc";
  EXPECT_EQ(other.GetPresetName(0), "Hall");
  EXPECT_EQ(other.mLog, (std::vector<std::string>{"restore", "host"}));
  const std::string loaded = other.Snapshot();
  other.SetValues({0.0, 0.0, 1.0, 0.0});
  ASSERT_TRUE(other.RestorePreset(0));
  EXPECT_EQ(other.Snapshot(), loaded) << "the current slot holds the loaded values";

  // An empty name keeps the slot's; two values set two parameters; surplus values are ignored.
  std::string file = Read(path);
  std::fill(file.begin() + 28, file.begin() + 56, '\0');
  Put32(file, 24, 2);
  Write(path, file.substr(0, 64));
  other.ModifyCurrentPreset("Kept");
  other.SetValues({0.0, 0.0, 50.0, 50.0});
  ASSERT_TRUE(other.LoadProgramFromFXP(path.c_str()));
  EXPECT_EQ(other.GetPresetName(0), "Kept");
  EXPECT_NEAR(other.Value(1), 77.0, 1e-4);
  EXPECT_EQ(other.Value(2), 50.0);
  Put32(file, 24, 5);
  Write(path, file + std::string("\x3F\0\0\0", 4)); // 0.5 for a fifth parameter
  ASSERT_TRUE(other.LoadProgramFromFXP(path.c_str()));
  EXPECT_NEAR(other.Value(2), 12.5, 1e-4);
}

TEST_F(PresetFiles, BankRoundTripAndDocumentedPartialLoads)
{
  TestPlugin plugin(4, 20), other(4, 20), partial(4, 20), small(4, 3);
  for (int i = 0; i < 20; ++i)
    plugin.MakePreset(("Preset " + std::to_string(i)).c_str(), i * 5.0, i * 10.0, 0.1 + i, i * 2.0);
  plugin.RestorePreset(5);
  const std::string path = PathOf("b.fxb");
  ASSERT_TRUE(plugin.SaveBankAsFXB(path.c_str()));
  const std::string bank = Read(path);
  ASSERT_EQ(bank.size(), 1596u);

  ASSERT_TRUE(other.LoadBankFromFXB(path.c_str()));
  EXPECT_EQ(other.GetCurrentPresetIdx(), 5);
  for (int i = 19; i >= 0; --i)
  {
    EXPECT_EQ(other.GetPresetName(i), plugin.GetPresetName(i));
    ASSERT_TRUE(other.RestorePreset(i) && plugin.RestorePreset(i));
    for (int p = 0; p < 4; ++p)
      EXPECT_NEAR(other.Value(p), plugin.Value(p), 1e-4 * (1 + std::abs(plugin.Value(p)))) << i;
  }

  // A record with another parameter count stops the load after the records before it.
  std::string patched = bank;
  Put32(patched, 156 + 2 * 72 + 24, 3);
  Write(path, patched);
  EXPECT_FALSE(partial.LoadBankFromFXB(path.c_str()));
  EXPECT_EQ(partial.GetPresetName(1), "Preset 1");
  EXPECT_EQ(partial.GetPresetName(2), "empty");
  EXPECT_EQ(partial.GetCurrentPresetIdx(), 1);
  EXPECT_EQ(partial.mLog.back(), "host");

  // Surplus records each go to the slot that is current then, the last one; the last record wins.
  patched = bank;
  Put32(patched, 28, 2);
  Write(path, patched);
  ASSERT_TRUE(small.LoadBankFromFXB(path.c_str()));
  EXPECT_EQ(small.GetPresetName(2), "Preset 19");
  EXPECT_NEAR(small.Value(1), 190.0, 1e-4);
  Write(path, bank);
  EXPECT_FALSE(small.LoadBankFromFXB(path.c_str())) << "current program 5 is not a slot here";
}

TEST_F(PresetFiles, RefusedFilesChangeNothing)
{
  TestPlugin plugin(4, 20), target(4, 20);
  const std::string fxp = PathOf("p.fxp"), fxb = PathOf("b.fxb"), bad = PathOf("bad");
  ASSERT_TRUE(plugin.SaveProgramAsFXP(fxp.c_str()) && plugin.SaveBankAsFXB(fxb.c_str()));
  const std::string program = Read(fxp), bank = Read(fxb);

  target.MakePreset("Target", 1.0, 2.0, 3.0, 4.0);
  target.RestorePreset(0);
  target.mLog.clear();
  const std::string before = target.Snapshot();
  auto expectRefused = [&](const std::string& file, const std::string& what) {
    Write(bad, file);
    EXPECT_FALSE(target.LoadProgramFromFXP(bad.c_str())) << what;
    EXPECT_FALSE(target.LoadBankFromFXB(bad.c_str())) << what;
    EXPECT_EQ(target.Snapshot(), before) << what;
    EXPECT_TRUE(target.mLog.empty()) << what;
  };

  for (std::size_t size = 0; size < program.size(); ++size)
    expectRefused(program.substr(0, size), "program cut at " + std::to_string(size));
  for (std::size_t size = 0; size < bank.size(); ++size)
    expectRefused(bank.substr(0, size), "bank cut at " + std::to_string(size));
  expectRefused(program + '\0', "trailing byte");

  const uint32_t nan = std::bit_cast<uint32_t>(std::numeric_limits<float>::quiet_NaN());
  const uint32_t inf = std::bit_cast<uint32_t>(std::numeric_limits<float>::infinity());
  struct Change
  {
    const std::string* file;
    std::size_t at;
    uint32_t value;
    const char* what;
  };
  const Change changes[] = {{&program, 0, 0x43636E4C, "CcnL"},
                            {&program, 8, 0x46504368, "FPCh"},
                            {&program, 12, 2, "version 2"},
                            {&program, 16, 0x41424344, "other plug-in"},
                            {&program, 24, 5, "count 5"},
                            {&program, 24, 0xFFFFFFFF, "count -1"},
                            {&program, 56, nan, "NaN"},
                            {&program, 68, inf | 0x80000000u, "-inf"},
                            {&bank, 0, 0x43636E4C, "CcnL"},
                            {&bank, 8, 0x46424368, "FBCh"},
                            {&bank, 16, 0x41424344, "other plug-in"},
                            {&bank, 24, 21, "21 programs"},
                            {&bank, 24, 0xFFFFFFFF, "-1 programs"},
                            {&bank, 28, 20, "current program 20"},
                            {&bank, 28, 0xFFFFFFFF, "current program -1"},
                            {&bank, 1592, inf, "inf in the last"}};
  for (const Change& c : changes)
  {
    std::string file = *c.file;
    Put32(file, c.at, c.value);
    expectRefused(file, c.what);
  }

  // Oversized (refused before being read), a directory, a missing file, no path.
  Write(bad, program);
  fs::resize_file(bad, plug::IPluginBase::kMaxPresetFileSize + 1);
  fs::create_directory(PathOf("dir"));
  for (const std::string& path : {bad, PathOf("dir"), PathOf("missing"), std::string()})
    EXPECT_FALSE(target.LoadProgramFromFXP(path.c_str()) || target.LoadBankFromFXB(path.c_str())) << path;
  EXPECT_FALSE(target.LoadProgramFromFXP(nullptr) || target.LoadBankFromFXB(nullptr));
  EXPECT_EQ(target.Snapshot(), before);
  EXPECT_TRUE(target.mLog.empty());
}

TEST_F(PresetFiles, FailedSavesLeaveFilesAlone)
{
  TestPlugin plugin(4, 2);
  fs::create_directory(PathOf("dir.fxb"));
  EXPECT_FALSE(plugin.SaveBankAsFXB(PathOf("dir.fxb").c_str())) << "a directory is not replaced";
  EXPECT_FALSE(plugin.SaveProgramAsFXP(PathOf("no/such/dir.fxp").c_str()));
  EXPECT_FALSE(plugin.SaveProgramAsFXP("") || plugin.DumpBankBlob(nullptr));
  EXPECT_TRUE(fs::is_directory(PathOf("dir.fxb")));
  EXPECT_EQ(FilesInDir(), 1u) << "no temporary file is left behind";

  // A write that fails half way (the file-size limit stops it at 10 bytes) keeps the old file.
  const std::string path = PathOf("old.fxp");
  Write(path, "old");
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const rlimit tiny{10, saved.rlim_max};
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const bool saved72Bytes = plugin.SaveProgramAsFXP(path.c_str());
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(saved72Bytes);
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(FilesInDir(), 2u);

  // A file the user may not write is not replaced, though the folder would let a rename do it.
  fs::permissions(mDir, fs::perms::all);
  const std::string theirs = PathOf("theirs.fxp"), locked = PathOf("locked.fxp");
  Write(locked, "locked");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_TRUE(AsUnprivilegedUser([&] {
    return plugin.SaveProgramAsFXP(theirs.c_str()) && !plugin.SaveProgramAsFXP(locked.c_str()) &&
        !plugin.SaveBankAsFXB(locked.c_str());
  }));
  EXPECT_EQ(Read(locked), "locked");
  EXPECT_EQ(fs::file_size(theirs), 72u);

  // Over a symbolic link the file it leads to is replaced; the link stays.
  fs::create_symlink(theirs, PathOf("link.fxp"));
  ASSERT_TRUE(plugin.SaveBankAsFXB(PathOf("link.fxp").c_str()));
  EXPECT_TRUE(fs::is_symlink(PathOf("link.fxp")));
  EXPECT_EQ(fs::file_size(theirs), 156u + 2u * 72u);
  EXPECT_EQ(FilesInDir(), 5u);
}

TEST_F(PresetFiles, SourceDumps)
{
  TestPlugin plugin(3, 3, false);
  plugin.GetParam(0)->InitDouble("Color", 0.0, -100.0, 100.0, 0.1);
  plugin.GetParam(1)->InitBool("On", true);
  plugin.GetParam(2)->InitEnum("Mode", 0, 3);
  plugin.MakePreset("Say \"hi\"", -12.5, 1, 2);
  plugin.MakePresetFromChunk("Odd", IByteChunk());
  plugin.RestorePreset(0);
  const std::string path = PathOf("dump.txt");

  ASSERT_TRUE(plugin.DumpPresetSrcCode(path.c_str()));
  EXPECT_EQ(Read(path), "  MakePreset(\"Say \\\"hi\\\"\", -12.500000, true, 2);\n");
  const char* names[] = {"kColor", "kOn", "kMode"};
  ASSERT_TRUE(plugin.DumpPresetSrcCode(path.c_str(), names));
  EXPECT_EQ(Read(path),
            "  MakePresetFromNamedParams(\"Say \\\"hi\\\"\", 3,\n    kColor, -12.500000,\n"
            "    kOn, true,\n    kMode, 2);\n");

  // -12.5, 1.0 and 2.0 as little-endian doubles, in base64.
  const std::string line = "MakePresetFromBlob(\"Say \\\"hi\\\"\", \"AAAAAAAAKcAAAAAAAADwPwAAAAAAAABA\", 24";
  ASSERT_TRUE(plugin.DumpPresetBlob(path.c_str()));
  EXPECT_EQ(Read(path), line + ");\n");
  ASSERT_TRUE(plugin.DumpBankBlob(path.c_str()));
  EXPECT_EQ(Read(path), line + ");\nMakePresetFromBlob(\"Odd\", \"\", 0);\nMakePresetFromBlob(\"empty\", \"\", 0);\n");
  ASSERT_TRUE(plugin.DumpAllPresetsBlob(path.c_str()));
  EXPECT_EQ(Read(path).substr(0, line.size() + 7), line + ", 24);\n");

  IByteChunk big;
  big.Resize(plug::IPluginBase::kMaxBlobStateSize + 1);
  plugin.MakePresetFromChunk("Big", big);
  EXPECT_FALSE(plugin.DumpBankBlob(PathOf("big.txt").c_str())) << "its text would pass 32767 characters";
  EXPECT_FALSE(fs::exists(PathOf("big.txt")));
}

// The codec the plug-in shares with hosts of it: the chunk forms, which only hosts pass on, and a
// one-line reason for each refusal.
TEST(IPresetFile, ChunkFormsAndReasons)
{
  using plug::IPresetFile;
  const IPresetFile::Target target{plug::MakeFourCC('Q', 'L', 'M', 'N'), 2, 3};
  auto text = [](const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); };
  std::vector<uint8_t> record, header;
  IPresetFile::AppendProgram(record, target.uniqueID, 0, "P", {0.5f, 0.25f});
  IPresetFile::AppendBankHeader(header, target.uniqueID, 0, 2, 1);
  const std::string program = text(record), bank = text(header) + program + program;
  auto parseProgram = [&](const std::string& file, IPresetFile::Program& out, std::string& reason) {
    return IPresetFile::ParseProgram(reinterpret_cast<const uint8_t*>(file.data()), file.size(), target, out, &reason);
  };
  auto parseBank = [&](const std::string& file, IPresetFile::Bank& out, std::string& reason) {
    return IPresetFile::ParseBank(reinterpret_cast<const uint8_t*>(file.data()), file.size(), target, out, &reason);
  };
  auto patched = [](std::string file, std::size_t at, uint32_t value) {
    Put32(file, at, value);
    return file;
  };

  IPresetFile::Program parsed;
  IPresetFile::Bank parsedBank;
  std::string reason;
  ASSERT_TRUE(
      parseProgram(patched(program.substr(0, 56), 8, 0x46504368) + std::string("\0\0\0\3\7\10\11", 7), parsed, reason))
      << reason;
  EXPECT_TRUE(parsed.isChunk);
  EXPECT_EQ(parsed.chunk, (std::vector<uint8_t>{7, 8, 9}));
  EXPECT_EQ(parsed.name, "P");
  ASSERT_TRUE(parseBank(patched(bank.substr(0, 156), 8, 0x46424368) + std::string("\0\0\0\1\5", 5), parsedBank, reason))
      << reason;
  EXPECT_TRUE(parsedBank.isChunk);
  EXPECT_EQ(parsedBank.chunk, (std::vector<uint8_t>{5}));

  const std::pair<std::string, std::string> refusedPrograms[] = {
      {"", "not a VST program file"},
      {program.substr(0, 40), "truncated program file: 40 bytes, the header alone has 56 bytes"},
      {program.substr(0, 63), "truncated program file: 63 bytes where 64 bytes are declared"},
      {program + '\0', "oversized program file: 1 byte after its declared end"},
      {patched(program, 12, 2), "program file of format version 2"},
      {patched(program, 16, 0x41424344), "for plug-in 'ABCD', not for this one ('QLMN')"},
      {patched(program, 60, 0x7FC00000), "parameter 1 holds nan"},
      {bank, "this is a bank file"}};
  for (const auto& [file, expected] : refusedPrograms)
  {
    EXPECT_FALSE(parseProgram(file, parsed, reason)) << expected;
    EXPECT_NE(reason.find(expected), std::string::npos) << reason;
  }
  const std::pair<std::string, std::string> refusedBanks[] = {
      {patched(bank, 28, 3), "current program 3 is none of the plug-in's 3"},
      {patched(bank, 28, 0xFFFFFFFF), "current program -1"},
      {patched(bank, 24, 0x7FFFFFFF), "truncated bank file: 284 bytes for 2147483647 programs"},
      {program, "this is a program file"}};
  for (const auto& [file, expected] : refusedBanks)
  {
    EXPECT_FALSE(parseBank(file, parsedBank, reason)) << expected;
    EXPECT_NE(reason.find(expected), std::string::npos) << reason;
  }

  // A record of another parameter count ends the bank: what came before it is handed out.
  ASSERT_TRUE(parseBank(patched(bank, 156 + 64 + 24, 3), parsedBank, reason));
  EXPECT_FALSE(parsedBank.complete);
  EXPECT_EQ(parsedBank.programs.size(), 1u);
  EXPECT_NE(reason.find("bank record 1"), std::string::npos) << reason;
}
