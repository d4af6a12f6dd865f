#pragma once

// What the LV2 bindings share: the plug-in's ports, the URIs of its messages and state, and the
// codec of the messages between its editor and its DSP. Where to start reading about the LV2
// plug-in: here, then plug/IPluginLV2.h (the DSP) and plug/IPluginLV2UI.h (the editor).
//
// Ports, in index order: the audio inputs, the audio outputs (lv2:AudioPort), one control input per
// parameter in its plain units (lv2:ControlPort, the parameter's index order), then a pair of atom
// ports for messages: "control" (editor to DSP) and "notify" (DSP to editor), each an
// atom:Sequence of atom:Object, declared with a minimum buffer size (MessageBufferSize) that holds
// the largest message.
//
// State (LV2 state extension): one value under the key <plug-in URI#session>, of type atom:Chunk,
// portable and plain data: the framework's session chunk (plug/IPluginBase.h: version header,
// session format, current program, the name the editor shows, the bank of every program, the live
// values). The host keeps the control ports' values itself; a restore never writes them. The
// presets (one per program, in presets.ttl) give the port values and, as their state, only the key
// <plug-in URI#program> (an atom:Int, the program's index): restoring one makes that program the
// current one, without loading its stored values (the preset's port values are them).
//
// Messages: atom:Object, of two types:
//   <plug-in URI#Request>  no properties: the editor asks for the session (it sends this when it
//                          opens; the DSP answers with a Session).
//   <plug-in URI#Session>  one property <plug-in URI#session>, an atom:Chunk holding the session
//                          chunk, the same bytes the state keeps.
// The editor sends a Session after every change it makes to the programs (a program chosen,
// restored, modified or renamed, a program or bank file loaded); the four values themselves go to
// the DSP as port writes through the host, between ui:touch on and off, so the host records,
// automates and undoes them. The DSP takes a Session's programs, current program and shown name but
// never its values (the ports are theirs), and echoes the result to every editor; it sends a Session
// after each restore as well. An editor replaces its mirror of the programs with each Session it
// receives.

#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <string>

namespace plug::lv2 {

// The ports of a plug-in with these channel and parameter counts.
struct PortLayout
{
  int nInputs = 0;
  int nOutputs = 0;
  int nParams = 0;

  uint32_t AudioIn(int channel) const { return static_cast<uint32_t>(channel); }
  uint32_t AudioOut(int channel) const { return static_cast<uint32_t>(nInputs + channel); }
  uint32_t Control(int paramIdx) const { return static_cast<uint32_t>(nInputs + nOutputs + paramIdx); }
  uint32_t MessagesIn() const { return static_cast<uint32_t>(nInputs + nOutputs + nParams); }
  uint32_t MessagesOut() const { return MessagesIn() + 1; }
  uint32_t Count() const { return MessagesOut() + 1; }
  // The parameter a control port carries, or -1 for any other port.
  int ParamOfPort(uint32_t port) const
  {
    const int64_t idx = static_cast<int64_t>(port) - nInputs - nOutputs;
    return idx >= 0 && idx < nParams ? static_cast<int>(idx) : -1;
  }
};

// The fragments after the plug-in's URI.
inline constexpr const char* kUIFragment = "#ui";
inline constexpr const char* kSessionKeyFragment = "#session";
inline constexpr const char* kProgramKeyFragment = "#program";
inline constexpr const char* kSessionFragment = "#Session";
inline constexpr const char* kRequestFragment = "#Request";

// The largest session chunk of a plug-in with these counts (program names are kept to 255 bytes).
int MaxSessionSize(int nParams, int nPresets);
// The atom ports' minimum buffer size: a sequence holding one Session message of the largest
// session, as a power of two.
int MessageBufferSize(int nParams, int nPresets);

// The URIDs the bindings use; all 0 without a map.
struct URIDs
{
  LV2_URID atomSequence = 0;
  LV2_URID atomObject = 0;
  LV2_URID atomBlank = 0;
  LV2_URID atomChunk = 0;
  LV2_URID atomInt = 0;
  LV2_URID atomFloat = 0;
  LV2_URID atomEventTransfer = 0;
  LV2_URID maxBlockLength = 0;
  LV2_URID scaleFactor = 0;
  LV2_URID sessionKey = 0;
  LV2_URID programKey = 0;
  LV2_URID session = 0;
  LV2_URID request = 0;

  // False (all left 0) without a map.
  bool Map(const LV2_URID_Map* map, const std::string& pluginURI);
  bool Mapped() const { return session != 0; }
};

// A message as read.
struct Message
{
  enum class EKind
  {
    kNone, // not one of ours
    kRequest,
    kSession
  };
  EKind kind = EKind::kNone;
  const uint8_t* bytes = nullptr; // kSession: the session chunk
  uint32_t size = 0;
};

// Reads an atom received on a message port. Any thread; reads only within atom's declared size.
Message ReadMessage(const LV2_Atom* atom, const URIDs& urids);

// Writes a message object (a Session when bytes is given, else a Request) as a whole atom at
// buffer, which holds capacity bytes; the atom's total size, or 0 (nothing written) when it does not
// fit. Allocates nothing.
uint32_t WriteMessage(void* buffer, uint32_t capacity, const URIDs& urids, const uint8_t* bytes, uint32_t size);

// An output sequence: the host has put the buffer's capacity into its size before run.
class SequenceWriter
{
public:
  // Empties the sequence. A null sequence, or a map missing, makes every Append fail.
  SequenceWriter(LV2_Atom_Sequence* sequence, const URIDs& urids);
  // Appends a message event at frame 0; false when it does not fit.
  bool AppendMessage(const uint8_t* bytes, uint32_t size);

private:
  LV2_Atom_Sequence* mSequence = nullptr;
  const URIDs& mURIDs;
  uint32_t mCapacity = 0; // bytes of body
};

} // namespace plug::lv2
