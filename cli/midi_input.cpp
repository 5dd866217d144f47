#include "midi_input.h"

#include <iterator>
#include <vector>

Result<MidiSequence> readMidiInput(const std::string& path, std::istream& in) {
    if (path != "-")
        return readMidiFile(path);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    if (in.bad())
        return Failure{"standard input: could not be read"};
    Result<MidiSequence> sequence = parseMidi(bytes.data(), bytes.size());
    if (!sequence)
        return Failure{"standard input: " + sequence.error()};
    return sequence;
}
