// Note recording: the note number of every NOTE_ON that arrives while REC is high.
#include "module.h"

namespace {

// A NOTE_ON with velocity 0 ends a note: keyboards send it instead of NOTE_OFF.
bool isNoteStart(int32_t message) {
    return (midiStatus(message) & 0xF0) == 0x90 && midiData2(message) != 0;
}

} // namespace

// One byte per note, appended to the stream the last load left open; it reaches the file when
// the stream is closed at the next load or when an instance goes.
void Module::onMidiData(int32_t, int32_t message, int32_t) {
    const RowState& state = rowState();
    if (state.recordFileStatus != 0 || state.recording != 1 || !isNoteStart(message))
        return;
    std::fputc(midiData1(message), state.recordFile);
}
