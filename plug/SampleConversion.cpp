#include "plug/SampleConversion.h"

// Sanitizer builds keep one version of everything (see CMakeLists.txt).
#if QM_SINGLE_TARGET
#define QM_FOR_EACH_PROCESSOR
#else
#define QM_FOR_EACH_PROCESSOR [[gnu::target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")]]
#endif

namespace plug {

QM_FOR_EACH_PROCESSOR void FloatsToDoubles(const float* __restrict src, double* __restrict dst, int frames)
{
  for (int i = 0; i < frames; ++i)
    dst[i] = src[i];
}

QM_FOR_EACH_PROCESSOR void DoublesToFloats(const double* __restrict src, float* __restrict dst, int frames)
{
  for (int i = 0; i < frames; ++i)
    dst[i] = static_cast<float>(src[i]);
}

QM_FOR_EACH_PROCESSOR void AddDoublesToFloats(const double* __restrict src, float* __restrict dst, int frames)
{
  for (int i = 0; i < frames; ++i)
    dst[i] += static_cast<float>(src[i]);
}

} // namespace plug
