#include "tool.h"

#include "command_table.h"
#include "module_file.h"
#include "module_instance.h"

#include <iostream>
#include <new>

namespace {

// The tool's version, and the module's name and release line when a module file loads.
void printVersion(const CommandLine& line, std::ostream& out) {
    out << "kaveltrum-host " << KAVELTRUM_VERSION << "\n";
    Result<std::string> path = modulePathFor(line);
    Result<ModuleFile> module = path ? ModuleFile::load(*path) : Result<ModuleFile>{Failure{}};
    Result<ModuleInfo> info = module ? module->properties() : Result<ModuleInfo>{Failure{}};
    if (!info)
        return;
    const std::string release = info->about.substr(0, info->about.find_first_of("\r\n"));
    out << "module " << info->name << " (" << *path
        << "): " << release.substr(0, release.find_last_not_of(' ') + 1) << "\n";
}

// Allocation fails only for inputs of extraordinary size; it ends the command with a line.
int runGuarded(const CommandSpec& command, const CommandLine& line, Console& console) {
    try {
        return command.run(line, console);
    } catch (const std::bad_alloc&) {
        return console.finish(Failure{"out of memory"});
    }
}

// Help and the version are answered before anything else is looked at.
int answer(const CommandLine& line, Console& console) {
    if (line.version) {
        printVersion(line, console.out);
        return 0;
    }
    if (line.help) {
        console.out << helpText(line.command);
        return 0;
    }
    return runGuarded(*findCommand(line.command), line, console);
}

std::string errorStartOf(const std::string& command) {
    const CommandSpec* row = findCommand(command);
    return row && row->namedInErrors ? "kaveltrum-host " + command + ": " : "kaveltrum-host: ";
}

} // namespace

int runTool(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
            std::ostream& err, ProgressSettings progressSettings) {
    CommandLine line;
    if (Status parsed = parseCommandLine(words, line); !parsed) {
        err << errorStartOf(line.command) << parsed.error() << "\n";
        return 2;
    }
    Progress progress(err, progressSettings);
    Console console{in, out, err, progress, errorStartOf(line.command)};
    int status = answer(line, console);
    out.flush();
    if (status == 0)
        status = console.finish(outputStatus(out));
    return status;
}

int runTool(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
            ProgressSettings progress) {
    return runTool(words, std::cin, out, err, progress);
}
