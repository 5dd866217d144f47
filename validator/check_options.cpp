#include "check_options.h"

#include "checks.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

const char* const checkUsageText =
    "usage: kaveltrum-host check MODULE [--strict] [--seed N] [--only NAME...] [--timeout S]\n"
    "       kaveltrum-host check --list\n"
    "Loads the module file as a host does and runs every check on it, each in a process of its\n"
    "own: PASS or FAIL per check, then the count. Exit 0 all passed, 1 a check failed, 2 the\n"
    "module could not be loaded or the command line is wrong.\n"
    "  --strict     also make the mistakes careless hosts make\n"
    "  --seed N     repeat the random choices of an earlier run\n"
    "  --only NAME  run only the named checks (see --list)\n"
    "  --timeout S  seconds a check may take (10)\n"
    "  --list       name the checks and say what each does\n";

namespace {

Status addNames(const std::string& text, std::vector<std::string>& names) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string name = text.substr(start, comma - start);
        start = comma + 1;
        if (name.empty())
            continue;
        if (!findCheck(name))
            return Failure{"no check is named '" + name + "' (see --list)"};
        names.push_back(name);
    }
    return {};
}

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

bool takesValue(const std::string& option) {
    return option == "--seed" || option == "--timeout" || option == "--only";
}

} // namespace

Result<CheckOptions> parseCheckOptions(const std::vector<std::string>& words) {
    CheckOptions options;
    std::vector<std::string> operands;
    for (size_t i = 0; i < words.size(); ++i) {
        std::string option = words[i];
        if (option.size() < 2 || option.compare(0, 2, "--") != 0 || option == "--") {
            operands.push_back(option);
            continue;
        }
        std::optional<std::string> value;
        if (const size_t equals = option.find('='); equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.erase(equals);
        }
        if (!takesValue(option) && value)
            return Failure{option + " takes no value"};
        if (option == "--strict")
            options.strict = true;
        else if (option == "--list")
            options.list = true;
        else if (option == "--help" || option == "-h")
            options.help = true;
        else if (!takesValue(option))
            return Failure{"unknown option " + option};
        if (!takesValue(option))
            continue;

        if (option == "--only") {
            const size_t before = options.only.size();
            if (value) {
                if (Status added = addNames(*value, options.only); !added)
                    return Failure{added.error()};
            }
            while (!value && i + 1 < words.size() && words[i + 1].compare(0, 2, "--") != 0)
                if (Status added = addNames(words[++i], options.only); !added)
                    return Failure{added.error()};
            if (options.only.size() == before)
                return Failure{"--only needs the name of a check"};
            continue;
        }
        if (!value) {
            if (i + 1 >= words.size())
                return Failure{option + " needs a value"};
            value = words[++i];
        }
        if (option == "--seed") {
            Result<uint64_t> seed = seedOf(*value);
            if (!seed)
                return Failure{seed.error()};
            options.seed = *seed;
        } else {
            Result<double> seconds = timeoutOf(*value);
            if (!seconds)
                return Failure{seconds.error()};
            options.timeout = *seconds;
        }
    }
    if (operands.size() > 1)
        return Failure{"check takes one module file, not " + std::to_string(operands.size()) +
                       " ('" + operands[1] + "')"};
    if (operands.empty() && !options.list && !options.help)
        return Failure{"check needs a module file"};
    if (!operands.empty())
        options.module = operands[0];
    return options;
}
