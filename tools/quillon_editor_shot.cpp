// quillon-editor-shot: draws QuillonMini's editor without a display into a PNG file, at a scale,
// with a program and parameter values, optionally after a script of pointer events.

#include <stdlib.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/EditorSession.h"
#include "tools/Text.h"

namespace {

struct ShotOptions
{
  std::string output;
  float scale = 1.f;
  std::string program;
  std::vector<std::string> params; // NAME=VALUE, plain values
  std::vector<std::string> events;
  bool about = false;
};

void PrintUsage(FILE* to)
{
  std::fputs("usage: quillon-editor-shot OUTPUT.png [--scale S] [--program N|NAME] [-p NAME=VALUE]...\n"
             "                           [--about] [EVENT]...\n"
             "  --scale S        the editor's scale, 0.5 to 2 (default 1)\n"
             "  --program N|NAME the program shown (index from 0 or name)\n"
             "  -p NAME=VALUE    a parameter's plain value, as typed into its knob (after the program)\n"
             "  --about          the about box shown\n"
             "  EVENT            down:X,Y up:X,Y click:X,Y dblclick:X,Y drag:X,Y,DX,DY wheel:X,Y,D over:X,Y\n"
             "                   shift plain menu:N file:PATH wait:MS (points of the 340 x 160 editor)\n",
             to);
}

bool ParseFloat(const std::string& text, float& value)
{
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool ParseOptions(int argc, char** argv, ShotOptions& options, std::string& error)
{
  for (int i = 1; i < argc; ++i)
  {
    const std::string arg = argv[i];
    const auto next = [&](std::string& value) {
      if (i + 1 >= argc)
        return error = "missing value after " + arg, false;
      value = argv[++i];
      return true;
    };
    std::string value;
    if (arg == "-h" || arg == "--help")
    {
      PrintUsage(stdout);
      std::exit(0);
    }
    else if (arg == "--scale")
    {
      if (!next(value))
        return false;
      if (!ParseFloat(value, options.scale) || options.scale < 0.5f || options.scale > 2.f)
        return error = "the scale must be a number from 0.5 to 2, got '" + value + "'", false;
    }
    else if (arg == "--program")
    {
      if (!next(options.program))
        return false;
    }
    else if (arg == "-p")
    {
      if (!next(value))
        return false;
      options.params.push_back(value);
    }
    else if (arg == "--about")
      options.about = true;
    else if (options.output.empty() && arg.size() > 4 && arg.substr(arg.size() - 4) == ".png")
      options.output = arg;
    else
      options.events.push_back(arg);
  }
  if (options.output.empty())
    return error = "no OUTPUT.png given", false;
  return true;
}

bool SelectProgram(quillon::TQuillonMini& plug, const std::string& program, std::string& error)
{
  for (int i = 0; i < plug.NPresets(); ++i)
  {
    if (std::to_string(i) == program || SameIgnoringCase(plug.GetPresetName(i), program))
    {
      plug.SetCurrentPreset(i);
      return true;
    }
  }
  error = "no program '" + program + "'";
  return false;
}

bool SetParameter(quillon::TQuillonMini& plug, const std::string& assignment, std::string& error)
{
  const std::size_t eq = assignment.find('=');
  const std::string name = Trimmed(assignment.substr(0, eq));
  for (int i = 0; eq != std::string::npos && i < plug.NParams(); ++i)
  {
    plug::IParam* param = plug.GetParam(i);
    if (SameIgnoringCase(param->GetNameForHost(), name))
    {
      param->SetValue(param->StringToValue(assignment.substr(eq + 1).c_str()));
      plug.OnParamChange(i);
      return true;
    }
  }
  error = "expected NAME=VALUE with a parameter's name, got '" + assignment + "'";
  return false;
}

// The settings file (where the editor keeps its scale) goes to a folder of this run, so a shot
// never changes the user's settings.
struct PrivateSettingsFolder
{
  std::string path;
  PrivateSettingsFolder()
  {
    char pattern[] = "/tmp/quillon-editor-shot-XXXXXX";
    if (mkdtemp(pattern))
    {
      path = pattern;
      setenv("XDG_CONFIG_HOME", path.c_str(), 1);
    }
  }
  ~PrivateSettingsFolder()
  {
    std::error_code ignored;
    if (!path.empty())
      std::filesystem::remove_all(path, ignored);
  }
};

} // namespace

int main(int argc, char** argv)
{
  ShotOptions options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error))
  {
    std::fprintf(stderr, "quillon-editor-shot: %s\n", error.c_str());
    PrintUsage(stderr);
    return 2;
  }

  PrivateSettingsFolder settings;
  EditorSession session;
  quillon::TQuillonMini& plug = session.Plugin();
  if (!options.program.empty() && !SelectProgram(plug, options.program, error))
  {
    std::fprintf(stderr, "quillon-editor-shot: %s\n", error.c_str());
    return 2;
  }
  for (const std::string& assignment : options.params)
  {
    if (!SetParameter(plug, assignment, error))
    {
      std::fprintf(stderr, "quillon-editor-shot: %s\n", error.c_str());
      return 2;
    }
  }
  if (!session.Open())
  {
    std::fprintf(stderr, "quillon-editor-shot: the editor did not open\n");
    return 1;
  }
  session.UI().Resize(quillon::TQuillonMini::kEditorWidth, quillon::TQuillonMini::kEditorHeight, options.scale);
  session.Frame();
  if (options.about)
  {
    plug.OnHostRequestingAboutBox();
    session.RunFor(500);
  }
  for (const std::string& event : options.events)
  {
    if (!session.Apply(event, error))
    {
      std::fprintf(stderr, "quillon-editor-shot: %s\n", error.c_str());
      return 2;
    }
  }
  if (!session.WritePNG(options.output))
  {
    std::fprintf(stderr, "quillon-editor-shot: cannot write %s\n", options.output.c_str());
    return 1;
  }
  return 0;
}
