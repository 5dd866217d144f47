// kaveltrum-host: our stand-in host as a command-line tool. Shows a row, plays it through the
// module into MIDI, records a MIDI file into a row with the module's own recorder, or checks any
// module file; each command is a row of the command table.
#pragma once

#include "progress.h"

#include <istream>
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
