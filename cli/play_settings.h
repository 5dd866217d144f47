// What play runs with: its options read and held to their ranges, the module's parameters
// among them taken from the pins the module described.
#pragma once

#include "command_line.h"
#include "command_table.h"
#include "pin_table.h"
#include "result.h"

#include <cstdint>
#include <string>
#include <vector>

struct PlaySettings {
    long gates;
    double bpm;
    long blockSize;
    double sampleRate;
    bool diagnose, quiet;
    std::string out, svg;
    // the values of the module's parameters, by pin name, in the order they are set
    std::vector<std::pair<std::string, int32_t>> parameters;
};

// The options that need no module, read before it is loaded; `rowLength` is the default of
// --gates.
Result<PlaySettings> readSettings(const CommandLine& line, uint64_t rowLength);

// The parameters of the module from their options: --loop, --from, --to and --velocity default
// to the pins' own defaults, and every one is held to the range its pin gives ("range 0,127").
Status readParameters(const CommandLine& line, const std::vector<PinInfo>& pins,
                      PlaySettings& settings);

// The rows of the options readParameters reads, for play and live alike: --loop, --from, --to,
// --noteoff and --velocity; and --diagnose.
std::vector<OptionSpec> parameterSpecs();
OptionSpec diagnoseSpec();

// The option rows of `parts`, one after the other.
std::vector<OptionSpec> joined(std::initializer_list<std::vector<OptionSpec>> parts);
