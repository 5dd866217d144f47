#include "note_tracker.h"

#include "abi.h"

#include <algorithm>

namespace {

void inStartOrder(std::vector<Note>& notes) {
    std::sort(notes.begin(), notes.end(),
              [](const Note& a, const Note& b) { return a.number < b.number; });
}

} // namespace

void NoteTracker::take(double seconds, int32_t message) {
    const int32_t kind = midiKind(message);
    if (kind != MidiNoteOn && kind != MidiNoteOff)
        return;
    const size_t key = static_cast<size_t>(midiChannel(message) << 8 | midiData1(message));
    const bool starts = rules.silentNotes ? kind == MidiNoteOn : isNoteStart(message);
    if (starts)
        start(key, seconds, message);
    else
        end(key, seconds);
}

void NoteTracker::start(size_t key, double seconds, int32_t message) {
    Note note;
    note.start = note.end = seconds;
    note.number = started++;
    note.channel = static_cast<uint8_t>(midiChannel(message));
    note.pitch = static_cast<uint8_t>(midiData1(message));
    note.velocity = static_cast<uint8_t>(midiData2(message));
    size_t slot = freeSlots;
    if (slot == None) {
        slot = slots.size();
        slots.push_back(note);
        next.push_back(None);
    } else {
        freeSlots = next[slot];
        slots[slot] = note;
        next[slot] = None;
    }
    if (last[key] == None)
        first[key] = slot;
    else
        next[last[key]] = slot;
    last[key] = slot;
}

void NoteTracker::end(size_t key, double seconds) {
    do {
        const size_t slot = first[key];
        if (slot == None)
            return;
        first[key] = next[slot];
        if (first[key] == None)
            last[key] = None;
        release(slot, seconds);
    } while (rules.endsEveryNote);
}

void NoteTracker::release(size_t slot, double seconds) {
    slots[slot].end = seconds;
    if (rules.keepsEnded)
        endedNotes.push_back(slots[slot]);
    next[slot] = freeSlots;
    freeSlots = slot;
}

std::vector<Note> NoteTracker::sounding() const {
    std::vector<Note> notes;
    for (size_t key = 0; key < Keys; ++key)
        for (size_t slot = first[key]; slot != None; slot = next[slot])
            notes.push_back(slots[slot]);
    inStartOrder(notes);
    return notes;
}

std::vector<Note> NoteTracker::finish(double seconds) {
    std::vector<Note> notes;
    for (size_t key = 0; key < Keys; ++key) {
        for (size_t slot = first[key]; slot != None;) {
            const size_t following = next[slot];
            release(slot, seconds);
            notes.push_back(slots[slot]);
            slot = following;
        }
        first[key] = last[key] = None;
    }
    inStartOrder(notes);
    return notes;
}

std::vector<Note> NoteTracker::ended() const {
    std::vector<Note> notes = endedNotes;
    inStartOrder(notes);
    return notes;
}
