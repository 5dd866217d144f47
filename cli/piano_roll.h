// A piano-roll picture of what the module played, as SVG text.
#pragma once

#include "midi_file.h"

#include <string>
#include <vector>

struct PianoRoll {
    std::string title;                  // a line above the roll, e.g. the row's name
    std::vector<TimedMessage> messages; // as played, in time order; NOTE_ONs are 0x9n
    std::vector<double> gates;          // when each gate rose, in seconds
    double gateLength = 0.0;            // how long each gate stays high, in seconds
    double bpm = 120.0;                 // a tick at every beat
    double end = 0.0;                   // where the run ended, in seconds
};

// Time runs to the right, pitch upwards. Each note is one <rect class="note"> from its NOTE_ON
// to the NOTE_OFF that ends it (or to the end), shaded by velocity, with a <title> that names it;
// the gates are marks along the bottom (one band when they lie closer than a few pixels). The
// picture widens with the piece up to a limit, and no bar is narrower than a pixel and a half.
std::string pianoRollSvg(const PianoRoll& roll);
