// The commands of kaveltrum-host, one row each. The overview, each command's help, the parser
// and the manual and completion made from the table all learn a command from its row alone, so a
// new command is one row and the file of its handler.
#pragma once

#include "command_line.h"
#include "console.h"

#include <cstddef>
#include <string>
#include <vector>

struct OptionSpec {
    const char* name;                // "--bpm"
    const char* value;               // its value's placeholder ("BPM"), or nullptr for a switch;
                                     // "internal|midi" names every value it takes
    const char* help;                // one line
    const char* shortName = nullptr; // "-o", or nullptr
    bool many = false;               // takes every word up to the next option; commas part them too
};

// Runs a parsed command line of its row; returns the exit status (0 done, 1 failed, 2 the
// command line was wrong).
using CommandHandler = int (*)(const CommandLine& line, Console& console);

struct CommandSpec {
    const char* name;
    const char* operands; // "ROW NOTE...", as the overview shows them
    const char* summary;  // what it does, one line for the overview
    const char* synopsis; // what follows the name in its usage line; further forms on lines
                          // of their own, each starting "       kaveltrum-host NAME"
    size_t fewestOperands, mostOperands;
    const char* about; // the help text: lines of at most 90 columns, each ending in '\n'
    std::vector<OptionSpec> options;
    CommandHandler run;
    bool takesModule = true;    // --module FILE names the module file it loads
    bool namedInErrors = false; // its errors begin "kaveltrum-host NAME: "
    bool hidden = false;        // left out of the overview and of lists of commands
    bool verbatim = false;      // the words after its name are operands, whatever they look like
};

// Every command, in the order the overview shows them; hidden ones last.
const std::vector<CommandSpec>& commandTable();
const CommandSpec* findCommand(const std::string& name);

// The options every command takes: --module FILE (of the commands that load the module),
// --help or -h, --version.
const std::vector<OptionSpec>& commonOptions();

// The help of one command, or the overview of all of them for "".
std::string helpText(const std::string& name);
