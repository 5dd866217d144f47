// Row files as the commands take them: checked, measured and read whole, and told apart from
// MIDI files given by mistake.
#pragma once

#include "command_line.h"
#include "result.h"

#include <cstdint>
#include <string>
#include <vector>

// The length of a row file in notes; fails unless it is a regular file.
Result<uint64_t> rowLength(const std::string& path);

// The bytes of a row file; fails with a line naming the file and the reason. Unlike the host's
// readWholeFile, which grows its buffer as it reads, this one learns the length first and takes
// the memory once: a row may be hundreds of megabytes, and must not need twice that on the way in.
Result<std::vector<uint8_t>> readRowFile(const std::string& path);

// Whether the file at `path` begins as a MIDI file does; false when it cannot be read.
bool beginsAsMidi(const std::string& path);

// A row that begins as a MIDI file does is almost surely one given by mistake: fails with a line
// that says so, unless --raw asks for its bytes anyway. The row is known to be a regular file.
Status refuseMidiRow(const CommandLine& line, const std::string& path);

// Fails unless the module can open the row under this name: it takes names of up to 399 bytes
// and would open a shorter name than the one given.
Status checkRowName(const std::string& path);
