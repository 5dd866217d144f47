// The command line of kaveltrum-host, checked whole before anything runs.
#pragma once

#include "result.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    std::string command;                       // show, play or record
    std::vector<std::string> operands;         // ROW, or IN.mid ROW
    std::map<std::string, std::string> values; // --name -> value ("" for a switch)
    std::optional<std::string> modulePath;

    bool has(const std::string& option) const { return values.count(option) != 0; }
};

// Splits and checks the words: a known command, the options it takes, a value for each option
// that needs one, and the right number of operands.
Result<CommandLine> parseCommandLine(const std::vector<std::string>& words);

// A whole number within [low, high], named by its option in the error.
Result<long> wholeNumber(const CommandLine& line, const std::string& option, long fallback,
                         long low, long high);

// A real number above 0 and at most `high`.
Result<double> positiveNumber(const CommandLine& line, const std::string& option, double fallback,
                              double high);

extern const char* const usageText;
