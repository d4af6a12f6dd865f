#include "plug/ILatencyLine.h"

#include <algorithm>
#include <cstring>

#include "checks/ThreadChecks.h"

namespace plug {

void ILatencyLine::Resize(int nChans, int delayFrames)
{
  mNChans = std::max(nChans, 0);
  mDelay = std::max(delayFrames, 0);
  mBuffer.assign(static_cast<size_t>(mNChans) * static_cast<size_t>(mDelay), 0.0);
  mPos = 0;
}

void ILatencyLine::Clear()
{
  std::fill(mBuffer.begin(), mBuffer.end(), 0.0);
  mPos = 0;
}

void ILatencyLine::Process(double** inputs, double** outputs, int nChans, int frames)
{
  QM_AUDIO_THREAD();
  if (!inputs || !outputs || frames <= 0)
    return;
  const int channels = std::min(nChans, mNChans);

  if (mDelay == 0)
  {
    for (int c = 0; c < channels; ++c)
      if (inputs[c] && outputs[c] && inputs[c] != outputs[c])
        std::memmove(outputs[c], inputs[c], static_cast<size_t>(frames) * sizeof(double));
    return;
  }

  for (int c = 0; c < channels; ++c)
  {
    const double* in = inputs[c];
    double* out = outputs[c];
    if (!in || !out)
      continue;
    double* line = mBuffer.data() + static_cast<size_t>(c) * static_cast<size_t>(mDelay);
    int pos = mPos;
    for (int s = 0; s < frames; ++s)
    {
      const double x = in[s]; // read before writing: in and out may be the same buffer
      out[s] = line[pos];
      line[pos] = x;
      if (++pos == mDelay)
        pos = 0;
    }
  }
  mPos = static_cast<int>((static_cast<long long>(mPos) + frames) % mDelay);
}

} // namespace plug
