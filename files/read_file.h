// The bytes of a whole file, read at once.
#pragma once

#include "result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The bytes of the file at `path`. Fails, naming the path and the reason, when it cannot be
// opened or read, is a folder, or holds more than `limit` bytes.
Result<std::vector<uint8_t>> readWholeFile(const std::string& path, size_t limit = SIZE_MAX);
