#pragma once

#include <memory>
#include <vector>

#include "checks/ThreadChecks.h"
#include "plug/Config.h"
#include "plug/IChannelData.h"
#include "plug/ILatencyLine.h"
#include "plug/IOConfig.h"
#include "plug/ITimeInfo.h"
#include "plug/core/IMidi.h"

namespace plug {

// The processing side of a plug-in: its channel configurations, one record per input and output
// channel, the host buffers attached to those channels for each processing call (converted to and
// from double precision when the host works in single precision), and the sample rate, block size,
// latency, tail size and transport information.
//
// Kept because the framework offers them, unused by QuillonMini (no latency, no MIDI): the latency
// line and the pass-through that goes through it, and MIDI and system exclusive in both directions.
//
// Threads: [host, not processing] operations allocate or change the channel layout and run between
// processing calls, on whichever thread the host makes its dispatcher calls; [audio] operations run
// inside a processing call and never allocate or lock; [any] operations only read what does not
// change after construction.
class IPluginProcessor
{
public:
  using ChannelData = IChannelData<float, double>;

  // Channel counts read from the channel I/O string are limited to this, per bus and per direction.
  static constexpr int kMaxChannels = 256;
  // Larger block sizes are lowered to this; longer host calls are processed in pieces.
  static constexpr int kMaxBlockSize = 65536;

  explicit IPluginProcessor(const Config& config); // [host]
  virtual ~IPluginProcessor();

  IPluginProcessor(const IPluginProcessor&) = delete;
  IPluginProcessor& operator=(const IPluginProcessor&) = delete;

  // --- Hooks -------------------------------------------------------------------------------------

  // [audio] Copies input i to output i where there is an input i and zeroes every other output.
  virtual void ProcessBlock(double** inputs, double** outputs, int frames);
  // [any] True for a plug-in that processes the host's single-precision buffers as they are
  // (ProcessSingleBlock), which spares converting them to double and back. The base returns false.
  virtual bool ProcessesSingleBlocks() const { return false; }
  // [audio] As ProcessBlock, on the host's single-precision buffers (the outputs may be the inputs);
  // called only when ProcessesSingleBlocks is true and every channel has a host buffer. The base
  // does nothing.
  virtual void ProcessSingleBlock(float** inputs, float** outputs, int frames);
  // [audio, host] Passes the message on with SendMidiMsg.
  virtual void ProcessMidiMsg(const IMidiMsg& msg);
  // [audio, host]
  virtual void ProcessSysEx(ISysEx& msg);
  // [host, not processing]
  virtual void OnReset() {}
  // [host, not processing]
  virtual void OnActivate(bool active);
  // [audio] Hands one message to the host; true if the host took it.
  virtual bool SendMidiMsg(const IMidiMsg& msg) = 0;
  // [audio] SendMidiMsg for each message in order; true only if every one was taken.
  virtual bool SendMidiMsgs(std::vector<IMidiMsg>& msgs);
  // [audio] The base sends nothing and returns false.
  virtual bool SendSysEx(const ISysEx& msg);
  // [host, not processing] Negative latencies are ignored. Resizes, clears and restarts the latency
  // line if there is one.
  virtual void SetLatency(int frames);

  // --- Settings ----------------------------------------------------------------------------------

  int GetPlugType() const { return mPlugType; }        // [any]
  bool DoesMidiIn() const { return mDoesMidiIn; }      // [any]
  bool DoesMidiOut() const { return mDoesMidiOut; }    // [any]
  bool DoesMPE() const { return mDoesMPE; }            // [any]
  int GetLatency() const { return mLatency; }          // [any]
  double GetSampleRate() const { return mSampleRate; } // [any]
  int GetBlockSize() const { return mBlockSize; }      // [any]
  int GetTailSize() const { return mTailSize; }        // [any]
  // [audio]
  bool GetRenderingOffline() const
  {
    QM_AUDIO_THREAD();
    return mRenderingOffline;
  }

  // [host, not processing] Rejects (false, nothing changed) rates that are not finite and positive.
  bool SetSampleRate(double sampleRate);
  // [host, not processing] Allocates. Nothing happens if n equals the block size. Otherwise every scratch buffer is
  // resized to n samples and zeroed, every channel's buffer slot points at its scratch buffer until
  // the next attachment, and the block size becomes n. Negative n is rejected (false, nothing
  // changed); n above kMaxBlockSize is lowered to it.
  bool SetBlockSize(int n);
  void SetTailSize(int samples) { mTailSize = samples; } // [host, not processing]
  // [audio]
  void SetRenderingOffline(bool offline)
  {
    QM_AUDIO_THREAD();
    mRenderingOffline = offline;
  }

  // [audio]
  const ITimeInfo& GetTimeInfo() const
  {
    QM_AUDIO_THREAD();
    return mTimeInfo;
  }
  // [audio]
  void SetTimeInfo(const ITimeInfo& info)
  {
    QM_AUDIO_THREAD();
    mTimeInfo = info;
  }
  // [audio] Sample rate × 60 / tempo, or 0 when the tempo is not positive.
  double GetSamplesPerBeat() const;

  // --- Channel configurations (fixed after construction) -----------------------------------------

  // [any] Parses a channel I/O string such as "1-1 2-2" or "2.2-2" into configs (replacing its
  // contents) and sets the four totals to the largest values over the configurations. Malformed
  // pieces count as 0 channels; null or empty text gives no configurations. Returns the number of
  // configurations.
  static int ParseChannelIOStr(const char* text, std::vector<IOConfig>& configs, int& inChannels, int& outChannels,
                               int& inBuses, int& outBuses);

  int NIOConfigs() const { return static_cast<int>(mIOConfigs.size()); } // [any]
  const IOConfig* GetIOConfig(int index) const;                          // [any] null if out of range

  // [any] True if some configuration has nIn input and nOut output channels in total; a negative
  // count matches any. False without configurations.
  bool LegalIO(int nIn, int nOut) const;

  int MaxNChannels(ERoute direction) const; // [any]
  int MaxNBuses(ERoute direction) const;    // [any]
  // [any] The largest channel count bus busIdx has in any configuration; 0 if no configuration has it.
  int MaxNChannelsForBus(ERoute direction, int busIdx) const;

  // --- Channels ----------------------------------------------------------------------------------

  int NChannelsConnected(ERoute direction) const;                       // [any]
  bool IsChannelConnected(ERoute direction, int index) const;           // [any] false if out of range
  const ChannelData* GetChannelData(ERoute direction, int index) const; // [any] null if out of range

  // [host, not processing] Sets the connection of channels first ... first + count - 1 (those
  // that exist). A disconnected channel reads and writes its own (zeroed) scratch buffer.
  void SetChannelConnections(ERoute direction, int first, int count, bool connected);
  // [host, not processing] Disconnects the inputs from index 2 on and connects the outputs from index 2 on.
  void LimitToStereoIO();
  // [host, not processing] Sets a channel's label from a format in which the first "%d" or "%i" stands for the channel
  // number, counted from 1 unless zeroBased ("%%" gives "%"). No-op for a bad index or null format.
  void SetChannelLabel(ERoute direction, int index, const char* format, bool zeroBased = false);
  // [any] The empty text for a bad index.
  const char* GetChannelLabel(ERoute direction, int index) const;
  // [host, not processing; audio]
  void ZeroScratchBuffers();

  // --- Processing: audio thread only ------------------------------------------------------------

  // Gives the connected channels among first ... first + count - 1, in order, the next pointers of
  // buffers; unconnected channels take none. A null array or null entry leaves that channel on its
  // (for inputs: silenced) scratch buffer. frames is not used for double buffers.
  void AttachBuffers(ERoute direction, int first, int count, double** buffers, int frames);
  // As above for single-precision host buffers: inputs are converted into the scratch buffers (up to a
  // block's worth; longer calls convert the rest piece by piece while processing), outputs are
  // processed in the scratch buffers and remembered for conversion back.
  void AttachBuffers(ERoute direction, int first, int count, float** buffers, int frames);

  // The first argument only selects the sample type. Each runs ProcessBlock on the attached buffers.
  // Calls longer than the block size are processed in pieces no longer than the block size whenever
  // scratch buffers are involved; with a block size of 0 such a call is not processed and the host's
  // outputs are silenced (left alone when accumulating).
  void ProcessBuffers(double, int frames);
  // Converts the results back into the host's buffers, overwriting them.
  void ProcessBuffers(float, int frames);
  // [audio] Whether the host's single-precision buffers can go to ProcessSingleBlock as they are: the
  // plug-in takes them, and every channel is connected and has a buffer.
  bool TakesHostSingleBuffers(float** inputs, float** outputs) const;
  // Converts the results back by adding them to the host's buffers.
  void ProcessBuffersAccumulating(int frames);

  // As ProcessBuffers, but instead of ProcessBlock copies inputs to outputs through the latency line
  // (straight when there is no line or no latency); other outputs are zeroed.
  void PassThroughBuffers(double, int frames);
  void PassThroughBuffers(float, int frames);

  // [host, not processing] Allocates. Creates the latency line, sized for the current latency, if there is none.
  void CreateLatencyLine();
  bool HasLatencyLine() const { return mLatencyLine != nullptr; } // [any]

private:
  enum class EConversion
  {
    kNone,      // double-precision host buffers
    kReplace,   // single precision, overwrite the host's outputs
    kAccumulate // single precision, add to the host's outputs
  };

  std::vector<ChannelData>& Channels(ERoute direction) { return mChannels[RouteIndex(direction)]; }
  const std::vector<ChannelData>& Channels(ERoute direction) const { return mChannels[RouteIndex(direction)]; }
  double** SamplePointers(ERoute direction) { return mSamplePointers[RouteIndex(direction)].data(); }
  // The valid channel range [begin, end) of first ... first + count - 1.
  void ClampRange(ERoute direction, int first, int count, int& begin, int& end) const;

  template <typename Kernel>
  void RunInPieces(int frames, EConversion conversion, Kernel&& kernel);
  bool AnyChannelOnScratch() const;
  void PointSlotsAtFrame(int offset);
  void PointSlotsAtAttachedBuffers();
  void ConvertInputs(int offset, int frames);
  void ConvertOutputs(int offset, int frames, bool accumulate);
  void SilenceHostOutputs(int frames, EConversion conversion);
  void PassThrough(double** inputs, double** outputs, int frames);

  int mPlugType = 0;
  bool mDoesMidiIn = false;
  bool mDoesMidiOut = false;
  bool mDoesMPE = false;
  int mLatency = 0;
  double mSampleRate = 44100.0;
  int mBlockSize = 0;
  int mTailSize = 0;
  bool mRenderingOffline = false;
  std::vector<IOConfig> mIOConfigs;
  int mMaxNChannels[kNumRoutes] = {0, 0};
  int mMaxNBuses[kNumRoutes] = {0, 0};
  std::vector<double*> mSamplePointers[kNumRoutes];
  std::vector<ChannelData> mChannels[kNumRoutes];
  std::unique_ptr<ILatencyLine> mLatencyLine;
  ITimeInfo mTimeInfo;
};

} // namespace plug
