#pragma once

// Programs the editor starts without a shell and without waiting: the desktop's URL opener and the
// file dialogs of zenity or kdialog. The editor polls them from its idle calls, so the host's
// window never freezes while a dialog is open.

#include <string>
#include <sys/types.h>
#include <vector>

namespace plug::gfx {

class ChildProcess
{
public:
  ChildProcess() = default;
  // A child still running is left to the process-wide reaper (see ReapLeftChildren). [main]
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Runs argv[0] (looked up in PATH) with argv, without a shell; with captureOutput its standard
  // output is collected. It gets no descriptor of the host's but standard input, output and error.
  // False when it cannot be started. [main]
  bool Start(const std::vector<std::string>& argv, bool captureOutput);
  // Never blocks: reads what output there is and true once the child has exited (then ExitCode
  // and Output are final). [main]
  bool Poll();
  // Asks the child and everything it started to end (SIGTERM to its process group) and stops
  // reading its output; it is collected later like a child left running. [main]
  void Terminate();
  bool Running() const { return mPid > 0; }
  // The exit status, or -1 when the child was ended by a signal.
  int ExitCode() const { return mExitCode; }
  const std::string& Output() const { return mOutput; }

  // True when the program is an executable file in one of PATH's folders. [any]
  static bool IsInPath(const char* program);
  // Collects, without waiting, the children that ChildProcess objects left running when they went.
  // Called by every Poll and every Start. [any]
  static void ReapLeftChildren();
  // The number of children left running that are not collected yet (for tests). [any]
  static int NumLeftChildren();

private:
  void ReadOutput();
  void CloseOutput();

  pid_t mPid = -1;
  int mOutputFd = -1;
  int mExitCode = -1;
  std::string mOutput;
};

} // namespace plug::gfx
