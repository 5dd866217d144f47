// The playback engine: once per block, at the block's first sample, the control inputs drive
// loading, recording, rewinding, playing and ending notes, and the loop.
#include "module.h"

namespace {

constexpr double HighLevel = 0.2; // 2 volts

// Outgoing notes are always valid MIDI: seven-bit note, velocity clamped to 0..127.
int32_t noteMessage(int32_t status, uint8_t rowByte, int16_t velocity) {
    const int32_t level = velocity < 0 ? 0 : velocity > 127 ? 127 : velocity;
    return packMidi(status, rowByte & 0x7F, level);
}

} // namespace

// An input without a block (no pins, or the host has not written it) reads as 0, which is low.
// A NaN is neither high nor low.
bool Module::inputHigh(const float* block, int32_t start) const noexcept {
    return pins && block && start >= 0 && static_cast<double>(block[start]) > HighLevel;
}

bool Module::inputLow(const float* block, int32_t start) const noexcept {
    return !(pins && block && start >= 0) || static_cast<double>(block[start]) <= HighLevel;
}

void Module::processBlock(int32_t start) noexcept {
    RowState& state = rowState();
    const int32_t from = fromNote;
    const int32_t to = toNote;

    if (inputHigh(reloadIn, start))
        reloadRow(); // every block while RELOAD is high
    state.recording = inputHigh(recIn, start) ? 1 : 0;
    if (inputHigh(returnIn, start))
        state.position = 0;
    if (inputHigh(playIn, start) && state.rowLength != 0 && state.gateArmed == 1 &&
        inputHigh(gateIn, start) && state.position < state.rowLength)
        playNote();
    if (inputLow(gateIn, start) && state.gateArmed == 0)
        rearmGate();
    if (loopIt == 1)
        wrapLoop(from, to);
}

// The NOTE_OFF waits in this instance's ring slot until a later re-arm reaches it.
void Module::playNote() noexcept {
    RowState& state = rowState();
    const uint8_t note = state.row[state.position++];
    state.noteOffRing[ringIndex] = noteMessage(0x80, note, velocity);
    state.gateArmed = 0;
    send(noteMessage(0x90, note, velocity));
}

// GATE fell after a note: the ring turns by one slot over the first `nextNoteOff` slots, and
// the NOTE_OFF stored there ends its note. With 0 the ring stands still and nothing ends.
void Module::rearmGate() noexcept {
    RowState& state = rowState();
    state.gateArmed = 1;
    const int32_t slots = nextNoteOff < RingSlots ? nextNoteOff : RingSlots;
    if (slots <= 0)
        return;
    if (++ringIndex >= slots)
        ringIndex = 0;
    if (state.noteOffRing[ringIndex] != 0)
        send(state.noteOffRing[ringIndex]);
}

// `to` is an exclusive end and `from` the restart; values outside the row fall back to the
// whole row.
void Module::wrapLoop(int32_t from, int32_t to) noexcept {
    RowState& state = rowState();
    const int64_t length = state.rowLength;
    const int64_t end = to > 0 && to <= length ? to : length;
    if (state.position < end)
        return;
    state.position = from > 0 && from < length ? static_cast<uint32_t>(from) : 0;
}

void Module::send(int32_t message) noexcept {
    if (SEPin* out = pin(PinMidiOut))
        out->sendMidi(sampleClock(), message);
}
