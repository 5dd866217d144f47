// show ROW: the row's notes, one a line.
#include "midi_file.h"
#include "note_names.h"
#include "tool.h"

#include <iomanip>

Status refuseMidiRow(const CommandLine& line, const std::string& path,
                     const std::vector<uint8_t>& row) {
    if (line.has("--raw") || !looksLikeMidi(row.data(), row.size()))
        return {};
    return Failure{path +
                   ": is a MIDI file, not a row; 'record' makes a row of it and 'list' "
                   "shows its notes (--raw " +
                   line.command + "s its bytes anyway)"};
}

Status showRow(const CommandLine& line, std::ostream& out) {
    const std::string& path = line.operands[0];
    Result<std::vector<uint8_t>> row = readRowFile(path);
    if (!row)
        return Failure{row.error()};
    if (Status notMidi = refuseMidiRow(line, path, *row); !notMidi)
        return notMidi;
    if (line.has("--plain")) {
        for (size_t position = 0; position < row->size(); ++position)
            out << (position ? " " : "") << rowWord((*row)[position]);
        out << "\n";
        return {};
    }
    out << path << ": " << row->size() << (row->size() == 1 ? " note" : " notes") << "\n";
    for (size_t position = 0; position < row->size(); ++position) {
        const int byte = (*row)[position];
        out << std::setw(6) << position << std::setw(5) << byte << "  ";
        if (byte < 128)
            out << noteName(byte) << "\n";
        else
            out << "not a note, plays as " << noteName(byte & 0x7F) << "\n";
    }
    return {};
}
