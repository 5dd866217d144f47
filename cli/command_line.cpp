#include "command_line.h"

#include "command_table.h"

#include <cctype>

const std::string& CommandLine::value(const std::string& option) const {
    static const std::string none;
    const auto found = values.find(option);
    return found == values.end() || found->second.empty() ? none : found->second.back();
}

const std::vector<std::string>& CommandLine::list(const std::string& option) const {
    static const std::vector<std::string> none;
    const auto found = values.find(option);
    return found == values.end() ? none : found->second;
}

namespace {

const OptionSpec* findOption(const std::vector<OptionSpec>& options, const std::string& name) {
    for (const OptionSpec& option : options)
        if (name == option.name || (option.shortName && name == option.shortName))
            return &option;
    return nullptr;
}

// The option of that name: the command's own once it is known, else that of any command, since
// options may come before their command.
const OptionSpec* anyOption(const std::string& name, const CommandSpec* known) {
    if (const OptionSpec* common = findOption(commonOptions(), name))
        return common;
    if (known)
        if (const OptionSpec* own = findOption(known->options, name))
            return own;
    for (const CommandSpec& command : commandTable())
        if (const OptionSpec* option = findOption(command.options, name))
            return option;
    return nullptr;
}

std::string commandNames() {
    std::string names;
    for (const CommandSpec& command : commandTable())
        if (!command.hidden)
            names += (names.empty() ? "" : ", ") + std::string(command.name);
    return names;
}

std::string optionNames(const CommandSpec& command) {
    std::string names;
    for (const OptionSpec& option : command.options)
        names += (names.empty() ? "" : ", ") + std::string(option.name);
    return names;
}

// The first line of the command's usage.
std::string usageLine(const CommandSpec& command) {
    const std::string synopsis = command.synopsis;
    return "usage: kaveltrum-host " + std::string(command.name) + " " +
           synopsis.substr(0, synopsis.find('\n'));
}

Status checkOptions(const CommandLine& line, const CommandSpec& command) {
    for (const auto& [name, values] : line.values)
        if (!findOption(command.options, name))
            return Failure{"'" + line.command + "' takes no option " + name +
                           " (its options: " + optionNames(command) + ")"};
    if (line.modulePath && !command.takesModule)
        return Failure{"'" + line.command +
                       "' takes no option --module (its options: " + optionNames(command) + ")"};
    if (line.operands.size() < command.fewestOperands ||
        line.operands.size() > command.mostOperands)
        return Failure{usageLine(command)};
    return {};
}

Status checkShape(const CommandLine& line, const std::string& unknownOption) {
    if (line.command.empty() && !unknownOption.empty())
        return Failure{"unknown option " + unknownOption + " (commands: " + commandNames() + ")"};
    if (line.command.empty())
        return line.help || line.version ? Status{}
                                         : Failure{"no command given (" + commandNames() +
                                                   "; kaveltrum-host --help tells more)"};
    const CommandSpec* command = findCommand(line.command);
    if (!command)
        return Failure{"unknown command '" + line.command + "' (" + commandNames() + ")"};
    if (line.version)
        return {};
    if (!unknownOption.empty())
        return Failure{"unknown option " + unknownOption + "; '" + line.command + "' takes " +
                       optionNames(*command)};
    if (line.help)
        return {};
    return checkOptions(line, *command);
}

bool isOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && !std::isdigit(static_cast<unsigned char>(word[1]));
}

// The words of a list option's value, parted at commas; empty words are left out.
void addWords(const std::string& text, std::vector<std::string>& words) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start)
            words.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

// The value or values of the option at words[i], from `=` or from the words after it.
Status takeValues(const OptionSpec& option, const std::string& name,
                  const std::vector<std::string>& words, size_t& i,
                  const std::optional<std::string>& attached, std::vector<std::string>& values) {
    if (!option.value) {
        if (attached)
            return Failure{name + " takes no value"};
        return {};
    }
    if (option.many) {
        if (attached)
            addWords(*attached, values);
        bool taken = attached.has_value();
        while (!attached && i + 1 < words.size() && !isOption(words[i + 1]) &&
               words[i + 1] != "--") {
            addWords(words[++i], values);
            taken = true;
        }
        if (!taken)
            return Failure{name + " needs a value"};
        return {};
    }
    std::string value;
    if (attached)
        value = *attached;
    else if (i + 1 < words.size())
        value = words[++i];
    if (value.empty())
        return Failure{name + " needs a value"};
    values = {value};
    return {};
}

// One option word at words[i], with its value from `=` or from the words after it.
Status takeOption(const std::vector<std::string>& words, size_t& i, const CommandSpec* known,
                  CommandLine& line, std::string& unknownOption) {
    const std::string& word = words[i];
    const size_t equals = word.find('=');
    const std::optional<std::string> attached =
        equals == std::string::npos ? std::nullopt : std::optional(word.substr(equals + 1));
    const std::string given = word.substr(0, equals);
    const OptionSpec* option = anyOption(given, known);
    if (!option) {
        if (unknownOption.empty())
            unknownOption = given;
        return {};
    }
    const std::string name = option->name;
    if (name == "--help" || name == "--version") {
        if (attached)
            return Failure{name + " takes no value"};
        (name == "--version" ? line.version : line.help) = true;
        return {};
    }
    std::vector<std::string> values;
    if (Status taken = takeValues(*option, name, words, i, attached, values); !taken)
        return taken;
    if (name == "--module") {
        line.modulePath = values.front();
        return {};
    }
    std::vector<std::string>& held = line.values[name];
    if (option->many)
        held.insert(held.end(), values.begin(), values.end());
    else
        held = values; // the last one given counts
    return {};
}

} // namespace

Status parseCommandLine(const std::vector<std::string>& words, CommandLine& line) {
    line = CommandLine{};
    std::string unknownOption;
    Status firstMistake; // the words are read to the end even so, to learn the command
    bool optionsEnded = false;
    bool helpWord = false;
    const CommandSpec* known = nullptr;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        // A verbatim command takes every word that follows as an operand, options too; so does
        // the last branch, for the words that are nothing else.
        // NOLINTNEXTLINE(bugprone-branch-clone)
        if (known && known->verbatim && !line.help) {
            line.operands.push_back(word);
        } else if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && isOption(word)) {
            if (Status taken = takeOption(words, i, known, line, unknownOption);
                !taken && firstMistake)
                firstMistake = taken;
        } else if (line.command.empty() && word == "help" && !helpWord) {
            helpWord = line.help = true;
        } else if (line.command.empty()) {
            line.command = word;
            known = findCommand(word);
        } else {
            line.operands.push_back(word);
        }
    }
    if (!firstMistake)
        return firstMistake;
    return checkShape(line, unknownOption);
}
