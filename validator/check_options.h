// The command line of `kaveltrum-host check`.
#pragma once

#include "result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CheckOptions {
    std::string module;
    bool strict = false;
    bool list = false;
    bool help = false;
    std::optional<uint64_t> seed;
    std::vector<std::string> only; // check names; empty runs them all
    double timeout = 10.0;         // seconds per check
};

// The words after "check". Accepts `--name value` and `--name=value`; --only takes every word
// up to the next option, and commas separate names too.
Result<CheckOptions> parseCheckOptions(const std::vector<std::string>& words);

extern const char* const checkUsageText;
