#pragma once

// Win32-style profile functions over a process-wide store of parsed INI files.
//
// The store keeps a parsed copy of up to 32 files, re-reads a file only when its
// modification time, size or identity changed, and rewrites a file (through a
// temporary file, fsync and rename) only when a write really changes it.
// Section names and keys compare without regard to ASCII letter case.
//
// Both functions may be called from any thread: one process-wide mutex serialises
// them. Between processes, readers take a shared and writers an exclusive advisory
// lock (flock).

// [any] Copies the value of `key` in `section` of the file at `path` into
// `buffer`, or `defaultValue` ("" when null) if the section, the key or the file is
// absent. At most bufferSize - 1 characters are copied, followed by a zero.
// Returns the length of the text in the buffer; 0 (and nothing written) when the
// buffer is null or bufferSize is not positive.
int GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                            int bufferSize, const char* path);

// [any] Changes the file at `path`:
//   key null            - removes the whole section;
//   value null          - removes the key from the section;
//   otherwise           - sets the key, creating the section if needed.
// Returns true when the file holds the requested state afterwards (also when nothing
// had to change). Returns false, changing nothing on disk or in memory, when the
// section or path is null or empty, the key is empty, a name or value could not be
// stored as one line (line breaks, "]" in a section, "=" in a key, ...), the existing
// file could not be read whole or is one the user may not write, or the file could not
// be rewritten. A symbolic link at `path` stays: the file it leads to is rewritten.
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path);
