#include "read_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

Result<std::vector<uint8_t>> readWholeFile(const std::string& path, size_t limit) {
    std::error_code ignored;
    if (fs::is_directory(path, ignored))
        return Failure{"is a folder, not a file"};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Failure{std::strerror(errno)};
    std::vector<uint8_t> bytes;
    // Room for the whole file up front: a large one is then read without being copied as it grows.
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long length = std::ftell(file);
        if (length > 0)
            bytes.reserve(std::min(static_cast<size_t>(length), limit) + 1);
        std::rewind(file);
    }
    uint8_t chunk[65536];
    size_t got = 0;
    while (bytes.size() <= limit && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed)
        return Failure{"cannot be read (" + std::string(std::strerror(error)) + ")"};
    if (bytes.size() > limit)
        return Failure{"larger than " + std::to_string(limit) + " bytes"};
    return bytes;
}
