// The reverb's staged kernel for x86-64-v4 processors (AVX-512), built with -march=x86-64-v4
// (CMakeLists.txt). Against the AVX2 version (ReverbKernelAvx2.cpp): one instruction classifies
// eight values as NaN, infinite or subnormal, which makes every pass worth writing eight frames at
// a time, and the flush is that instruction and a blend.
#ifndef __AVX512DQ__
#error "this file is built with -march=x86-64-v4"
#endif

#include <immintrin.h>

#define QM_KERNEL_NAMESPACE reverb_avx512
#include "dsp/ReverbKernelStages.h"

namespace quillon::reverb_avx512 {
namespace {
struct Level
{
  static constexpr bool kWidePasses = true;
  static constexpr bool kFusedOutput = true;

  static constexpr int kNanInfinityOrSubnormal = 0x01 | 0x08 | 0x10 | 0x20 | 0x80; // QNaN, +Inf, -Inf, denormal, SNaN

  static V8 Flush(V8 x)
  {
    return _mm512_mask_blend_pd(_mm512_fpclass_pd_mask(x, kNanInfinityOrSubnormal), x, _mm512_setzero_pd());
  }

  static VF8 Flush(VF8 x)
  {
    return _mm256_mask_blend_ps(_mm256_fpclass_ps_mask(x, kNanInfinityOrSubnormal), x, _mm256_setzero_ps());
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
} // namespace quillon::reverb_avx512
