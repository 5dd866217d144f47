// How the check command and its child processes talk: the hidden sub-command a child is started
// with, and the verdict the parent makes of what the child printed and how it ended.
#pragma once

#include "checks.h"
#include "child_process.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// The hidden first word that starts a child: `__check-child MODULE CHECK SEED FOLDER`.
constexpr const char* ChildCommand = "__check-child";
// The child's "check" that only loads the module file.
constexpr const char* LoadProbe = "load";

std::vector<std::string> childArguments(const std::string& module, const std::string& check,
                                        uint64_t seed, const std::string& folder);

// The child's side: runs one check in `folder` and prints its report lines.
int runChildCheck(const std::vector<std::string>& arguments);

struct CheckVerdict {
    bool passed = false;
    std::vector<std::string> lines; // WARN lines, then one PASS or FAIL line
};

// Runs one check in a child process with a scratch folder of its own.
CheckVerdict runOneCheck(const CheckEntry& entry, const std::string& module, uint64_t seed,
                         double timeout);
