// Words and files for the shell commands run by the tests of the manual page and the completion.
#pragma once

#include "support/command_output.h"

#include <fstream>
#include <string>

inline bool hasProgram(const std::string& name) {
    return commandOutput("command -v " + name + " >/dev/null 2>&1").status == 0;
}

// A word as the shell reads it back unchanged.
inline std::string shellWord(const std::string& word) {
    std::string out = "'";
    for (const char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
