// write ROW NOTE...: a row made from notes written as names, numbers or raw bytes.
#include "midi_file.h"
#include "note_names.h"
#include "safe_file.h"
#include "tool.h"

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

} // namespace

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
