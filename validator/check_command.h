// kaveltrum-host check MODULE: loads any module file of the host interface, drives it through
// every request and event a host may send, each check in a child process of its own, and ends
// with a verdict.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Whether the tool's first word starts the check command or one of its child processes.
bool isCheckCommand(const std::string& firstWord);

// Runs `check ...` or the hidden child sub-command; returns the exit status (0 every check
// passed, 1 a check failed, 2 the command line was wrong or the module could not be loaded).
int runCheckCommand(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);
