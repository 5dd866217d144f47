#include "host_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

Result<std::vector<uint8_t>> readWholeFile(const std::string& path, size_t limit) {
    std::error_code ignored;
    if (fs::is_directory(path, ignored))
        return Failure{path + ": is a folder, not a file"};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Failure{path + ": " + std::strerror(errno)};
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while (bytes.size() <= limit && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed)
        return Failure{path + ": cannot be read (" + std::strerror(error) + ")"};
    if (bytes.size() > limit)
        return Failure{path + ": larger than " + std::to_string(limit) + " bytes"};
    return bytes;
}

ScratchFolder::ScratchFolder(const std::string& prefix, bool enter) {
    // A random suffix, tried until a name is free: runs of the same program may go side by side.
    std::random_device seed;
    std::mt19937_64 random(seed());
    std::string name = prefix;
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':')
            c = '_';
    for (;;) {
        const fs::path candidate =
            fs::temp_directory_path() / (name + "-" + std::to_string(random() % 1000000000));
        if (fs::create_directory(candidate)) {
            folder = candidate.string();
            break;
        }
    }
    if (enter) {
        previous = fs::current_path().string();
        fs::current_path(folder);
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    if (!previous.empty())
        fs::current_path(previous, ignored);
    for (auto it = fs::recursive_directory_iterator(folder, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        if (!it->is_symlink(ignored)) // a link's target may lie outside the folder
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder, ignored);
}

std::string ScratchFolder::file(const std::string& name) const {
    return (fs::path(folder) / name).string();
}
