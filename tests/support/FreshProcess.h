#pragma once

// A figure measured in a process of its own, so that nothing an earlier measurement loaded or
// cached is warm: runs program with args and reads the number it prints on its standard output.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

// The number the fresh process printed, or -1 when it could not run or printed none.
inline double NumberFromAFreshProcess(const char* program, const std::vector<std::string>& args)
{
  int fds[2];
  if (pipe(fds) != 0)
    return -1.0;
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0)
  {
    dup2(fds[1], STDOUT_FILENO);
    execv(program, argv.data());
    _exit(127);
  }
  close(fds[1]);
  char text[64] = {};
  const ssize_t n = child > 0 ? read(fds[0], text, sizeof text - 1) : -1;
  close(fds[0]);
  int status = 0;
  if (child > 0)
    waitpid(child, &status, 0);
  return n > 0 ? std::atof(text) : -1.0;
}
