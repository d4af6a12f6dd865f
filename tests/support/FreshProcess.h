#pragma once

// A figure measured in a process of its own, so that nothing an earlier measurement loaded or
// cached is warm: runs program with args and reads what it prints on its standard output.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

// The start of what the fresh process printed (up to 63 bytes), or nothing when it could not run,
// printed nothing or did not exit with 0.
inline std::optional<std::string> OutputOfAFreshProcess(const char* program, const std::vector<std::string>& args)
{
  int fds[2];
  if (pipe(fds) != 0)
    return std::nullopt;
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0)
  {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
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
  if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return std::nullopt;
  return std::string(text);
}

// The number the fresh process printed, or -1 when it printed none.
inline double NumberFromAFreshProcess(const char* program, const std::vector<std::string>& args)
{
  const std::optional<std::string> output = OutputOfAFreshProcess(program, args);
  return output ? std::atof(output->c_str()) : -1.0;
}
