#include <gtest/gtest.h>

#include <string>

#include "plug/Config.h"
#include "plug/IHost.h"

using namespace plug;

TEST(Host, IdentifiesByTheFirstTableEntryContainedInTheLowerCasedName)
{
  EXPECT_EQ(IdentifyHost("REAPER"), kHostReaper);
  EXPECT_EQ(IdentifyHost("Cubase Pro"), 3);
  EXPECT_EQ(IdentifyHost("WaveLab Elements 11"), 32);
  EXPECT_EQ(IdentifyHost("WaveLab Pro 11"), 31);
  EXPECT_EQ(IdentifyHost("logic live"), 9) << "the earlier entry wins, wherever it stands in the name";
  EXPECT_EQ(IdentifyHost("Logic Pro X"), kHostLogic);
  EXPECT_EQ(IdentifyHost("OpenMPT 1.31"), kHostOpenMPT) << "a table text with capitals still matches";
  EXPECT_EQ(IdentifyHost("openmpt"), kHostOpenMPT);
  EXPECT_EQ(IdentifyHost("Blue Cat's VST Host"), kHostBlueCat);
  EXPECT_EQ(IdentifyHost("iZotope RX 10"), kHostiZotopeRX);
  EXPECT_EQ(IdentifyHost("Bitwig Studio"), kHostBitwig);
  EXPECT_EQ(IdentifyHost("PreSonus Studio One"), kHostStudioOne);
  // "standalone" and "www" are tested after everything else.
  EXPECT_EQ(IdentifyHost("My Standalone App"), 24);
  EXPECT_EQ(IdentifyHost("Reaper standalone"), kHostReaper);
  EXPECT_EQ(IdentifyHost("www.example.net"), 35);
  EXPECT_EQ(IdentifyHost("standalone www"), 24);
  EXPECT_EQ(IdentifyHost("www cubase"), kHostCubase);
  // Nothing known.
  EXPECT_EQ(IdentifyHost(""), 0);
  EXPECT_EQ(IdentifyHost(nullptr), 0);
  EXPECT_EQ(IdentifyHost("Some Unheard-of Host"), 0);
}

TEST(Host, LongNamesAreCutBeforeTheyAreSearched)
{
  const std::string padding(kMaxHostNameLength - 3, 'x');
  EXPECT_EQ(LowerCaseHostName((padding + "ABC").c_str()), padding + "abc");
  EXPECT_EQ(LowerCaseHostName((padding + "ABCDEF").c_str()), padding + "abc");
  EXPECT_EQ(LowerCaseHostName(nullptr), "");
  // A known name that begins inside the first 255 characters but ends beyond them is not found.
  EXPECT_EQ(IdentifyHost((padding + "reaper").c_str()), kHostUnknown);
  EXPECT_EQ(IdentifyHost((std::string(kMaxHostNameLength - 6, ' ') + "Reaper").c_str()), kHostReaper);
}

TEST(Host, VersionAndBuildTexts)
{
  const int32_t packed = PackVersion(1, 2, 3);
  EXPECT_EQ(GetVersionStr(packed), "v1.2.3");
  EXPECT_EQ(VersionDecimal(packed), 10203);
  EXPECT_EQ(GetVersionStr(0x00010004), "v1.0.4");
  EXPECT_EQ(VersionDecimal(0x00010004), 10004);
  EXPECT_EQ(GetVersionStr(static_cast<int32_t>(0xFFFFFFFFu)), "v65535.255.255");
  EXPECT_EQ(GetVersionStr(0), "v0.0.0");

  const char* expectedApis[] = {"VST2", "VST3", "AU", "AUv3", "AAX", "APP", "WAM", "WEB", "LV2"};
  for (int api = 0; api < 9; ++api)
    EXPECT_STREQ(GetAPIStr(api), expectedApis[api]);
  EXPECT_STREQ(GetAPIStr(9), "");
  EXPECT_STREQ(GetAPIStr(-1), "");
  EXPECT_STREQ(GetArchStr(), "x64");

  EXPECT_EQ(FormatBuildInfoStr("QuillonMini", 0x00010004, kAPIVST2, "Dec  7 2025", "08:37:59"),
            "QuillonMini version v1.0.4 VST2 (x64), built on Dec  7 2025 at 08:37 ");
  const std::string longName(400, 'n');
  const std::string longInfo = FormatBuildInfoStr(longName.c_str(), 0, kAPIVST2, "Jan  1 2025", "00:00:00");
  EXPECT_EQ(longInfo.size(), 255u);
  EXPECT_EQ(longInfo, longName.substr(0, 255));
}
