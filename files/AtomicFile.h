#pragma once

// Saving a file so that a reader, a crash or a failed write never meets it half written: the new
// contents go to a temporary file beside it, are flushed and renamed over it. The settings store
// and the preset files both save this way.

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace files {

// How the savers of one file keep out of each other's way.
enum class ETemporaryFile
{
  // Each save writes a temporary file of its own, under a name no other save uses.
  kOwn,
  // Every saver, in any process, writes the one temporary file ".NAME.new" beside the target and
  // holds an exclusive advisory lock (flock) on it until it is renamed into place, so two savers
  // never fill one file at the same time and the last to rename wins whole.
  kShared,
};

// Replaces the file at path with contents. A symbolic link at path stays: the file it leads to is
// replaced. A replaced file keeps its permissions; a new one gets 0666 less the umask.
//
// False, with the file as it was and no temporary file left behind, when path is empty or ends in
// '/', when the file there may not be replaced (the user may not write it, though the rename would
// replace it all the same; it is not a regular file; a link leads nowhere), or when any step fails.
//
// written, when given, receives the new file's identity, size and time, taken before any other
// saver of a kShared file can rename its own into place.
bool ReplaceFile(const std::string& path, std::string_view contents, ETemporaryFile temporary,
                 struct stat* written = nullptr);

} // namespace files
