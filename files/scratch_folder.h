// A scratch folder: made new and empty, removed with all it holds.
#pragma once

#include <string>

// A new, empty folder of its own under the system's temporary folder, its name beginning with
// `prefix`. With `enter`, it is also the working folder while the object lives. Removed with
// everything in it, read-only files included, when the object goes.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& prefix, bool enter = false);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] const std::string& path() const { return folder; }
    [[nodiscard]] std::string file(const std::string& name) const; // a path inside the folder

  private:
    std::string folder;
    std::string previous; // the working folder before, when entered
};
