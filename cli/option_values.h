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

// A host's usual block, which play and live run the module in. What record stores does not
// depend on its blocks, only how often the module's routine runs, so it takes larger ones: a
// file of a million notes records three times as fast in blocks of 1024 as in blocks of 64.
constexpr long PlayBlockSize = 64;
constexpr long RecordBlockSize = 1024;

// The options play and record share, and their rows.
OptionSpec blockSizeSpec();
OptionSpec recordBlockSizeSpec();
OptionSpec sampleRateSpec();
Result<long> blockSizeOption(const CommandLine& line, long fallback = PlayBlockSize);
Result<double> sampleRateOption(const CommandLine& line);
