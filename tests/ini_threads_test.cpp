#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "effect/inifile.h"
#include "ini/ini_store.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

using namespace quillon;

namespace {

// Threads writing their own keys into one shared file, while others cycle through
// more files than the store caches, must each read back exactly what they wrote and
// leave a file that holds every thread's last value.
TEST(IniThreads, ConcurrentWritersAndReadersSeeConsistentValues)
{
  const TempFolder folder("qm_ini_threads");
  ASSERT_FALSE(folder.Path().empty());
  const std::string& root = folder.Path();
  const std::string shared = root + "/Settings.ini";

  constexpr int kSharedWriters = 4;
  constexpr int kRounds = 40;
  constexpr int kCyclingThreads = 2;
  constexpr int kCycledFiles = 40; // more than the store holds at once
  std::atomic<int> mismatches{0};

  std::vector<std::thread> threads;
  for (int t = 0; t < kSharedWriters; ++t)
  {
    threads.emplace_back([&, t] {
      const TIniFile ini(shared);
      const std::string key = "Key" + std::to_string(t);
      for (int round = 0; round < kRounds; ++round)
      {
        if (!ini.WriteInt("Params", key.c_str(), round))
          ++mismatches;
        if (ini.ReadInt("Params", key.c_str(), -1) != round)
          ++mismatches;
        const std::string otherKey = "Key" + std::to_string((t + 1) % kSharedWriters);
        const int other = ini.ReadInt("params", otherKey.c_str(), -1);
        if (other < -1 || other >= kRounds)
          ++mismatches;
      }
    });
  }
  for (int t = 0; t < kCyclingThreads; ++t)
  {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCycledFiles; ++i)
      {
        const std::string path = root + "/cycle" + std::to_string(t) + "_" + std::to_string(i) + ".ini";
        const std::string value = std::to_string(i * 10 + t);
        if (!WritePrivateProfileString("S", "V", value.c_str(), path.c_str()))
          ++mismatches;
        char buffer[32];
        GetPrivateProfileString("S", "V", "", buffer, sizeof buffer, path.c_str());
        if (value != buffer)
          ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  EXPECT_EQ(mismatches.load(), 0);
  const TIniFile ini(shared);
  for (int t = 0; t < kSharedWriters; ++t)
  {
    EXPECT_EQ(ini.ReadInt("Params", ("Key" + std::to_string(t)).c_str(), -1), kRounds - 1);
  }
  EXPECT_FALSE(fs::exists(root + "/.Settings.ini.new"));
}

} // namespace
