// How the check command and its child processes talk: the hidden sub-command a child is started
// with, and the verdict the parent makes of what the child reported and how it ended.
#pragma once

#include "check_command.h"
#include "checks.h"
#include "child_process.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// The child's "check" that only loads the module file.
constexpr const char* LoadProbe = "load";

// Where a child works and where it writes its report: the report lines (WARN lines, then one
// PASS or FAIL line) go to a file of their own, so that whatever the module prints cannot be
// taken for one.
struct ChildFolder {
    std::string work;   // the child's working folder, the module's to write in
    std::string report; // the report file, beside the working folder
};

std::vector<std::string> childArguments(const std::string& module, const std::string& check,
                                        uint64_t seed, const ChildFolder& folder);

struct CheckVerdict {
    bool passed = false;
    bool skipped = false;           // could not be made here: neither passed nor failed
    std::vector<std::string> lines; // WARN lines, then one PASS, FAIL or SKIP line
};

// Runs one check in a child process with a scratch folder of its own.
CheckVerdict runOneCheck(const CheckEntry& entry, const std::string& module, uint64_t seed,
                         double timeout);

// What loading the module file in a child told: why it cannot be checked (empty when it can),
// and what the module says of itself (name, identifier, about, interface version).
struct LoadAnswer {
    std::string problem;
    std::vector<std::pair<std::string, std::string>> properties;
};
LoadAnswer probeModule(const std::string& module, double timeout);

// The checks a run makes, in the order of the table.
std::vector<const CheckEntry*> selectedChecks(const CheckOptions& options);

uint64_t freshSeed();
