#include "plug/IPluginProcessor.h"
#include "plug/SampleConversion.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace plug {

namespace {

constexpr ERoute kRoutes[kNumRoutes] = {ERoute::kInput, ERoute::kOutput};

bool IsBlank(char c)
{
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Reads a decimal integer the way "%d" would (leading blanks, optional sign, digits), saturating at
// limit instead of overflowing. 0 when no digits can be read.
int ReadChannelCount(std::string_view piece, int limit)
{
  size_t pos = 0;
  while (pos < piece.size() && IsBlank(piece[pos]))
    ++pos;
  bool negative = false;
  if (pos < piece.size() && (piece[pos] == '+' || piece[pos] == '-'))
    negative = piece[pos++] == '-';

  int64_t value = 0;
  for (; pos < piece.size() && piece[pos] >= '0' && piece[pos] <= '9'; ++pos)
    value = std::min<int64_t>(value * 10 + (piece[pos] - '0'), limit);
  if (negative)
    return 0; // a channel count cannot be negative
  return static_cast<int>(value);
}

// The piece of text before the first occurrence of separator, or all of it.
std::string_view PieceBefore(std::string_view text, char separator)
{
  return text.substr(0, text.find(separator));
}

// Adds the buses of one side ("2", "2.2", "*", ...) of a configuration.
void ParseBuses(std::string_view side, ERoute direction, IOConfig& config, int limit)
{
  const char* label = direction == ERoute::kInput ? "Input" : "Output";
  while (true)
  {
    const std::string_view piece = PieceBefore(side, '.');
    const int nChans = piece == "*" ? kWildcardChannels : ReadChannelCount(piece, limit);
    if (nChans != 0)
      config.AddBusInfo(direction, nChans, label);
    if (piece.size() == side.size())
      break;
    side.remove_prefix(piece.size() + 1);
  }
}

// Replaces the first "%d" or "%i" of format with number and "%%" with "%"; everything else is kept as
// it stands, so no format text can read arguments that are not there.
std::string FormatChannelLabel(const char* format, int number)
{
  std::string label;
  bool numberWritten = false;
  for (const char* p = format; *p; ++p)
  {
    if (p[0] == '%' && p[1] == '%')
    {
      label += '%';
      ++p;
    }
    else if (p[0] == '%' && (p[1] == 'd' || p[1] == 'i') && !numberWritten)
    {
      label += std::to_string(number);
      numberWritten = true;
      ++p;
    }
    else
      label += *p;
  }
  return label;
}

} // namespace

// --- Construction ---------------------------------------------------------------------------------

IPluginProcessor::IPluginProcessor(const Config& config)
  : mPlugType(config.plugType),
    mDoesMidiIn(config.plugDoesMidiIn),
    mDoesMidiOut(config.plugDoesMidiOut),
    mDoesMPE(config.plugDoesMPE),
    mLatency(config.latency)
{
  ParseChannelIOStr(config.channelIOStr, mIOConfigs, mMaxNChannels[0], mMaxNChannels[1], mMaxNBuses[0], mMaxNBuses[1]);

  for (ERoute direction : kRoutes)
  {
    const int d = RouteIndex(direction);
    const size_t nChans = static_cast<size_t>(mMaxNChannels[d]);
    mSamplePointers[d].assign(nChans, nullptr);
    mChannels[d].resize(nChans);
    for (size_t i = 0; i < nChans; ++i)
    {
      ChannelData& channel = mChannels[d][i];
      channel.mData = &mSamplePointers[d][i];
      *channel.mData = channel.mScratchBuf.data();
    }
  }
}

IPluginProcessor::~IPluginProcessor() = default;

// --- Hooks ----------------------------------------------------------------------------------------

void IPluginProcessor::ProcessBlock(double** inputs, double** outputs, int frames)
{
  QM_AUDIO_THREAD();
  if (!outputs || frames <= 0)
    return;
  const int nIn = MaxNChannels(ERoute::kInput);
  const int nOut = MaxNChannels(ERoute::kOutput);
  const size_t bytes = static_cast<size_t>(frames) * sizeof(double);
  for (int i = 0; i < nOut; ++i)
  {
    double* out = outputs[i];
    if (!out)
      continue;
    const double* in = (inputs && i < nIn) ? inputs[i] : nullptr;
    if (in)
    {
      if (in != out)
        std::memmove(out, in, bytes);
    }
    else
      std::fill_n(out, frames, 0.0);
  }
}

void IPluginProcessor::ProcessSingleBlock(float**, float**, int) {}

void IPluginProcessor::ProcessMidiMsg(const IMidiMsg& msg)
{
  SendMidiMsg(msg);
}

void IPluginProcessor::ProcessSysEx(ISysEx&) {}

void IPluginProcessor::OnActivate(bool) {}

bool IPluginProcessor::SendMidiMsgs(std::vector<IMidiMsg>& msgs)
{
  QM_AUDIO_THREAD();
  bool allTaken = true;
  for (const IMidiMsg& msg : msgs)
    allTaken = SendMidiMsg(msg) && allTaken;
  return allTaken;
}

bool IPluginProcessor::SendSysEx(const ISysEx&)
{
  QM_AUDIO_THREAD();
  return false;
}

void IPluginProcessor::SetLatency(int frames)
{
  if (frames < 0)
    return;
  mLatency = frames;
  if (mLatencyLine)
    mLatencyLine->Resize(MaxNChannels(ERoute::kInput), frames);
}

// --- Settings -------------------------------------------------------------------------------------

bool IPluginProcessor::SetSampleRate(double sampleRate)
{
  if (!std::isfinite(sampleRate) || sampleRate <= 0.0)
    return false;
  mSampleRate = sampleRate;
  return true;
}

bool IPluginProcessor::SetBlockSize(int n)
{
  if (n < 0)
    return false;
  n = std::min(n, kMaxBlockSize);
  if (n == mBlockSize)
    return true;

  for (auto& channels : mChannels)
  {
    for (ChannelData& channel : channels)
    {
      channel.mScratchBuf.assign(static_cast<size_t>(n), 0.0);
      // Host buffers of an earlier call are gone; every slot must point at memory that exists.
      channel.mHost = nullptr;
      channel.mIncoming = nullptr;
      *channel.mData = channel.mScratchBuf.data();
    }
  }
  mBlockSize = n;
  return true;
}

double IPluginProcessor::GetSamplesPerBeat() const
{
  QM_AUDIO_THREAD();
  const double tempo = mTimeInfo.mTempo;
  return tempo > 0.0 ? mSampleRate * 60.0 / tempo : 0.0;
}

// --- Channel configurations -----------------------------------------------------------------------

int IPluginProcessor::ParseChannelIOStr(const char* text, std::vector<IOConfig>& configs, int& inChannels,
                                        int& outChannels, int& inBuses, int& outBuses)
{
  configs.clear();
  inChannels = outChannels = inBuses = outBuses = 0;
  if (!text)
    return 0;

  std::string_view rest(text);
  while (true)
  {
    while (!rest.empty() && IsBlank(rest.front()))
      rest.remove_prefix(1);
    if (rest.empty())
      break;
    size_t length = 0;
    while (length < rest.size() && !IsBlank(rest[length]))
      ++length;
    const std::string_view configText = rest.substr(0, length);
    rest.remove_prefix(length);

    IOConfig config;
    const std::string_view inputPart = PieceBefore(configText, '-');
    ParseBuses(inputPart, ERoute::kInput, config, kMaxChannels);
    if (inputPart.size() < configText.size())
    {
      const std::string_view outputPart = PieceBefore(configText.substr(inputPart.size() + 1), '-');
      ParseBuses(outputPart, ERoute::kOutput, config, kMaxChannels);
    }

    inChannels = std::max(inChannels, std::min(config.GetTotalNChannels(ERoute::kInput), kMaxChannels));
    outChannels = std::max(outChannels, std::min(config.GetTotalNChannels(ERoute::kOutput), kMaxChannels));
    inBuses = std::max(inBuses, config.NBuses(ERoute::kInput));
    outBuses = std::max(outBuses, config.NBuses(ERoute::kOutput));
    configs.push_back(std::move(config));
  }
  return static_cast<int>(configs.size());
}

const IOConfig* IPluginProcessor::GetIOConfig(int index) const
{
  if (index < 0 || index >= NIOConfigs())
    return nullptr;
  return &mIOConfigs[static_cast<size_t>(index)];
}

bool IPluginProcessor::LegalIO(int nIn, int nOut) const
{
  return std::any_of(mIOConfigs.begin(), mIOConfigs.end(), [&](const IOConfig& config) {
    return (nIn < 0 || config.GetTotalNChannels(ERoute::kInput) == nIn) &&
        (nOut < 0 || config.GetTotalNChannels(ERoute::kOutput) == nOut);
  });
}

int IPluginProcessor::MaxNChannels(ERoute direction) const
{
  return mMaxNChannels[RouteIndex(direction)];
}

int IPluginProcessor::MaxNBuses(ERoute direction) const
{
  return mMaxNBuses[RouteIndex(direction)];
}

int IPluginProcessor::MaxNChannelsForBus(ERoute direction, int busIdx) const
{
  bool found = false;
  int maxChans = 0;
  for (const IOConfig& config : mIOConfigs)
  {
    if (const IBusInfo* bus = config.GetBusInfo(direction, busIdx))
    {
      maxChans = found ? std::max(maxChans, bus->mNChans) : bus->mNChans;
      found = true;
    }
  }
  return maxChans;
}

// --- Channels -------------------------------------------------------------------------------------

void IPluginProcessor::ClampRange(ERoute direction, int first, int count, int& begin, int& end) const
{
  const int64_t nChans = static_cast<int64_t>(Channels(direction).size());
  const int64_t from = std::clamp<int64_t>(first, 0, nChans);
  const int64_t to = std::clamp<int64_t>(static_cast<int64_t>(first) + std::max(count, 0), from, nChans);
  begin = static_cast<int>(from);
  end = static_cast<int>(to);
}

int IPluginProcessor::NChannelsConnected(ERoute direction) const
{
  const auto& channels = Channels(direction);
  return static_cast<int>(
      std::count_if(channels.begin(), channels.end(), [](const ChannelData& c) { return c.mConnected; }));
}

bool IPluginProcessor::IsChannelConnected(ERoute direction, int index) const
{
  const ChannelData* channel = GetChannelData(direction, index);
  return channel && channel->mConnected;
}

const IPluginProcessor::ChannelData* IPluginProcessor::GetChannelData(ERoute direction, int index) const
{
  const auto& channels = Channels(direction);
  if (index < 0 || index >= static_cast<int>(channels.size()))
    return nullptr;
  return &channels[static_cast<size_t>(index)];
}

void IPluginProcessor::SetChannelConnections(ERoute direction, int first, int count, bool connected)
{
  int begin = 0, end = 0;
  ClampRange(direction, first, count, begin, end);
  auto& channels = Channels(direction);
  for (int i = begin; i < end; ++i)
  {
    ChannelData& channel = channels[static_cast<size_t>(i)];
    if (!connected)
    {
      // Cleared, so that a channel that was in use does not go on feeding its last block.
      std::fill(channel.mScratchBuf.begin(), channel.mScratchBuf.end(), 0.0);
      channel.mHost = nullptr;
      channel.mIncoming = nullptr;
      *channel.mData = channel.mScratchBuf.data();
    }
    channel.mConnected = connected;
  }
}

void IPluginProcessor::LimitToStereoIO()
{
  SetChannelConnections(ERoute::kInput, 2, MaxNChannels(ERoute::kInput), false);
  SetChannelConnections(ERoute::kOutput, 2, MaxNChannels(ERoute::kOutput), true);
}

void IPluginProcessor::SetChannelLabel(ERoute direction, int index, const char* format, bool zeroBased)
{
  auto& channels = Channels(direction);
  if (!format || index < 0 || index >= static_cast<int>(channels.size()))
    return;
  channels[static_cast<size_t>(index)].mLabel = FormatChannelLabel(format, zeroBased ? index : index + 1);
}

const char* IPluginProcessor::GetChannelLabel(ERoute direction, int index) const
{
  const ChannelData* channel = GetChannelData(direction, index);
  return channel ? channel->mLabel.c_str() : "";
}

void IPluginProcessor::ZeroScratchBuffers()
{
  for (auto& channels : mChannels)
    for (ChannelData& channel : channels)
      std::fill(channel.mScratchBuf.begin(), channel.mScratchBuf.end(), 0.0);
}

// --- Buffer attachment ----------------------------------------------------------------------------

void IPluginProcessor::AttachBuffers(ERoute direction, int first, int count, double** buffers, int)
{
  int begin = 0, end = 0;
  ClampRange(direction, first, count, begin, end);
  auto& channels = Channels(direction);
  int next = 0;
  for (int i = begin; i < end; ++i)
  {
    ChannelData& channel = channels[static_cast<size_t>(i)];
    double* host = nullptr;
    if (channel.mConnected)
      host = buffers ? buffers[next++] : nullptr;
    channel.mIncoming = nullptr;
    channel.mHost = host;
    if (host)
      *channel.mData = host;
    else
    {
      *channel.mData = channel.mScratchBuf.data();
      if (direction == ERoute::kInput && channel.mConnected)
        std::fill(channel.mScratchBuf.begin(), channel.mScratchBuf.end(), 0.0);
    }
  }
}

void IPluginProcessor::AttachBuffers(ERoute direction, int first, int count, float** buffers, int frames)
{
  int begin = 0, end = 0;
  ClampRange(direction, first, count, begin, end);
  auto& channels = Channels(direction);
  // Only a block's worth fits; the rest of a longer call is converted piece by piece while processing.
  const int convertFrames = std::clamp(frames, 0, mBlockSize);
  int next = 0;
  for (int i = begin; i < end; ++i)
  {
    ChannelData& channel = channels[static_cast<size_t>(i)];
    float* host = nullptr;
    if (channel.mConnected)
      host = buffers ? buffers[next++] : nullptr;
    channel.mHost = nullptr;
    channel.mIncoming = host;
    *channel.mData = channel.mScratchBuf.data();
    if (direction != ERoute::kInput || !channel.mConnected)
      continue;
    if (host)
      FloatsToDoubles(host, channel.mScratchBuf.data(), convertFrames);
    else
      std::fill(channel.mScratchBuf.begin(), channel.mScratchBuf.end(), 0.0);
  }
}

// --- Processing -----------------------------------------------------------------------------------

bool IPluginProcessor::AnyChannelOnScratch() const
{
  for (const auto& channels : mChannels)
    for (const ChannelData& channel : channels)
      if (!channel.mHost)
        return true;
  return false;
}

void IPluginProcessor::PointSlotsAtFrame(int offset)
{
  for (auto& channels : mChannels)
    for (ChannelData& channel : channels)
      *channel.mData = channel.mHost ? channel.mHost + offset : channel.mScratchBuf.data();
}

void IPluginProcessor::PointSlotsAtAttachedBuffers()
{
  PointSlotsAtFrame(0);
}

void IPluginProcessor::ConvertInputs(int offset, int frames)
{
  for (ChannelData& channel : Channels(ERoute::kInput))
    if (channel.mIncoming)
      FloatsToDoubles(channel.mIncoming + offset, channel.mScratchBuf.data(), frames);
}

void IPluginProcessor::ConvertOutputs(int offset, int frames, bool accumulate)
{
  for (ChannelData& channel : Channels(ERoute::kOutput))
  {
    const double* results = *channel.mData;
    if (!channel.mIncoming || !results)
      continue;
    float* host = channel.mIncoming + offset;
    if (accumulate)
      AddDoublesToFloats(results, host, frames);
    else
      DoublesToFloats(results, host, frames);
  }
}

void IPluginProcessor::SilenceHostOutputs(int frames, EConversion conversion)
{
  if (conversion == EConversion::kAccumulate)
    return;
  for (ChannelData& channel : Channels(ERoute::kOutput))
  {
    if (conversion == EConversion::kNone && channel.mHost)
      std::fill_n(channel.mHost, frames, 0.0);
    else if (conversion == EConversion::kReplace && channel.mIncoming)
      std::fill_n(channel.mIncoming, frames, 0.0f);
  }
}

// Runs kernel over the attached buffers. A call longer than the block size cannot go through the
// block-size scratch buffers at once, so it is cut into pieces no longer than the block size, each
// with the host buffers advanced to the piece.
template <typename Kernel>
void IPluginProcessor::RunInPieces(int frames, EConversion conversion, Kernel&& kernel)
{
  if (frames < 0)
    return;
  double** inputs = SamplePointers(ERoute::kInput);
  double** outputs = SamplePointers(ERoute::kOutput);
  const bool converting = conversion != EConversion::kNone;
  const bool accumulate = conversion == EConversion::kAccumulate;

  if (frames <= mBlockSize || !AnyChannelOnScratch())
  {
    kernel(inputs, outputs, frames);
    if (converting)
      ConvertOutputs(0, frames, accumulate);
    return;
  }
  if (mBlockSize <= 0)
  {
    SilenceHostOutputs(frames, conversion);
    return;
  }

  for (int offset = 0; offset < frames; offset += mBlockSize)
  {
    const int pieceFrames = std::min(mBlockSize, frames - offset);
    if (offset > 0)
    {
      PointSlotsAtFrame(offset);
      if (converting)
        ConvertInputs(offset, pieceFrames);
    }
    kernel(inputs, outputs, pieceFrames);
    if (converting)
      ConvertOutputs(offset, pieceFrames, accumulate);
  }
  PointSlotsAtAttachedBuffers();
}

void IPluginProcessor::ProcessBuffers(double, int frames)
{
  RunInPieces(frames, EConversion::kNone,
              [this](double** inputs, double** outputs, int n) { ProcessBlock(inputs, outputs, n); });
}

void IPluginProcessor::ProcessBuffers(float, int frames)
{
  RunInPieces(frames, EConversion::kReplace,
              [this](double** inputs, double** outputs, int n) { ProcessBlock(inputs, outputs, n); });
}

bool IPluginProcessor::TakesHostSingleBuffers(float** inputs, float** outputs) const
{
  QM_AUDIO_THREAD();
  if (!ProcessesSingleBlocks() || !inputs || !outputs)
    return false;
  for (ERoute direction : {ERoute::kInput, ERoute::kOutput})
  {
    float* const* buffers = direction == ERoute::kInput ? inputs : outputs;
    const auto& channels = Channels(direction);
    for (size_t i = 0; i < channels.size(); ++i)
      if (!channels[i].mConnected || !buffers[i])
        return false;
  }
  return true;
}

void IPluginProcessor::ProcessBuffersAccumulating(int frames)
{
  RunInPieces(frames, EConversion::kAccumulate,
              [this](double** inputs, double** outputs, int n) { ProcessBlock(inputs, outputs, n); });
}

// --- Pass-through ---------------------------------------------------------------------------------

void IPluginProcessor::PassThrough(double** inputs, double** outputs, int frames)
{
  if (frames <= 0)
    return;
  const int nIn = MaxNChannels(ERoute::kInput);
  const int nOut = MaxNChannels(ERoute::kOutput);
  const int nThrough = std::min(nIn, nOut);
  if (mLatencyLine && mLatency > 0)
    mLatencyLine->Process(inputs, outputs, nThrough, frames);
  else
    for (int i = 0; i < nThrough; ++i)
      if (inputs[i] && outputs[i] && inputs[i] != outputs[i])
        std::memmove(outputs[i], inputs[i], static_cast<size_t>(frames) * sizeof(double));
  for (int i = nThrough; i < nOut; ++i)
    if (outputs[i])
      std::fill_n(outputs[i], frames, 0.0);
}

void IPluginProcessor::PassThroughBuffers(double, int frames)
{
  RunInPieces(frames, EConversion::kNone,
              [this](double** inputs, double** outputs, int n) { PassThrough(inputs, outputs, n); });
}

void IPluginProcessor::PassThroughBuffers(float, int frames)
{
  RunInPieces(frames, EConversion::kReplace,
              [this](double** inputs, double** outputs, int n) { PassThrough(inputs, outputs, n); });
}

void IPluginProcessor::CreateLatencyLine()
{
  if (!mLatencyLine)
    mLatencyLine = std::make_unique<ILatencyLine>(MaxNChannels(ERoute::kInput), std::max(mLatency, 0));
}

} // namespace plug
