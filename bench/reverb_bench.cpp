// Speed of the reverb engine: nanoseconds per stereo frame at 48000 Hz in
// blocks of 512 with the parameters of the "Large Hall" preset.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "dsp/dsp.h"
#include "effect/FactoryPresets.h"

using quillon::TReverb;

namespace {
constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

struct Block
{
  std::vector<double> l = std::vector<double>(kBlock), r = std::vector<double>(kBlock);
  double* ptrs[2] = {l.data(), r.data()};
};

// Loud stereo noise that the measured loops play through, a new block every
// time: a block repeated over and over would let the processor learn the
// branches its samples take, as real audio never does. Thirty-two blocks: too
// many to learn, few enough to stay in the cache as a host's buffers do.
struct NoiseTape
{
  static constexpr int kFrames = 32 * kBlock;
  std::vector<double> l, r;
  int pos = 0;
  double* ptrs[2] = {};

  NoiseTape()
    : l(kFrames),
      r(kFrames)
  {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    for (int i = 0; i < kFrames; ++i)
    {
      l[i] = dist(rng);
      r[i] = dist(rng);
    }
  }

  double** Next()
  {
    pos = pos + 2 * kBlock > kFrames ? 0 : pos + kBlock;
    ptrs[0] = l.data() + pos;
    ptrs[1] = r.data() + pos;
    return ptrs;
  }
};

const NoiseTape& Tape()
{
  static const NoiseTape tape;
  return tape;
}

struct Bench
{
  TReverb reverb;
  Block in, out;
  std::mt19937 rng{42};

  Bench()
  {
    reverb.SetSampleRate(kRate);
    quillon::ApplyFactoryPreset(quillon::FactoryPreset("Large Hall"), reverb);
  }

  void FillNoise(double gain)
  {
    std::uniform_real_distribution<double> dist(-gain, gain);
    for (int i = 0; i < kBlock; ++i)
    {
      in.l[i] = dist(rng);
      in.r[i] = dist(rng);
    }
  }

  void FillSilence()
  {
    std::fill(in.l.begin(), in.l.end(), 0.0);
    std::fill(in.r.begin(), in.r.end(), 0.0);
  }

  // Feeds `seconds` of input through the engine, loud noise or silence.
  void Feed(double seconds, bool noise)
  {
    const long blocks = static_cast<long>(seconds * kRate / kBlock);
    for (long b = 0; b < blocks; ++b)
    {
      noise ? FillNoise(1.0) : FillSilence();
      reverb.ProcessBlock(in.ptrs, out.ptrs, kBlock);
    }
  }
};

void ReportPerFrame(benchmark::State& state)
{
  // Seconds per stereo frame, printed with its SI prefix (n = nanoseconds).
  state.counters["per_frame"] =
      benchmark::Counter(kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Processes the block b.in again and again, or, with `tape`, the tape's
// blocks one after the other.
template <bool kStaged>
void Process(benchmark::State& state, Bench& b, NoiseTape* tape = nullptr)
{
  for (auto _ : state)
  {
    double** in = tape ? tape->Next() : b.in.ptrs;
    if (kStaged)
      b.reverb.ProcessBlock(in, b.out.ptrs, kBlock);
    else
      b.reverb.ProcessBlockPerFrame(in, b.out.ptrs, kBlock);
    benchmark::DoNotOptimize(b.out.l.data());
    benchmark::ClobberMemory();
  }
}

// Loud noise: the tank is busy everywhere.
template <bool kStaged>
void MeasureNoise(benchmark::State& state, Bench& b)
{
  NoiseTape tape = Tape();
  b.Feed(2.0, true);
  Process<kStaged>(state, b, &tape);
  ReportPerFrame(state);
}

template <bool kStaged>
void BM_Noise(benchmark::State& state)
{
  Bench b;
  MeasureNoise<kStaged>(state, b);
}

// The same noise on single-precision buffers, as most hosts give them.
void BM_NoiseSingle(benchmark::State& state)
{
  Bench b;
  b.Feed(2.0, true);
  const NoiseTape& tape = Tape();
  std::vector<float> l(tape.l.begin(), tape.l.end()), r(tape.r.begin(), tape.r.end());
  std::vector<float> outL(kBlock), outR(kBlock);
  float* out[2] = {outL.data(), outR.data()};
  int pos = 0;
  for (auto _ : state)
  {
    pos = pos + 2 * kBlock > NoiseTape::kFrames ? 0 : pos + kBlock;
    float* in[2] = {l.data() + pos, r.data() + pos};
    b.reverb.ProcessBlock(in, out, kBlock);
    benchmark::DoNotOptimize(outL.data());
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state);
}

// The same, with the staged path compiled for one processor generation.
void BM_NoiseVersion(benchmark::State& state)
{
  Bench b;
  if (!b.reverb.UseProcessorVersion(static_cast<TReverb::EProcessorVersion>(state.range(0))))
    state.SkipWithError("this processor cannot run that version");
  else
    MeasureNoise<true>(state, b);
}

// Silence right after ten seconds of loud noise: the tail rings on.
template <bool kStaged>
void BM_SilenceAfterNoise(benchmark::State& state)
{
  Bench b;
  b.Feed(10.0, true);
  b.FillSilence();
  Process<kStaged>(state, b);
  ReportPerFrame(state);
}

// Silence long after the noise. With "Large Hall" the tail reaches the smallest
// normal numbers after about 760 s and passes through the subnormal ones until
// about 800 s; after that the tank is silent and the damping filters rest on
// subnormal states for good.
template <bool kStaged>
void BM_SilenceLongAfterNoise(benchmark::State& state)
{
  Bench b;
  b.Feed(10.0, true);
  b.Feed(state.range(0), false);
  b.FillSilence();
  Process<kStaged>(state, b);
  ReportPerFrame(state);
}
} // namespace

BENCHMARK(BM_Noise<true>)->Name("ProcessBlock/noise");
BENCHMARK(BM_Noise<false>)->Name("PerFrame/noise");
BENCHMARK(BM_NoiseSingle)->Name("ProcessBlock/noise/single_precision");
BENCHMARK(BM_NoiseVersion)->Name("ProcessBlock/noise/version")->ArgName("baseline0_avx2_1_avx512_2")->DenseRange(0, 2);
BENCHMARK(BM_SilenceAfterNoise<true>)->Name("ProcessBlock/silence_after_10s_noise");
BENCHMARK(BM_SilenceAfterNoise<false>)->Name("PerFrame/silence_after_10s_noise");
BENCHMARK(BM_SilenceLongAfterNoise<true>)
    ->Name("ProcessBlock/silence_after_noise_then_silence_s")
    ->Arg(300)
    ->Arg(600)
    ->Arg(780)
    ->Arg(900);
BENCHMARK(BM_SilenceLongAfterNoise<false>)->Name("PerFrame/silence_after_noise_then_silence_s")->Arg(900);
