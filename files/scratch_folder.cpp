#include "scratch_folder.h"

#include <filesystem>
#include <random>

namespace fs = std::filesystem;

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
