// The command line of kaveltrum-host, checked whole before anything runs.
#pragma once

#include "result.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    std::string command;                       // show, play, record, write or list
    std::vector<std::string> operands;         // ROW, IN.mid ROW, ROW NOTE...
    std::map<std::string, std::string> values; // --name -> value ("" for a switch)
    std::optional<std::string> modulePath;
    bool help = false; // --help, -h or `help COMMAND`: print the command's help (or the overview)
    bool version = false; // --version: print the versions and nothing else

    bool has(const std::string& option) const { return values.count(option) != 0; }
};

// Splits and checks the words: a known command, the options it takes, a value for each option
// that needs one (`--name value` or `--name=value`), and the right number of operands. With
// --help or --version only the command's name is checked.
Result<CommandLine> parseCommandLine(const std::vector<std::string>& words);

// The help of one command, or the overview of all of them for "".
std::string helpText(const std::string& command);

// A whole number within [low, high], named by its option in the error.
Result<long> wholeNumber(const CommandLine& line, const std::string& option, long fallback,
                         long low, long high);

// A real number above 0 and at most `high`.
Result<double> positiveNumber(const CommandLine& line, const std::string& option, double fallback,
                              double high);
