// The reverb's staged kernel for x86-64-v3 processors (AVX2), built with -march=x86-64-v3
// (CMakeLists.txt). Against the baseline (ReverbKernelBaseline.cpp): the output taps, width and
// mix run inside the recursion loop, eight frames at a time, with a flush of its own. AVX2 has no
// instruction that classifies a value as subnormal, infinite or NaN, so that flush compares the
// bits of four values at a time; the other passes stay as the compiler vectorises them, which
// measured faster than explicit eight-frame passes with this flush.
#ifndef __AVX2__
#error "this file is built with -march=x86-64-v3"
#endif

#define QM_KERNEL_NAMESPACE reverb_avx2
#include "dsp/ReverbKernelStages.h"

namespace quillon::reverb_avx2 {
namespace {
using V4 = double __attribute__((vector_size(32)));
using I4 = int64_t __attribute__((vector_size(32)));
using I8 = int32_t __attribute__((vector_size(32)));

struct Level
{
  static constexpr bool kWidePasses = false;
  static constexpr bool kFusedOutput = true;

  // A value stays when its magnitude bits are zero or those of a normal number.
  static V4 Flush(V4 x)
  {
    const I4 bits = __builtin_bit_cast(I4, x);
    const I4 magnitude = bits & INT64_MAX;
    const I4 keep = (magnitude == 0) | ((magnitude >= kMinNormalBits) & (magnitude < kInfinityBits));
    return __builtin_bit_cast(V4, bits & keep);
  }

  static V8 Flush(V8 x)
  {
    const V4 low = Flush(__builtin_shufflevector(x, x, 0, 1, 2, 3));
    const V4 high = Flush(__builtin_shufflevector(x, x, 4, 5, 6, 7));
    return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
  }

  static VF8 Flush(VF8 x)
  {
    const I8 bits = __builtin_bit_cast(I8, x);
    const I8 magnitude = bits & INT32_MAX;
    const I8 keep = (magnitude == 0) | ((magnitude >= kMinNormalFloatBits) & (magnitude < kInfinityFloatBits));
    return __builtin_bit_cast(VF8, bits & keep);
  }
};
} // namespace

void ProcessBlock(TKernelState& state, double** inputs, double** outputs, int count)
{
  ProcessBlockIn<Level>(state, inputs, outputs, count);
}

void ProcessBlock(TKernelState& state, float** inputs, float** outputs, int count)
{
  ProcessBlockIn<Level>(state, inputs, outputs, count);
}
} // namespace quillon::reverb_avx2
