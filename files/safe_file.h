// The files a tool is given. Inputs must be regular files; an output is written whole or not at
// all, and a path the user named is never removed or truncated when something fails.
#pragma once

#include "result.h"

#include <cstdint>
#include <string>
#include <vector>

// A failure is one line naming the path and the fault. `what` names the kind of file in that line
// ("row file", "MIDI file").

// Fails unless `path` names a regular file, or a symlink to one. Only the file's kind is looked
// at: it is not opened, so a FIFO cannot make the caller wait.
Status checkInput(const std::string& path, const std::string& what);

// The same check for a caller that names the file in its own line: the failure gives the reason
// alone ("no such file", "is a folder, not a MIDI file").
Status checkInputKind(const std::string& path, const std::string& what);

// Fails unless a file could be written at `path`: if something is there, it is a regular file (or
// a symlink to one) that is writable and not read-only; its folder exists and takes new files (a
// file is created there and removed again to find out).
Status checkOutput(const std::string& path, const std::string& what);

// Writes `bytes` to a new file beside `path`, checks every write, syncs it to the disk and only
// then renames it over `path`. On any failure the new file is removed and `path` is untouched.
// A symlink at `path` stays: the file it names is the one replaced.
Status writeFileWhole(const std::string& path, const std::vector<uint8_t>& bytes);
