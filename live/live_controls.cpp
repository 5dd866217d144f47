#include "live_controls.h"

Controls::Controls(const ControlSettings& settings)
    : settings(settings), internal(settings.sampleRate, settings.bpm), rec(settings.recHeld),
      // The internal clock plays from the start, unless a control change is to start it; the
      // MIDI clock's START does.
      play(settings.clock == ClockSource::Internal && settings.playCc < 0) {}

Taken Controls::take(const uint8_t* bytes, size_t size, int64_t frame) {
    if (size == 0)
        return Taken::Module;
    const uint8_t status = bytes[0];
    if (isClockOrTransport(status)) {
        if (settings.clock != ClockSource::Midi)
            return Taken::Used; // another program's transport does not steer our clock
        midi.take(status, frame);
        if (status == MidiStart) {
            play = true;
            returnPulse = true;
        } else if (status == MidiContinue) {
            play = true;
        } else if (status == MidiStop) {
            play = false;
            return Taken::Stopped;
        }
        return Taken::Used;
    }
    if ((status & 0xF0) == 0xB0 && size == 3 && takeControlChange(bytes[1], bytes[2]))
        return Taken::Used;
    return Taken::Module;
}

bool Controls::takeControlChange(uint8_t number, uint8_t value) {
    const bool high = ccHigh(value);
    bool used = false;
    const auto steer = [&](int cc, bool& level) {
        if (cc == number) {
            level = high;
            used = true;
        }
    };
    steer(settings.recCc, rec);
    steer(settings.playCc, play);
    steer(settings.returnCc, returnHeld);
    steer(settings.reloadCc, reloadHeld);
    return used;
}

void Controls::key(Key key) {
    switch (key) {
    case Key::Rec:
        rec = !rec;
        return;
    case Key::Play:
        play = !play;
        return;
    case Key::Return:
        returnPulse = true;
        return;
    case Key::Reload:
        reloadPulse = true;
        return;
    }
}

// Playing moves on by one edge at a time, which costs one multiplication; a jump, or a look
// back, finds its edge by division.
void Controls::followClock(int64_t frame) {
    if (frame >= clockEdge && clockEdge >= 0) {
        ++edge;
        clockFrom = clockEdge;
        clockEdge = internal.edgeFrame(edge + 1);
    }
    if (frame < clockFrom || frame >= clockEdge) {
        edge = internal.lastEdgeAt(frame);
        clockFrom = edge < 0 ? std::numeric_limits<int64_t>::min() : internal.edgeFrame(edge);
        clockEdge = internal.edgeFrame(edge + 1);
    }
    clockHigh = edge >= 0 && edge % 2 == 0;
}
