// Which packed words are MIDI messages, and which of them are notes a row player sends.
#include "midi_check.h"

#include "abi.h"

#include <gtest/gtest.h>

namespace {

TEST(MidiCheck, MessagesAndChannelOneNotes) {
    struct Case {
        int32_t message;
        bool valid, note;
    };
    const Case table[] = {
        {packMidi(MidiNoteOn, 60, 100), true, true},
        {packMidi(MidiNoteOff, 127, 0), true, true},
        {packMidi(0x91, 60, 100), true, false},
        {packMidi(0xB0, 7, 127), true, false},
        {packMidi(0xC0, 5, 0), true, false},
        {packMidi(0xC0, 5, 1), false, false},
        {packMidi(0xF8, 0, 0), true, false},
        {packMidi(0xF8, 1, 0), false, false},
        {packMidi(0xF0, 0, 0), false, false},
        {packMidi(MidiNoteOn, 128, 1), false, false},
        {packMidi(MidiNoteOn, 60, 128), false, false},
        {packMidi(0x7F, 60, 1), false, false},
        {packMidi(MidiNoteOn, 60, 1) | 1 << 24, false, false},
    };
    for (const Case& c : table) {
        EXPECT_EQ(isValidMidiMessage(c.message), c.valid) << std::hex << c.message;
        EXPECT_EQ(isChannelOneNote(c.message), c.note) << std::hex << c.message;
    }
}

} // namespace
