#include "note_names.h"

std::string noteName(int note) {
    static const char* const names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
    if (note < 0 || note > 127)
        return std::to_string(note);
    return names[note % 12] + std::to_string(note / 12 - 1);
}
