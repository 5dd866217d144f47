// kaveltrum-host check run as a program, on the small modules built beside it.
#pragma once

#include "child_process.h"
#include "module_file.h"
#include "support/tool_run.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
inline const std::string Tool = "kaveltrum-host.exe";
inline const std::string ModuleSuffix = ".sem";
#else
inline const std::string Tool = "kaveltrum-host";
inline const std::string ModuleSuffix = ".so";
#endif

inline std::string beside(const std::string& name) {
    Result<std::string> path = besideExecutable(name);
    EXPECT_TRUE(path.ok()) << path.error();
    return path.ok() ? *path : name;
}

// Built with the sanitizers, a module's fault is found by the sanitizer inside the module first,
// which ends the child with status 1 before the check answers.
#if defined(__SANITIZE_ADDRESS__)
inline const bool Sanitized = true;
inline const char* const CrashSeen = "before answering";
#else
inline const bool Sanitized = false;
inline const char* const CrashSeen = "crashed (";
#endif

// The test module check_NAME.so (.sem on Windows).
inline std::string module(const std::string& name) {
    return beside("check_" + name + ModuleSuffix);
}

// `kaveltrum-host check WORDS...`, its standard output and error together.
inline ToolRun check(std::vector<std::string> words) {
    words.insert(words.begin(), "check");
    const ChildRun run = runChild(beside(Tool), words, 300.0, ChildOutput::KeepWithErrors);
    EXPECT_EQ(run.end, ChildRun::End::Exited) << run.why;
    return {static_cast<int>(run.code), run.output, {}};
}

// The lines of a run without the realtime check's warning of a block that overran its duration:
// on a loaded machine any block can, so no test counts on that line being there or not.
inline std::vector<std::string> steadyLines(const ToolRun& run) {
    std::vector<std::string> found;
    for (std::string& line : lines(run.out))
        if (line.rfind("WARN realtime: ", 0) != 0)
            found.push_back(std::move(line));
    return found;
}

// The first line that starts with `start`, or an empty text.
inline std::string lineStarting(const ToolRun& run, const std::string& start) {
    for (const std::string& line : lines(run.out))
        if (line.compare(0, start.size(), start) == 0)
            return line;
    return {};
}

// "PASS name", or "PASS name: a remark".
inline bool passes(const std::string& line, const std::string& name) {
    const std::string pass = "PASS " + name;
    return line == pass || line.compare(0, pass.size() + 2, pass + ": ") == 0;
}
