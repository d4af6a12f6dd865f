#pragma once

#include <string>
#include <vector>

// The audio that a render reads: a file through libsndfile, or the built-in
// demo. Always handed out as interleaved stereo doubles.
class RenderSource
{
public:
  // Opens a file; false with a one-line reason in `error`.
  bool OpenFile(const std::string& path, std::string& error);
  // A short built-in phrase (plucked notes and a drum hit) at `sampleRate`.
  void MakeDemo(int sampleRate);
  // `seconds` of uncorrelated white noise in each channel (peak 0.5) at `sampleRate`.
  void MakeNoise(int sampleRate, double seconds);

  // Reads up to `frames` stereo frames into `interleaved`; returns the
  // number read, 0 at the end, -1 on a read error.
  long Read(double* interleaved, long frames);

  int SampleRate() const { return mSampleRate; }
  int FileFormat() const { return mFileFormat; }
  long TotalFrames() const { return mTotalFrames; }
  bool IsDemo() const { return mFile == nullptr; }

  RenderSource() = default;
  RenderSource(const RenderSource&) = delete;
  RenderSource& operator=(const RenderSource&) = delete;
  ~RenderSource();

private:
  static constexpr long kChunkFrames = 65536;
  long ReadChunk();

  void* mFile = nullptr; // SNDFILE*
  int mChannels = 2;
  int mSampleRate = 48000;
  int mFileFormat = 0;
  long mTotalFrames = 0;
  std::vector<double> mDemo; // interleaved stereo
  long mDemoPos = 0;
  std::vector<double> mScratch;
  std::vector<double> mChunk; // interleaved stereo read ahead from the file
  long mChunkPos = 0, mChunkFrames = 0;
};
