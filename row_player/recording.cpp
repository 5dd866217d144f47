// Note recording: the note number of every NOTE_ON that arrives while REC is high.
#include "module.h"

#include <stdio.h>

namespace {

// A NOTE_ON with velocity 0 ends a note: keyboards send it instead of NOTE_OFF.
bool isNoteStart(int32_t message) {
    return (midiStatus(message) & 0xF0) == 0x90 && midiData2(message) != 0;
}

// One byte to the record file's stream, with a single buffered write. The module is called one
// call at a time and takes no locks, so the stream's own lock is not taken either where the
// system offers a write without it.
inline void appendNote(std::FILE* file, uint8_t note) noexcept {
#if defined(_WIN32)
    std::fputc(note, file);
#else
    putc_unlocked(note, file);
#endif
}

// One byte per note, appended to the stream the last load left open; the notes reach the file
// when the stream is closed at the next load or when an instance goes.
inline void recordNote(int32_t message) noexcept {
    const RowState& state = rowState();
    if (__builtin_expect(
            !isNoteStart(message) || state.recordFileStatus != 0 || state.recording != 1, 0))
        return;
    appendNote(state.recordFile, static_cast<uint8_t>(midiData1(message)));
}

} // namespace

// MIDI is the event that comes by the thousand, and each note must cost little more than the byte
// it records: the record's event entry takes it straight to the recorder. Every other event goes
// the usual way, through handleEvent. Like the block routine, the entry starts on a cache line of
// its own, so that its speed does not depend on where the linker happens to place it.
[[gnu::aligned(64)]] void SE_ABI Module::receiveEvent(void* instance, HostEvent* event) noexcept {
    if (!instance || !event)
        return;
    if (__builtin_expect(event->kind == EventMidi, 1))
        recordNote(event->value); // all that onMidiData does
    else
        static_cast<SEModule_base*>(instance)->handleEvent(event);
}

void Module::onMidiData(int32_t, int32_t message, int32_t) {
    recordNote(message);
}
