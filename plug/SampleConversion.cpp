#include "plug/SampleConversion.h"

#include <cmath>
#include <limits>
#include <type_traits>

#include "dsp/ProcessorLevel.h"

namespace plug {
namespace {

// A float that is NaN, infinite or subnormal becomes 0.
float Flushed(float x)
{
  const float a = std::fabs(x);
  return (a >= std::numeric_limits<float>::min() && a <= std::numeric_limits<float>::max()) || x == 0.0f ? x : 0.0f;
}

// dst[i] = src[i] converted, or with kAdd dst[i] += src[i] converted; conversions to float are
// flushed. Inlined into the versions below, each compiled for its processor level (the same levels
// as the reverb's kernel).
template <class From, class To, bool kAdd>
void Convert(const From* __restrict src, To* __restrict dst, int frames)
{
  for (int i = 0; i < frames; ++i)
  {
    To x = static_cast<To>(src[i]);
    if constexpr (std::is_same_v<To, float>)
      x = Flushed(x);
    if constexpr (kAdd)
      dst[i] += x;
    else
      dst[i] = x;
  }
}

template <class From, class To, bool kAdd>
[[gnu::target("arch=x86-64-v3")]] void ConvertAvx2(const From* src, To* dst, int frames)
{
  Convert<From, To, kAdd>(src, dst, frames);
}

template <class From, class To, bool kAdd>
[[gnu::target("arch=x86-64-v4")]] void ConvertAvx512(const From* src, To* dst, int frames)
{
  Convert<From, To, kAdd>(src, dst, frames);
}

template <class From, class To>
using Conversion = void (*)(const From*, To*, int);

// The version for the highest level this processor runs, by the check that the reverb uses.
template <class From, class To, bool kAdd>
Conversion<From, To> Pick()
{
  if (quillon::ProcessorRuns(quillon::EProcessorLevel::kAvx512))
    return ConvertAvx512<From, To, kAdd>;
  if (quillon::ProcessorRuns(quillon::EProcessorLevel::kAvx2))
    return ConvertAvx2<From, To, kAdd>;
  return Convert<From, To, kAdd>;
}

// Picked when the plug-in is loaded, so that the audio thread never waits on a first pick.
const Conversion<float, double> kFloatsToDoubles = Pick<float, double, false>();
const Conversion<double, float> kDoublesToFloats = Pick<double, float, false>();
const Conversion<double, float> kAddDoublesToFloats = Pick<double, float, true>();

} // namespace

void FloatsToDoubles(const float* src, double* dst, int frames)
{
  kFloatsToDoubles(src, dst, frames);
}

void DoublesToFloats(const double* src, float* dst, int frames)
{
  kDoublesToFloats(src, dst, frames);
}

void AddDoublesToFloats(const double* src, float* dst, int frames)
{
  kAddDoublesToFloats(src, dst, frames);
}

} // namespace plug
