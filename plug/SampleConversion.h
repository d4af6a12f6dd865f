#pragma once

// Conversions between the host's single-precision buffers and the plug-in's
// double-precision ones, built for the processor levels of dsp/ProcessorLevel.h:
// the highest this processor runs is picked when the plug-in is loaded. [any];
// the two ranges of a call must not overlap.

namespace plug {

// dst[i] = src[i] for i < frames.
void FloatsToDoubles(const float* src, double* dst, int frames);
// dst[i] = (float)src[i] for i < frames, flushed: a float that is NaN, infinite or subnormal becomes
// 0, so that none reaches a host's buffer (rounding alone makes an infinity of a value beyond the
// largest float and a subnormal of a very small one).
void DoublesToFloats(const double* src, float* dst, int frames);
// dst[i] += (float)src[i], flushed as above, for i < frames.
void AddDoublesToFloats(const double* src, float* dst, int frames);

} // namespace plug
