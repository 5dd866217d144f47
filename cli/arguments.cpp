#include "arguments.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

struct OptionShape {
    const char* name;
    const char* value; // the value's placeholder, or nullptr for a switch
    const char* help;
};

struct CommandShape {
    const char* name;
    const char* summary; // its operands and what it does, for the overview
    const char* usage;   // what follows the command's name
    size_t fewest, most;
    const char* about;
    std::vector<OptionShape> options;
};

const OptionShape blockSize{"--block-size", "N", "samples per block (64)"};
const OptionShape sampleRate{"--sample-rate", "HZ", "the host's sample rate (44100)"};

const CommandShape commands[] = {
    {"write",
     "ROW NOTE...      make a row from note names, numbers or bytes",
     "ROW NOTE... [--append | --force]\n"
     "       kaveltrum-host write ROW - [--append | --force]",
     2,
     SIZE_MAX,
     "Makes the row file ROW from notes: names from C-1 to G9 (C4 is 60; sharps #, flats b,\n"
     "the letter in either case), numbers 0..127, or b0..b255 for raw bytes (b200 is the\n"
     "byte 200, which is no note; a lower-case b and a number is always a byte, so write the\n"
     "note B3 as B3). Blanks or commas separate them. With - they are read from\n"
     "standard input, where # begins a comment that runs to the end of the line. The row is\n"
     "written whole or not at all.\n",
     {{"--append", nullptr, "add the notes to the end of an existing ROW"},
      {"--force", nullptr, "replace an existing ROW"}}},
    {"show",
     "ROW              list a row\'s notes",
     "ROW [--plain] [--raw]",
     1,
     1,
     "Lists the row file ROW: position, byte and note name (60 is C4). Bytes of 128 or more are\n"
     "no notes; the module plays them as their low seven bits.\n",
     {{"--plain", nullptr, "the notes as one line of names, the form write reads"},
      {"--raw", nullptr, "show a file that begins as a MIDI file does, byte by byte"}}},
    {"play",
     "ROW              play a row through the module: messages, MIDI file, picture",
     "ROW [--gates N] [--bpm BPM] [--loop 0|1] [--from N] [--to N]\n"
     "       [--noteoff N] [--velocity V] [--block-size N] [--sample-rate HZ] [--diagnose]\n"
     "       [--out FILE.mid] [--svg FILE.svg] [--quiet] [--raw]",
     1,
     1,
     "The module plays the row file ROW: PLAY is held high and GATE rises once per sixteenth\n"
     "note, high for half of it. Prints every message the module sends.\n",
     {{"--gates", "N", "how many gates (the row's length)"},
      {"--bpm", "BPM", "tempo in quarter notes per minute (120)"},
      {"--loop", "0|1", "start again after the last note (1)"},
      {"--from", "N", "first note of the loop (0)"},
      {"--to", "N", "last note of the loop, 0 for the row's end (0)"},
      {"--noteoff", "N", "1 ends a note with its own gate, 2 with the next one, 0 never (1)"},
      {"--velocity", "V", "velocity of every note (100)"},
      blockSize,
      sampleRate,
      {"--diagnose", nullptr,
       "turn on the module's log, DIAGNOSE.TXT (D:\\DIAGNOSE.TXT on Windows)"},
      {"--out", "FILE.mid", "write what was played as a MIDI file (also -o FILE.mid)"},
      {"--svg", "FILE.svg", "draw what was played as a piano roll"},
      {"--quiet", nullptr, "print only the summary, not every message"},
      {"--raw", nullptr, "play a file that begins as a MIDI file does, byte by byte"}}},
    {"record",
     "IN.mid ROW       record the notes of a MIDI file into a row",
     "IN.mid ROW [--new] [--block-size N] [--sample-rate HZ]",
     2,
     2,
     "Feeds every channel message of the MIDI file IN.mid (- for standard input) to the module\n"
     "in time, with REC high: its recorder appends the NOTE_ONs to the row file ROW, which is\n"
     "made if it does not exist.\n",
     {{"--new", nullptr, "replace an existing ROW with just this recording"},
      blockSize,
      sampleRate}},
    {"list",
     "IN.mid           list the notes of a MIDI file as record records them",
     "IN.mid [--plain]",
     1,
     1,
     "Lists the NOTE_ONs of the MIDI file IN.mid (- for standard input) in the order record\n"
     "records them: time, channel, note and velocity, then their count.\n",
     {{"--plain", nullptr, "the notes as one line of names, the form write reads"}}},
};

const CommandShape* findCommand(const std::string& name) {
    for (const CommandShape& shape : commands)
        if (name == shape.name)
            return &shape;
    return nullptr;
}

const OptionShape* findOption(const CommandShape& shape, const std::string& name) {
    for (const OptionShape& option : shape.options)
        if (name == option.name)
            return &option;
    return nullptr;
}

// The option of that name of any command; options may come before their command.
const OptionShape* anyOption(const std::string& name) {
    static const OptionShape module{"--module", "FILE", ""};
    if (name == module.name)
        return &module;
    for (const CommandShape& shape : commands)
        if (const OptionShape* option = findOption(shape, name))
            return option;
    return nullptr;
}

std::string commandNames() {
    std::string names;
    for (const CommandShape& shape : commands)
        names += (names.empty() ? "" : ", ") + std::string(shape.name);
    return names;
}

std::string optionNames(const CommandShape& shape) {
    std::string names;
    for (const OptionShape& option : shape.options)
        names += (names.empty() ? "" : ", ") + std::string(option.name);
    return names;
}

Status checkOptions(const CommandLine& line, const CommandShape& shape) {
    for (const auto& [name, value] : line.values) {
        const OptionShape* option = findOption(shape, name);
        if (!option)
            return Failure{"'" + line.command + "' takes no option " + name +
                           " (its options: " + optionNames(shape) + ")"};
    }
    if (line.operands.size() < shape.fewest || line.operands.size() > shape.most)
        return Failure{"usage: kaveltrum-host " + line.command + " " +
                       std::string(shape.usage).substr(0, std::string(shape.usage).find('\n'))};
    return {};
}

Status checkShape(const CommandLine& line, const std::string& unknownOption) {
    if (line.command.empty() && !unknownOption.empty())
        return Failure{"unknown option " + unknownOption + " (commands: " + commandNames() + ")"};
    if (line.command.empty())
        return line.help || line.version ? Status{}
                                         : Failure{"no command given (" + commandNames() +
                                                   "; kaveltrum-host --help tells more)"};
    const CommandShape* shape = findCommand(line.command);
    if (!shape)
        return Failure{"unknown command '" + line.command + "' (" + commandNames() + ")"};
    if (line.version)
        return {};
    if (!unknownOption.empty())
        return Failure{"unknown option " + unknownOption + "; '" + line.command + "' takes " +
                       optionNames(*shape)};
    if (line.help)
        return {};
    return checkOptions(line, *shape);
}

// One option word at words[i], with its value from `=` or from the next word.
Status takeOption(const std::vector<std::string>& words, size_t& i, CommandLine& line,
                  std::string& unknownOption) {
    const std::string& word = words[i];
    const size_t equals = word.find('=');
    std::string name = word.substr(0, equals);
    if (name == "-o")
        name = "--out";
    if (name == "--help" || name == "-h" || name == "--version") {
        if (equals != std::string::npos)
            return Failure{name + " takes no value"};
        (name == "--version" ? line.version : line.help) = true;
        return {};
    }
    const OptionShape* option = anyOption(name);
    if (!option) {
        if (unknownOption.empty())
            unknownOption = name;
        return {};
    }
    std::string value;
    if (!option->value) {
        if (equals != std::string::npos)
            return Failure{name + " takes no value"};
    } else if (equals != std::string::npos) {
        value = word.substr(equals + 1);
    } else if (i + 1 < words.size()) {
        value = words[++i];
    }
    if (option->value && value.empty())
        return Failure{name + " needs a value"};
    if (name == "--module")
        line.modulePath = value;
    else
        line.values[name] = value;
    return {};
}

bool isOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && !std::isdigit(static_cast<unsigned char>(word[1]));
}

} // namespace

Result<CommandLine> parseCommandLine(const std::vector<std::string>& words) {
    CommandLine line;
    std::string unknownOption;
    bool optionsEnded = false;
    bool helpWord = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && isOption(word)) {
            if (Status taken = takeOption(words, i, line, unknownOption); !taken)
                return Failure{taken.error()};
        } else if (line.command.empty() && word == "help" && !helpWord) {
            helpWord = line.help = true;
        } else if (line.command.empty()) {
            line.command = word;
        } else {
            line.operands.push_back(word);
        }
    }
    if (Status shape = checkShape(line, unknownOption); !shape)
        return Failure{shape.error()};
    return line;
}

std::string helpText(const std::string& command) {
    const CommandShape* shape = findCommand(command);
    if (!shape) {
        std::string text = "usage: kaveltrum-host [--module FILE] COMMAND ...\n\n";
        for (const CommandShape& each : commands) {
            std::string name = each.name;
            name.resize(7, ' ');
            text += "  " + name + each.summary + "\n";
        }
        text += "  check  MODULE           check any module file of the host interface\n";
        return text + "\n'kaveltrum-host help COMMAND' or 'COMMAND --help' tells more; --version "
                      "prints the versions.\n--module FILE loads that module file instead of the "
                      "one beside the program.\n";
    }
    std::string text = "usage: kaveltrum-host " + std::string(shape->name) + " " + shape->usage +
                       "\n\n" + shape->about + "\n";
    for (const OptionShape& option : shape->options) {
        std::string left = std::string(option.name) + (option.value ? " " : "") +
                           (option.value ? option.value : "");
        left.resize(std::max<size_t>(left.size() + 2, 22), ' ');
        text += "  " + left + option.help + "\n";
    }
    return text + "  --module FILE         the module file to load (the one beside the program)\n";
}

Result<long> wholeNumber(const CommandLine& line, const std::string& option, long fallback,
                         long low, long high) {
    const auto found = line.values.find(option);
    if (found == line.values.end())
        return fallback;
    const std::string& text = found->second;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        return Failure{option + ": '" + text + "' is not a whole number"};
    if (value < low || value > high)
        return Failure{option + ": " + text + " is out of range " + std::to_string(low) + ".." +
                       std::to_string(high)};
    return value;
}

Result<double> positiveNumber(const CommandLine& line, const std::string& option, double fallback,
                              double high) {
    const auto found = line.values.find(option);
    if (found == line.values.end())
        return fallback;
    const std::string& text = found->second;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        return Failure{option + ": '" + text + "' is not a number"};
    if (value <= 0.0 || value > high)
        return Failure{option + ": " + text + " must be above 0 and at most " +
                       std::to_string(static_cast<long>(high))};
    return value;
}
