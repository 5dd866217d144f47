// What a shell command prints, for tests that hand a file to an outside checker (a parser of
// XML, a formatter of manual pages) and read its verdict. POSIX only: the Windows tests leave
// those checks to the native run.
#pragma once

#include <string>

struct CommandOutput {
    bool ran = false; // the command could be started and ended with status 0
    std::string output;
};

CommandOutput commandOutput(const std::string& command);
