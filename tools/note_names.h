// Note numbers as musicians read them.
#pragma once

#include <cstdint>
#include <string>

// "C4" for 60, "A#-1" for 10; numbers outside 0..127 are written as numbers.
std::string noteName(int note);
