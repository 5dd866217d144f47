// What a shell command prints, for tests that hand a file to an outside checker (a parser of
// XML, a formatter of manual pages, bash itself) and read its verdict. POSIX only: the Windows
// tests leave those checks to the native run.
#pragma once

#include <string>

struct CommandOutput {
    int status = -1; // the exit status, or -1 when the command could not be run
    std::string output;
};

CommandOutput commandOutput(const std::string& command);
