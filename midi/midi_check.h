// Whether a packed MIDI word holds a message, and whether it is a note of the kind a note-row
// player sends.
#pragma once

#include <cstdint>

// A status byte (0x80 or more, not a system-exclusive or undefined status), exactly the data
// bytes that status calls for, each below 0x80, and nothing above them.
bool isValidMidiMessage(int32_t message);

// A valid NOTE_ON or NOTE_OFF on channel 1.
bool isChannelOneNote(int32_t message);
