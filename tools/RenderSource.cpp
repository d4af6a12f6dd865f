#include "tools/RenderSource.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "dsp/dsp.h"

using quillon::TReverb;

RenderSource::~RenderSource()
{
  if (mFile)
    sf_close(static_cast<SNDFILE*>(mFile));
}

bool RenderSource::OpenFile(const std::string& path, std::string& error)
{
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file)
  {
    error = "cannot read '" + path + "': " + sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.channels > 2)
  {
    sf_close(file);
    error = "'" + path + "' has " + std::to_string(info.channels) + " channels; only mono and stereo are supported";
    return false;
  }
  // The rate sets the lengths of the quiet span and the tail in frames: one the reverb does not run
  // at is refused before anything is written.
  if (info.samplerate < TReverb::kMinSampleRate || info.samplerate > TReverb::kMaxSampleRate)
  {
    sf_close(file);
    error = "'" + path + "' is at " + std::to_string(info.samplerate) + " Hz; the reverb runs from " +
        std::to_string(std::lround(TReverb::kMinSampleRate)) + " to " +
        std::to_string(std::lround(TReverb::kMaxSampleRate)) + " Hz";
    return false;
  }
  mFile = file;
  mChannels = info.channels;
  mSampleRate = info.samplerate;
  mFileFormat = info.format;
  mTotalFrames = static_cast<long>(info.frames);
  return true;
}

namespace {
// A plucked string (Karplus-Strong) added into a stereo buffer.
void AddPluck(std::vector<double>& out, int rate, double start, double freq, double gain, double pan, std::mt19937& rng)
{
  const int period = std::max(2, static_cast<int>(std::lround(rate / freq)));
  std::vector<double> ring(period);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  for (double& v : ring)
    v = noise(rng);
  const long first = static_cast<long>(start * rate);
  const long length = static_cast<long>(1.5 * rate);
  const long frames = static_cast<long>(out.size() / 2);
  for (long i = 0; i < length && first + i < frames; ++i)
  {
    const int k = static_cast<int>(i % period);
    const double v = ring[k];
    ring[k] = 0.996 * 0.5 * (v + ring[(k + 1) % period]);
    out[2 * (first + i)] += gain * v * (1.0 - pan);
    out[2 * (first + i) + 1] += gain * v * pan;
  }
}

// A short drum hit: a falling sine with a noise burst.
void AddDrum(std::vector<double>& out, int rate, double start, double gain, std::mt19937& rng)
{
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  const long first = static_cast<long>(start * rate);
  const long frames = static_cast<long>(out.size() / 2);
  double phase = 0.0;
  for (long i = 0; i < rate / 2 && first + i < frames; ++i)
  {
    const double t = static_cast<double>(i) / rate;
    phase += 2.0 * M_PI * (60.0 + 120.0 * std::exp(-t * 30.0)) / rate;
    const double v = gain * (std::sin(phase) * std::exp(-t * 9.0) + 0.3 * noise(rng) * std::exp(-t * 40.0));
    out[2 * (first + i)] += v;
    out[2 * (first + i) + 1] += v;
  }
}
} // namespace

void RenderSource::MakeDemo(int sampleRate)
{
  mSampleRate = sampleRate;
  mChannels = 2;
  mFileFormat = 0;
  mTotalFrames = static_cast<long>(3.0 * sampleRate);
  mDemo.assign(2 * mTotalFrames, 0.0);
  mDemoPos = 0;
  std::mt19937 rng(2026);
  const double notes[] = {220.0, 277.18, 329.63, 440.0, 329.63, 277.18};
  for (int k = 0; k < 6; ++k)
    AddPluck(mDemo, sampleRate, 0.25 * k, notes[k], 0.35, k % 2 ? 0.7 : 0.3, rng);
  AddDrum(mDemo, sampleRate, 1.75, 0.6, rng);
  AddPluck(mDemo, sampleRate, 2.0, 110.0, 0.4, 0.5, rng);
}

void RenderSource::MakeNoise(int sampleRate, double seconds)
{
  mSampleRate = sampleRate;
  mChannels = 2;
  mFileFormat = 0;
  mTotalFrames = std::lround(seconds * sampleRate);
  mDemo.resize(2 * mTotalFrames);
  mDemoPos = 0;
  std::mt19937 rng(4711);
  std::uniform_real_distribution<double> noise(-0.5, 0.5);
  for (double& v : mDemo)
    v = noise(rng);
}

long RenderSource::Read(double* interleaved, long frames)
{
  if (!mFile)
  {
    const long n = std::min(frames, mTotalFrames - mDemoPos);
    std::copy_n(mDemo.begin() + 2 * mDemoPos, 2 * n, interleaved);
    mDemoPos += n;
    return n;
  }
  long done = 0;
  while (done < frames)
  {
    if (mChunkPos == mChunkFrames)
    {
      const long n = ReadChunk();
      if (n < 0)
        return -1;
      if (n == 0)
        break;
    }
    const long n = std::min(frames - done, mChunkFrames - mChunkPos);
    std::copy_n(mChunk.begin() + 2 * mChunkPos, 2 * n, interleaved + 2 * done);
    mChunkPos += n;
    done += n;
  }
  return done;
}

// The file is read in large pieces: few system calls between the plug-in's
// processing calls, so that they run as they would in a host and not among
// the kernel's file handling.
long RenderSource::ReadChunk()
{
  SNDFILE* file = static_cast<SNDFILE*>(mFile);
  mChunk.resize(2 * kChunkFrames);
  mChunkPos = mChunkFrames = 0;
  sf_count_t n;
  if (mChannels == 2)
    n = sf_readf_double(file, mChunk.data(), kChunkFrames);
  else
  {
    mScratch.resize(kChunkFrames);
    n = sf_readf_double(file, mScratch.data(), kChunkFrames);
    for (sf_count_t i = 0; i < n; ++i)
      mChunk[2 * i] = mChunk[2 * i + 1] = mScratch[i];
  }
  if (sf_error(file) != SF_ERR_NO_ERROR)
    return -1;
  mChunkFrames = static_cast<long>(n);
  return mChunkFrames;
}
