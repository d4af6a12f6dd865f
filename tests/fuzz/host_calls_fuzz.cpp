// A host calling the built plug-in in any order with any values: dispatcher opcodes, parameters,
// chunks, events, speaker arrangements and processing in all three forms, each with arguments
// a host may pass (pointers point at buffers large enough for what the opcode writes). After
// every step the parameters stay in range, and everything that leaves the plug-in is a finite
// number.

#include <algorithm>

#include "tests/fuzz/Fuzz.h"

namespace {

// Opcodes 0 to 79 but these take pointers other than a text or a record that fits in the scratch
// buffer (chunks, events, arrangements: steps of their own), end the instance (effClose) or need
// a window of the host (effEditOpen).
bool TakesOtherPointers(VstInt32 opcode)
{
  for (VstInt32 other :
       {effClose, effEditOpen, effSetChunk, effProcessEvents, effSetSpeakerArrangement, effGetSpeakerArrangement})
  {
    if (opcode == other)
      return true;
  }
  return false;
}

// A sample from the input: any float, but finite ones kept within 1e30. Near the largest float a
// single-precision output can exceed it and round to infinity, which no host sends audio close to.
float SampleFrom(fuzz::Reader& input)
{
  const float value = input.F32();
  return std::isfinite(value) ? std::clamp(value, -1e30f, 1e30f) : value;
}

template <typename Sample>
void Process(fuzz::Plugin& plug, fuzz::Reader& input, int form)
{
  const int frames = static_cast<int>(input.U32() % 1100);
  const Sample fill = SampleFrom(input);
  std::vector<Sample> inL(frames, fill), inR(frames, Sample(0)), outL(frames, Sample(0)), outR(frames, Sample(0));
  if (frames > 0)
    inR[0] = SampleFrom(input);
  Sample* inputs[2] = {inL.data(), inR.data()};
  Sample* outputs[2] = {outL.data(), outR.data()};
  AEffect* e = plug.effect;
  if constexpr (std::is_same_v<Sample, double>)
    e->processDoubleReplacing(e, inputs, outputs, frames);
  else
    (form == 0 ? e->processReplacing : e->process)(e, inputs, outputs, frames);
  // Input that is not a finite number is the host's fault; what leaves must still be a number.
  for (int i = 0; i < frames; ++i)
    fuzz::Expect(std::isfinite(outL[i]) && std::isfinite(outR[i]), "a sample that is not a finite number");
}

void Dispatch(fuzz::Plugin& plug, fuzz::Reader& input)
{
  const VstInt32 opcode = input.U8() % 80;
  const auto index = static_cast<VstInt32>(static_cast<int8_t>(input.U8()));
  const auto value = static_cast<VstIntPtr>(static_cast<int32_t>(input.U32()));
  const float opt = input.F32();
  // Room for any record or text the opcode writes; a text from the input, terminated.
  alignas(16) char scratch[1024] = {};
  const std::vector<uint8_t> text = input.Bytes(300);
  std::copy(text.begin(), text.end(), scratch);
  if (!TakesOtherPointers(opcode))
    plug.Dispatch(opcode, index, value, scratch, opt);
}

void SetChunk(fuzz::Plugin& plug, fuzz::Reader& input)
{
  const VstInt32 index = input.U8() & 1;
  std::vector<uint8_t> chunk = input.Bytes(255);
  if (input.U8() & 1) // the plug-in's own chunk, with a few bytes changed
  {
    void* own = nullptr;
    const VstIntPtr size = plug.Dispatch(effGetChunk, index, 0, &own);
    std::vector<uint8_t> changed(static_cast<uint8_t*>(own), static_cast<uint8_t*>(own) + size);
    for (std::size_t i = 0; i + 1 < chunk.size() && !changed.empty(); i += 2)
      changed[chunk[i] % changed.size()] = chunk[i + 1];
    chunk = changed;
  }
  plug.Dispatch(effSetChunk, index, static_cast<VstIntPtr>(chunk.size()), chunk.data());
}

void SendEvents(fuzz::Plugin& plug, fuzz::Reader& input)
{
  VstMidiEvent midi{};
  VstMidiSysexEvent sysex{};
  midi.type = kVstMidiType;
  midi.byteSize = sizeof(midi);
  midi.deltaFrames = static_cast<VstInt32>(input.U32());
  for (char& byte : midi.midiData)
    byte = static_cast<char>(input.U8());
  std::vector<uint8_t> dump = input.Bytes(64);
  sysex.type = kVstSysExType;
  sysex.byteSize = sizeof(sysex);
  sysex.dumpBytes = static_cast<VstInt32>(dump.size());
  sysex.sysexDump = reinterpret_cast<char*>(dump.data());
  struct
  {
    VstEvents head;
    VstEvent* more[2];
  } list{};
  VstEvent* events[4] = {reinterpret_cast<VstEvent*>(&midi), reinterpret_cast<VstEvent*>(&sysex), nullptr,
                         reinterpret_cast<VstEvent*>(&midi)};
  list.head.numEvents = input.U8() % 5;
  for (int i = 0; i < list.head.numEvents; ++i)
    (i < 2 ? list.head.events[i] : list.more[i - 2]) = events[(input.U8()) % 4];
  plug.Dispatch(effProcessEvents, 0, 0, &list.head);
}

void ArrangeSpeakers(fuzz::Plugin& plug, fuzz::Reader& input)
{
  VstSpeakerArrangement inputs{}, outputs{};
  inputs.numChannels = static_cast<int8_t>(input.U8());
  outputs.numChannels = static_cast<int8_t>(input.U8());
  const uint8_t which = input.U8();
  plug.Dispatch(effSetSpeakerArrangement, 0, which & 1 ? reinterpret_cast<VstIntPtr>(&inputs) : 0,
                which & 2 ? &outputs : nullptr);
  VstSpeakerArrangement* given[2] = {&inputs, &outputs};
  plug.Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&given[0]), &given[1]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  fuzz::Reader input(data, size);
  fuzz::Plugin plug;
  for (int step = 0; step < 64 && !input.Empty(); ++step)
  {
    switch (input.U8() % 8)
    {
      case 0:
        plug.effect->setParameter(plug.effect, static_cast<int8_t>(input.U8()) % 6, input.F32());
        break;
      case 1:
        Dispatch(plug, input);
        break;
      case 2:
        SetChunk(plug, input);
        break;
      case 3:
        SendEvents(plug, input);
        break;
      case 4:
        ArrangeSpeakers(plug, input);
        break;
      case 5:
        Process<double>(plug, input, 0);
        break;
      default:
        Process<float>(plug, input, input.U8() & 1);
        break;
    }
    plug.CheckParameters();
  }
  return 0;
}
