#pragma once

#include <cstdint>
#include <string>

// Host identification and version texts, shared by the host-facing base and its bindings.
// Every function here may be called on any thread.
namespace plug {

// The kind of host interface a plug-in is built for.
enum EAPI
{
  kAPIVST2 = 0,
  kAPIVST3 = 1,
  kAPIAU = 2,
  kAPIAUv3 = 3,
  kAPIAAX = 4,
  kAPIAPP = 5,
  kAPIWAM = 6,
  kAPIWEB = 7,
  kAPILV2 = 8
};

// Host identities as found by IdentifyHost.
enum EHost
{
  kHostUninit = -1,
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostSonar = 5,
  kHostVegas = 6,
  kHostFL = 7,
  kHostSamplitude = 8,
  kHostAbletonLive = 9,
  kHostTracktion = 10,
  kHostNTracks = 11,
  kHostMelodyneStudio = 12,
  kHostVSTScanner = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostBias = 19,
  kHostSAWStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigitalPerformer = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostStudioOne = 26,
  kHostVST3TestHost = 27,
  kHostArdour = 28,
  kHostRenoise = 29,
  kHostOpenMPT = 30,
  kHostWaveLab = 31,
  kHostWaveLabElements = 32,
  kHostTwistedWave = 33,
  kHostBitwig = 34,
  kHostWWW = 35,
  kHostReason = 36,
  kHostGoldWave5x = 37,
  kHostWaveform = 38,
  kHostAudacity = 39,
  kHostAcoustica = 40,
  kHostPluginDoctor = 41,
  kHostiZotopeRX = 42,
  kHostSAVIHost = 43,
  kHostBlueCat = 44
};

// Longest host name kept; a longer one is cut.
constexpr int kMaxHostNameLength = 255;

// The host name in lower case, cut to kMaxHostNameLength characters; "" for nullptr.
std::string LowerCaseHostName(const char* hostName);

// The identity (an EHost value) of the first known name that occurs anywhere in the lower-cased,
// cut host name; kHostUnknown for none, an empty name or nullptr.
int IdentifyHost(const char* hostName);

// "VST2", "VST3", "AU", "AUv3", "AAX", "APP", "WAM", "WEB"; "" for any other value.
const char* GetAPIStr(int api);

// The processor architecture: "x64".
const char* GetArchStr();

// A packed version as "v%d.%d.%d" (major, minor, bug-fix).
std::string GetVersionStr(int32_t packedVersion);

// "<name> version v<x.y.z> <api> (<arch>), built on <date> at <hh:mm> " (with the trailing blank),
// at most 255 characters. Date and time are given as the compiler's __DATE__ and __TIME__ give
// them; only the first five characters of the time are shown.
std::string FormatBuildInfoStr(const char* pluginName, int32_t packedVersion, int api, const char* buildDate,
                               const char* buildTime);

} // namespace plug
