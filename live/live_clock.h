// The clocks that raise GATE: our own, one sixteenth note at a tempo counted in frames, or the
// MIDI clock another program sends, 24 clocks to the quarter note.
#pragma once

#include <algorithm>
#include <cstdint>

// One rise per sixteenth note, high for the first half of it, from frame 0 on. A sixteenth of
// 5512.5 frames (120 BPM at 44100 Hz) rises at 0, 5513, 11025, 16538...: every edge lies on the
// first whole frame at or after its exact time, so the spacing alternates and never drifts.
class InternalClock {
  public:
    InternalClock(double sampleRate, double bpm);

    // The edges in a row, rises and falls alike: edge k lies at ceil(k * sixteenth / 2), a rise
    // where k is even, and GATE is high from an even edge to the next. A player that moves
    // forward steps from one edge to the next instead of asking for the level at every frame.
    int64_t edgeFrame(int64_t edge) const;
    int64_t lastEdgeAt(int64_t frame) const; // the last edge at or before `frame`; -1 before 0

    bool highAt(int64_t frame) const;
    // The first frame after `frame` at which the level changes.
    int64_t nextEdgeAfter(int64_t frame) const;
    int64_t riseOf(int64_t gate) const; // the frame at which gate number `gate` rises
    // No two edges lie closer together than this many frames.
    int64_t shortestGap() const { return static_cast<int64_t>(std::min(half, 1e18)); }

  private:
    double half; // of a sixteenth, in frames: the spacing of the edges
};

// The status bytes of MIDI clock and transport.
constexpr uint8_t MidiClockTick = 0xF8, MidiStart = 0xFA, MidiContinue = 0xFB, MidiStop = 0xFC;
bool isClockOrTransport(uint8_t status);

// Follows MIDI clock and transport. GATE rises at every sixth clock, the first at the first clock
// after START or CONTINUE, and falls three clocks later; clocks while stopped raise nothing. The
// tempo is measured from the spacing of the last clocks, whether the transport runs or not.
class MidiClock {
  public:
    // Takes a clock or transport status byte that arrived at `frame`.
    void take(uint8_t status, int64_t frame);

    bool gate() const { return high; }
    bool running() const { return isRunning; }
    // Quarter notes per minute over the last clocks; 0 until two clocks have arrived.
    double bpm(double sampleRate) const;

  private:
    static constexpr int Kept = 25; // a quarter note's 24 intervals
    int64_t ticks[Kept] = {};
    int64_t seen = 0;  // clocks ever taken
    int64_t count = 0; // clocks since the transport last started
    bool isRunning = false;
    bool high = false;
};
