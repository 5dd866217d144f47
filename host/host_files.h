// Files as the host and its users handle them: a whole file read at once, and a scratch folder.
#pragma once

#include "result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The bytes of the file at `path`. Fails, naming the path and the reason, when it cannot be
// opened or read, is a folder, or holds more than `limit` bytes.
Result<std::vector<uint8_t>> readWholeFile(const std::string& path, size_t limit = SIZE_MAX);

// A new, empty folder of its own under the system's temporary folder, its name beginning with
// `prefix`. With `enter`, it is also the working folder while the object lives. Removed with
// everything in it, read-only files included, when the object goes.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& prefix, bool enter = false);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return folder; }
    std::string file(const std::string& name) const; // a path inside the folder

  private:
    std::string folder;
    std::string previous; // the working folder before, when entered
};
