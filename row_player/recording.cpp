// Note recording: the note number of every NOTE_ON that arrives while REC is high.
#include "module.h"
#include "note_append.h"

// One byte per note, appended to the stream the last load left open; the notes reach the file
// when the stream is closed at the next load or when an instance goes. A NOTE_ON with velocity 0
// ends a note and is not recorded.
void Module::onMidiData(int32_t, int32_t message, int32_t) {
    const RowState& state = rowState();
    if (!isNoteStart(message) || state.recordFileStatus != 0 || state.recording != 1)
        return;
    appendNote(state.recordFile, static_cast<uint8_t>(midiData1(message)));
}
