// Note numbers as musicians read them, and rows written as words.
#pragma once

#include "result.h"

#include <cstdint>
#include <string>
#include <vector>

// "C4" for 60, "A#-1" for 10; numbers outside 0..127 are written as numbers.
std::string noteName(int note);

// The same for a note 0..127 (the low seven bits of `note`), from a table made once: for listings
// that name many notes.
const char* noteNameText(uint8_t note);

// One byte of a row as `write` reads it back: the note's name, or "b200" for a byte of 128 or
// more, which is no note.
std::string rowWord(uint8_t byte);

// One word of a row: a note name from C-1 to G9 (letter in either case, then any number of '#'
// or 'b', then the octave), a number 0..127, or "b0".."b255" for a raw byte: a lower-case b
// followed by a number is always a byte, so B0..B9 are written with a capital. The error does not
// name the word's place.
Result<uint8_t> parseRowWord(const std::string& word);

// Every word of `text`, separated by blanks or commas. With `comments`, '#' at the start of a
// word begins a comment that runs to the end of the line. An error names the word and its place
// ("word 3", or "line 2, word 1" when the text has several lines).
Result<std::vector<uint8_t>> parseRowWords(const std::string& text, bool comments);
