#include "midi_check.h"

#include "abi.h"

namespace {

// The data bytes a status calls for; -1 for a status no packed word can carry.
int dataBytesOf(int32_t status) {
    if (status < 0x80)
        return -1;
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 1 : 2; // program change and channel pressure: one
    switch (status) {
    case 0xF1: // time code quarter frame
    case 0xF3: // song select
        return 1;
    case 0xF2: // song position
        return 2;
    case 0xF6: // tune request
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
    case 0xFF: // real time
        return 0;
    default: // system exclusive, its end, and the undefined ones
        return -1;
    }
}

} // namespace

bool isValidMidiMessage(int32_t message) {
    const auto word = static_cast<uint32_t>(message);
    const int data = dataBytesOf(midiStatus(message));
    if (data < 0 || (word >> 24) != 0)
        return false;
    const int32_t bytes[2] = {midiData1(message), midiData2(message)};
    for (int i = 0; i < 2; ++i)
        if (i < data ? bytes[i] >= 0x80 : bytes[i] != 0)
            return false;
    return true;
}

bool isChannelOneNote(int32_t message) {
    const int32_t status = midiStatus(message);
    return (status == MidiNoteOn || status == MidiNoteOff) && isValidMidiMessage(message);
}
