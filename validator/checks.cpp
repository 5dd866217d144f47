#include "checks.h"

uint64_t Random::next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int32_t Random::below(int32_t bound) {
    return bound <= 0 ? 0 : static_cast<int32_t>(next() % static_cast<uint64_t>(bound));
}

int32_t Random::between(int32_t low, int32_t high) {
    return low + below(high - low + 1);
}

float Random::between(float low, float high) {
    const double unit = static_cast<double>(next() >> 11) / 9007199254740992.0; // [0, 1)
    return static_cast<float>(low + (high - low) * unit);
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return text;
}

void reportLine(std::ostream& out, const std::string& line) {
    out << oneLine(line) << "\n" << std::flush;
}

void CheckContext::warn(const std::string& what) {
    reportLine(out, "WARN " + name + ": " + what);
}

const std::vector<CheckEntry>& checkTable() {
    static const std::vector<CheckEntry> table = {
        {"exports", "both exports by their plain names; the properties of module 0 and none of 1",
         false, checkExports},
        {"make-module",
         "makeModule refuses a wrong index or selector; the record it makes is sound, with or "
         "without a callback",
         false, checkMakeModule},
        {"pin-descriptions",
         "the pins, described until one is refused: known kinds, terminated texts, the same "
         "answers twice",
         false, checkPinDescriptions},
        {"open-close",
         "open asks for the pins and installs a routine; a hundred instances in turn, several at "
         "once, one never opened",
         false, checkOpenClose},
        {"blocks",
         "block sizes 1 to 16384, rates 8000 to 192000, changing and hostile samples, parameters "
         "at and past their ends, odd texts; valid MIDI out",
         false, checkBlocks},
        {"events",
         "pin status events on every pin, MIDI of every status and channel in bursts, unknown "
         "kinds; valid MIDI out",
         false, checkEvents},
        {"hanging-notes", "notes started and not ended when the instance closes (a warning only)",
         false, checkHangingNotes},
        {"realtime", "the median block of 64 samples or more takes less than the time it plays for",
         false, checkRealTime},
        {"realtime-safety",
         "no allocation, lock, wait or file call in a block where nothing changed; such calls "
         "on an input's edge or in an event are warnings",
         false, checkRealtimeSafety},
        {"fp-state",
         "every call leaves the floating-point control state (MXCSR, x87) as it found it; "
         "blocks run with flush-to-zero and rounding toward zero",
         false, checkFpState},
        {"host-mistakes",
         "events before open and for missing pins, every opcode from -1000 to 1000, a second "
         "open, start positions outside the block",
         true, checkHostMistakes},
    };
    return table;
}

const CheckEntry* findCheck(const std::string& name) {
    for (const CheckEntry& entry : checkTable())
        if (name == entry.name)
            return &entry;
    return nullptr;
}
