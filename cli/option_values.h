// The numbers options carry, read and held to their ranges; each error names its option.
#pragma once

#include "command_line.h"
#include "command_table.h"
#include "result.h"

#include <string>

// A whole number within [low, high], or `fallback` when the option was not given.
Result<long> wholeNumber(const CommandLine& line, const std::string& option, long fallback,
                         long low, long high);

// A real number above 0 and at most `high`.
Result<double> positiveNumber(const CommandLine& line, const std::string& option, double fallback,
                              double high);

// A real number within [low, high].
Result<double> realNumber(const CommandLine& line, const std::string& option, double fallback,
                          double low, double high);

// The options play and record share, and their rows.
OptionSpec blockSizeSpec();
OptionSpec sampleRateSpec();
Result<long> blockSizeOption(const CommandLine& line);
Result<double> sampleRateOption(const CommandLine& line);
