// show ROW: the row's notes, one a line, or as one line of words that write reads back. The
// file is read a piece at a time, so a row of any size can be shown.
#include "commands.h"
#include "midi_file.h"
#include "note_names.h"
#include "row_files.h"
#include "text_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// One line of the listing.
void printNote(std::ostream& out, TextLine& line, uint64_t position, uint8_t byte) {
    line.number(static_cast<int64_t>(position), 6).number(byte, 5).text("  ");
    if (byte >= 128)
        line.text("not a note, plays as ");
    line.text(noteNameText(byte)).text('\n').writeTo(out);
}

void printWord(std::ostream& out, uint64_t position, uint8_t byte) {
    if (position > 0)
        out.put(' ');
    out << rowWord(byte);
}

Status printNotes(std::FILE* file, const std::string& path, bool plain, std::ostream& out) {
    uint8_t chunk[65536];
    uint64_t position = 0;
    size_t got = 0;
    TextLine line;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        for (size_t i = 0; i < got; ++i) {
            if (plain)
                printWord(out, position++, chunk[i]);
            else
                printNote(out, line, position++, chunk[i]);
            if (!out)
                return outputStatus(out);
        }
    }
    if (std::ferror(file))
        return Failure{path + ": could not be read"};
    if (plain)
        out.put('\n');
    return {};
}

Status showRow(const CommandLine& line, std::ostream& out) {
    const std::string& path = line.operands[0];
    Result<uint64_t> length = rowLength(path);
    if (!length)
        return Failure{length.error()};
    if (Status notMidi = refuseMidiRow(line, path); !notMidi)
        return notMidi;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Failure{path + ": " + std::strerror(errno)};
    const bool plain = line.has("--plain");
    if (!plain)
        out << path << ": " << *length << (*length == 1 ? " note" : " notes") << "\n";
    Status shown = printNotes(file, path, plain, out);
    std::fclose(file);
    return shown;
}

int show(const CommandLine& line, Console& console) {
    return console.finish(showRow(line, console.out));
}

} // namespace

CommandSpec showCommand() {
    return {"show",
            "ROW",
            "list a row\'s notes",
            "ROW [--plain] [--raw]",
            1,
            1,
            "Lists the row file ROW: position, byte and note name (60 is C4). Bytes of 128 or more "
            "are\nno notes; the module plays them as their low seven bits.\n",
            {{"--plain", nullptr, "the notes as one line of names, the form write reads"},
             {"--raw", nullptr, "show a file that begins as a MIDI file does, byte by byte"}},
            show};
}
