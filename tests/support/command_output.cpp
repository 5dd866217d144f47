#include "support/command_output.h"

#include <cstdio>

#if !defined(_WIN32)
CommandOutput commandOutput(const std::string& command) {
    CommandOutput result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        result.output.append(chunk, got);
    result.ran = pclose(pipe) == 0;
    return result;
}
#endif
