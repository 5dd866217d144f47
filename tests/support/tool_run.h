// What one run of kaveltrum-host gave, in-process or as a program of its own.
#pragma once

#include <sstream>
#include <string>
#include <vector>

struct ToolRun {
    int status = 0;
    std::string out; // standard output; for a program run, its standard error too
    std::string err;
};

// The lines of a text, without their line breaks (a Windows '\r' included).
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        found.push_back(line);
    }
    return found;
}
