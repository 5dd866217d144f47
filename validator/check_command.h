// kaveltrum-host check MODULE: loads any module file of the host interface, drives it through
// every request and event a host may send, each check in a child process of its own, and ends
// with a verdict.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct CheckOptions {
    std::string module;
    bool strict = false;
    std::optional<uint64_t> seed;  // a fresh one when not given
    std::vector<std::string> only; // check names; empty runs them all
    double timeout = 10.0;         // seconds per check
    unsigned jobs = 0;             // checks run at once; 0: one per processor
    unsigned repeat = 1;           // whole runs, each with the seed after the last
    std::string json;              // a JSON report of the last run is written here, if named
    std::string junit;             // a JUnit XML report, likewise
    std::string toolVersion;       // named in the reports
};

// Runs the checks on the module file; returns the exit status (0 every check passed, 1 a check
// failed, 2 the module could not be loaded).
int runChecks(const CheckOptions& options, std::ostream& out, std::ostream& err);

// Names every check and says what it does, one a line.
void listChecks(std::ostream& out);

// The hidden first word that starts a child: `__check-child MODULE CHECK SEED FOLDER REPORT`.
constexpr const char* ChildCommand = "__check-child";

// The child's side: runs one check in a scratch folder and reports it.
int runChildCheck(const std::vector<std::string>& arguments);
