#include "note_names.h"

#include <cctype>

namespace {

const char* const sharpNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

// Semitones above C of the natural notes, indexed by letter from A.
const int letterSteps[] = {9, 11, 0, 2, 4, 5, 7};

bool allDigits(const std::string& text, size_t from) {
    if (from >= text.size() || text.size() - from > 4)
        return false;
    for (size_t i = from; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

// A lower-case b and a number is a raw byte, b0 to b255; the note B3 is written with a capital.
Result<uint8_t> rawByte(const std::string& word) {
    const int value = std::stoi(word.substr(1));
    if (value > 255)
        return Failure{"'" + word + "' is no byte (b0..b255)"};
    return static_cast<uint8_t>(value);
}

Result<uint8_t> number(const std::string& word) {
    const int value = std::stoi(word);
    if (value > 127)
        return Failure{"'" + word + "' is above 127, the highest note (b" + word +
                       " is that byte)"};
    return static_cast<uint8_t>(value);
}

Result<uint8_t> named(const std::string& word) {
    const Failure notANote{"'" + word + "' is not a note (C4, c#4, Db4, 60 or b200)"};
    const int letter = std::toupper(static_cast<unsigned char>(word[0]));
    if (letter < 'A' || letter > 'G')
        return notANote;
    int step = letterSteps[letter - 'A'];
    size_t at = 1;
    for (; at < word.size() && (word[at] == '#' || word[at] == 'b'); ++at)
        step += word[at] == '#' ? 1 : -1;
    const bool below = at < word.size() && word[at] == '-';
    if (!allDigits(word, below ? at + 1 : at))
        return notANote;
    const int octave = std::stoi(word.substr(below ? at + 1 : at)) * (below ? -1 : 1);
    const int note = (octave + 1) * 12 + step;
    if (note < 0 || note > 127)
        return Failure{"'" + word + "' is outside C-1..G9, the notes MIDI has"};
    return static_cast<uint8_t>(note);
}

} // namespace

std::string noteName(int note) {
    if (note < 0 || note > 127)
        return std::to_string(note);
    return sharpNames[note % 12] + std::to_string(note / 12 - 1);
}

const char* noteNameText(uint8_t note) {
    struct Names {
        char text[128][8] = {};
        Names() {
            for (int n = 0; n < 128; ++n)
                noteName(n).copy(text[n], sizeof text[n] - 1);
        }
    };
    static const Names names;
    return names.text[note & 0x7F];
}

std::string rowWord(uint8_t byte) {
    return byte < 128 ? noteName(byte) : "b" + std::to_string(byte);
}

Result<uint8_t> parseRowWord(const std::string& word) {
    if (allDigits(word, 0))
        return number(word);
    if (word[0] == 'b' && allDigits(word, 1))
        return rawByte(word);
    return named(word);
}

Result<std::vector<uint8_t>> parseRowWords(const std::string& text, bool comments) {
    const bool manyLines = text.find('\n') != std::string::npos;
    std::vector<uint8_t> row;
    size_t line = 1, count = 0, at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '\n') {
            ++line;
            if (manyLines)
                count = 0; // words count from the start of their line
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
            ++at;
            continue;
        }
        if (comments && c == '#') {
            at = text.find('\n', at);
            continue; // npos ends the loop
        }
        const size_t end = text.find_first_of(" \t\r\n,", at);
        const std::string word = text.substr(at, end == std::string::npos ? end : end - at);
        at = end;
        ++count;
        Result<uint8_t> byte = parseRowWord(word);
        if (!byte)
            return Failure{(manyLines ? "line " + std::to_string(line) + ", " : std::string()) +
                           "word " + std::to_string(count) + ": " + byte.error()};
        row.push_back(*byte);
    }
    return row;
}
