#pragma once

#include <vector>

namespace plug {

// A multichannel delay of a whole number of frames, used to pass audio through with the latency the
// plug-in reports.
class ILatencyLine
{
public:
  ILatencyLine(int nChans, int delayFrames) { Resize(nChans, delayFrames); }

  // [host, not processing] Allocates. Sizes the line to delayFrames × nChans samples, clears it and
  // restarts it. Negative arguments count as 0.
  void Resize(int nChans, int delayFrames);

  // [host, not processing; audio]
  void Clear();

  int GetDelay() const { return mDelay; }
  int NChannels() const { return mNChans; }

  // [audio] Writes inputs delayed by the line's delay to outputs, for the first
  // min(nChans, NChannels()) channels; further outputs are left alone. inputs[c] and outputs[c] may be
  // the same buffer; null buffers are skipped.
  void Process(double** inputs, double** outputs, int nChans, int frames);

private:
  std::vector<double> mBuffer; // channel c occupies [c * mDelay, (c + 1) * mDelay)
  int mNChans = 0;
  int mDelay = 0;
  int mPos = 0;
};

} // namespace plug
