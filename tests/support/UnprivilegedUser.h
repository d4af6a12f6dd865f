#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

// Runs check as a user whom file permissions bind, and returns its result. Tests that run as root
// (who may write any file) run it in a child process that has become the user "nobody" (65534);
// folders it works in must be open to that user. Failing to become it counts as a failed check.
inline bool AsUnprivilegedUser(const std::function<bool()>& check)
{
  if (geteuid() != 0)
    return check();
  const pid_t child = fork();
  if (child == 0)
  {
    const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
    _exit(dropped && check() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
