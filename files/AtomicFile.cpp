#include "files/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace files {

namespace {

// How often a kShared saver starts again when another process renamed the shared temporary file
// into place while this one waited for its lock; how often a kOwn saver tries another name.
constexpr int kSharedAttempts = 100;
constexpr int kOwnAttempts = 16;

bool WriteAll(int fd, std::string_view data)
{
  while (!data.empty())
  {
    const ssize_t written = write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool SyncFile(int fd)
{
  while (fsync(fd) != 0)
  {
    if (errno != EINTR)
      return false;
  }
  return true;
}

bool LockFile(int fd, int operation)
{
  while (flock(fd, operation) != 0)
  {
    if (errno != EINTR)
      return false;
  }
  return true;
}

std::string DirectoryOf(const std::string& path)
{
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename durable; a failure here leaves the new contents in place anyway.
void SyncDirectory(const std::string& directory)
{
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  SyncFile(fd);
  close(fd);
}

// "dir/.NAME.new" for kShared; for kOwn a fresh name such as "dir/.NAME.1234-7.tmp", the name part
// cut so that the whole stays within the usual 255-byte limit.
std::string TemporaryPathFor(const std::string& path, ETemporaryFile temporary)
{
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (temporary == ETemporaryFile::kShared)
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + ".new";
  static std::atomic<unsigned> counter{0};
  return path.substr(0, nameStart) + "." + path.substr(nameStart, 200) + "." + std::to_string(getpid()) + "-" +
      std::to_string(counter++) + ".tmp";
}

// A new temporary file beside path that no other save uses; -1 on failure.
int CreateOwnTemporaryFile(const std::string& path, std::string& temporaryPath)
{
  for (int attempt = 0; attempt < kOwnAttempts; ++attempt)
  {
    temporaryPath = TemporaryPathFor(path, ETemporaryFile::kOwn);
    const int fd = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

// The shared temporary file, locked exclusively and emptied. A saver that obtains the lock on a
// file another saver has meanwhile renamed into place starts again with a fresh one. -1 on failure.
int OpenSharedTemporaryFile(const std::string& path, std::string& temporaryPath)
{
  temporaryPath = TemporaryPathFor(path, ETemporaryFile::kShared);
  for (int attempt = 0; attempt < kSharedAttempts; ++attempt)
  {
    const int fd =
        open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0)
      return -1;
    struct stat opened;
    struct stat named;
    if (!LockFile(fd, LOCK_EX) || fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode))
    {
      close(fd);
      return -1;
    }
    if (lstat(temporaryPath.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
    {
      if (ftruncate(fd, 0) == 0)
        return fd;
      unlink(temporaryPath.c_str()); // still ours: we hold its lock and it was not renamed
      close(fd);
      return -1;
    }
    close(fd);
  }
  return -1;
}

// The file a replacement keeps the permissions of, so that a private file stays private.
bool KeepPermissionsOf(const std::string& path, int fd)
{
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return true;
  return fchmod(fd, info.st_mode & 0777) == 0;
}

// The file a save to path replaces: path itself, or the file a symbolic link there leads to.
// False when the save may not replace it (see ReplaceFile).
bool FindFileToReplace(const std::string& path, std::string& target)
{
  target = path;
  struct stat info;
  if (lstat(path.c_str(), &info) != 0)
    return errno == ENOENT; // a new file
  if (S_ISLNK(info.st_mode))
  {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
      return false;
    target = resolved;
    std::free(resolved);
    if (stat(target.c_str(), &info) != 0)
      return false;
  }
  return S_ISREG(info.st_mode) && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

} // namespace

bool ReplaceFile(const std::string& path, std::string_view contents, ETemporaryFile temporary, struct stat* written)
{
  std::string target;
  if (path.empty() || path.back() == '/' || !FindFileToReplace(path, target))
    return false;
  std::string temporaryPath;
  int fd = temporary == ETemporaryFile::kShared ? OpenSharedTemporaryFile(target, temporaryPath)
                                                : CreateOwnTemporaryFile(target, temporaryPath);
  if (fd < 0)
    return false;
  struct stat info;
  bool replaced = KeepPermissionsOf(target, fd) && WriteAll(fd, contents) && SyncFile(fd) && fstat(fd, &info) == 0;
  // A kOwn file is closed first, as closing can still report a failed write; a kShared one stays
  // open, so its lock is held, until it is in place.
  if (temporary == ETemporaryFile::kOwn)
  {
    replaced = close(fd) == 0 && replaced;
    fd = -1;
  }
  replaced = replaced && rename(temporaryPath.c_str(), target.c_str()) == 0;
  if (!replaced)
    unlink(temporaryPath.c_str()); // still ours: a kShared file's lock is held, a kOwn file's name is its own
  if (fd >= 0)
    close(fd);
  if (!replaced)
    return false;
  if (written)
    *written = info;
  SyncDirectory(DirectoryOf(target));
  return true;
}

} // namespace files
