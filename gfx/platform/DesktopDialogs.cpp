#include "gfx/platform/DesktopDialogs.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "gfx/platform/ChildProcess.h"

namespace plug::gfx {

namespace {

std::string StartFolder(const std::string& folder)
{
  if (!folder.empty())
    return folder.back() == '/' ? folder : folder + "/";
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/" : std::string("/");
}

// "*.fxp *.fxb" from "fxp fxb"; characters other than letters and digits are dropped, so nothing
// but patterns reaches the tool.
std::string Patterns(const std::string& extensions)
{
  std::string patterns, current;
  auto flush = [&] {
    if (!current.empty())
      patterns += (patterns.empty() ? "*." : " *.") + current;
    current.clear();
  };
  for (char c : extensions)
  {
    if (std::isalnum(static_cast<unsigned char>(c)))
      current += c;
    else if (c == ' ' || c == ',' || c == ';')
      flush();
  }
  flush();
  return patterns;
}

} // namespace

EDialogTool FindDialogTool(const char* desktop)
{
  const bool zenity = ChildProcess::IsInPath("zenity");
  const bool kdialog = ChildProcess::IsInPath("kdialog");
  if (kdialog && (!zenity || (desktop && std::strstr(desktop, "KDE"))))
    return EDialogTool::kKdialog;
  return zenity ? EDialogTool::kZenity : EDialogTool::kNone;
}

std::vector<std::string> FileDialogCommand(EDialogTool tool, EFileAction action, const std::string& fileName,
                                           const std::string& folder, const std::string& extensions)
{
  const std::string start = StartFolder(folder) + fileName;
  const std::string patterns = Patterns(extensions);
  const bool save = action == EFileAction::kSave;
  std::vector<std::string> command;
  if (tool == EDialogTool::kZenity)
  {
    command = {"zenity", "--file-selection", save ? "--title=Save" : "--title=Open", "--filename=" + start};
    if (save)
    {
      // Without it zenity's GTK 3 dialog replaces an existing file silently. GTK 4 dialogs always
      // ask; a zenity that no longer knows the option is run again without it (FallbackDialogCommand).
      command.push_back("--save");
      command.push_back("--confirm-overwrite");
    }
    if (!patterns.empty())
      command.push_back("--file-filter=" + patterns);
  }
  else if (tool == EDialogTool::kKdialog)
  {
    // kdialog's save dialog asks before replacing a file by itself.
    command = {"kdialog", save ? "--getsavefilename" : "--getopenfilename", start};
    if (!patterns.empty())
      command.push_back(patterns);
  }
  return command;
}

std::vector<std::string> DirectoryDialogCommand(EDialogTool tool, const std::string& folder)
{
  if (tool == EDialogTool::kZenity)
    return {"zenity", "--file-selection", "--directory", "--filename=" + StartFolder(folder)};
  if (tool == EDialogTool::kKdialog)
    return {"kdialog", "--getexistingdirectory", StartFolder(folder)};
  return {};
}

bool ReadDialogAnswer(const std::string& output, int exitCode, std::string& path, std::string& folder)
{
  path.clear();
  folder.clear();
  std::string chosen = output.substr(0, output.find('\n'));
  if (exitCode != 0 || chosen.empty() || chosen[0] != '/')
    return false;
  while (chosen.size() > 1 && chosen.back() == '/')
    chosen.pop_back();
  path = chosen;
  folder = chosen.substr(0, chosen.rfind('/') + 1);
  return true;
}

std::vector<std::string> FallbackDialogCommand(const std::vector<std::string>& command)
{
  std::vector<std::string> fallback = command;
  std::erase(fallback, std::string("--confirm-overwrite"));
  return fallback.size() < command.size() ? fallback : std::vector<std::string>{};
}

bool DialogFailed(int exitCode)
{
  return exitCode != 0 && exitCode != 1;
}

std::vector<std::string> OpenURLCommand(const std::string& url)
{
  if (url.empty())
    return {};
  return {"xdg-open", url[0] == '-' ? "./" + url : url};
}

} // namespace plug::gfx
