// The plug-in loaded into a process that has nothing else of ours, with a host thread changing
// parameters, programs and state while an audio thread processes.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "plug/VST2Types.h"
#include "tests/support/TempFolder.h"

namespace {

VstIntPtr SilentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
  return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(Vst2Threads, HostChangesRaceNothingAndReachTheNextBlock)
{
  const TempSettingsFolder settings("qm_vst2_threads");
  ASSERT_FALSE(settings.Path().empty());

  void* module = dlopen(QM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
  ASSERT_NE(entry, nullptr);
  AEffect* e = entry(SilentHost);
  ASSERT_NE(e, nullptr);
  auto dispatch = [e](VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
  };
  dispatch(effOpen);
  dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  dispatch(effSetBlockSize, 0, 256);
  dispatch(effMainsChanged, 0, 1);

  constexpr int kFrames = 256;
  std::atomic<bool> hostDone{false};
  std::atomic<int> blocks{0};
  std::atomic<bool> allFinite{true};

  std::thread audio([&] {
    std::vector<double> in(kFrames), outL(kFrames), outR(kFrames);
    std::vector<float> inF(kFrames), outLF(kFrames), outRF(kFrames);
    for (int n = 0; !hostDone.load() || n < 50; ++n)
    {
      for (int i = 0; i < kFrames; ++i)
        inF[i] = static_cast<float>(in[i] = std::sin((n * kFrames + i) * 0.01) * 0.5);
      double* inputs[2] = {in.data(), in.data()};
      double* outputs[2] = {outL.data(), outR.data()};
      float* inputsF[2] = {inF.data(), inF.data()};
      float* outputsF[2] = {outLF.data(), outRF.data()};
      if (n % 2)
        e->processDoubleReplacing(e, inputs, outputs, kFrames);
      else
        e->processReplacing(e, inputsF, outputsF, kFrames);
      for (int i = 0; i < kFrames; ++i)
      {
        if (!std::isfinite(n % 2 ? outL[i] : outLF[i]))
          allFinite = false;
      }
      blocks.fetch_add(1);
    }
  });

  std::thread host([&] {
    char text[64] = {};
    for (int n = 0; n < 400; ++n)
    {
      e->setParameter(e, n % 4, static_cast<float>((n * 37) % 101) / 100.0f);
      if (n % 7 == 0)
        dispatch(effSetProgram, 0, n % 20);
      if (n % 11 == 0)
      {
        void* data = nullptr;
        const VstIntPtr size = dispatch(effGetChunk, n % 2, 0, &data);
        const std::vector<uint8_t> chunk(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        dispatch(effSetChunk, n % 2, size, const_cast<uint8_t*>(chunk.data()));
      }
      std::snprintf(text, sizeof(text), "%d", n % 100);
      dispatch(effString2Parameter, 3, 0, text);
      dispatch(effGetParamDisplay, n % 4, 0, text);
      dispatch(effEditIdle);
      e->getParameter(e, n % 4);
      if (n % 50 == 0)
        std::this_thread::yield();
    }
    hostDone = true;
  });

  host.join();
  audio.join();
  EXPECT_TRUE(allFinite.load());
  EXPECT_GE(blocks.load(), 50);

  // With processing stopped, a change made now is heard in the very next block.
  e->setParameter(e, 3, 0.0f);
  std::vector<double> in(kFrames, 0.125), outL(kFrames), outR(kFrames);
  double* inputs[2] = {in.data(), in.data()};
  double* outputs[2] = {outL.data(), outR.data()};
  e->processDoubleReplacing(e, inputs, outputs, kFrames);
  EXPECT_EQ(outL, in);
  EXPECT_EQ(outR, in);

  dispatch(effClose);
}

} // namespace
