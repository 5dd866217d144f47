// show ROW: the row's notes, one a line. The file is read a piece at a time, so a row of any
// size can be shown.
#include "note_names.h"
#include "tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// One line of the listing, written with a single call.
void printNote(std::ostream& out, uint64_t position, int byte) {
    char line[80];
    const std::string name = noteName(byte & 0x7F);
    const int length =
        byte < 128 ? std::snprintf(line, sizeof line, "%6llu%5d  %s\n",
                                   static_cast<unsigned long long>(position), byte, name.c_str())
                   : std::snprintf(line, sizeof line, "%6llu%5d  not a note, plays as %s\n",
                                   static_cast<unsigned long long>(position), byte, name.c_str());
    out.write(line, length);
}

Status printNotes(std::FILE* file, const std::string& path, std::ostream& out) {
    uint8_t chunk[65536];
    uint64_t position = 0;
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        for (size_t i = 0; i < got; ++i) {
            printNote(out, position++, chunk[i]);
            if (!out)
                return outputStatus(out);
        }
    }
    if (std::ferror(file))
        return Failure{path + ": could not be read"};
    return {};
}

} // namespace

Status showRow(const CommandLine& line, std::ostream& out) {
    const std::string& path = line.operands[0];
    Result<uint64_t> length = rowLength(path);
    if (!length)
        return Failure{length.error()};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Failure{path + ": " + std::strerror(errno)};
    out << path << ": " << *length << (*length == 1 ? " note" : " notes") << "\n";
    const Status shown = printNotes(file, path, out);
    std::fclose(file);
    return shown;
}
