// The reports `check` writes for continuous integration: a JSON object, and JUnit XML that CI
// systems show as a test report. Both describe one run and are written whole.
#pragma once

#include "result.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One check as a report tells it.
struct CheckRecord {
    std::string name;
    std::string result;                // "PASS", "FAIL", "WARN" (passed with warnings) or "SKIP"
    std::string details;               // the verdict's words after the name, or why it was skipped
    std::vector<std::string> warnings; // the words of each warning
    double seconds = 0.0;
};

// One run of the checks on one module file.
struct RunRecord {
    std::string module;      // the module file's path
    std::string toolVersion; // kaveltrum-host's
    uint64_t seed = 0;
    // What the module tells of itself: name, identifier, about, interface version; empty when
    // it told nothing.
    std::vector<std::pair<std::string, std::string>> properties;
    std::string problem; // why the module could not be checked at all; empty when it was
    std::vector<CheckRecord> checks;
};

// The check record of a verdict's report lines ("WARN name: ...", then "PASS name[: ...]",
// "FAIL name: ..." or "SKIP name: ...").
CheckRecord checkRecordOf(const std::string& name, const std::vector<std::string>& lines,
                          double elapsed);

std::string jsonReport(const RunRecord& run);
std::string junitReport(const RunRecord& run);

// Writes the reports to the files named (an empty name writes none), each whole or not at all.
Status writeReports(const RunRecord& run, const std::string& jsonFile,
                    const std::string& junitFile);
