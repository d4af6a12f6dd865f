#pragma once

// The command lines of the desktop's services, for ChildProcess: file and folder dialogs through
// zenity or kdialog (whichever is installed; kdialog first on a KDE desktop), and opening a web
// address or a file through xdg-open. Only building and reading the texts is done here.

#include <string>
#include <vector>

#include "gfx/ISurface.h"

namespace plug::gfx {

enum class EDialogTool
{
  kNone,
  kZenity,
  kKdialog
};

// The tool to use, kNone when neither is installed. desktop: $XDG_CURRENT_DESKTOP (may be null).
EDialogTool FindDialogTool(const char* desktop);

// A file dialog starting in folder (the home folder when empty) with fileName proposed;
// extensions: blank-separated, without dots ("fxp fxb"), empty for every file. Saving asks before
// an existing file is replaced (zenity with --confirm-overwrite, kdialog by itself).
std::vector<std::string> FileDialogCommand(EDialogTool tool, EFileAction action, const std::string& fileName,
                                           const std::string& folder, const std::string& extensions);
std::vector<std::string> DirectoryDialogCommand(EDialogTool tool, const std::string& folder);

// The dialog's answer: its output and exit code, read into the chosen path and its folder with a
// trailing "/". False (both empty) for a cancelled or failed dialog.
bool ReadDialogAnswer(const std::string& output, int exitCode, std::string& path, std::string& folder);

// The command again without the option that a zenity of another generation may not know
// (--confirm-overwrite), to run when the first one failed; empty when it has no such option.
std::vector<std::string> FallbackDialogCommand(const std::vector<std::string>& command);

// True for an exit code that is neither an answer (0) nor a cancel (1): the tool could not show
// the dialog (no display, an option it does not know) or was ended.
bool DialogFailed(int exitCode);

// xdg-open with the address or path; one that begins with "-" is made a path ("./-x"), so it is
// never taken for an option. Empty for an empty text.
std::vector<std::string> OpenURLCommand(const std::string& url);

// What the editor says when the dialog tool failed; the prompt completes as cancelled.
inline constexpr const char* kDialogFailedMessage = "The file dialog could not be shown.";

// What the editor says when no dialog tool is installed.
inline constexpr const char* kNoDialogToolMessage =
    "Choosing files needs zenity or kdialog: install one of them (e.g. apt install zenity).";

} // namespace plug::gfx
