// write ROW NOTE...: a row made from notes written as names, numbers or raw bytes.
#include "commands.h"
#include "midi_file.h"
#include "note_names.h"
#include "row_files.h"
#include "safe_file.h"

#include <cstdint>
#include <filesystem>
#include <iterator>

namespace {

// The notes from the command line, or from standard input for a lone "-".
Result<std::vector<uint8_t>> notesOf(const CommandLine& line, std::istream& in) {
    const std::vector<std::string> words(line.operands.begin() + 1, line.operands.end());
    if (words.size() == 1 && words[0] == "-") {
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        if (in.bad())
            return Failure{"standard input: could not be read"};
        Result<std::vector<uint8_t>> notes = parseRowWords(text, true);
        if (!notes)
            return Failure{"standard input: " + notes.error()};
        return notes;
    }
    std::string text;
    for (const std::string& word : words) {
        if (word == "-")
            return Failure{"- reads the notes from standard input and must be the only NOTE"};
        text += word + " ";
    }
    return parseRowWords(text, false);
}

// What the row will hold: the old notes first when appending.
Result<std::vector<uint8_t>> startOf(const CommandLine& line, const std::string& path) {
    std::error_code missing;
    if (!std::filesystem::exists(path, missing))
        return std::vector<uint8_t>{};
    if (line.has("--force"))
        return std::vector<uint8_t>{};
    if (!line.has("--append"))
        return Failure{path + ": exists; give --append to add to it or --force to replace it"};
    Result<std::vector<uint8_t>> old = readRowFile(path);
    if (old && looksLikeMidi(old->data(), old->size()))
        return Failure{path + ": is a MIDI file, not a row; notes are not appended to it"};
    return old;
}

Status writeRow(const CommandLine& line, std::istream& in, std::ostream& out) {
    const std::string& path = line.operands[0];
    if (line.has("--append") && line.has("--force"))
        return Failure{"--append and --force do not go together"};
    Result<std::vector<uint8_t>> notes = notesOf(line, in);
    if (!notes)
        return Failure{notes.error()};
    Result<std::vector<uint8_t>> row = startOf(line, path);
    if (!row)
        return Failure{row.error()};
    const size_t before = row->size();
    row->insert(row->end(), notes->begin(), notes->end());
    if (Status place = checkOutput(path, "row file"); !place)
        return place;
    if (Status written = writeFileWhole(path, *row); !written)
        return written;
    const size_t added = notes->size();
    if (before > 0)
        out << "added " << added << (added == 1 ? " note" : " notes") << " to " << path
            << ", which now holds " << row->size() << "\n";
    else
        out << "wrote " << path << ": " << added << (added == 1 ? " note" : " notes") << "\n";
    return {};
}

int write(const CommandLine& line, Console& console) {
    return console.finish(writeRow(line, console.in, console.out));
}

} // namespace

CommandSpec writeCommand() {
    return {"write",
            "ROW NOTE...",
            "make a row from note names, numbers or bytes",
            "ROW NOTE... [--append | --force]\n"
            "       kaveltrum-host write ROW - [--append | --force]",
            2,
            SIZE_MAX,
            "Makes the row file ROW from notes: names from C-1 to G9 (C4 is 60; sharps #, flats "
            "b,\nthe letter in either case), numbers 0..127, or b0..b255 for raw bytes (b200 is "
            "the\nbyte 200, which is no note; a lower-case b and a number is always a byte, so "
            "write the\nnote B3 as B3). Blanks or commas separate them. With - they are read "
            "from\nstandard input, where # begins a comment that runs to the end of the line. The "
            "row is\nwritten whole or not at all.\n",
            {{"--append", nullptr, "add the notes to the end of an existing ROW"},
             {"--force", nullptr, "replace an existing ROW"}},
            write};
}
