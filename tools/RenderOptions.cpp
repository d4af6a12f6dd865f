#include "tools/RenderOptions.h"

#include <charconv>
#include <cmath>

namespace {
bool ParseNumber(const std::string& text, double& value)
{
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, ec] = std::from_chars(first, last, value);
  return !text.empty() && ec == std::errc() && end == last && std::isfinite(value);
}

bool ParseWhole(const std::string& text, int min, int max, int& value)
{
  double number;
  if (!ParseNumber(text, number) || number != std::floor(number) || number < min || number > max)
    return false;
  value = static_cast<int>(number);
  return true;
}

bool ParseAssignment(const std::string& text, bool normalised, ParamAssignment& out, std::string& error)
{
  const char* option = normalised ? "-n" : "-p";
  const size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0)
  {
    error = std::string("expected NAME=VALUE after ") + option + ", got '" + text + "'";
    return false;
  }
  out.name = text.substr(0, eq);
  out.value = text.substr(eq + 1);
  out.normalised = normalised;
  if (normalised &&
      (!ParseNumber(out.value, out.normalisedValue) || out.normalisedValue < 0.0 || out.normalisedValue > 1.0))
  {
    error = "'" + out.value + "' is not a normalised value from 0 to 1 (parameter " + out.name + ")";
    return false;
  }
  if (!normalised && out.value.empty())
  {
    error = "no value for parameter " + out.name;
    return false;
  }
  return true;
}
} // namespace

void RenderOptions::PrintUsage(FILE* to)
{
  std::fprintf(
      to,
      "usage: quillon-render [INPUT] [-o OUTPUT] [options]\n"
      "Reverberates INPUT (any file libsndfile reads: WAV, FLAC, AIFF, OGG, ...) through a VST 2 plug-in,\n"
      "by default the QuillonMini.so built beside this program. Without INPUT a built-in demo phrase is used.\n"
      "\n"
      "  -o, --output FILE      where to write (default: INPUT-reverb.wav, or quillon-demo.wav);\n"
      "                         the format follows the extension: .wav .flac .aiff .aif .ogg\n"
      "      --plugin PATH      the VST 2 plug-in (.so) to load instead of QuillonMini\n"
      "      --list             show the plug-in's name, parameters and programs, then exit\n"
      "      --program N|NAME   select a program by index or by name\n"
      "      --fxb FILE         load a bank file (.fxb) into the plug-in\n"
      "      --fxp FILE         load a program file (.fxp) into the current program\n"
      "  -p, --param NAME=VALUE set a parameter (name as --list shows it) to a plain value, e.g. Decay=4.5\n"
      "  -n, --norm NAME=VALUE  set a parameter to a normalised value from 0 to 1\n"
      "                         (files first, then the program, then -p/-n in the order given)\n"
      "      --double           process in double precision (default: single)\n"
      "      --block FRAMES     processing block size, 1 to 65536 (default 512)\n"
      "      --tail SECONDS     fixed tail after the input (default: until below -90 dBFS)\n"
      "      --max-tail SECONDS longest automatic tail (default 60)\n"
      "      --demo-rate HZ     sample rate of the built-in demo and of --make-noise (default 48000)\n"
      "      --make-noise SECONDS  write that much stereo white noise to OUTPUT and exit (no plug-in)\n"
      "  -q, --quiet            no progress bar and no summary\n"
      "  -h, --help             this text\n");
}

bool RenderOptions::Parse(int argc, const char* const* argv, RenderOptions& out, std::string& error)
{
  RenderOptions options;
  for (int i = 1; i < argc; ++i)
  {
    const std::string arg = argv[i];
    std::string text;
    auto value = [&](const char* what) {
      if (i + 1 >= argc)
      {
        error = arg + " needs " + what;
        return false;
      }
      text = argv[++i];
      return true;
    };
    // A file name from an empty shell variable must not fall back to a default.
    auto fileName = [&](const char* what) {
      if (!value(what))
        return false;
      if (text.empty())
        error = arg + " needs " + what + ", got an empty one";
      return !text.empty();
    };
    auto seconds = [&](double& target) {
      if (!value("seconds"))
        return false;
      if (!ParseNumber(text, target) || target < 0.0 || target > 3600.0)
      {
        error = arg + " needs seconds from 0 to 3600, got '" + text + "'";
        return false;
      }
      return true;
    };

    if (arg == "-h" || arg == "--help")
      options.help = true;
    else if (arg == "-q" || arg == "--quiet")
      options.quiet = true;
    else if (arg == "--double")
      options.doublePrecision = true;
    else if (arg == "--list")
      options.list = true;
    else if (arg == "-o" || arg == "--output")
    {
      if (!fileName("a file name"))
        return false;
      options.output = text;
    }
    else if (arg == "--plugin")
    {
      if (!fileName("the path of a plug-in"))
        return false;
      options.plugin = text;
    }
    else if (arg == "--program")
    {
      if (!value("a program index or name"))
        return false;
      options.program = text;
    }
    else if (arg == "--fxp" || arg == "--fxb")
    {
      if (!fileName("a file name"))
        return false;
      (arg == "--fxp" ? options.fxp : options.fxb) = text;
    }
    else if (arg == "-p" || arg == "--param" || arg == "-n" || arg == "--norm")
    {
      if (!value("NAME=VALUE"))
        return false;
      ParamAssignment assignment;
      if (!ParseAssignment(text, arg == "-n" || arg == "--norm", assignment, error))
        return false;
      options.params.push_back(assignment);
    }
    else if (arg == "--tail")
    {
      if (!seconds(options.fixedTail))
        return false;
    }
    else if (arg == "--max-tail")
    {
      if (!seconds(options.maxTail))
        return false;
    }
    else if (arg == "--make-noise")
    {
      if (!seconds(options.noiseSeconds))
        return false;
    }
    else if (arg == "--block")
    {
      if (!value("a number of frames"))
        return false;
      if (!ParseWhole(text, 1, 65536, options.block))
      {
        error = "--block needs a whole number of frames from 1 to 65536, got '" + text + "'";
        return false;
      }
    }
    else if (arg == "--demo-rate")
    {
      if (!value("a sample rate"))
        return false;
      if (!ParseWhole(text, 8000, 384000, options.demoRate))
      {
        error = "--demo-rate needs a whole number of Hz from 8000 to 384000, got '" + text + "'";
        return false;
      }
    }
    else if (arg.size() > 1 && arg[0] == '-')
    {
      error = "unknown option '" + arg + "' (see --help)";
      return false;
    }
    else if (arg.empty())
    {
      error = "an empty input file name (leave it out for the built-in demo)";
      return false;
    }
    else if (options.input.empty())
      options.input = arg;
    else
    {
      error = "only one input file, got '" + options.input + "' and '" + arg + "'";
      return false;
    }
  }
  if (options.noiseSeconds >= 0.0 && options.output.empty() && !options.help)
  {
    error = "--make-noise needs -o FILE";
    return false;
  }
  out = std::move(options);
  return true;
}
