#include "command_table.h"

#include "commands.h"

#include <algorithm>

const std::vector<CommandSpec>& commandTable() {
    static const std::vector<CommandSpec> table = {
        writeCommand(), showCommand(), playCommand(),  recordCommand(),
        liveCommand(),  listCommand(), checkCommand(), checkChildCommand(),
    };
    return table;
}

const CommandSpec* findCommand(const std::string& name) {
    for (const CommandSpec& command : commandTable())
        if (name == command.name)
            return &command;
    return nullptr;
}

const std::vector<OptionSpec>& commonOptions() {
    static const std::vector<OptionSpec> options = {
        {"--module", "FILE", "the module file to load (the one beside the program)"},
        {"--help", nullptr, "show the help of a command, or this overview", "-h"},
        {"--version", nullptr, "print the versions of the tool and of the module"},
    };
    return options;
}

namespace {

std::string padded(std::string text, size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

std::string overview() {
    std::string text = "usage: kaveltrum-host [--module FILE] COMMAND ...\n\n";
    for (const CommandSpec& command : commandTable())
        if (!command.hidden)
            text += "  " + padded(command.name, 7) + padded(command.operands, 17) +
                    command.summary + "\n";
    return text + "\n'kaveltrum-host help COMMAND' or 'COMMAND --help' tells more; --version "
                  "prints the versions.\n--module FILE loads that module file instead of the "
                  "one beside the program.\n";
}

std::string optionLine(const OptionSpec& option) {
    std::string left = option.name;
    if (option.value)
        left += std::string(" ") + option.value + (option.many ? "..." : "");
    return "  " + padded(left, std::max<size_t>(left.size() + 2, 22)) + option.help + "\n";
}

} // namespace

std::string helpText(const std::string& name) {
    const CommandSpec* command = findCommand(name);
    if (!command)
        return overview();
    std::string text = "usage: kaveltrum-host " + std::string(command->name) + " " +
                       command->synopsis + "\n\n" + command->about + "\n";
    for (const OptionSpec& option : command->options)
        text += optionLine(option);
    if (command->takesModule)
        text += optionLine(commonOptions().front());
    return text;
}
