// The playback engine: once per block, at the block's first sample, the control inputs drive
// loading, recording, rewinding, playing and ending notes, and the loop.
#include "module.h"

namespace {

// Above 2 volts, a level of 0.2, an input is high; at or below, low; a NaN is neither. The
// level is compared in double precision, so the float nearest to 0.2, a little above it, is high.
bool isHigh(float level) {
    return static_cast<double>(level) > 0.2;
}
bool isLow(float level) {
    return static_cast<double>(level) <= 0.2;
}

// An input the host has not given a block reads as 0, which is low.
float levelAt(const float* block, int32_t start) {
    return block ? block[start] : 0.0f;
}

// Outgoing notes are always valid MIDI: seven-bit note, velocity clamped to 0..127.
int32_t noteMessage(int32_t status, uint8_t rowByte, int16_t velocity) {
    const int32_t level = velocity < 0 ? 0 : velocity > 127 ? 127 : velocity;
    return packMidi(status, rowByte & 0x7F, level);
}

} // namespace

// The sub-process routine the host calls once per block.
void SE_ABI Module::runBlock(void* instance, int32_t start, int32_t) noexcept {
    static_cast<Module*>(static_cast<SEModule_base*>(instance))->processBlock(start);
}

// The inputs are read once, at the block's first sample, before anything is done. The host's
// blocks are `blockSize` samples long (opcode 3): a start position outside them, or an instance
// without pins, reads every input as low and touches no sample.
void Module::processBlock(int32_t start) noexcept {
    RowState& state = rowState();
    const int32_t from = fromNote;
    const int32_t to = toNote;
    struct {
        float reload, rec, rewind, play, gate;
    } in = {};
    if (pins != nullptr && start >= 0 && start < blockSize)
        in = {levelAt(reloadIn, start), levelAt(recIn, start), levelAt(returnIn, start),
              levelAt(playIn, start), levelAt(gateIn, start)};

    if (isHigh(in.reload))
        reloadRow(); // every block while RELOAD is high
    state.recording = isHigh(in.rec) ? 1 : 0;
    if (isHigh(in.rewind))
        state.position = 0;
    if (isHigh(in.play) && state.rowLength != 0 && state.gateArmed == 1 && isHigh(in.gate) &&
        state.position < state.rowLength)
        playNote();
    if (isLow(in.gate) && state.gateArmed == 0)
        rearmGate();
    if (loopIt == 1)
        wrapLoop(from, to);
}

// The NOTE_OFF waits in this instance's ring slot until a later re-arm reaches it.
void Module::playNote() noexcept {
    RowState& state = rowState();
    const uint8_t note = state.row[state.position++];
    state.noteOffRing[ringIndex] = noteMessage(MidiNoteOff, note, velocity);
    state.gateArmed = 0;
    send(noteMessage(MidiNoteOn, note, velocity));
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

// Out through MIDI Out, stamped with the host's sample clock; nothing without a MIDI Out record.
void Module::send(int32_t message) noexcept {
    if (SEPin* out = pin(PinMidiOut))
        out->sendMidi(sampleClock(), message);
}
