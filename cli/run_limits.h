// How long a run of play or record may go on, checked before it starts, and how its length is
// told to people.
#pragma once

#include "result.h"

#include <string>

// No run goes on for longer than this in simulated time.
constexpr double LongestRunSeconds = 24 * 3600.0;

// Nor does it run more blocks than this (a few minutes of work at the smallest block sizes).
constexpr double MostBlocks = 2147483648.0;

// Fails when a run of `seconds` of simulated time would take more than MostBlocks blocks.
Status checkBlockCount(double seconds, double rate, long blockSize);

// How long a sixteenth note lasts at `bpm` quarter notes a minute: one gate of `play`.
double sixteenthSeconds(double bpm);

// A length of time for people: "1.5 s", "12 min 5 s", "77 h 40 min 20 s".
std::string lengthInTime(double seconds);
