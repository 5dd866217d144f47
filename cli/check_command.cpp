// check MODULE: the validator's checks of any module file, and the hidden sub-command that each
// check's child process is started with.
#include "check_command.h"

#include "checks.h"
#include "commands.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

Result<uint64_t> seedOf(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return Failure{"--seed takes a whole number, not '" + text + "'"};
    errno = 0;
    const unsigned long long seed = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE)
        return Failure{"--seed " + text + " is too large"};
    return static_cast<uint64_t>(seed);
}

Result<double> timeoutOf(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(seconds) || seconds <= 0.0 ||
        seconds > 86400.0)
        return Failure{"--timeout takes a number of seconds above 0, not '" + text + "'"};
    return seconds;
}

// A whole number from 1 to `most`, for `option`.
Result<unsigned> countOf(const std::string& option, const std::string& text, unsigned most) {
    const std::string wanted =
        option + " takes a whole number from 1 to " + std::to_string(most) + ", not '" + text + "'";
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return Failure{wanted};
    const unsigned long count = std::strtoul(text.c_str(), nullptr, 10);
    if (count < 1 || count > most)
        return Failure{wanted};
    return static_cast<unsigned>(count);
}

// The module is one operand, needed unless --list asks only for the names of the checks.
Result<CheckOptions> checkOptionsOf(const CommandLine& line) {
    CheckOptions options;
    options.strict = line.has("--strict");
    for (const std::string& name : line.list("--only")) {
        if (!findCheck(name))
            return Failure{"no check is named '" + name + "' (see --list)"};
        options.only.push_back(name);
    }
    if (line.has("--only") && options.only.empty())
        return Failure{"--only needs the name of a check"};
    if (line.has("--seed")) {
        Result<uint64_t> seed = seedOf(line.value("--seed"));
        if (!seed)
            return Failure{seed.error()};
        options.seed = *seed;
    }
    if (line.has("--timeout")) {
        Result<double> seconds = timeoutOf(line.value("--timeout"));
        if (!seconds)
            return Failure{seconds.error()};
        options.timeout = *seconds;
    }
    if (line.has("--jobs")) {
        Result<unsigned> jobs = countOf("-j", line.value("--jobs"), 256);
        if (!jobs)
            return Failure{jobs.error()};
        options.jobs = *jobs;
    }
    if (line.has("--repeat")) {
        Result<unsigned> runs = countOf("--repeat", line.value("--repeat"), 1000000);
        if (!runs)
            return Failure{runs.error()};
        options.repeat = *runs;
    }
    for (const char* report : {"--json", "--junit"})
        if (line.has(report) && line.value(report).empty())
            return Failure{std::string(report) + " needs the name of a file"};
    options.json = line.value("--json");
    options.junit = line.value("--junit");
    options.toolVersion = KAVELTRUM_VERSION;
    const std::vector<std::string>& operands = line.operands;
    if (operands.size() > 1)
        return Failure{"check takes one module file, not " + std::to_string(operands.size()) +
                       " ('" + operands[1] + "')"};
    if (operands.empty() && !line.has("--list"))
        return Failure{"check needs a module file"};
    if (!operands.empty())
        options.module = operands[0];
    return options;
}

int check(const CommandLine& line, Console& console) {
    Result<CheckOptions> options = checkOptionsOf(line);
    if (!options) {
        console.err << console.errorStart << options.error() << "\n";
        return 2;
    }
    if (line.has("--list")) {
        listChecks(console.out);
        return 0;
    }
    return runChecks(*options, console.out, console.err);
}

int child(const CommandLine& line, Console&) {
    return runChildCheck(line.operands);
}

} // namespace

CommandSpec checkCommand() {
    CommandSpec row{
        "check",
        "MODULE",
        "check any module file of the host interface",
        "MODULE [--strict] [--seed N] [--only NAME...] [--timeout S] [-j N] [--repeat N] "
        "[--json FILE] [--junit FILE]\n"
        "       kaveltrum-host check --list",
        0,
        SIZE_MAX, // MODULE is checked with the options: --list needs none
        "Loads the module file as a host does and runs every check on it, each in a process of "
        "its\nown: PASS or FAIL per check, then the count. Exit 0 all passed, 1 a check failed, 2 "
        "the\nmodule could not be loaded or the command line is wrong.\n",
        {{"--strict", nullptr, "also make the mistakes careless hosts make"},
         {"--seed", "N", "repeat the random choices of an earlier run"},
         {"--only", "NAME", "run only the named checks (see --list)", nullptr, true},
         {"--timeout", "S", "seconds a check may take (10)"},
         {"--jobs", "N", "run N checks at once (one per processor); also -j N", "-j"},
         {"--repeat", "N", "run them all N times, the seed one up each time; stop at a failure"},
         {"--json", "FILE", "also write the run's verdicts as a JSON report"},
         {"--junit", "FILE", "also write them as JUnit XML, one test case per check"},
         {"--list", nullptr, "name the checks and say what each does"}},
        check};
    row.takesModule = false;
    row.namedInErrors = true;
    return row;
}

// What the parent starts each check's child process with; its words are passed on as they are.
CommandSpec checkChildCommand() {
    CommandSpec row{ChildCommand, "", "", "MODULE CHECK SEED FOLDER", 0, SIZE_MAX, "", {}, child};
    row.takesModule = false;
    row.hidden = true;
    row.verbatim = true;
    return row;
}
