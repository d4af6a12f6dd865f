#pragma once

#include <cmath>

namespace quillon {

// Triangle oscillator that drives the modulated allpasses of the reverb tank.
// The phase runs upward through (-3, 1] and wraps by 4; the output is a
// triangle between -1 and 1 that is 0 at phase -1 and rising.
class TTriLFO
{
public:
  double mPhase = -1.0;
  double mIncrement = 0.0;
  double mSampleRate = 44100.0;

  // One period lasts 2 / rate seconds.
  void SetRate(double rate) { mIncrement = (rate + rate) / mSampleRate; }

  double Tick()
  {
    double x = mIncrement + mPhase;
    if (x > 1.0)
      x = x - 4.0;
    mPhase = x;
    return Output(x);
  }

  static double Output(double phase) { return std::fabs(std::fabs(phase) - 2.0) - 1.0; }
};

} // namespace quillon
