#pragma once

#include <string>
#include <vector>

namespace plug {

// One input or output channel of the processor. TIn is the host's single-precision sample type,
// TOut the type the plug-in processes.
template <typename TIn = float, typename TOut = double>
struct IChannelData
{
  bool mConnected = false;
  // This channel's slot in the processor's sample-pointer array of its direction; the slot holds the
  // buffer the plug-in reads or writes.
  TOut** mData = nullptr;
  // The host's buffer when it was attached in the processing type, else null.
  TOut* mHost = nullptr;
  // The host's buffer when it was attached in single precision, else null. (For outputs this is the
  // buffer the results are converted into.)
  TIn* mIncoming = nullptr;
  // Block-size long; holds converted samples, and stands in for the host's buffer of a channel that
  // is not connected.
  std::vector<TOut> mScratchBuf;
  std::string mLabel;
};

} // namespace plug
