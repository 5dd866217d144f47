// Notes made of the NOTE_ONs and NOTE_OFFs of a stream of messages: when each started and ended,
// and which still sound.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// One note, from the NOTE_ON that started it to the message that ended it.
struct Note {
    double start = 0.0;
    double end = 0.0;     // when it ended; its start while it still sounds
    uint64_t number = 0;  // its place among the notes started, from 0
    uint8_t channel = 0;  // 0 for the first
    uint8_t pitch = 0;    // the NOTE_ON's first data byte
    uint8_t velocity = 0; // and its second
};

// Takes messages in time order and pairs them into notes, each end ending the earliest note of
// its pitch on its channel that still sounds, as a player's ring of NOTE_OFFs ends them. A
// NOTE_ON of velocity 0 ends a note, as keyboards send it. Other messages pass by. Only the notes
// that sound take memory, unless the ended ones are kept.
class NoteTracker {
  public:
    struct Rules {
        // A NOTE_ON of velocity 0 starts a silent note instead, and only a NOTE_OFF ends one:
        // a picture of what was sent shows every NOTE_ON.
        bool silentNotes = false;
        // An end ends every note of its pitch on its channel that still sounds, as a synthesizer
        // that sounds each key once hears it.
        bool endsEveryNote = false;
        // The ended notes are kept for ended().
        bool keepsEnded = false;
    };

    NoteTracker() = default;
    explicit NoteTracker(Rules rules) : rules(rules) {}

    void take(double seconds, int32_t message);

    // The notes still sounding, in the order they started.
    [[nodiscard]] std::vector<Note> sounding() const;

    // Ends every note still sounding at `seconds`; returns them, in the order they started.
    std::vector<Note> finish(double seconds);

    // Every note ended so far, those that finish() ended too, in the order they started. Empty
    // unless the rules keep them.
    [[nodiscard]] std::vector<Note> ended() const;

  private:
    static constexpr size_t None = SIZE_MAX;
    static constexpr size_t Keys = size_t{16} * 256; // channel and pitch

    void start(size_t key, double seconds, int32_t message);
    void end(size_t key, double seconds);
    void release(size_t slot, double seconds);

    Rules rules;
    uint64_t started = 0;
    // The sounding notes lie in slots; each key's are a list through `next`, earliest first, and
    // so are the free slots.
    std::vector<Note> slots;
    std::vector<size_t> next;
    size_t freeSlots = None;
    std::array<size_t, Keys> first = noSlots(), last = noSlots();
    std::vector<Note> endedNotes; // in the order they ended

    static std::array<size_t, Keys> noSlots() {
        std::array<size_t, Keys> keys;
        keys.fill(None);
        return keys;
    }
};
