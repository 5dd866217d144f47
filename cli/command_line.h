// The command line of kaveltrum-host, split by the one parser every command shares and checked
// against the command's row before anything runs.
#pragma once

#include "result.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    std::string command;               // the row's name: show, play, check...
    std::vector<std::string> operands; // ROW, IN.mid ROW, MODULE...
    // --name -> its values: none for a switch, one for an option given once, one a word for a
    // list option (commas part the words of a list too)
    std::map<std::string, std::vector<std::string>> values;
    std::optional<std::string> modulePath; // --module FILE
    bool help = false; // --help, -h or `help COMMAND`: print the command's help (or the overview)
    bool version = false; // --version: print the versions and nothing else

    [[nodiscard]] bool has(const std::string& option) const { return values.count(option) != 0; }
    // The value given last, or an empty text when the option was not given.
    [[nodiscard]] const std::string& value(const std::string& option) const;
    // Every value of a list option, in the order given.
    [[nodiscard]] const std::vector<std::string>& list(const std::string& option) const;
};

// Splits and checks the words: a known command, the options it takes, a value for each option
// that needs one (`--name value` or `--name=value`), and the right number of operands. Options
// may come before the command or after it; `--` ends them. With --help or --version only the
// command's name is checked. On a failure `line.command` still names the command, when the
// words hold one.
Status parseCommandLine(const std::vector<std::string>& words, CommandLine& line);
