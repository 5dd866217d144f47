// The MIDI file a command reads: a named file, or standard input for "-".
#pragma once

#include "midi_file.h"
#include "result.h"

#include <istream>
#include <string>

Result<MidiReading> readMidiInput(const std::string& path, std::istream& in);
