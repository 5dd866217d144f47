// Shell commands run by the tests of the manual page and the completion, and files for them.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>

struct ShellRun {
    int status = -1;
    std::string out; // standard output; a command sends its standard error there with 2>&1
};

inline ShellRun shell(const std::string& command) {
    ShellRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, got);
    run.status = pclose(pipe);
    return run;
}

inline bool hasProgram(const std::string& name) {
    return shell("command -v " + name + " >/dev/null 2>&1").status == 0;
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
