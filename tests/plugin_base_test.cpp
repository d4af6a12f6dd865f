#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "plug/IPluginBase.h"
#include "plug/core/IByteChunk.h"

using plug::IByteChunk;
using plug::IParam;

namespace {

// Four parameters declared like the reverb's, plus a log of the hooks.
class TestPlugin : public plug::IPluginBase
{
public:
  explicit TestPlugin(int nPresets = 4)
    : IPluginBase(4, nPresets)
  {
    GetParam(0)->InitDouble("Decay", 3.2, 0.1, 100.0, 0.1, "s", 0, "", IParam::ShapeExp(), IParam::kUnitSeconds);
    GetParam(1)->InitPercentage("Width", 150.0, 0.0, 200.0);
    GetParam(2)->InitDouble("Color", 0.0, -100.0, 100.0, 0.1);
    GetParam(3)->InitPercentage("Mix", 21.0);
  }

  void OnParamChange(int idx) override { mLog.push_back("change " + std::to_string(idx)); }
  void OnPresetsModified() override { mLog.push_back("presets"); }
  void OnRestoreState() override { mLog.push_back("restore"); }
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}

  std::vector<double> Values() const
  {
    std::vector<double> values;
    for (int i = 0; i < NParams(); ++i)
      values.push_back(GetParam(i)->GetValue());
    return values;
  }

  std::vector<std::string> mLog;
};

IByteChunk StateOf(const std::vector<double>& values)
{
  IByteChunk chunk;
  for (double v : values)
    chunk.PutValue(v);
  return chunk;
}

IByteChunk Prefix(const IByteChunk& chunk, int size)
{
  IByteChunk part;
  part.PutBytes(chunk.GetData(), size);
  return part;
}

std::string Base64(const IByteChunk& chunk)
{
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  const uint8_t* d = chunk.GetData();
  const int n = chunk.Size();
  for (int i = 0; i < n; i += 3)
  {
    const uint32_t b =
        (uint32_t(d[i]) << 16) | (i + 1 < n ? uint32_t(d[i + 1]) << 8 : 0) | (i + 2 < n ? uint32_t(d[i + 2]) : 0);
    text += alphabet[(b >> 18) & 63];
    text += alphabet[(b >> 12) & 63];
    text += i + 1 < n ? alphabet[(b >> 6) & 63] : '=';
    text += i + 2 < n ? alphabet[b & 63] : '=';
  }
  return text;
}

// Everything a bank load could touch, for before/after comparisons.
IByteChunk Snapshot(const TestPlugin& plugin)
{
  IByteChunk all;
  plugin.SerializePresets(all);
  plugin.SerializeState(all);
  all.PutValue(plugin.GetCurrentPresetIdx());
  return all;
}

} // namespace

TEST(IByteChunk, TypedReadsAreBoundsCheckedAndChain)
{
  IByteChunk chunk;
  EXPECT_EQ(chunk.PutValue(int32_t{-7}), 4);
  EXPECT_EQ(chunk.PutValue(2.5), 12);
  EXPECT_EQ(chunk.PutValue(uint8_t{200}), 13);

  int32_t i = 0;
  double d = 0;
  uint8_t b = 0;
  int pos = chunk.GetValueAt(i, 0);
  pos = chunk.GetValueAt(d, pos);
  pos = chunk.GetValueAt(b, pos);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(i, -7);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(b, 200);

  d = 99.0;
  EXPECT_EQ(chunk.GetValueAt(d, 6), -1) << "8 bytes at 6 run past 13";
  EXPECT_EQ(d, 99.0) << "a failed read leaves the target alone";
  EXPECT_EQ(chunk.GetValueAt(i, -1), -1) << "a failed position makes the next read fail";
  EXPECT_EQ(chunk.GetValueAt(i, INT_MAX), -1);
  EXPECT_EQ(chunk.GetValueAt(i, INT_MIN), -1);
  EXPECT_EQ(chunk.GetValueAt(b, 13), -1);

  bool flag = false;
  EXPECT_EQ(chunk.GetValueAt(flag, 12), 13);
  EXPECT_TRUE(flag) << "any non-zero byte reads as true";

  // Raw bytes, appending a chunk to itself, clearing.
  uint8_t raw[4] = {};
  EXPECT_EQ(chunk.GetBytesAt(raw, 4, 10), -1);
  EXPECT_EQ(chunk.GetBytesAt(raw, -1, 0), -1);
  EXPECT_EQ(chunk.PutBytes(nullptr, 5), 13);
  EXPECT_EQ(chunk.PutBytes(raw, -3), 13);
  EXPECT_EQ(chunk.AppendChunk(chunk), 26);
  EXPECT_EQ(0, std::memcmp(chunk.GetData(), chunk.GetData() + 13, 13));
  EXPECT_EQ(chunk.PutBytes(chunk.GetData() + 1, 20), 46) << "a source inside the chunk is safe";
  EXPECT_EQ(chunk.Resize(3), 3);
  chunk.ClearChunk();
  EXPECT_EQ(chunk.Size(), 0);
}

TEST(IByteChunk, TextsAreReadOnlyWithinTheChunk)
{
  IByteChunk chunk;
  chunk.PutText("Hall");
  chunk.PutText(nullptr);
  EXPECT_EQ(chunk.Size(), 4 + 4 + 4);

  std::string text = "old";
  int pos = chunk.GetTextAt(text, 0);
  EXPECT_EQ(pos, 8);
  EXPECT_EQ(text, "Hall");
  EXPECT_EQ(chunk.GetTextAt(text, pos), 12);
  EXPECT_EQ(text, "");

  IByteChunk embedded;
  embedded.PutValue(int32_t{5});
  embedded.PutBytes("ab\0cd", 5);
  EXPECT_EQ(embedded.GetTextAt(text, 0), 9);
  EXPECT_EQ(text, "ab") << "a zero byte ends the text";

  // Lengths that point past the end, backwards, or overflow the position are refused.
  for (int32_t length : {6, 1000, INT_MAX, -1, -9, INT_MIN})
  {
    IByteChunk bad;
    bad.PutValue(length);
    bad.PutBytes("abcde", 5);
    text = "unchanged";
    EXPECT_EQ(bad.GetTextAt(text, 0), -1) << length;
    EXPECT_EQ(text, "unchanged") << length;
  }
  EXPECT_EQ(chunk.GetTextAt(text, -1), -1);
  EXPECT_EQ(chunk.GetTextAt(text, 10), -1) << "the length itself is cut off";
}

TEST(IByteChunk, VersionHeader)
{
  IByteChunk chunk;
  chunk.WriteVersionHeader();
  ASSERT_EQ(chunk.Size(), 8);
  EXPECT_EQ(0, std::memcmp(chunk.GetData(), "tffp", 4));
  int32_t version = 0;
  EXPECT_EQ(IByteChunk::ReadVersionHeader(chunk, &version), 8);
  EXPECT_EQ(version, 0x00010000);

  EXPECT_EQ(IByteChunk::ReadVersionHeader(Prefix(chunk, 6)), -1) << "magic without version";
  EXPECT_EQ(IByteChunk::ReadVersionHeader(Prefix(chunk, 3)), 0) << "too short for the magic";
  EXPECT_EQ(IByteChunk::ReadVersionHeader(StateOf({1.0, 2.0})), 0) << "no header";
}

TEST(IPluginBase, StateRoundTripAndShortState)
{
  TestPlugin plugin;
  IByteChunk state;
  EXPECT_TRUE(plugin.SerializeState(state));
  EXPECT_EQ(state.Size(), 32);

  TestPlugin other;
  const IByteChunk full = StateOf({12.3, 176.06383, 95.0, 33.776596});
  EXPECT_EQ(other.UnserializeState(full, 0), 32);
  EXPECT_EQ(other.Values(), (std::vector<double>{12.3, 176.06383, 95.0, 33.776596}));

  // 20 bytes: two values, a cut-off third.
  other.mLog.clear();
  const IByteChunk shortState = Prefix(StateOf({50.0, 100.0, -40.0, 70.0}), 20);
  EXPECT_EQ(other.UnserializeParams(shortState, 0), -1);
  EXPECT_EQ(other.Values(), (std::vector<double>{50.0, 100.0, 0.0, 33.776596}));
  EXPECT_EQ(other.mLog.size(), 4u) << "OnParamReset runs even after a failed read";

  // The failing parameter is set from 0, clamped into its range.
  EXPECT_EQ(other.UnserializeParams(Prefix(full, 4), 0), -1);
  EXPECT_DOUBLE_EQ(other.GetParam(0)->GetValue(), 0.1);

  other.mLog.clear();
  EXPECT_EQ(other.UnserializeParams(full, -1), -1);
  EXPECT_DOUBLE_EQ(other.GetParam(0)->GetValue(), 0.1) << "a negative start reads nothing";
  EXPECT_EQ(other.mLog.size(), 4u);

  // Out-of-range and non-finite values are constrained.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(other.UnserializeParams(StateOf({1e9, -5.0, nan, 1e-320}), 0), 32);
  EXPECT_EQ(other.Values(), (std::vector<double>{100.0, 0.0, -100.0, 1e-320}));
}

TEST(IPluginBase, MakingPresets)
{
  TestPlugin plugin(6);
  plugin.MakeDefaultPreset("Default", 1);
  EXPECT_TRUE(plugin.MakePreset("Next Room", 0.334591, 14, -45.212766, 23.12766));
  EXPECT_FALSE(plugin.MakePreset("Too few", 1.0, 2.0, 3.0)) << "one value per parameter";
  EXPECT_TRUE(plugin.MakePresetFromNamedParams("Named", 2, 3, 40.5, 1, 7));
  EXPECT_TRUE(plugin.MakePresetFromNamedParams("Unnamed", 0));
  EXPECT_FALSE(plugin.MakePresetFromNamedParams("Bad index", 1, 4, 1.0));
  EXPECT_FALSE(plugin.MakePresetFromNamedParams("Bad index", 1, -1, 1.0));
  EXPECT_FALSE(plugin.MakePresetFromNamedParams("Bad count", 2, 0, 1.0));

  const std::string longName(300, 'x');
  EXPECT_TRUE(plugin.MakePresetFromChunk(longName.c_str(), StateOf({1, 2, 3, 4})));

  EXPECT_EQ(plugin.NPresets(), 6);
  EXPECT_EQ(plugin.GetPresetName(0), "Default");
  EXPECT_EQ(plugin.GetPresetName(1), "Next Room");
  EXPECT_EQ(std::string(plugin.GetPresetName(4)), std::string(255, 'x')) << "cut to fit";
  EXPECT_EQ(plugin.GetPresetName(5), "empty");
  EXPECT_EQ(plugin.GetPresetName(6), "");
  EXPECT_EQ(plugin.GetPresetName(-1), "");

  // Preset values are stored as given, without constraint.
  EXPECT_TRUE(plugin.GetPreset(1)->mChunk.IsEqual(StateOf({0.334591, 14, -45.212766, 23.12766})));
  EXPECT_TRUE(plugin.GetPreset(2)->mChunk.IsEqual(StateOf({3.2, 7, 0, 40.5})));
  EXPECT_TRUE(plugin.GetPreset(3)->mChunk.IsEqual(StateOf({3.2, 150, 0, 21})));

  // A blob shorter than its chunk size leaves the remaining bytes zero.
  EXPECT_TRUE(plugin.MakePresetFromBlob("Blob", "AAECAw==", 8));
  const uint8_t expected[8] = {0, 1, 2, 3, 0, 0, 0, 0};
  ASSERT_EQ(plugin.GetPreset(5)->mChunk.Size(), 8);
  EXPECT_EQ(0, std::memcmp(plugin.GetPreset(5)->mChunk.GetData(), expected, 8));

  // The list is full now.
  EXPECT_FALSE(plugin.MakePreset("Late", 1, 2, 3, 4));
  EXPECT_FALSE(plugin.MakePresetFromBlob("Late", "AAAA", 3));
  plugin.MakeDefaultPreset(nullptr, 3);
  EXPECT_EQ(plugin.GetPresetName(5), "Blob");
}

TEST(IPluginBase, BlobsDecodeToTheState)
{
  TestPlugin plugin(3);
  const IByteChunk state = StateOf({20.0, 68.170213, -35.638298, 28.989362});
  EXPECT_TRUE(plugin.MakePresetFromBlob("Tunnel", Base64(state).c_str(), 32));
  EXPECT_TRUE(plugin.GetPreset(0)->mChunk.IsEqual(state));

  EXPECT_TRUE(plugin.MakePresetFromBlob("Cut", Base64(state).c_str(), 5));
  EXPECT_TRUE(plugin.GetPreset(1)->mChunk.IsEqual(Prefix(state, 5)));
  EXPECT_FALSE(plugin.MakePresetFromBlob("Null", nullptr, 8));
  EXPECT_FALSE(plugin.MakePresetFromBlob("Negative", "AAAA", -1));
  EXPECT_FALSE(plugin.GetPreset(2)->mInitialized);
}

TEST(IPluginBase, RestoringPresets)
{
  TestPlugin plugin(5);
  plugin.MakePreset("Arena", 3.5, 200, -60.106383, 72.074468);
  plugin.MakePreset("user preset 9", 1, 1, 1, 1);
  plugin.MakePreset("my user preset", 2, 2, 2, 2);

  plugin.mLog.clear();
  EXPECT_TRUE(plugin.RestorePreset(0));
  EXPECT_EQ(plugin.Values(), (std::vector<double>{3.5, 200, -60.106383, 72.074468}));
  const std::vector<std::string> expected = {"change 0", "change 1", "change 2", "change 3", "presets", "restore"};
  EXPECT_EQ(plugin.mLog, expected);

  // A free slot becomes a user preset of the current values, numbered after the existing ones.
  EXPECT_TRUE(plugin.RestorePreset(3));
  EXPECT_EQ(plugin.GetPresetName(3), "user preset 3");
  EXPECT_EQ(plugin.GetCurrentPresetIdx(), 3);
  EXPECT_TRUE(plugin.GetPreset(3)->mChunk.IsEqual(StateOf(plugin.Values())));

  EXPECT_FALSE(plugin.RestorePreset(5));
  EXPECT_FALSE(plugin.RestorePreset(-1));
  EXPECT_FALSE(plugin.RestorePreset("arena")) << "names compare case-sensitively";
  EXPECT_FALSE(plugin.RestorePreset(""));
  EXPECT_FALSE(plugin.RestorePreset(static_cast<const char*>(nullptr)));
  EXPECT_EQ(plugin.GetCurrentPresetIdx(), 3);
  EXPECT_TRUE(plugin.RestorePreset("my user preset"));
  EXPECT_EQ(plugin.GetCurrentPresetIdx(), 2);
  EXPECT_EQ(plugin.Values(), (std::vector<double>{2, 2, 2, 2}));
}

TEST(IPluginBase, UnloadableSlotChangesNothing)
{
  TestPlugin plugin(3);
  plugin.MakePreset("Good", 4.6, 176, -58.510638, 29.521277);
  plugin.MakePresetFromChunk("Short", Prefix(StateOf({50, 50, 50, 50}), 20));
  plugin.MakePresetFromChunk("Empty chunk", IByteChunk());
  ASSERT_TRUE(plugin.RestorePreset(0));

  const std::vector<double> before = plugin.Values();
  plugin.mLog.clear();
  EXPECT_FALSE(plugin.RestorePreset(1));
  EXPECT_FALSE(plugin.RestorePreset(2));
  EXPECT_EQ(plugin.Values(), before);
  EXPECT_EQ(plugin.GetCurrentPresetIdx(), 0);
  for (const std::string& entry : plugin.mLog)
    EXPECT_NE(entry, "presets") << "no preset change is announced";
}

TEST(IPluginBase, ModifyEnsureAndPrune)
{
  TestPlugin plugin(4);
  plugin.MakePreset("One", 1, 1, 1, 1);
  plugin.MakePreset("Two", 2, 2, 2, 2);
  ASSERT_TRUE(plugin.RestorePreset(1));

  plugin.GetParam(3)->SetValue(55.0);
  plugin.ModifyCurrentPreset("");
  EXPECT_EQ(plugin.GetPresetName(1), "Two") << "an empty name keeps the old one";
  EXPECT_TRUE(plugin.GetPreset(1)->mChunk.IsEqual(StateOf({2, 2, 2, 55})));
  plugin.ModifyCurrentPreset(std::string(400, 'n').c_str());
  EXPECT_EQ(std::string(plugin.GetPresetName(1)).size(), 255u);

  plugin.GetParam(0)->SetValue(9.0);
  plugin.EnsureDefaultPreset();
  EXPECT_TRUE(plugin.GetPreset(2)->mInitialized);
  EXPECT_EQ(plugin.GetPresetName(3), "Empty");
  EXPECT_TRUE(plugin.GetPreset(3)->mChunk.IsEqual(StateOf({9, 2, 2, 55})));

  TestPlugin pruned(5);
  pruned.MakePreset("A", 1, 1, 1, 1);
  pruned.MakePreset("B", 2, 2, 2, 2);
  pruned.RestorePreset(4); // becomes a user preset
  pruned.PruneUninitializedPresets();
  ASSERT_EQ(pruned.NPresets(), 3);
  EXPECT_EQ(pruned.GetPresetName(0), "A");
  EXPECT_EQ(pruned.GetPresetName(1), "B");
  EXPECT_EQ(pruned.GetPresetName(2), "user preset 1");
}

TEST(IPluginBase, BankLayoutAndRoundTrip)
{
  TestPlugin source(3);
  source.MakePreset("Hall", 2.7, 130.5, 0, 26.6);
  source.MakePreset("Cave", 15.5, 22.3, -35.6, 33.2);

  IByteChunk bank;
  EXPECT_TRUE(source.SerializePresets(bank));
  // "Hall" slot: 4 + 4 + 1 + 32; "Cave" the same; the free slot only its name and a zero byte.
  ASSERT_EQ(bank.Size(), 41 + 41 + 4 + 5 + 1);
  std::string name;
  uint8_t flag = 9;
  int pos = bank.GetTextAt(name, 82);
  EXPECT_EQ(name, "empty");
  EXPECT_EQ(bank.GetValueAt(flag, pos), bank.Size());
  EXPECT_EQ(flag, 0);

  TestPlugin target(3);
  target.MakePreset("Old", 1, 1, 1, 1);
  target.mLog.clear();
  EXPECT_EQ(target.UnserializePresets(bank, 0), bank.Size());
  EXPECT_EQ(target.GetPresetName(0), "Hall");
  EXPECT_EQ(target.GetPresetName(1), "Cave");
  EXPECT_FALSE(target.GetPreset(2)->mInitialized);
  EXPECT_TRUE(target.GetPreset(1)->mChunk.IsEqual(StateOf({15.5, 22.3, -35.6, 33.2})));
  EXPECT_EQ(target.Values(), (std::vector<double>{2.7, 130.5, 0, 26.6})) << "current preset 0";
  ASSERT_FALSE(target.mLog.empty());
  EXPECT_EQ(target.mLog.back(), "restore");

  // Stored bank states are re-serialised from the constrained parameters.
  IByteChunk wild;
  wild.PutText("Wild");
  wild.PutValue(uint8_t{1});
  wild.AppendChunk(StateOf({1000, -1, 5, 5}));
  TestPlugin single(1);
  EXPECT_EQ(single.UnserializePresets(wild, 0), wild.Size());
  EXPECT_TRUE(single.GetPreset(0)->mChunk.IsEqual(StateOf({100, 0, 5, 5})));

  TestPlugin empty(0);
  IByteChunk nothing;
  EXPECT_TRUE(empty.SerializePresets(nothing));
  EXPECT_EQ(nothing.Size(), 0);
}

TEST(IPluginBase, MalformedBankChangesNothing)
{
  TestPlugin source(3);
  source.MakePreset("Hall", 2.7, 130.5, 0, 26.6);
  source.MakePreset("Cave", 15.5, 22.3, -35.6, 33.2);
  IByteChunk bank;
  source.SerializePresets(bank);

  TestPlugin target(3);
  target.MakePreset("Keep", 1, 1, 1, 1);
  target.MakePreset("These", 2, 2, 2, 2);
  target.RestorePreset(1);
  target.GetParam(2)->SetValue(-7.0); // unsaved edit
  const IByteChunk before = Snapshot(target);

  // Every cut of a valid bank is refused.
  for (int size = 0; size < bank.Size(); ++size)
  {
    EXPECT_EQ(target.UnserializePresets(Prefix(bank, size), 0), -1) << size;
    ASSERT_TRUE(Snapshot(target).IsEqual(before)) << "cut at " << size;
  }

  // An initialised flag other than 0 or 1 is refused.
  IByteChunk badFlag = bank;
  badFlag.GetData()[8] = 2;
  EXPECT_EQ(target.UnserializePresets(badFlag, 0), -1);
  EXPECT_TRUE(Snapshot(target).IsEqual(before));

  // A name length that would run past the end or backwards is refused.
  for (int32_t length : {INT_MAX, -4, 5000})
  {
    IByteChunk badName = bank;
    std::memcpy(badName.GetData(), &length, 4);
    EXPECT_EQ(target.UnserializePresets(badName, 0), -1) << length;
    EXPECT_TRUE(Snapshot(target).IsEqual(before)) << length;
  }
  EXPECT_EQ(target.UnserializePresets(bank, -1), -1);
  EXPECT_TRUE(Snapshot(target).IsEqual(before));
}

// A session carries the programs, the current one and the values; with or without the values, and
// a session that is cut, longer, of another plug-in's size or with a value that is not a number is
// refused whole.
TEST(IPluginBase, SessionRoundTripAndMalformedSessionsChangeNothing)
{
  TestPlugin source(3);
  source.MakePreset("Hall", 2.7, 130.5, 0, 26.6);
  source.MakePreset("Cave", 15.5, 22.3, -35.6, 33.2);
  source.EnsureDefaultPreset();
  source.RestorePreset(1);
  source.GetParam(3)->SetValue(40.0);
  IByteChunk session;
  ASSERT_TRUE(source.SerializeSession(session));

  TestPlugin target(3);
  target.EnsureDefaultPreset();
  ASSERT_TRUE(target.UnserializeSession(session, false));
  EXPECT_EQ(target.GetCurrentPresetIdx(), 1);
  EXPECT_EQ(target.GetPresetName(1), "Cave");
  EXPECT_EQ(target.GetParam(3)->GetValue(), 21.0); // the values stay
  ASSERT_TRUE(target.UnserializeSession(session, true));
  EXPECT_EQ(target.Values(), source.Values());
  EXPECT_EQ(target.mLog.back(), "restore");

  target.RestorePreset(0);
  const IByteChunk before = Snapshot(target);
  for (int size = 0; size < session.Size(); ++size)
  {
    EXPECT_FALSE(target.UnserializeSession(Prefix(session, size), true)) << size;
    ASSERT_TRUE(Snapshot(target).IsEqual(before)) << "cut at " << size;
  }
  IByteChunk longer = session;
  longer.PutValue(uint8_t{0});
  EXPECT_FALSE(target.UnserializeSession(longer, true));
  IByteChunk notANumber = session;
  const double nan = std::nan("");
  std::memcpy(notANumber.GetData() + notANumber.Size() - 8, &nan, 8);
  EXPECT_FALSE(target.UnserializeSession(notANumber, true));
  TestPlugin bigger(4);
  bigger.EnsureDefaultPreset();
  IByteChunk otherSize;
  bigger.SerializeSession(otherSize);
  EXPECT_FALSE(target.UnserializeSession(otherSize, true));
  EXPECT_TRUE(Snapshot(target).IsEqual(before));
}

TEST(IPluginBase, ArbitraryBytesNeverReadOutside)
{
  // Random contents and lengths: every read must stay inside (checked by the sanitizers) and
  // every outcome must be either a clean load or a clean refusal.
  std::mt19937 random(1234);
  TestPlugin source(2);
  source.MakePreset("A long enough name", 1, 2, 3, 4);
  source.MakePreset("B", 5, 6, 7, 8);
  IByteChunk valid;
  source.SerializePresets(valid);

  for (int round = 0; round < 3000; ++round)
  {
    IByteChunk chunk;
    const int size = static_cast<int>(random() % 120);
    if (round % 2 == 0)
    {
      for (int i = 0; i < size; ++i)
        chunk.PutValue(static_cast<uint8_t>(random()));
    }
    else
    {
      chunk = valid;
      chunk.GetData()[random() % valid.Size()] = static_cast<uint8_t>(random());
      chunk.Resize(std::min(valid.Size(), size));
    }

    TestPlugin plugin(2);
    plugin.MakePreset("X", 9, 9, 9, 9);
    const IByteChunk before = Snapshot(plugin);
    const int start = static_cast<int>(random() % 8) - 2;

    const int bankResult = plugin.UnserializePresets(chunk, start);
    if (bankResult < 0)
      EXPECT_TRUE(Snapshot(plugin).IsEqual(before));
    else
      EXPECT_LE(bankResult, chunk.Size());

    const int stateResult = plugin.UnserializeState(chunk, start);
    EXPECT_TRUE(stateResult == -1 || (stateResult <= chunk.Size() && stateResult == start + 32));
    for (int i = 0; i < plugin.NParams(); ++i)
    {
      const IParam& p = *plugin.GetParam(i);
      EXPECT_TRUE(p.GetValue() >= p.GetMin() && p.GetValue() <= p.GetMax()) << i << " " << p.GetValue();
    }

    std::string text;
    const int textResult = chunk.GetTextAt(text, start);
    EXPECT_TRUE(textResult == -1 || (textResult >= start + 4 && textResult <= chunk.Size()));

    plugin.MakePresetFromChunk("raw", chunk);
    plugin.RestorePreset(1);
  }
}

TEST(IPluginBase, ParameterSets)
{
  class Synth : public plug::IPluginBase
  {
  public:
    Synth()
      : IPluginBase(6, 0)
    {
    }
    void BeginInformHostOfParamChangeFromUI(int) override {}
    void EndInformHostOfParamChangeFromUI(int) override {}
  } synth;

  synth.InitParamRange(0, 2, 1, "Osc %d Level", 0.5, 0.0, 1.0, 0.01, "", 0, "Osc A");
  synth.InitParamRange(5, 9, 1, "Ignored %d", 0.0, 0.0, 1.0, 0.1);
  EXPECT_STREQ(synth.GetParam(0)->GetNameForHost(), "Osc 1 Level");
  EXPECT_STREQ(synth.GetParam(2)->GetNameForHost(), "Osc 3 Level");
  EXPECT_STREQ(synth.GetParam(5)->GetNameForHost(), "Ignored 1") << "indices past the end skipped";

  synth.GetParam(1)->SetValue(0.8);
  synth.CloneParamRange(0, 2, 3, "Osc", "Sub", "Osc B");
  EXPECT_STREQ(synth.GetParam(4)->GetNameForHost(), "Sub 2 Level");
  EXPECT_STREQ(synth.GetParam(4)->GetGroupForHost(), "Osc B");
  EXPECT_EQ(synth.GetParam(4)->GetValue(), 0.8) << "the clone takes the source's value";

  synth.GetParam(0)->SetValue(0.1);
  synth.GetParam(1)->SetValue(0.2);
  synth.GetParam(2)->SetValue(0.3);
  synth.CopyParamValues("Osc A", "Osc B");
  EXPECT_EQ(synth.GetParam(3)->GetValue(), 0.1);
  EXPECT_EQ(synth.GetParam(5)->GetValue(), 0.3);

  synth.CopyParamValues(0, 4, 2);
  EXPECT_EQ(synth.GetParam(4)->GetValue(), 0.1);
  EXPECT_EQ(synth.GetParam(5)->GetValue(), 0.2);
  synth.CopyParamValues(4, 5, 5); // runs past the end: only valid pairs
  EXPECT_EQ(synth.GetParam(5)->GetValue(), 0.1);

  synth.GetParam(5)->InitDouble("Odd", 0, 0, 1, 0.1, "", 0, "Osc B extra");
  synth.GetParam(3)->SetValue(0.9);
  synth.CopyParamValues("Osc A", "Osc B");
  EXPECT_EQ(synth.GetParam(3)->GetValue(), 0.9) << "groups of different sizes are not copied";

  std::vector<int> visited;
  synth.ForParamInGroup("Osc A", [&](int idx, IParam&) { visited.push_back(idx); });
  synth.ForParamInRange(4, 7, [&](int idx, IParam&) { visited.push_back(idx); });
  EXPECT_EQ(visited, (std::vector<int>{0, 1, 2, 4, 5}));

  synth.DefaultParamValues("Osc A");
  EXPECT_EQ(synth.GetParam(1)->GetValue(), 0.5);
  EXPECT_EQ(synth.GetParam(3)->GetValue(), 0.9);
  synth.DefaultParamValues();
  EXPECT_EQ(synth.GetParam(3)->GetValue(), 0.5);

  for (int round = 0; round < 50; ++round)
  {
    synth.RandomiseParamValues();
    for (int i = 0; i < synth.NParams(); ++i)
    {
      const double v = synth.GetParam(i)->GetValue();
      EXPECT_TRUE(v >= 0.0 && v <= 1.0);
    }
  }
  synth.PrintParamValues();
}
