#include "row_files.h"

#include "midi_file.h"
#include "safe_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

namespace {

// What the module's OUTFILE name holds, without its terminating zero.
constexpr size_t LongestRowName = 399;

} // namespace

Result<uint64_t> rowLength(const std::string& path) {
    if (Status input = checkInput(path, "row file"); !input)
        return Failure{input.error()};
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error); // 64 bits on every system
    if (error)
        return Failure{path + ": " + error.message()};
    return static_cast<uint64_t>(size);
}

Result<std::vector<uint8_t>> readRowFile(const std::string& path) {
    Result<uint64_t> length = rowLength(path);
    if (!length)
        return Failure{length.error()};
    if (*length > std::vector<uint8_t>().max_size())
        return Failure{path + ": too large to hold in memory"};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Failure{path + ": " + std::strerror(errno)};
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(*length));
    } catch (const std::bad_alloc&) {
        std::fclose(file);
        return Failure{path + ": too large to hold in memory"};
    }
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return Failure{path + ": could not be read"};
    bytes.resize(got);
    return bytes;
}

bool beginsAsMidi(const std::string& path) {
    uint8_t start[12];
    size_t got = 0;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        got = std::fread(start, 1, sizeof start, file);
        std::fclose(file);
    }
    return looksLikeMidi(start, got);
}

Status refuseMidiRow(const CommandLine& line, const std::string& path) {
    if (line.has("--raw"))
        return {};
    if (!beginsAsMidi(path))
        return {};
    return Failure{path +
                   ": is a MIDI file, not a row; 'record' makes a row of it and 'list' "
                   "shows its notes (--raw " +
                   line.command + "s its bytes anyway)"};
}

Status checkRowName(const std::string& path) {
    if (path.size() > LongestRowName)
        return Failure{path.substr(0, 40) + "...: the module takes row names of at most " +
                       std::to_string(LongestRowName) + " bytes"};
    return {};
}
