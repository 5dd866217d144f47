// show ROW: the row's notes, one a line.
#include "note_names.h"
#include "tool.h"

#include <iomanip>

Status showRow(const CommandLine& line, std::ostream& out) {
    const std::string& path = line.operands[0];
    Result<std::vector<uint8_t>> row = readRowFile(path);
    if (!row)
        return Failure{row.error()};
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
