#include "recorded_notes.h"

#include "fuzz_host.h"
#include "module.h"

#include <cstdio>
#include <sys/stat.h>

namespace {

// Where the module writes its log on Linux; a record file of that name gets log lines too.
const char* const logName = "DIAGNOSE.TXT";

bool identify(const char* name, std::pair<uint64_t, uint64_t>& id) {
    struct stat status;
    if (stat(name, &status) != 0)
        return false;
    id = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    return true;
}

std::string contents(const std::string& name) {
    std::string bytes;
    if (std::FILE* file = std::fopen(name.c_str(), "rb")) {
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.append(chunk, got);
        std::fclose(file);
    }
    return bytes;
}

} // namespace

void RecordedNotes::beforeMidi(int32_t message, int count) {
    const RowState& state = rowState();
    if (!isNoteStart(message) || state.recordFileStatus != 0 || state.recording != 1)
        return;
    // The notes go to the file the stream holds, which the file system may have replaced or
    // removed under its name since the load.
    struct stat status;
    if (!state.recordFile || fstat(fileno(state.recordFile), &status) != 0)
        fail("the record file is said to be open but has no stream");
    const std::pair<uint64_t, uint64_t> id{static_cast<uint64_t>(status.st_dev),
                                           static_cast<uint64_t>(status.st_ino)};
    auto [entry, first] = files.try_emplace(id);
    File& file = entry->second;
    if (first) {
        file.name = state.fileName;
        file.before = contents(file.name);
        std::pair<uint64_t, uint64_t> named;
        file.predictable = identify(state.fileName, named) && named == id;
    }
    file.expected.append(static_cast<size_t>(count), static_cast<char>(message >> 8 & 0xFF));
}

void RecordedNotes::rewritten(const char* name) {
    std::pair<uint64_t, uint64_t> id;
    if (identify(name, id))
        if (auto entry = files.find(id); entry != files.end())
            entry->second.predictable = false;
}

void RecordedNotes::check() const {
    std::pair<uint64_t, uint64_t> log{};
    const bool hasLog = identify(logName, log);
    for (const auto& [id, file] : files) {
        std::pair<uint64_t, uint64_t> named;
        if (!file.predictable || (hasLog && id == log) || !identify(file.name.c_str(), named) ||
            named != id)
            continue; // gone from under its name: what it holds cannot be read back
        if (contents(file.name) != file.before + file.expected)
            fail("the record file does not hold exactly the notes recorded into it");
    }
}
