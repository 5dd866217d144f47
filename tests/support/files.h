// Whole files as bytes or text, and a scratch folder per test, for tests that check what a
// module wrote.
#pragma once

#include "read_file.h"
#include "scratch_folder.h"

#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> readBytes(const std::string& path); // empty when it cannot be read
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string readText(const std::string& path); // text mode: Windows line breaks read as '\n'
bool exists(const std::string& path);

// A folder of its own for the running test, named after it; it is also the working folder
// while the test runs, so a native diagnostic log lands in it. The log on drive D: is left
// alone: tests running side by side share it, and only one that takes its turn for it (the
// diagnose_log lock) may remove it.
class Scratch : public ScratchFolder {
  public:
    Scratch();
};

// Where the module writes its diagnostic log.
std::string logFilePath();
