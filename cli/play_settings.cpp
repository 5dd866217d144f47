#include "play_settings.h"

#include "host_instance.h"
#include "option_values.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <limits>
#include <optional>

namespace {

constexpr long MostGates = 1000000;

// A parameter of the module and the option that sets it.
struct Parameter {
    const char* option;
    const char* pin;
    // The tool's own default where it differs from the pin's. The module's "next noteoff" has
    // none, so it starts at 0 and never ends a note; play ends each note with its own gate
    // unless told otherwise. Its log stays off unless --diagnose asks for it.
    std::optional<long> toolDefault;
};

const Parameter parameters[] = {
    {"--loop", "loopit", std::nullopt},       {"--from", "from..", std::nullopt},
    {"--to", "..to", std::nullopt},           {"--noteoff", "next noteoff", 1},
    {"--velocity", "velocity", std::nullopt},
};

const PinInfo* pinNamed(const std::vector<PinInfo>& pins, const std::string& name) {
    for (const PinInfo& pin : pins)
        if (pin.name == name && pin.isParameter())
            return &pin;
    return nullptr;
}

// The values the pin takes: those of its "range LOW,HIGH", else all that its type holds.
std::pair<long, long> rangeOf(const PinInfo& pin) {
    if (pin.datatype == DtBool)
        return {0, 1};
    std::pair<long, long> range{std::numeric_limits<int16_t>::min(),
                                std::numeric_limits<int16_t>::max()};
    long low = 0, high = 0;
    char end = 0;
    if (pin.extraText &&
        std::sscanf(pin.extraText->c_str(), "range %ld,%ld%c", &low, &high, &end) == 2 &&
        low <= high)
        range = {std::max(low, range.first), std::min(high, range.second)};
    return range;
}

} // namespace

Result<PlaySettings> readSettings(const CommandLine& line, uint64_t rowLength) {
    PlaySettings s{};
    Result<long> gates = wholeNumber(
        line, "--gates", static_cast<long>(std::min<uint64_t>(rowLength, LONG_MAX)), 0, MostGates);
    if (!gates)
        return Failure{gates.error()};
    Result<long> blockSize = blockSizeOption(line);
    if (!blockSize)
        return Failure{blockSize.error()};
    // A MIDI file's tempo holds at most 16.7 s a quarter note: 3.6 BPM.
    Result<double> bpm = realNumber(line, "--bpm", 120.0, 4.0, 1000.0);
    if (!bpm)
        return Failure{bpm.error()};
    Result<double> rate = sampleRateOption(line);
    if (!rate)
        return Failure{rate.error()};
    s.gates = *gates;
    s.blockSize = *blockSize;
    s.bpm = *bpm;
    s.sampleRate = *rate;
    s.diagnose = line.has("--diagnose");
    s.quiet = line.has("--quiet");
    s.out = line.value("--out");
    s.svg = line.value("--svg");
    return s;
}

Status readParameters(const CommandLine& line, const std::vector<PinInfo>& pins,
                      PlaySettings& settings) {
    for (const Parameter& parameter : parameters) {
        const PinInfo* pin = pinNamed(pins, parameter.pin);
        if (!pin)
            return Failure{std::string("the module has no parameter '") + parameter.pin + "' for " +
                           parameter.option};
        long fallback = 0;
        if (parameter.toolDefault) {
            fallback = *parameter.toolDefault;
        } else {
            Result<int32_t> own = defaultValue(*pin);
            if (!own)
                return Failure{own.error()};
            fallback = *own;
        }
        const auto [low, high] = rangeOf(*pin);
        Result<long> value = wholeNumber(line, parameter.option, fallback, low, high);
        if (!value)
            return Failure{value.error()};
        settings.parameters.emplace_back(parameter.pin, static_cast<int32_t>(*value));
    }
    settings.parameters.emplace_back("on D: DIAGNOSE.TXT", settings.diagnose ? 1 : 0);
    return {};
}

std::vector<OptionSpec> parameterSpecs() {
    return {
        {"--loop", "0|1", "start again after the last note (1)"},
        {"--from", "N", "first note of the loop (0)"},
        {"--to", "N", "last note of the loop, 0 for the row's end (0)"},
        {"--noteoff", "N", "1 ends a note with its own gate, 2 with the next one, 0 never (1)"},
        {"--velocity", "V", "velocity of every note (100)"},
    };
}

OptionSpec diagnoseSpec() {
    return {"--diagnose", nullptr,
            "turn on the module's log, DIAGNOSE.TXT (D:\\DIAGNOSE.TXT on Windows)"};
}

std::vector<OptionSpec> joined(std::initializer_list<std::vector<OptionSpec>> parts) {
    std::vector<OptionSpec> all;
    for (const std::vector<OptionSpec>& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}
