// What the player hears from outside: the clock, control changes, transport and keys, turned
// into the levels of the module's five control inputs for each block.
#pragma once

#include "live_clock.h"

#include <cstddef>
#include <cstdint>
#include <limits>

enum class ClockSource { Internal, Midi };

struct ControlSettings {
    ClockSource clock = ClockSource::Internal;
    double bpm = 120.0; // of the internal clock
    double sampleRate = 44100.0;
    bool recHeld = false; // REC high throughout
    // Control change numbers 0..127 that steer an input, or -1
    int recCc = -1, playCc = -1, returnCc = -1, reloadCc = -1;
};

// The levels of the module's control inputs for one block, a bit each: they are worked out for
// every block, and compared whole.
struct Levels {
    enum Bit : unsigned { Rec = 1, Play = 2, Return = 4, Gate = 8, Reload = 16 };
    unsigned bits = 0;
    bool rec() const { return bits & Rec; }
    bool play() const { return bits & Play; }
    bool ret() const { return bits & Return; }
    bool gate() const { return bits & Gate; }
    bool reload() const { return bits & Reload; }
};

// The keys of the terminal, as the audio thread receives them.
enum class Key : uint8_t { Rec, Play, Return, Reload };

// What a message from the MIDI input is to the player.
enum class Taken {
    Module,  // not ours: the module gets it
    Used,    // a control change or a clock or transport message we act on
    Stopped, // a MIDI STOP: PLAY falls and the sounding notes are to be ended
};

// Control changes on any channel; a value of 64 or more is high, below it low.
constexpr bool ccHigh(uint8_t value) {
    return value >= 64;
}

class Controls {
  public:
    explicit Controls(const ControlSettings& settings);

    // A message that arrived at `frame`; says whether the module gets it.
    Taken take(const uint8_t* bytes, size_t size, int64_t frame);
    void key(Key key);
    void stopPlaying() { play = false; } // the run is ending

    // The levels of the block that starts at `frame`. The one-block pulses (RETURN from START
    // or Enter, RELOAD from a fall of REC or the key) are spent by it.
    Levels levelsFor(int64_t frame) {
        const bool gate = settings.clock == ClockSource::Internal ? clockAt(frame) : midi.gate();
        // a take is in the row at once: the block in which REC is first low reloads the file,
        // after the module's recorder has put every note of the take into it
        const bool reload = reloadHeld || reloadPulse || (recBefore && !rec);
        Levels levels;
        levels.bits = (rec ? Levels::Rec : 0u) | (play ? Levels::Play : 0u) |
                      (returnHeld || returnPulse ? Levels::Return : 0u) |
                      (gate ? Levels::Gate : 0u) | (reload ? Levels::Reload : 0u);
        returnPulse = reloadPulse = false;
        recBefore = rec;
        return levels;
    }

    // Whether the next blocks get the same levels as long as nothing arrives and the clock
    // does not move GATE: no one-block pulse is pending.
    bool steady() const { return !returnPulse && !reloadPulse && recBefore == rec; }
    // Where the internal clock next changes GATE, so that a block can end there; with the MIDI
    // clock GATE changes only between blocks, when a clock arrives.
    int64_t nextClockEdge(int64_t frame) {
        if (settings.clock != ClockSource::Internal)
            return std::numeric_limits<int64_t>::max();
        clockAt(frame);
        return clockEdge;
    }

    // No two of those edges lie closer together than this; 0 with the MIDI clock.
    int64_t shortestClockGap() const {
        return settings.clock == ClockSource::Internal ? internal.shortestGap() : 0;
    }
    bool recording() const { return rec; }
    bool playing() const { return play; }
    ClockSource clockSource() const { return settings.clock; }
    const MidiClock& midiClock() const { return midi; }

  private:
    bool takeControlChange(uint8_t number, uint8_t value);
    // The internal clock's level at `frame`, worked out again only when a block passes its
    // edge: most blocks of a sixteenth share its level.
    bool clockAt(int64_t frame) {
        if (frame < clockFrom || frame >= clockEdge)
            followClock(frame);
        return clockHigh;
    }
    void followClock(int64_t frame);

    ControlSettings settings;
    InternalClock internal;
    // The clock's last edge at or before the frames asked for, from clockFrom to clockEdge.
    int64_t edge = -1;
    bool clockHigh = false;
    int64_t clockFrom = 0, clockEdge = -1;
    MidiClock midi;
    bool rec, play;
    bool returnHeld = false, reloadHeld = false; // by their control changes
    bool returnPulse = false, reloadPulse = false;
    bool recBefore = false; // REC in the block before
};
