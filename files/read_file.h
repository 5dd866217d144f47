// The bytes of a whole file, read at once.
#pragma once

#include "result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The bytes of the file at `path`. Fails when it cannot be opened or read, is a folder, or holds
// more than `limit` bytes; the failure gives the reason alone, and the caller names the file.
Result<std::vector<uint8_t>> readWholeFile(const std::string& path, size_t limit = SIZE_MAX);
