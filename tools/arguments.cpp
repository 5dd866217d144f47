#include "arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>

const char* const usageText =
    "usage:\n"
    "  kaveltrum-host [--module FILE] show ROW\n"
    "  kaveltrum-host [--module FILE] play ROW [--gates N] [--bpm BPM] [--loop 0|1]\n"
    "                 [--from N] [--to N] [--noteoff N] [--velocity V] [--block-size N]\n"
    "                 [--sample-rate HZ] [--diagnose] [--out FILE.mid]\n"
    "  kaveltrum-host [--module FILE] record IN.mid ROW [--block-size N] [--sample-rate HZ]\n";

namespace {

struct CommandShape {
    size_t operands;
    std::set<std::string> options;
};

const std::map<std::string, CommandShape> commands = {
    {"show", {1, {}}},
    {"play",
     {1,
      {"--gates", "--bpm", "--loop", "--from", "--to", "--noteoff", "--velocity", "--block-size",
       "--sample-rate", "--diagnose", "--out"}}},
    {"record", {2, {"--block-size", "--sample-rate"}}},
};

bool isSwitch(const std::string& option) {
    return option == "--diagnose";
}

Status checkShape(const CommandLine& line) {
    const auto shape = commands.find(line.command);
    if (shape == commands.end())
        return Failure{"unknown command '" + line.command + "' (show, play or record)"};
    for (const auto& [option, value] : line.values)
        if (!shape->second.options.count(option))
            return Failure{"'" + line.command + "' takes no option " + option};
    if (line.operands.size() != shape->second.operands)
        return Failure{"'" + line.command + "' takes " +
                       (shape->second.operands == 1 ? std::string("one file: ROW")
                                                    : std::string("two files: IN.mid ROW"))};
    return {};
}

} // namespace

Result<CommandLine> parseCommandLine(const std::vector<std::string>& words) {
    CommandLine line;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() < 3 || word.compare(0, 2, "--") != 0) {
            if (line.command.empty())
                line.command = word;
            else
                line.operands.push_back(word);
            continue;
        }
        if (isSwitch(word)) {
            line.values[word] = "";
            continue;
        }
        if (i + 1 == words.size())
            return Failure{word + " needs a value"};
        if (word == "--module")
            line.modulePath = words[++i];
        else
            line.values[word] = words[++i];
    }
    if (line.command.empty())
        return Failure{"no command given (show, play or record)"};
    if (Status shape = checkShape(line); !shape)
        return Failure{shape.error()};
    return line;
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
