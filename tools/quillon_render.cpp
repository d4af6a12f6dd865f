// quillon-render: reverberates an audio file (or the built-in demo) through a
// VST 2 plug-in, QuillonMini by default, and writes the result with its tail.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plug/Config.h"
#include "plug/IPresetFile.h"
#include "tools/RenderOptions.h"
#include "tools/RenderSource.h"
#include "tools/Text.h"
#include "tools/VstHost.h"

namespace {
constexpr double kSilenceThreshold = 3.1622776601683795e-5; // -90 dBFS
constexpr double kQuietSpanSeconds = 0.25;                  // so long below it ends the tail
constexpr double kTailGuessSeconds = 5.0;                   // for the progress bar only

std::atomic<bool> gInterrupted{false};
// The output being written, removed if the process dies on a fatal signal.
char gPartialPath[PATH_MAX + 16] = {};

void OnSignal(int)
{
  gInterrupted = true;
}

// A crashing plug-in must not leave a partial output behind. The sanitizers
// keep their own handlers, whose reports say more.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
void OnFatalSignal(int signal)
{
  // Only async-signal-safe calls here.
  if (gPartialPath[0])
    unlink(gPartialPath);
  char message[] = "quillon-render: fatal signal ?? while rendering; nothing written\n";
  char* digits = std::strchr(message, '?');
  digits[0] = static_cast<char>(signal >= 10 ? '0' + signal / 10 % 10 : ' ');
  digits[1] = static_cast<char>('0' + signal % 10);
  if (digits[0] == ' ')
    std::memmove(digits, digits + 1, std::strlen(digits));
  (void)!write(STDERR_FILENO, message, std::strlen(message));
  _exit(1);
}

void CatchFatalSignals()
{
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
    std::signal(s, OnFatalSignal);
}
#else
void CatchFatalSignals() {}
#endif

int Fail(const std::string& message, int status = 1)
{
  std::fprintf(stderr, "quillon-render: %s\n", message.c_str());
  return status;
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

std::string DefaultOutput(const RenderOptions& options)
{
  if (options.input.empty())
    return "quillon-demo.wav";
  const std::string ext = Extension(options.input);
  const std::string stem = ext.empty() ? options.input : options.input.substr(0, options.input.size() - ext.size() - 1);
  return stem + "-reverb.wav";
}

// The plug-in built together with this program: ../QuillonMini.so from the
// folder the executable lies in.
std::string DefaultPluginPath()
{
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0)
    return "QuillonMini.so";
  std::string path(self, static_cast<size_t>(length)); // .../build/tools/quillon-render
  for (int up = 0; up < 2 && path.find_last_of('/') != std::string::npos; ++up)
    path.erase(path.find_last_of('/'));
  return path + "/QuillonMini.so";
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
  ProgressBar(bool enabled, long total)
    : mEnabled(enabled && isatty(STDERR_FILENO)),
      mTotal(std::max(1L, total))
  {
  }

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
    if (mTemp.size() >= sizeof gPartialPath)
    {
      error = "output path too long: '" + path + "'";
      return false;
    }
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
    std::snprintf(gPartialPath, sizeof gPartialPath, "%s", mTemp.c_str());
    sf_command(mFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
  }

  // Collects the output and writes it in large pieces: few system calls
  // between the plug-in's processing calls.
  bool Write(const double* interleaved, long frames)
  {
    mPending.insert(mPending.end(), interleaved, interleaved + 2 * frames);
    return static_cast<long>(mPending.size()) < 2 * kChunkFrames || Flush();
  }

  bool Flush()
  {
    const sf_count_t frames = static_cast<sf_count_t>(mPending.size() / 2);
    const bool written = sf_writef_double(mFile, mPending.data(), frames) == frames;
    mPending.clear();
    return written;
  }

  bool Commit(std::string& error)
  {
    const bool flushed = Flush();
    const int status = sf_close(mFile);
    mFile = nullptr;
    gPartialPath[0] = 0;
    if (!flushed || status != 0 || std::rename(mTemp.c_str(), mPath.c_str()) != 0)
    {
      error = "cannot finish writing '" + mPath + "': " + std::strerror(errno);
      std::remove(mTemp.c_str());
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
      gPartialPath[0] = 0;
    }
  }

private:
  static constexpr long kChunkFrames = 65536;
  std::string mPath, mTemp;
  SNDFILE* mFile = nullptr;
  std::vector<double> mPending; // interleaved stereo not yet written
};

// A plain value as the plug-in shows it: a number, optionally followed by the
// parameter's unit ("4.5", "4.5 s", "40%").
bool SplitPlainValue(const std::string& text, const std::string& label, std::string& number)
{
  std::string value = Trimmed(text);
  if (!value.empty() && value[0] == '+')
    value.erase(0, 1);
  const char* first = value.c_str();
  const char* last = first + value.size();
  double parsed;
  const auto [end, ec] = std::from_chars(first, last, parsed);
  if (ec != std::errc() || !std::isfinite(parsed))
    return false;
  const std::string unit = Trimmed(std::string(end, last));
  if (!unit.empty() && !SameIgnoringCase(unit, Trimmed(label)))
    return false;
  number.assign(first, end);
  return true;
}

std::string ParamNames(VstHost& host)
{
  std::string names;
  for (int k = 0; k < host.NumParams() && k < 16; ++k)
    names += (k ? ", " : "") + Trimmed(host.ParamName(k));
  if (host.NumParams() > 16)
    names += ", ...";
  return names.empty() ? "none" : names;
}

// Plug-ins clamp plain values silently. A value that landed on an end of the
// range although the plug-in shows something else there was out of range:
// further from the shown number than its last digit can explain. Displays
// that are not numbers cannot tell and pass.
bool WithinRange(VstHost& host, int index, const std::string& requested)
{
  const float normalised = host.ParamValue(index);
  if (normalised > 0.0f && normalised < 1.0f)
    return true;
  const std::string display = Trimmed(host.ParamDisplay(index));
  const char* first = display.c_str();
  double shown, wanted;
  const auto [end, ec] = std::from_chars(first, first + display.size(), shown);
  if (ec != std::errc() ||
      std::from_chars(requested.data(), requested.data() + requested.size(), wanted).ec != std::errc())
    return true;
  const char* dot = std::find(first, end, '.');
  const long decimals = dot == end ? 0 : end - dot - 1;
  const double tolerance = 0.5 * std::pow(10.0, static_cast<double>(-decimals)) * (1.0 + 1e-9);
  return std::fabs(wanted - shown) <= tolerance;
}

bool ApplyParam(VstHost& host, const ParamAssignment& assignment, std::string& error)
{
  const int index = host.FindParam(assignment.name);
  if (index < 0)
  {
    error = "unknown parameter '" + assignment.name + "' (the plug-in has: " + ParamNames(host) + ")";
    return false;
  }
  const std::string name = Trimmed(host.ParamName(index));
  if (assignment.normalised)
  {
    host.SetParamValue(index, static_cast<float>(assignment.normalisedValue));
    return true;
  }
  std::string number;
  if (!SplitPlainValue(assignment.value, host.ParamLabel(index), number))
  {
    error = "'" + assignment.value + "' is not a number (parameter " + name + ")";
    return false;
  }
  if (!host.SetParamFromText(index, number))
  {
    error = "the plug-in refused the value " + number + " for " + name + " (try -n " + name + "=0..1)";
    return false;
  }
  if (!WithinRange(host, index, number))
  {
    const std::string label = Trimmed(host.ParamLabel(index));
    const float value = host.ParamValue(index);
    error = name + " " + number + " is out of range (the plug-in's " + (value <= 0.0f ? "lowest" : "highest") + " is " +
        Trimmed(host.ParamDisplay(index)) + (label.empty() ? "" : " " + label) + ")";
    return false;
  }
  return true;
}

// The bytes of the preset files asked for, read before the plug-in is loaded.
struct PresetFiles
{
  std::vector<uint8_t> program, bank;
};

bool ReadPresetFiles(const RenderOptions& options, PresetFiles& files, std::string& error)
{
  return (options.fxb.empty() || plug::IPresetFile::ReadFile(options.fxb.c_str(), files.bank, &error)) &&
      (options.fxp.empty() || plug::IPresetFile::ReadFile(options.fxp.c_str(), files.program, &error));
}

// Both files checked against the plug-in before either is applied.
bool ParsePresetFiles(VstHost& host, const RenderOptions& options, const PresetFiles& files,
                      plug::IPresetFile::Program& program, plug::IPresetFile::Bank& bank, std::string& error)
{
  const plug::IPresetFile::Target target = host.PresetFileTarget();
  std::string reason;
  if (!options.fxb.empty() &&
      (!plug::IPresetFile::ParseBank(files.bank.data(), files.bank.size(), target, bank, &reason) || !bank.complete))
  {
    error = "'" + options.fxb + "': " + reason;
    return false;
  }
  if (!options.fxp.empty() &&
      !plug::IPresetFile::ParseProgram(files.program.data(), files.program.size(), target, program, &reason))
  {
    error = "'" + options.fxp + "': " + reason;
    return false;
  }
  return true;
}

// Files, then the program, then the single parameters, each on top of the last.
bool ApplySettings(VstHost& host, const RenderOptions& options, const PresetFiles& files, std::string& error)
{
  plug::IPresetFile::Program program;
  plug::IPresetFile::Bank bank;
  if (!ParsePresetFiles(host, options, files, program, bank, error))
    return false;
  if (!options.fxb.empty() && !host.ApplyBank(bank, error))
  {
    error = "'" + options.fxb + "': " + error;
    return false;
  }
  if (!options.program.empty())
  {
    const int index = host.FindProgram(options.program);
    if (index < 0)
    {
      error = "no program '" + options.program + "' (the plug-in has " + std::to_string(host.NumPrograms()) +
          "; see --list)";
      return false;
    }
    host.SetProgram(index);
  }
  if (!options.fxp.empty() && !host.ApplyProgram(program, error))
  {
    error = "'" + options.fxp + "': " + error;
    return false;
  }
  for (const ParamAssignment& assignment : options.params)
    if (!ApplyParam(host, assignment, error))
      return false;
  return true;
}

std::string Describe(VstHost& host, const std::string& path)
{
  const std::string name = Trimmed(host.EffectName());
  return name.empty() ? path.substr(path.find_last_of('/') + 1) : name;
}

std::string ParamSummary(VstHost& host)
{
  std::string summary;
  for (int k = 0; k < host.NumParams() && k < 8; ++k)
  {
    const std::string label = Trimmed(host.ParamLabel(k));
    summary += (k ? ", " : "") + Trimmed(host.ParamName(k)) + " " + Trimmed(host.ParamDisplay(k)) +
        (label.empty() ? "" : " " + label);
  }
  if (host.NumParams() > 8)
    summary += ", ...";
  return summary;
}

int ListPlugin(VstHost& host, const std::string& path)
{
  const uint32_t id = host.UniqueId();
  std::printf("%s by %s\n", Describe(host, path).c_str(), Trimmed(host.VendorName()).c_str());
  std::printf("file:      %s\n", path.c_str());
  std::printf("unique id: '%s' (0x%08X), version %d\n", plug::FourCCText(static_cast<int32_t>(id)).c_str(), id,
              host.Version());
  std::printf("audio:     %d in, %d out, %s precision\n", host.NumInputs(), host.NumOutputs(),
              host.CanProcessDouble() ? "single and double" : "single");
  std::printf("parameters (%d):\n", host.NumParams());
  for (int k = 0; k < host.NumParams(); ++k)
  {
    const std::string label = Trimmed(host.ParamLabel(k));
    const std::string display = Trimmed(host.ParamDisplay(k)) + (label.empty() ? "" : " " + label);
    std::printf("  %3d  %-24s %-16s (%.4f)\n", k, Trimmed(host.ParamName(k)).c_str(), display.c_str(),
                static_cast<double>(host.ParamValue(k)));
  }
  const int current = host.CurrentProgram();
  std::printf("programs (%d):\n", host.NumPrograms());
  for (int k = 0; k < host.NumPrograms(); ++k)
    std::printf("%s %3d  %s\n", k == current ? " *" : "  ", k, host.ProgramName(k).c_str());
  return 0;
}

int WriteNoise(const RenderOptions& options)
{
  std::string error;
  int format;
  if (!OutputFormat(options.output, SF_FORMAT_WAV | SF_FORMAT_FLOAT, options.demoRate, format, error))
    return Fail(error);
  RenderSource noise;
  noise.MakeNoise(options.demoRate, options.noiseSeconds);
  OutputFile output;
  if (!output.Open(options.output, format, options.demoRate, error))
    return Fail(error);
  std::vector<double> interleaved(2 * 65536);
  long n;
  while ((n = noise.Read(interleaved.data(), 65536)) > 0)
    if (!output.Write(interleaved.data(), n))
      return Fail("cannot write '" + options.output + "' (disk full?)");
  if (!output.Commit(error))
    return Fail(error);
  if (!options.quiet)
    std::fprintf(stderr, "wrote %s: %g s of stereo white noise at %d Hz\n", options.output.c_str(),
                 options.noiseSeconds, options.demoRate);
  return 0;
}

std::string PluginPath(const RenderOptions& options)
{
  if (options.plugin.empty())
    return DefaultPluginPath();
  // dlopen searches the library path for bare names; a file is meant.
  return options.plugin.find('/') == std::string::npos ? "./" + options.plugin : options.plugin;
}

bool LoadPlugin(VstHost& host, const RenderOptions& options, std::string& error)
{
  const std::string path = PluginPath(options);
  if (options.plugin.empty() && access(path.c_str(), F_OK) != 0)
  {
    error = "no plug-in at '" + path + "' (build the QuillonMini target, or name one with --plugin PATH)";
    return false;
  }
  return host.Load(path, error);
}
} // namespace

int main(int argc, char** argv)
{
  RenderOptions options;
  std::string error;
  if (!RenderOptions::Parse(argc, argv, options, error))
    return Fail(error, 2);
  if (options.help)
  {
    RenderOptions::PrintUsage(stdout);
    return 0;
  }
  CatchFatalSignals();
  if (options.noiseSeconds >= 0.0)
    return WriteNoise(options);

  VstHost host;
  if (options.list)
  {
    if (!LoadPlugin(host, options, error) || !host.Prepare(options.demoRate, options.block, error))
      return Fail(error);
    return ListPlugin(host, PluginPath(options));
  }

  // Everything that can be checked without the plug-in first.
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
  PresetFiles presetFiles;
  if (!ReadPresetFiles(options, presetFiles, error))
    return Fail(error);

  const int rate = source.SampleRate();
  if (!LoadPlugin(host, options, error) || !host.Prepare(rate, options.block, error) ||
      !ApplySettings(host, options, presetFiles, error) || !host.Start(options.doublePrecision, error))
    return Fail(error);

  OutputFile output;
  if (!output.Open(options.output, format, rate, error))
    return Fail(error);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  const long maxTailFrames = std::lround((options.fixedTail >= 0 ? options.fixedTail : options.maxTail) * rate);
  const long tailGuess = host.TailFrames() > 0 ? host.TailFrames() : std::lround(kTailGuessSeconds * rate);
  const long expectedTail = options.fixedTail >= 0 ? maxTailFrames : std::min(maxTailFrames, tailGuess);
  ProgressBar progress(!options.quiet, source.TotalFrames() + expectedTail);

  const int block = options.block;
  std::vector<double> interleaved(2 * block), left(block), right(block);
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
    host.ProcessStereo(left.data(), right.data(), left.data(), right.data(), static_cast<int>(n));
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
      // NaN counts as loud: a plug-in that produces it does not end quietly.
      quietFrames = peak < kSilenceThreshold ? quietFrames + n : 0;
      if (quietFrames >= quietSpan)
        break;
    }
    if (inputEnded && tail >= maxTailFrames)
      break;
  }
  host.Stop();
  progress.Update(done, true);
  progress.Finish();
  if (gInterrupted)
    return Fail("interrupted; nothing written");
  if (!output.Commit(error))
    return Fail(error);

  if (!options.quiet)
  {
    const double seconds = static_cast<double>(done) / rate;
    const double cpu = host.ProcessingCpuSeconds();
    const std::string programName = host.NumPrograms() > 0 ? Trimmed(host.ProgramName(host.CurrentProgram())) : "";
    std::fprintf(stderr, "wrote %s: %.2f s at %d Hz (%s through %s%s%s%s: %s)\n", options.output.c_str(), seconds, rate,
                 source.IsDemo() ? "built-in demo" : options.input.c_str(), Describe(host, PluginPath(options)).c_str(),
                 programName.empty() ? "" : ", program \"", programName.c_str(), programName.empty() ? "" : "\"",
                 ParamSummary(host).c_str());
    std::fprintf(
        stderr, "cpu: %.6f s in processing for %.3f s of audio, realtime factor %.1f (%s precision, block %d)\n", cpu,
        seconds, cpu > 0.0 ? seconds / cpu : 0.0, options.doublePrecision ? "double" : "single", options.block);
  }
  host.Unload();
  return 0;
}
