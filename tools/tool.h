// kaveltrum-host: our stand-in host as a command-line tool. Shows a row, plays it through the
// module into MIDI, or records a MIDI file into a row with the module's own recorder.
#pragma once

#include "arguments.h"
#include "host_instance.h"
#include "midi_file.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Runs the tool on its words (without the program name). Returns the exit status: 0 done,
// 1 failed, 2 the command line was wrong. Errors go to `err` as one line each. Standard input,
// where a command reads "-", is `in`.
int runTool(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
            std::ostream& err);
int runTool(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

// The commands, each checking its input before the module touches any file.
Status showRow(const CommandLine& line, std::ostream& out);
Status playRow(const CommandLine& line, const std::string& modulePath, std::ostream& out);
Status recordRow(const CommandLine& line, const std::string& modulePath, std::istream& in,
                 std::ostream& out);
Status writeRow(const CommandLine& line, std::istream& in, std::ostream& out);
Status listMidi(const CommandLine& line, std::istream& in, std::ostream& out);

// The MIDI file at `path`, or on `in` for "-".
Result<MidiSequence> readMidiInput(const std::string& path, std::istream& in);

// Writes `bytes` to `path` whole: a new file beside it, renamed over it once complete.
Status storeRow(const std::string& path, const std::vector<uint8_t>& bytes);

// The bytes of a row file; fails with a line naming the file and the reason.
Result<std::vector<uint8_t>> readRowFile(const std::string& path);

// A row that begins as a MIDI file does is almost surely one given by mistake: fails with a line
// that says so, unless --raw asks for its bytes anyway.
Status refuseMidiRow(const CommandLine& line, const std::string& path,
                     const std::vector<uint8_t>& row);

// Loads the module file and makes and opens one instance of it.
Result<std::unique_ptr<HostInstance>> startInstance(const std::string& modulePath, double rate,
                                                    long blockSize);

// Fails unless a file could be created at `path`: its folder exists and it is no folder itself.
Status checkWritablePlace(const std::string& path, const std::string& what);
