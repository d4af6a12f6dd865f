#pragma once

// What the fuzz targets share: reading values from the fuzzer's bytes, the built plug-in reached
// through its entry point as a host reaches it, and the checks every input must pass. A broken
// promise aborts, which libFuzzer and the replay driver both report with the input.

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plug/VST2Types.h"
#include "tests/support/TempFolder.h"

namespace fuzz {

[[noreturn]] inline void Broken(const char* what)
{
  std::fprintf(stderr, "fuzz target: %s\n", what);
  std::abort();
}

inline void Expect(bool condition, const char* what)
{
  if (!condition)
    Broken(what);
}

// A folder of its own for the files a target writes (the plug-in's settings folder among them),
// made once per process; nothing in it outlives a run that ends normally.
inline const std::string& ScratchFolder()
{
  static const TempSettingsFolder folder("qm-fuzz");
  Expect(!folder.Path().empty(), "no scratch folder");
  return folder.Path();
}

// The fuzzer's bytes read front to back as values; zeros once they run out.
class Reader
{
public:
  Reader(const uint8_t* data, std::size_t size)
    : mData(data),
      mSize(size)
  {
  }

  bool Empty() const { return mPos >= mSize; }
  uint8_t U8() { return mPos < mSize ? mData[mPos++] : 0; }
  uint32_t U32()
  {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value = value << 8 | U8();
    return value;
  }
  // Any float, NaN and infinities included.
  float F32()
  {
    const uint32_t bits = U32();
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
  }
  // Up to maxLength bytes, as many as the next byte says.
  std::vector<uint8_t> Bytes(std::size_t maxLength)
  {
    const std::size_t length = std::min<std::size_t>(U8() % (maxLength + 1), mSize - std::min(mPos, mSize));
    std::vector<uint8_t> bytes(mData + mPos, mData + mPos + length);
    mPos += length;
    return bytes;
  }
  // Everything not read yet.
  std::vector<uint8_t> Rest()
  {
    std::vector<uint8_t> bytes(mData + std::min(mPos, mSize), mData + mSize);
    mPos = mSize;
    return bytes;
  }

private:
  const uint8_t* mData;
  std::size_t mSize;
  std::size_t mPos = 0;
};

// One instance of the built plug-in, opened and set up as a host does (44100 Hz, blocks of 512,
// processing), closed at the end.
class Plugin
{
public:
  Plugin()
  {
    static const VstPluginMainProc entry = Load();
    effect = entry(Host);
    Expect(effect != nullptr, "VSTPluginMain returned no plug-in");
    Dispatch(effOpen);
    Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    Dispatch(effSetBlockSize, 0, 512);
    Dispatch(effMainsChanged, 0, 1);
  }
  ~Plugin() { Dispatch(effClose); }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
  {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }

  // Every parameter's normalised value lies in 0..1, and its display fits the host's field.
  void CheckParameters()
  {
    for (int i = 0; i < effect->numParams; ++i)
    {
      const float value = effect->getParameter(effect, i);
      Expect(value >= 0.0f && value <= 1.0f, "a normalised value outside 0..1");
      char display[64];
      std::memset(display, 0x7F, sizeof(display));
      Dispatch(effGetParamDisplay, i, 0, display);
      Expect(std::memchr(display, 0, kVstMaxParamStrLen) != nullptr, "a display longer than its field");
    }
  }

  // An impulse through the plug-in; everything that leaves it is a finite number.
  void ProcessAndCheck(int frames)
  {
    std::vector<double> left(frames, 0.0), right(frames, 0.0);
    left[0] = right[0] = 1.0;
    double* channels[2] = {left.data(), right.data()};
    effect->processDoubleReplacing(effect, channels, channels, frames);
    for (int i = 0; i < frames; ++i)
      Expect(std::isfinite(left[i]) && std::isfinite(right[i]), "a sample that is not a finite number");
  }

  AEffect* effect = nullptr;

private:
  static VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
  {
    return opcode == audioMasterVersion ? kVstVersion : 0;
  }

  static VstPluginMainProc Load()
  {
    ScratchFolder();
    void* library = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library)
      Broken(dlerror());
    const auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(library, "VSTPluginMain"));
    Expect(entry != nullptr, "no VSTPluginMain");
    return entry;
  }
};

} // namespace fuzz
