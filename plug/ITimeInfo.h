#pragma once

namespace plug {

// The host's transport at the start of the current block. Positions are in quarter notes; -1 means
// the host did not say.
struct ITimeInfo
{
  double mTempo = 120.0; // beats per minute
  double mSamplePos = -1.0;
  double mPPQPos = -1.0;
  double mLastBar = -1.0;    // start of the current bar
  double mCycleStart = -1.0; // loop start
  double mCycleEnd = -1.0;   // loop end
  int mNumerator = 4;
  int mDenominator = 4;
  bool mTransportIsRunning = false;
  bool mTransportLoopEnabled = false;

  void Reset() { *this = ITimeInfo(); }
};

} // namespace plug
