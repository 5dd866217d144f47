// kaveltrum-host: our stand-in host as a command-line tool. Shows a row, plays it through the
// module into MIDI, or records a MIDI file into a row with the module's own recorder.
#pragma once

#include "arguments.h"
#include "host_instance.h"
#include "midi_file.h"
#include "progress.h"
#include "safe_file.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Runs the tool on its words (without the program name). Returns the exit status: 0 done,
// 1 failed, 2 the command line was wrong. Errors go to `err` as one line each; so does a failed
// write to `out`, which is checked as it goes and flushed at the end. Standard input, where a
// command reads "-", is `in` (std::cin when not given).
int runTool(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
            std::ostream& err, ProgressSettings progress = {});
int runTool(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
            ProgressSettings progress = {});

// The commands, each checking its input before the module touches any file.
Status showRow(const CommandLine& line, std::ostream& out);
Status playRow(const CommandLine& line, const std::string& modulePath, std::ostream& out,
               Progress& progress);
Status recordRow(const CommandLine& line, const std::string& modulePath, std::istream& in,
                 std::ostream& out, Progress& progress);
Status writeRow(const CommandLine& line, std::istream& in, std::ostream& out);
Status listMidi(const CommandLine& line, std::istream& in, std::ostream& out);

// The MIDI file at `path`, or on `in` for "-".
Result<MidiSequence> readMidiInput(const std::string& path, std::istream& in);

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

// The bytes of a row file; fails with a line naming the file and the reason. Unlike the host's
// readWholeFile, which grows its buffer as it reads, this one learns the length first and takes
// the memory once: a row may be hundreds of megabytes, and must not need twice that on the way in.
Result<std::vector<uint8_t>> readRowFile(const std::string& path);

// Whether the file at `path` begins as a MIDI file does; false when it cannot be read.
bool beginsAsMidi(const std::string& path);

// A row that begins as a MIDI file does is almost surely one given by mistake: fails with a line
// that says so, unless --raw asks for its bytes anyway. The row is known to be a regular file.
Status refuseMidiRow(const CommandLine& line, const std::string& path);

// The length of a row file in notes, once it is known to be a regular file.
Result<uint64_t> rowLength(const std::string& path);

// Fails unless the module can open the row under this name: it takes names of up to 399 bytes
// and would open a shorter name than the one given.
Status checkRowName(const std::string& path);

// Whole and real numbers of the options shared by play and record.
Result<long> blockSizeOption(const CommandLine& line);
Result<double> sampleRateOption(const CommandLine& line);

// A real number within [low, high], named by its option in the error.
Result<double> realNumber(const CommandLine& line, const std::string& option, double fallback,
                          double low, double high);

// Fails when something written to `out` did not arrive: "standard output: No space left...".
Status outputStatus(std::ostream& out);

// Loads the module file and makes and opens one instance of it.
Result<std::unique_ptr<HostInstance>> startInstance(const std::string& modulePath, double rate,
                                                    long blockSize);
