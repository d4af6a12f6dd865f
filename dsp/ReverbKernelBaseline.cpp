// The reverb's staged kernel for any x86-64 processor, built with the project's default flags.
// Against the vector versions (ReverbKernelAvx2.cpp, ReverbKernelAvx512.cpp): every pass is a
// loop the compiler vectorises itself, and the output taps, width and mix run as passes of their
// own after the tank.
#define QM_KERNEL_NAMESPACE reverb_baseline
#include "dsp/ReverbKernelStages.h"

namespace quillon::reverb_baseline {
namespace {
struct Level
{
  static constexpr bool kWidePasses = false;
  static constexpr bool kFusedOutput = false;
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
} // namespace quillon::reverb_baseline
