// A tiny VST 2 plug-in for the renderer's tests: a gain with two parameters
// and three programs. QM_TEST_VST_MODE picks a misbehaviour at load time:
// "mono" (1 in, 1 out), "wide" (9 outputs), "null" (no record), "magic"
// (a wrong magic), "crash" (dies in processing), "single" (no double
// precision). What the host did is kept for the tests to inspect.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plug/VST2Types.h"

namespace {
struct Observed
{
  VstTimeInfo lastTime{};
  int timeRequests = 0;
  std::vector<unsigned char> chunk;
  int chunkIndex = -1;
  std::string hostProduct;
  long long framesProcessed = 0;
};
Observed gObserved;

struct TestPlugin
{
  AEffect effect{};
  audioMasterCallback host = nullptr;
  float values[2] = {0.5f, 0.25f};
  std::string programNames[3] = {"Alpha", "Beta", "Gamma"};
  int program = 0;
  bool crash = false;
};

TestPlugin* Self(AEffect* effect)
{
  return static_cast<TestPlugin*>(effect->object);
}

void CopyOut(void* ptr, const std::string& text)
{
  std::snprintf(static_cast<char*>(ptr), 24, "%s", text.c_str());
}

VstIntPtr Dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
  TestPlugin* self = Self(effect);
  switch (opcode)
  {
    case effOpen:
    {
      char product[256] = {};
      self->host(effect, audioMasterGetProductString, 0, 0, product, 0.0f);
      gObserved.hostProduct = product;
      return 0;
    }
    case effClose:
      delete self;
      return 0;
    case effSetProgram:
      if (value >= 0 && value < 3)
        self->program = static_cast<int>(value);
      return 0;
    case effGetProgram:
      return self->program;
    case effSetProgramName:
      self->programNames[self->program] = static_cast<const char*>(ptr);
      return 0;
    case effGetProgramName:
      CopyOut(ptr, self->programNames[self->program]);
      return 0;
    case effGetProgramNameIndexed:
      if (index < 0 || index >= 3)
        return 0;
      CopyOut(ptr, self->programNames[index]);
      return 1;
    case effGetParamName:
      CopyOut(ptr, index == 0 ? "Gain" : "Tone Shift");
      return 0;
    case effGetParamLabel:
      CopyOut(ptr, index == 0 ? "x" : "%");
      return 0;
    case effGetParamDisplay:
    {
      char text[32];
      std::snprintf(text, sizeof text, "%.3f", index == 0 ? 2.0 * self->values[0] : 100.0 * self->values[1]);
      CopyOut(ptr, text);
      return 0;
    }
    case effString2Parameter:
    {
      if (index != 0 || !ptr) // the second parameter takes no text
        return 0;
      char* end = nullptr;
      const double plain = std::strtod(static_cast<const char*>(ptr), &end);
      if (end == ptr)
        return 0;
      self->values[0] = static_cast<float>(std::fmin(1.0, std::fmax(0.0, plain / 2.0)));
      return 1;
    }
    case effSetChunk:
      gObserved.chunk.assign(static_cast<unsigned char*>(ptr), static_cast<unsigned char*>(ptr) + value);
      gObserved.chunkIndex = index;
      return 1;
    case effGetEffectName:
      CopyOut(ptr, "TestGain");
      return 1;
    case effGetVendorString:
      CopyOut(ptr, "Test Vendor");
      return 1;
    case effGetVstVersion:
      return kVstVersion;
    default:
      return 0;
  }
}

void SetParameter(AEffect* effect, VstInt32 index, float value)
{
  if (index >= 0 && index < 2)
    Self(effect)->values[index] = value;
}

float GetParameter(AEffect* effect, VstInt32 index)
{
  return index >= 0 && index < 2 ? Self(effect)->values[index] : 0.0f;
}

template <typename Sample>
void Process(AEffect* effect, Sample** inputs, Sample** outputs, VstInt32 frames)
{
  TestPlugin* self = Self(effect);
  if (self->crash)
  {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  const auto* time =
      reinterpret_cast<const VstTimeInfo*>(self->host(effect, audioMasterGetTime, 0, 0x3E00, nullptr, 0.0f));
  if (time)
  {
    gObserved.lastTime = *time;
    ++gObserved.timeRequests;
  }
  const Sample gain = static_cast<Sample>(2.0 * self->values[0]);
  const int channels = std::min(effect->numInputs, effect->numOutputs);
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < frames; ++i)
      outputs[c][i] = inputs[c][i] * gain;
  gObserved.framesProcessed += frames;
}
} // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host)
{
  const char* env = std::getenv("QM_TEST_VST_MODE");
  const std::string mode = env ? env : "";
  if (mode == "null")
    return nullptr;
  // A host cannot close a record with a wrong magic, so that one is never freed.
  static TestPlugin wrongMagic;
  auto* self = mode == "magic" ? &wrongMagic : new TestPlugin;
  AEffect& e = self->effect;
  e.magic = mode == "magic" ? plug::MakeFourCC('V', 's', 't', 'X') : kEffectMagic;
  e.dispatcher = Dispatcher;
  e.setParameter = SetParameter;
  e.getParameter = GetParameter;
  e.processReplacing = Process<float>;
  e.processDoubleReplacing = Process<double>;
  e.numPrograms = 3;
  e.numParams = 2;
  e.numInputs = mode == "mono" ? 1 : 2;
  e.numOutputs = mode == "mono" ? 1 : mode == "wide" ? 9 : 2;
  e.flags = effFlagsCanReplacing | (mode == "single" ? 0 : effFlagsCanDoubleReplacing);
  e.object = self;
  e.uniqueID = plug::MakeFourCC('T', 'G', 'a', 'n');
  e.version = 1;
  self->host = host;
  self->crash = mode == "crash";
  gObserved = Observed{};
  return &e;
}

// What the host did, for the tests.
extern "C" __attribute__((visibility("default"))) const VstTimeInfo* QmTestVstLastTime(int* requests)
{
  *requests = gObserved.timeRequests;
  return &gObserved.lastTime;
}

extern "C" __attribute__((visibility("default"))) const unsigned char* QmTestVstChunk(size_t* size, int* index)
{
  *size = gObserved.chunk.size();
  *index = gObserved.chunkIndex;
  return gObserved.chunk.data();
}

extern "C" __attribute__((visibility("default"))) const char* QmTestVstHostProduct()
{
  return gObserved.hostProduct.c_str();
}
