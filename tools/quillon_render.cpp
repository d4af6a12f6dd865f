// quillon-render: reverberates an audio file (or the built-in demo) through
// the QuillonMini engine and writes the result with its tail.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/dsp.h"
#include "tools/RenderSource.h"

namespace
{
constexpr double kSilenceThreshold = 3.1622776601683795e-5; // -90 dBFS
constexpr double kQuietSpanSeconds = 0.25;                    // so long below it ends the tail

std::atomic<bool> gInterrupted{false};

void OnSignal(int)
{
  gInterrupted = true;
}

struct ParamSpec
{
  const char* name;
  double min, max, def;
  const char* unit;
};

// The engine's settings, by the effect's parameter index.
constexpr ParamSpec kParams[] = {
  {"Decay", 0.1, 100.0, 3.2, "s"},
  {"Width", 0.0, 200.0, 150.0, "%"},
  {"Color", -100.0, 100.0, 0.0, ""},
  {"Mix", 0.0, 100.0, 21.0, "%"},
};

struct Options
{
  std::string input, output;
  double values[4] = {kParams[0].def, kParams[1].def, kParams[2].def, kParams[3].def};
  double fixedTail = -1.0; // < 0: until the tail falls below -90 dBFS
  double maxTail = 60.0;
  int block = 512;
  int demoRate = 48000;
  bool quiet = false;
};

void PrintUsage(FILE* to)
{
  std::fprintf(to,
               "usage: quillon-render [INPUT] [-o OUTPUT] [-p NAME=VALUE]... [options]\n"
               "Reverberates INPUT (any file libsndfile reads: WAV, FLAC, AIFF, OGG, ...) through QuillonMini.\n"
               "Without INPUT a built-in demo phrase is used.\n\n"
               "  -o, --output FILE      where to write (default: INPUT-reverb.wav, or quillon-demo.wav);\n"
               "                         the format follows the extension: .wav .flac .aiff .aif .ogg\n"
               "  -p, --param NAME=VALUE set a parameter by name to a plain value:\n");
  for (const ParamSpec& p : kParams)
    std::fprintf(to, "                           %-6s %g to %g%s (default %g)\n", p.name, p.min, p.max, p.unit, p.def);
  std::fprintf(to,
               "      --tail SECONDS     fixed tail after the input (default: until below -90 dBFS)\n"
               "      --max-tail SECONDS longest automatic tail (default 60)\n"
               "      --block FRAMES     processing block size (default 512)\n"
               "      --demo-rate HZ     sample rate of the built-in demo (default 48000)\n"
               "  -q, --quiet            no progress bar\n"
               "  -h, --help             this text\n");
}

bool ParseNumber(const std::string& text, double& value)
{
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last && std::isfinite(value);
}

bool EqualsIgnoringCase(const std::string& a, const char* b)
{
  if (a.size() != std::strlen(b))
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool SetParam(Options& options, const std::string& assignment, std::string& error)
{
  const size_t eq = assignment.find('=');
  if (eq == std::string::npos)
  {
    error = "expected NAME=VALUE after -p, got '" + assignment + "'";
    return false;
  }
  const std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
  for (int k = 0; k < 4; ++k)
  {
    if (!EqualsIgnoringCase(name, kParams[k].name))
      continue;
    double value;
    if (!ParseNumber(text, value))
    {
      error = "'" + text + "' is not a number (parameter " + kParams[k].name + ")";
      return false;
    }
    if (value < kParams[k].min || value > kParams[k].max)
    {
      char range[96];
      std::snprintf(range, sizeof range, "%g to %g", kParams[k].min, kParams[k].max);
      error = std::string(kParams[k].name) + " " + text + " is out of range (" + range + ")";
      return false;
    }
    options.values[k] = value;
    return true;
  }
  error = "unknown parameter '" + name + "' (known: Decay, Width, Color, Mix)";
  return false;
}

// Returns 0 to go on, or the exit status.
int ParseArguments(int argc, char** argv, Options& options)
{
  auto fail = [](const std::string& message) {
    std::fprintf(stderr, "quillon-render: %s\n", message.c_str());
    return 2;
  };
  for (int i = 1; i < argc; ++i)
  {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc)
        return false;
      out = argv[++i];
      return true;
    };
    auto number = [&](double& out, double min, double max) {
      std::string text;
      return value(text) && ParseNumber(text, out) && out >= min && out <= max;
    };
    std::string text, error;
    double number_;
    if (arg == "-h" || arg == "--help")
    {
      PrintUsage(stdout);
      return -1;
    }
    else if (arg == "-q" || arg == "--quiet")
      options.quiet = true;
    else if (arg == "-o" || arg == "--output")
    {
      if (!value(options.output))
        return fail("-o needs a file name");
    }
    else if (arg == "-p" || arg == "--param")
    {
      if (!value(text))
        return fail("-p needs NAME=VALUE");
      if (!SetParam(options, text, error))
        return fail(error);
    }
    else if (arg == "--tail")
    {
      if (!number(options.fixedTail, 0.0, 3600.0))
        return fail("--tail needs seconds from 0 to 3600");
    }
    else if (arg == "--max-tail")
    {
      if (!number(options.maxTail, 0.0, 3600.0))
        return fail("--max-tail needs seconds from 0 to 3600");
    }
    else if (arg == "--block")
    {
      if (!number(number_, 1, 65536) || number_ != std::floor(number_))
        return fail("--block needs a whole number of frames from 1 to 65536");
      options.block = static_cast<int>(number_);
    }
    else if (arg == "--demo-rate")
    {
      if (!number(number_, 8000, 384000) || number_ != std::floor(number_))
        return fail("--demo-rate needs a whole number of Hz from 8000 to 384000");
      options.demoRate = static_cast<int>(number_);
    }
    else if (arg.size() > 1 && arg[0] == '-')
      return fail("unknown option '" + arg + "' (see --help)");
    else if (options.input.empty())
      options.input = arg;
    else
      return fail("only one input file, got '" + options.input + "' and '" + arg + "'");
  }
  return 0;
}

std::string Extension(const std::string& path)
{
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return "";
  std::string ext = path.substr(dot + 1);
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string DefaultOutput(const Options& options)
{
  if (options.input.empty())
    return "quillon-demo.wav";
  const std::string ext = Extension(options.input);
  const std::string stem = ext.empty() ? options.input : options.input.substr(0, options.input.size() - ext.size() - 1);
  return stem + "-reverb.wav";
}

// The output format from the file name, keeping the input's sample format
// when both are of the same kind.
bool OutputFormat(const std::string& path, int inputFormat, int rate, int& format, std::string& error)
{
  const std::string ext = Extension(path);
  int major;
  int subtype = SF_FORMAT_PCM_24;
  if (ext == "wav")
    major = SF_FORMAT_WAV;
  else if (ext == "flac")
    major = SF_FORMAT_FLAC;
  else if (ext == "aiff" || ext == "aif")
    major = SF_FORMAT_AIFF;
  else if (ext == "ogg")
    major = SF_FORMAT_OGG, subtype = SF_FORMAT_VORBIS;
  else
  {
    error = "cannot tell the output format from '" + path + "' (use .wav, .flac, .aiff or .ogg)";
    return false;
  }
  format = major | subtype;
  if ((inputFormat & SF_FORMAT_TYPEMASK) == major)
    format = inputFormat;
  SF_INFO check{};
  check.samplerate = rate;
  check.channels = 2;
  check.format = format;
  if (!sf_format_check(&check))
  {
    error = "libsndfile cannot write '" + path + "' at " + std::to_string(rate) + " Hz in stereo";
    return false;
  }
  return true;
}

class ProgressBar
{
public:
  ProgressBar(bool enabled, long total) : mEnabled(enabled && isatty(STDERR_FILENO)), mTotal(std::max(1L, total)) {}

  void Update(long done, bool force = false)
  {
    if (!mEnabled)
      return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - mLast < std::chrono::milliseconds(50))
      return;
    mLast = now;
    const double fraction = std::min(1.0, static_cast<double>(done) / mTotal);
    const int width = 40, filled = static_cast<int>(fraction * width);
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################", width - filled, "",
                 static_cast<int>(fraction * 100.0));
    std::fflush(stderr);
  }

  void Finish()
  {
    if (mEnabled)
      std::fprintf(stderr, "\n");
  }

private:
  bool mEnabled;
  long mTotal;
  std::chrono::steady_clock::time_point mLast{};
};

// Writes to a temporary file beside the output and renames it into place
// only when everything succeeded, so no half-written output is ever left.
class OutputFile
{
public:
  bool Open(const std::string& path, int format, int rate, std::string& error)
  {
    mPath = path;
    mTemp = path + ".partial";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    mFile = sf_open(mTemp.c_str(), SFM_WRITE, &info);
    if (!mFile)
    {
      error = "cannot write '" + path + "': " + sf_strerror(nullptr);
      return false;
    }
    sf_command(mFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
  }

  bool Write(const double* interleaved, long frames)
  {
    return sf_writef_double(mFile, interleaved, frames) == frames;
  }

  bool Commit(std::string& error)
  {
    const int status = sf_close(mFile);
    mFile = nullptr;
    if (status != 0 || std::rename(mTemp.c_str(), mPath.c_str()) != 0)
    {
      std::remove(mTemp.c_str());
      error = "cannot finish writing '" + mPath + "': " + std::strerror(errno);
      return false;
    }
    return true;
  }

  ~OutputFile()
  {
    if (mFile)
    {
      sf_close(mFile);
      std::remove(mTemp.c_str());
    }
  }

private:
  std::string mPath, mTemp;
  SNDFILE* mFile = nullptr;
};

int Fail(const std::string& message)
{
  std::fprintf(stderr, "quillon-render: %s\n", message.c_str());
  return 1;
}
} // namespace

int main(int argc, char** argv)
{
  Options options;
  if (const int status = ParseArguments(argc, argv, options))
    return status < 0 ? 0 : status;

  std::string error;
  RenderSource source;
  if (options.input.empty())
    source.MakeDemo(options.demoRate);
  else if (!source.OpenFile(options.input, error))
    return Fail(error);

  if (options.output.empty())
    options.output = DefaultOutput(options);
  int format;
  if (!OutputFormat(options.output, source.FileFormat(), source.SampleRate(), format, error))
    return Fail(error);

  TReverb reverb;
  if (!reverb.SetSampleRate(source.SampleRate()))
    return Fail("the engine does not run at " + std::to_string(source.SampleRate()) + " Hz");
  for (int k = 0; k < 4; ++k)
    reverb.SetParam(k, options.values[k]);

  OutputFile output;
  if (!output.Open(options.output, format, source.SampleRate(), error))
    return Fail(error);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  const int rate = source.SampleRate();
  const long maxTailFrames = std::lround((options.fixedTail >= 0 ? options.fixedTail : options.maxTail) * rate);
  const long expectedTail =
    options.fixedTail >= 0 ? maxTailFrames : std::min(maxTailFrames, std::lround((1.5 * options.values[0] + 0.3) * rate));
  ProgressBar progress(!options.quiet, source.TotalFrames() + expectedTail);

  const int block = options.block;
  std::vector<double> interleaved(2 * block), left(block), right(block);
  double* channels[2] = {left.data(), right.data()};
  long done = 0, tail = 0, quietFrames = 0;
  bool inputEnded = false;
  const long quietSpan = std::lround(kQuietSpanSeconds * rate);

  while (!gInterrupted)
  {
    long n = 0;
    if (!inputEnded)
    {
      n = source.Read(interleaved.data(), block);
      if (n < 0)
        return Fail("error while reading '" + options.input + "'");
      inputEnded = n < block;
    }
    if (n < block && inputEnded) // the tail: silence in after the input
    {
      const long room = std::min<long>(block - n, maxTailFrames - tail);
      std::fill(interleaved.begin() + 2 * n, interleaved.begin() + 2 * (n + room), 0.0);
      tail += room;
      n += room;
    }
    if (n == 0)
      break;
    for (long i = 0; i < n; ++i)
    {
      left[i] = interleaved[2 * i];
      right[i] = interleaved[2 * i + 1];
    }
    reverb.ProcessBlock(channels, channels, static_cast<int>(n));
    double peak = 0.0;
    for (long i = 0; i < n; ++i)
    {
      interleaved[2 * i] = left[i];
      interleaved[2 * i + 1] = right[i];
      peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    if (!output.Write(interleaved.data(), n))
      return Fail("cannot write '" + options.output + "' (disk full?)");
    done += n;
    progress.Update(done);

    if (inputEnded && options.fixedTail < 0)
    {
      quietFrames = peak < kSilenceThreshold ? quietFrames + n : 0;
      if (quietFrames >= quietSpan)
        break;
    }
    if (inputEnded && tail >= maxTailFrames)
      break;
  }
  progress.Update(done, true);
  progress.Finish();
  if (gInterrupted)
    return Fail("interrupted; nothing written");
  if (!output.Commit(error))
    return Fail(error);
  if (!options.quiet)
    std::fprintf(stderr, "wrote %s: %.2f s at %d Hz (%s, Decay %g s, Width %g %%, Color %g, Mix %g %%)\n",
                 options.output.c_str(), static_cast<double>(done) / rate, rate,
                 source.IsDemo() ? "built-in demo" : options.input.c_str(), options.values[0], options.values[1],
                 options.values[2], options.values[3]);
  return 0;
}
