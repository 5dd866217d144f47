#include "live_clock.h"

#include <algorithm>
#include <cmath>

InternalClock::InternalClock(double sampleRate, double bpm) : half(sampleRate * 15.0 / bpm / 2.0) {}

// Halving is exact, so k * half rounds to what k / 2 * sixteenth does: edge 2g is gate g's rise
// at ceil(g * sixteenth), edge 2g + 1 its fall at ceil((g + 0.5) * sixteenth), to the frame.
int64_t InternalClock::edgeFrame(int64_t edge) const {
    return static_cast<int64_t>(std::ceil(static_cast<double>(edge) * half));
}

// The division finds the edge to within one; the edges themselves settle it, so the level at a
// frame always agrees with them.
int64_t InternalClock::lastEdgeAt(int64_t frame) const {
    if (frame < 0)
        return -1;
    int64_t edge = static_cast<int64_t>(std::floor(static_cast<double>(frame) / half));
    while (edge > 0 && edgeFrame(edge) > frame)
        --edge;
    while (edgeFrame(edge + 1) <= frame)
        ++edge;
    return edge;
}

bool InternalClock::highAt(int64_t frame) const {
    const int64_t edge = lastEdgeAt(frame);
    return edge >= 0 && edge % 2 == 0;
}

int64_t InternalClock::nextEdgeAfter(int64_t frame) const {
    return edgeFrame(lastEdgeAt(frame) + 1);
}

int64_t InternalClock::riseOf(int64_t gate) const {
    return edgeFrame(2 * gate);
}

bool isClockOrTransport(uint8_t status) {
    return status == MidiClockTick || status == MidiStart || status == MidiContinue ||
           status == MidiStop;
}

void MidiClock::take(uint8_t status, int64_t frame) {
    switch (status) {
    case MidiStart:
    case MidiContinue:
        isRunning = true;
        count = 0;
        high = false;
        return;
    case MidiStop:
        isRunning = false;
        high = false;
        return;
    case MidiClockTick:
        ticks[seen % Kept] = frame;
        ++seen;
        if (!isRunning)
            return;
        if (count % 6 == 0)
            high = true;
        else if (count % 6 == 3)
            high = false;
        ++count;
        return;
    default:
        return;
    }
}

double MidiClock::bpm(double sampleRate) const {
    if (seen < 2)
        return 0.0;
    const int64_t intervals = std::min<int64_t>(seen, Kept) - 1;
    const int64_t last = ticks[(seen - 1) % Kept];
    const int64_t first = ticks[(seen - 1 - intervals) % Kept];
    if (last <= first)
        return 0.0;
    const double framesPerClock =
        static_cast<double>(last - first) / static_cast<double>(intervals);
    return 60.0 * sampleRate / (24.0 * framesPerClock);
}
