#pragma once

// The VST 2 binary interface between a host and a plug-in: the records both sides exchange, the
// dispatcher (eff*) and host callback (audioMaster*) opcodes, and the flags and constants that go
// with them. Laid out for 64-bit Linux (LP64, natural alignment); the static_asserts at the end
// pin the sizes and offsets hosts rely on.
//
// These are plain C records at global scope, as the interface is a C interface; both the plug-in's
// binding and the command-line host use them.

#include <cstddef>
#include <cstdint>

#include "plug/Config.h"

using VstInt16 = std::int16_t;
using VstInt32 = std::int32_t;
using VstInt64 = std::int64_t;
using VstIntPtr = std::intptr_t; // an integer wide enough for a pointer (64 bits here)

struct AEffect;

// --- Callback types -------------------------------------------------------------------------------

// The host's callback: every request the plug-in makes of the host.
using audioMasterCallback = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                          float opt);
using AEffectDispatcherProc = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                            void* ptr, float opt);
using AEffectProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs, VstInt32 sampleFrames);
using AEffectSetParameterProc = void (*)(AEffect* effect, VstInt32 index, float parameter);
using AEffectGetParameterProc = float (*)(AEffect* effect, VstInt32 index);

// The plug-in's exported entry point, VSTPluginMain (and its alias main).
using VstPluginMainProc = AEffect* (*)(audioMasterCallback host);

constexpr VstInt32 kEffectMagic = plug::MakeFourCC('V', 's', 't', 'P');    // 0x56737450
constexpr VstInt32 kEffectIdentify = plug::MakeFourCC('N', 'v', 'E', 'f'); // effIdentify's answer
constexpr VstInt32 kVstVersion = 2400;

// --- Text field lengths, terminator included -------------------------------------------------------

constexpr int kVstMaxProgNameLen = 24;   // program names
constexpr int kVstMaxParamStrLen = 8;    // parameter labels and displays
constexpr int kVstMaxVendorStrLen = 64;  // vendor string
constexpr int kVstMaxProductStrLen = 64; // product string
constexpr int kVstMaxEffectNameLen = 32; // effect name
constexpr int kVstMaxNameLen = 64;       // speaker names and the like
constexpr int kVstMaxLabelLen = 64;      // pin and parameter-property labels
constexpr int kVstMaxShortLabelLen = 8;  // short labels
constexpr int kVstMaxCategLabelLen = 24; // parameter category labels
constexpr int kVstMaxFileNameLen = 100;
// Parameter names: the interface says 8, but hosts give 32 bytes or more and plug-ins use them.
constexpr int kVstExtMaxParamStrLen = 32;

// --- The plug-in record ---------------------------------------------------------------------------

// AEffect flags.
enum VstAEffectFlags : VstInt32
{
  effFlagsHasEditor = 1 << 0,
  effFlagsCanMono = 1 << 3,
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
  effFlagsNoSoundInStop = 1 << 9,
  effFlagsCanDoubleReplacing = 1 << 12
};

struct AEffect
{
  VstInt32 magic; // kEffectMagic
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process; // accumulating, single precision
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;                                  // VstAEffectFlags
  VstIntPtr resvd1;                                // reserved for the host, zero
  VstIntPtr resvd2;                                // reserved for the host, zero
  VstInt32 initialDelay;                           // latency in samples
  VstInt32 realQualities;                          // unused
  VstInt32 offQualities;                           // unused
  float ioRatio;                                   // unused
  void* object;                                    // the plug-in's own object
  void* user;                                      // free for the host
  VstInt32 uniqueID;                               // four-character code
  VstInt32 version;                                // the plug-in's version
  AEffectProcessProc processReplacing;             // single precision
  AEffectProcessDoubleProc processDoubleReplacing; // double precision
  char future[56];                                 // zero
};

// --- Dispatcher opcodes (host to plug-in) ----------------------------------------------------------

enum AEffectOpcodes : VstInt32
{
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effGetVu = 9,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditDraw = 16,
  effEditMouse = 17,
  effEditKey = 18,
  effEditIdle = 19,
  effEditTop = 20,
  effEditSleep = 21,
  effIdentify = 22,
  effGetChunk = 23,
  effSetChunk = 24,
  effProcessEvents = 25,
  effCanBeAutomated = 26,
  effString2Parameter = 27,
  effGetNumProgramCategories = 28,
  effGetProgramNameIndexed = 29,
  effCopyProgram = 30,
  effConnectInput = 31,
  effConnectOutput = 32,
  effGetInputProperties = 33,
  effGetOutputProperties = 34,
  effGetPlugCategory = 35,
  effGetCurrentPosition = 36,
  effGetDestinationBuffer = 37,
  effOfflineNotify = 38,
  effOfflinePrepare = 39,
  effOfflineRun = 40,
  effProcessVarIo = 41,
  effSetSpeakerArrangement = 42,
  effSetBlockSizeAndSampleRate = 43,
  effSetBypass = 44,
  effGetEffectName = 45,
  effGetErrorText = 46,
  effGetVendorString = 47,
  effGetProductString = 48,
  effGetVendorVersion = 49,
  effVendorSpecific = 50,
  effCanDo = 51,
  effGetTailSize = 52,
  effIdle = 53,
  effGetIcon = 54,
  effSetViewPosition = 55,
  effGetParameterProperties = 56,
  effKeysRequired = 57,
  effGetVstVersion = 58,
  effEditKeyDown = 59,
  effEditKeyUp = 60,
  effSetEditKnobMode = 61,
  effGetMidiProgramName = 62,
  effGetCurrentMidiProgram = 63,
  effGetMidiProgramCategory = 64,
  effHasMidiProgramsChanged = 65,
  effGetMidiKeyName = 66,
  effBeginSetProgram = 67,
  effEndSetProgram = 68,
  effGetSpeakerArrangement = 69,
  effShellGetNextPlugin = 70,
  effStartProcess = 71,
  effStopProcess = 72,
  effSetTotalSampleToProcess = 73,
  effSetPanLaw = 74,
  effBeginLoadBank = 75,
  effBeginLoadProgram = 76,
  effSetProcessPrecision = 77,
  effGetNumMidiInputChannels = 78,
  effGetNumMidiOutputChannels = 79
};

// --- Host callback opcodes (plug-in to host) ------------------------------------------------------

enum AudioMasterOpcodes : VstInt32
{
  audioMasterAutomate = 0,
  audioMasterVersion = 1,
  audioMasterCurrentId = 2,
  audioMasterIdle = 3,
  audioMasterPinConnected = 4,
  audioMasterWantMidi = 6,
  audioMasterGetTime = 7,
  audioMasterProcessEvents = 8,
  audioMasterSetTime = 9,
  audioMasterTempoAt = 10,
  audioMasterGetNumAutomatableParameters = 11,
  audioMasterGetParameterQuantization = 12,
  audioMasterIOChanged = 13,
  audioMasterNeedIdle = 14,
  audioMasterSizeWindow = 15,
  audioMasterGetSampleRate = 16,
  audioMasterGetBlockSize = 17,
  audioMasterGetInputLatency = 18,
  audioMasterGetOutputLatency = 19,
  audioMasterGetPreviousPlug = 20,
  audioMasterGetNextPlug = 21,
  audioMasterWillReplaceOrAccumulate = 22,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetAutomationState = 24,
  audioMasterOfflineStart = 25,
  audioMasterOfflineRead = 26,
  audioMasterOfflineWrite = 27,
  audioMasterOfflineGetCurrentPass = 28,
  audioMasterOfflineGetCurrentMetaPass = 29,
  audioMasterSetOutputSampleRate = 30,
  audioMasterGetOutputSpeakerArrangement = 31,
  audioMasterGetVendorString = 32,
  audioMasterGetProductString = 33,
  audioMasterGetVendorVersion = 34,
  audioMasterVendorSpecific = 35,
  audioMasterSetIcon = 36,
  audioMasterCanDo = 37,
  audioMasterGetLanguage = 38,
  audioMasterOpenWindow = 39,
  audioMasterCloseWindow = 40,
  audioMasterGetDirectory = 41,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
  audioMasterOpenFileSelector = 45,
  audioMasterCloseFileSelector = 46,
  audioMasterEditFile = 47,
  audioMasterGetChunkFile = 48,
  audioMasterGetInputSpeakerArrangement = 49
};

// audioMasterGetCurrentProcessLevel answers.
enum VstProcessLevels : VstInt32
{
  kVstProcessLevelUnknown = 0,
  kVstProcessLevelUser = 1,
  kVstProcessLevelRealtime = 2,
  kVstProcessLevelPrefetch = 3,
  kVstProcessLevelOffline = 4
};

// effGetPlugCategory answers.
enum VstPlugCategory : VstInt32
{
  kPlugCategUnknown = 0,
  kPlugCategEffect = 1,
  kPlugCategSynth = 2,
  kPlugCategAnalysis = 3,
  kPlugCategMastering = 4,
  kPlugCategSpacializer = 5,
  kPlugCategRoomFx = 6,
  kPlugSurroundFx = 7,
  kPlugCategRestoration = 8,
  kPlugCategOfflineProcess = 9,
  kPlugCategShell = 10,
  kPlugCategGenerator = 11
};

// effEditKeyDown / effEditKeyUp: the host's virtual key in value (0 for a key known only by its
// character in index) and these modifier bits in opt.
enum VstVirtualKey : VstInt32
{
  VKEY_BACK = 1,
  VKEY_TAB = 2,
  VKEY_CLEAR = 3,
  VKEY_RETURN = 4,
  VKEY_PAUSE = 5,
  VKEY_ESCAPE = 6,
  VKEY_SPACE = 7,
  VKEY_NEXT = 8,
  VKEY_END = 9,
  VKEY_HOME = 10,
  VKEY_LEFT = 11,
  VKEY_UP = 12,
  VKEY_RIGHT = 13,
  VKEY_DOWN = 14,
  VKEY_PAGEUP = 15,
  VKEY_PAGEDOWN = 16,
  VKEY_SELECT = 17,
  VKEY_PRINT = 18,
  VKEY_ENTER = 19,
  VKEY_SNAPSHOT = 20,
  VKEY_INSERT = 21,
  VKEY_DELETE = 22,
  VKEY_HELP = 23,
  VKEY_NUMPAD0 = 24, // to VKEY_NUMPAD9 = 33
  VKEY_NUMPAD9 = 33,
  VKEY_MULTIPLY = 34,
  VKEY_ADD = 35,
  VKEY_SEPARATOR = 36,
  VKEY_SUBTRACT = 37,
  VKEY_DECIMAL = 38,
  VKEY_DIVIDE = 39,
  VKEY_F1 = 40, // to VKEY_F12 = 51
  VKEY_F12 = 51,
  VKEY_NUMLOCK = 52,
  VKEY_SCROLL = 53,
  VKEY_SHIFT = 54,
  VKEY_CONTROL = 55,
  VKEY_ALT = 56,
  VKEY_EQUALS = 57
};

enum VstModifierKey : VstInt32
{
  MODIFIER_SHIFT = 1 << 0,
  MODIFIER_ALTERNATE = 1 << 1,
  MODIFIER_COMMAND = 1 << 2, // Control on Windows and Linux hosts
  MODIFIER_CONTROL = 1 << 3  // the Control key of macOS
};

// --- Events ---------------------------------------------------------------------------------------

enum VstEventTypes : VstInt32
{
  kVstMidiType = 1,
  kVstAudioType = 2,
  kVstVideoType = 3,
  kVstParameterType = 4,
  kVstTriggerType = 5,
  kVstSysExType = 6
};

// The common head of every event; byteSize is the size of the whole event record.
struct VstEvent
{
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames; // sample offset in the current block
  VstInt32 flags;
  char data[16];
};

enum VstMidiEventFlags : VstInt32
{
  kVstMidiEventIsRealtime = 1 << 0
};

struct VstMidiEvent
{
  VstInt32 type;     // kVstMidiType
  VstInt32 byteSize; // sizeof(VstMidiEvent)
  VstInt32 deltaFrames;
  VstInt32 flags; // VstMidiEventFlags
  VstInt32 noteLength;
  VstInt32 noteOffset;
  char midiData[4]; // status, data 1, data 2, 0
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

struct VstMidiSysexEvent
{
  VstInt32 type;     // kVstSysExType
  VstInt32 byteSize; // sizeof(VstMidiSysexEvent)
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 dumpBytes; // bytes at sysexDump
  VstIntPtr resvd1;
  char* sysexDump;
  VstIntPtr resvd2;
};

// A list of events. The record is declared with two slots; a host allocates as many as it needs.
struct VstEvents
{
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[2];
};

// --- Transport ------------------------------------------------------------------------------------

enum VstTimeInfoFlags : VstInt32
{
  kVstTransportChanged = 1,
  kVstTransportPlaying = 1 << 1,
  kVstTransportCycleActive = 1 << 2,
  kVstTransportRecording = 1 << 3,
  kVstAutomationWriting = 1 << 6,
  kVstAutomationReading = 1 << 7,
  kVstNanosValid = 1 << 8,
  kVstPpqPosValid = 1 << 9,
  kVstTempoValid = 1 << 10,
  kVstBarsValid = 1 << 11,
  kVstCyclePosValid = 1 << 12,
  kVstTimeSigValid = 1 << 13,
  kVstSmpteValid = 1 << 14,
  kVstClockValid = 1 << 15
};

struct VstTimeInfo
{
  double samplePos;            // always valid
  double sampleRate;           // always valid
  double nanoSeconds;          // kVstNanosValid
  double ppqPos;               // kVstPpqPosValid, quarter notes
  double tempo;                // kVstTempoValid, beats per minute
  double barStartPos;          // kVstBarsValid, quarter notes
  double cycleStartPos;        // kVstCyclePosValid, quarter notes
  double cycleEndPos;          // kVstCyclePosValid, quarter notes
  VstInt32 timeSigNumerator;   // kVstTimeSigValid
  VstInt32 timeSigDenominator; // kVstTimeSigValid
  VstInt32 smpteOffset;        // kVstSmpteValid
  VstInt32 smpteFrameRate;     // kVstSmpteValid
  VstInt32 samplesToNextClock; // kVstClockValid
  VstInt32 flags;              // VstTimeInfoFlags
};

// --- Pins, parameters, speakers, editor -----------------------------------------------------------

enum VstPinPropertiesFlags : VstInt32
{
  kVstPinIsActive = 1 << 0,
  kVstPinIsStereo = 1 << 1,
  kVstPinUseSpeaker = 1 << 2
};

struct VstPinProperties
{
  char label[kVstMaxLabelLen];
  VstInt32 flags; // VstPinPropertiesFlags
  VstInt32 arrangementType;
  char shortLabel[kVstMaxShortLabelLen];
  char future[48];
};

enum VstParameterFlags : VstInt32
{
  kVstParameterIsSwitch = 1 << 0,
  kVstParameterUsesIntegerMinMax = 1 << 1,
  kVstParameterUsesFloatStep = 1 << 2,
  kVstParameterUsesIntStep = 1 << 3,
  kVstParameterSupportsDisplayIndex = 1 << 4,
  kVstParameterSupportsDisplayCategory = 1 << 5,
  kVstParameterCanRamp = 1 << 6
};

struct VstParameterProperties
{
  float stepFloat;
  float smallStepFloat;
  float largeStepFloat;
  char label[kVstMaxLabelLen];
  VstInt32 flags; // VstParameterFlags
  VstInt32 minInteger;
  VstInt32 maxInteger;
  VstInt32 stepInteger;
  VstInt32 largeStepInteger;
  char shortLabel[kVstMaxShortLabelLen];
  VstInt16 displayIndex;
  VstInt16 category;
  VstInt16 numParametersInCategory;
  VstInt16 reserved;
  char categoryLabel[kVstMaxCategLabelLen];
  char future[16];
};

enum VstSpeakerArrangementType : VstInt32
{
  kSpeakerArrUserDefined = -2,
  kSpeakerArrEmpty = -1,
  kSpeakerArrMono = 0,
  kSpeakerArrStereo = 1
};

struct VstSpeakerProperties
{
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[kVstMaxNameLen];
  VstInt32 type;
  char future[28];
};

// The record is declared with eight speakers; hosts allocate more for larger arrangements.
struct VstSpeakerArrangement
{
  VstInt32 type; // VstSpeakerArrangementType
  VstInt32 numChannels;
  VstSpeakerProperties speakers[8];
};

// effGetMidiKeyName's record: the host sets program and key, the plug-in fills the name.
struct MidiKeyName
{
  VstInt32 thisProgramIndex;
  VstInt32 thisKeyNumber;
  char keyName[kVstMaxNameLen];
  VstInt32 reserved;
  VstInt32 flags;
};

// The editor's rectangle in pixels.
struct ERect
{
  VstInt16 top;
  VstInt16 left;
  VstInt16 bottom;
  VstInt16 right;
};

// --- Layout checks (x86_64 Linux) -----------------------------------------------------------------

static_assert(sizeof(void*) == 8, "the layout below is the 64-bit one");
static_assert(sizeof(VstIntPtr) == 8);

static_assert(sizeof(AEffect) == 192);
static_assert(offsetof(AEffect, magic) == 0);
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, process) == 16);
static_assert(offsetof(AEffect, setParameter) == 24);
static_assert(offsetof(AEffect, getParameter) == 32);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, numParams) == 44);
static_assert(offsetof(AEffect, numInputs) == 48);
static_assert(offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, resvd1) == 64);
static_assert(offsetof(AEffect, resvd2) == 72);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, realQualities) == 84);
static_assert(offsetof(AEffect, offQualities) == 88);
static_assert(offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, user) == 104);
static_assert(offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, version) == 116);
static_assert(offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, processDoubleReplacing) == 128);
static_assert(offsetof(AEffect, future) == 136);

static_assert(sizeof(VstEvent) == 32);
static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(sizeof(VstMidiSysexEvent) == 48);
static_assert(offsetof(VstMidiSysexEvent, dumpBytes) == 16);
static_assert(offsetof(VstMidiSysexEvent, sysexDump) == 32);
static_assert(offsetof(VstEvents, reserved) == 8);
static_assert(offsetof(VstEvents, events) == 16);
static_assert(sizeof(VstEvents) == 32);

static_assert(sizeof(VstTimeInfo) == 88);
static_assert(offsetof(VstTimeInfo, ppqPos) == 24);
static_assert(offsetof(VstTimeInfo, tempo) == 32);
static_assert(offsetof(VstTimeInfo, barStartPos) == 40);
static_assert(offsetof(VstTimeInfo, cycleStartPos) == 48);
static_assert(offsetof(VstTimeInfo, cycleEndPos) == 56);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64);
static_assert(offsetof(VstTimeInfo, flags) == 84);

static_assert(sizeof(VstPinProperties) == 128);
static_assert(offsetof(VstPinProperties, flags) == 64);
static_assert(offsetof(VstPinProperties, shortLabel) == 72);

static_assert(sizeof(VstParameterProperties) == 152);
static_assert(offsetof(VstParameterProperties, label) == 12);
static_assert(offsetof(VstParameterProperties, flags) == 76);
static_assert(offsetof(VstParameterProperties, minInteger) == 80);
static_assert(offsetof(VstParameterProperties, shortLabel) == 96);
static_assert(offsetof(VstParameterProperties, displayIndex) == 104);
static_assert(offsetof(VstParameterProperties, categoryLabel) == 112);

static_assert(sizeof(VstSpeakerProperties) == 112);
static_assert(offsetof(VstSpeakerProperties, name) == 16);
static_assert(offsetof(VstSpeakerProperties, type) == 80);
static_assert(sizeof(VstSpeakerArrangement) == 8 + 8 * 112);
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8);

static_assert(sizeof(MidiKeyName) == 80);
static_assert(offsetof(MidiKeyName, keyName) == 8);

static_assert(sizeof(ERect) == 8);
