#include "midi_input.h"

#include <iterator>
#include <utility>
#include <vector>

Result<MidiReading> readMidiInput(const std::string& path, std::istream& in) {
    if (path != "-")
        return MidiReading::ofFile(path);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    if (in.bad())
        return Failure{"standard input: could not be read"};
    Result<MidiReading> reading = MidiReading::of(std::move(bytes));
    if (!reading)
        return Failure{"standard input: " + reading.error()};
    return reading;
}
