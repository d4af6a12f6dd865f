#include "plug/IHost.h"

#include <cctype>
#include <cstdio>
#include <iterator>

#include "plug/Config.h"

namespace plug {

namespace {

struct HostEntry
{
  const char* text;
  int identity;
};

// Tested in this order, the first match wins: "wavelab elements" must come before "wavelab", and
// the loose "standalone" and "www" only after everything else.
constexpr HostEntry kHostTable[] = {
    {"reaper", kHostReaper},
    {"protools", kHostProTools},
    {"cubase", kHostCubase},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"vegas", kHostVegas},
    {"fruity", kHostFL},
    {"samplitude", kHostSamplitude},
    {"live", kHostAbletonLive},
    {"tracktion", kHostTracktion},
    {"ntracks", kHostNTracks},
    {"melodyne", kHostMelodyneStudio},
    {"vstmanlib", kHostVSTScanner},
    {"aulab", kHostAULab},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"bias", kHostBias},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"garageband", kHostGarageBand},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost},
    {"ardour", kHostArdour},
    {"renoise", kHostRenoise},
    {"OpenMPT", kHostOpenMPT},
    {"wavelab elements", kHostWaveLabElements},
    {"wavelab", kHostWaveLab},
    {"twistedwave", kHostTwistedWave},
    {"bitwig studio", kHostBitwig},
    {"reason", kHostReason},
    {"gwvst", kHostGoldWave5x},
    {"waveform", kHostWaveform},
    {"audacity", kHostAudacity},
    {"acoustica", kHostAcoustica},
    {"plugindoctor", kHostPluginDoctor},
    {"izotope rx", kHostiZotopeRX},
    {"savihost", kHostSAVIHost},
    {"blue cat's vst host", kHostBlueCat},
    {"standalone", kHostStandalone},
    {"www", kHostWWW},
};

std::string ToLower(const char* text, std::size_t maxLength)
{
  std::string lower;
  for (std::size_t i = 0; text[i] != '\0' && i < maxLength; ++i)
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(text[i]))));
  return lower;
}

constexpr const char* kAPITexts[] = {"VST2", "VST3", "AU", "AUv3", "AAX", "APP", "WAM", "WEB", "LV2"};

} // namespace

std::string LowerCaseHostName(const char* hostName)
{
  if (!hostName)
    return std::string();
  return ToLower(hostName, kMaxHostNameLength);
}

int IdentifyHost(const char* hostName)
{
  const std::string name = LowerCaseHostName(hostName);
  if (name.empty())
    return kHostUnknown;
  for (const HostEntry& entry : kHostTable)
  {
    if (name.find(ToLower(entry.text, std::string::npos)) != std::string::npos)
      return entry.identity;
  }
  return kHostUnknown;
}

const char* GetAPIStr(int api)
{
  if (api < 0 || api >= static_cast<int>(std::size(kAPITexts)))
    return "";
  return kAPITexts[api];
}

const char* GetArchStr()
{
  return "x64";
}

std::string GetVersionStr(int32_t packedVersion)
{
  char text[32];
  std::snprintf(text, sizeof(text), "v%d.%d.%d", VersionMajor(packedVersion), VersionMinor(packedVersion),
                VersionBugFix(packedVersion));
  return text;
}

std::string FormatBuildInfoStr(const char* pluginName, int32_t packedVersion, int api, const char* buildDate,
                               const char* buildTime)
{
  char text[256];
  std::snprintf(text, sizeof(text), "%s version %s %s (%s), built on %s at %.5s ", pluginName ? pluginName : "",
                GetVersionStr(packedVersion).c_str(), GetAPIStr(api), GetArchStr(), buildDate ? buildDate : "",
                buildTime ? buildTime : "");
  return text;
}

} // namespace plug
