#pragma once

namespace quillon {

// The x86-64 microarchitecture levels that processor-specific code is built for. Each version of
// such code is compiled for one level (-march=x86-64-v3, -march=x86-64-v4: see CMakeLists.txt) and
// may run only where ProcessorRuns says so. The check names the same level as the compiler flag,
// so it asks for every feature the compiler may use there, not only the ones the code was written
// for. Both places that pick a version use it: the reverb's staged kernel and plug/'s sample
// conversions (the one file outside dsp/ that may include this header).
enum class EProcessorLevel
{
  kBaseline, // x86-64: any 64-bit x86 processor
  kAvx2,     // x86-64-v3: AVX, AVX2, BMI1, BMI2, F16C, FMA, LZCNT, MOVBE
  kAvx512    // x86-64-v4: x86-64-v3 and AVX-512 F, BW, CD, DQ, VL
};

constexpr int kProcessorLevels = 3;

// The level's name as the compiler and the check spell it.
constexpr const char* ProcessorLevelName(EProcessorLevel level)
{
  return level == EProcessorLevel::kAvx512 ? "x86-64-v4" : level == EProcessorLevel::kAvx2 ? "x86-64-v3" : "x86-64";
}

// [any] Whether this processor runs code compiled for `level`. A compiler whose check cannot name
// the levels (clang before 18) gets the baseline only: a check of some of a level's features is
// how code built for a level ends up on a processor that lacks one of them.
inline bool ProcessorRuns(EProcessorLevel level)
{
#if defined(__clang__) && __clang_major__ < 18
  return level == EProcessorLevel::kBaseline;
#else
  __builtin_cpu_init();
  switch (level)
  {
    case EProcessorLevel::kBaseline:
      return true;
    case EProcessorLevel::kAvx2:
      return __builtin_cpu_supports("x86-64-v3");
    case EProcessorLevel::kAvx512:
      return __builtin_cpu_supports("x86-64-v4");
  }
  return false;
#endif
}

} // namespace quillon
