#include "gfx/platform/ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>

extern char** environ;

namespace plug::gfx {

namespace {

std::mutex& LeftMutex()
{
  static std::mutex mutex;
  return mutex;
}

std::vector<pid_t>& LeftChildren()
{
  static std::vector<pid_t>* children = new std::vector<pid_t>; // outlives static destruction
  return *children;
}

} // namespace

ChildProcess::~ChildProcess()
{
  CloseOutput();
  if (mPid > 0 && waitpid(mPid, nullptr, WNOHANG) == 0)
  {
    std::lock_guard<std::mutex> lock(LeftMutex());
    LeftChildren().push_back(mPid);
  }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, bool captureOutput)
{
  ReapLeftChildren();
  if (argv.empty() || mPid > 0)
    return false;
  mOutput.clear();
  mExitCode = -1;

  int pipeFds[2] = {-1, -1};
  if (captureOutput && pipe2(pipeFds, O_CLOEXEC) != 0)
    return false;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull >= 0)
    posix_spawn_file_actions_adddup2(&actions, devNull, STDIN_FILENO);
  if (captureOutput)
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  // The host's descriptors (its sockets, audio devices, files) are not the child's business.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  // A process group of its own, so that Terminate ends whatever the child started too (a script's
  // commands, a dialog tool's helpers).
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);

  pid_t pid = -1;
  const int result = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (devNull >= 0)
    close(devNull);
  if (captureOutput)
    close(pipeFds[1]);
  if (result != 0)
  {
    if (captureOutput)
      close(pipeFds[0]);
    return false;
  }
  mPid = pid;
  if (captureOutput)
  {
    mOutputFd = pipeFds[0];
    fcntl(mOutputFd, F_SETFL, fcntl(mOutputFd, F_GETFL) | O_NONBLOCK);
  }
  return true;
}

void ChildProcess::ReadOutput()
{
  if (mOutputFd < 0)
    return;
  char buffer[4096];
  for (;;)
  {
    const ssize_t n = read(mOutputFd, buffer, sizeof(buffer));
    if (n > 0)
      mOutput.append(buffer, static_cast<size_t>(n));
    else if (n < 0 && errno == EINTR)
      continue;
    else
    {
      if (n == 0)
        CloseOutput(); // end of output
      return;
    }
  }
}

void ChildProcess::CloseOutput()
{
  if (mOutputFd >= 0)
    close(mOutputFd);
  mOutputFd = -1;
}

bool ChildProcess::Poll()
{
  ReapLeftChildren();
  if (mPid <= 0)
    return false;
  ReadOutput();
  int status = 0;
  const pid_t done = waitpid(mPid, &status, WNOHANG);
  if (done == 0)
    return false;
  ReadOutput(); // whatever it wrote before it exited
  CloseOutput();
  mExitCode = done == mPid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  mPid = -1;
  return true;
}

void ChildProcess::Terminate()
{
  if (mPid <= 0)
    return;
  kill(-mPid, SIGTERM);
  CloseOutput();
}

bool ChildProcess::IsInPath(const char* program)
{
  const char* path = std::getenv("PATH");
  if (!program || !*program || !path)
    return false;
  std::string folders = path;
  size_t start = 0;
  while (start <= folders.size())
  {
    size_t end = folders.find(':', start);
    if (end == std::string::npos)
      end = folders.size();
    const std::string folder = end > start ? folders.substr(start, end - start) : ".";
    const std::string file = folder + "/" + program;
    struct stat info
    {
    };
    if (stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(file.c_str(), X_OK) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

void ChildProcess::ReapLeftChildren()
{
  std::lock_guard<std::mutex> lock(LeftMutex());
  std::vector<pid_t>& children = LeftChildren();
  for (size_t i = 0; i < children.size();)
  {
    const pid_t done = waitpid(children[i], nullptr, WNOHANG);
    if (done != 0) // exited, or not ours any more
      children.erase(children.begin() + static_cast<ptrdiff_t>(i));
    else
      ++i;
  }
}

int ChildProcess::NumLeftChildren()
{
  std::lock_guard<std::mutex> lock(LeftMutex());
  return static_cast<int>(LeftChildren().size());
}

} // namespace plug::gfx
