// The two messages a note is made of, on the first channel, as tests write them.
#pragma once

#include "abi.h"

constexpr int32_t noteOn(int note, int velocity = 100) {
    return packMidi(MidiNoteOn, note, velocity);
}
constexpr int32_t noteOff(int note, int velocity = 100) {
    return packMidi(MidiNoteOff, note, velocity);
}
