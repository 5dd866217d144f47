#include "option_values.h"

#include "host_instance.h"
#include "texts.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double LowestSampleRate = 1000.0;
constexpr double HighestSampleRate = 768000.0;

} // namespace

Result<long> wholeNumber(const CommandLine& line, const std::string& option, long fallback,
                         long low, long high) {
    if (!line.has(option))
        return fallback;
    const std::string& text = line.value(option);
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        return Failure{option + ": '" + text + "' is not a whole number"};
    if (value < low || value > high)
        return Failure{option + ": " + text + " is out of range " + std::to_string(low) + ".." +
                       std::to_string(high)};
    return value;
}

Result<double> positiveNumber(const CommandLine& line, const std::string& option, double fallback,
                              double high) {
    if (!line.has(option))
        return fallback;
    const std::string& text = line.value(option);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        return Failure{option + ": '" + text + "' is not a number"};
    if (value <= 0.0 || value > high)
        return Failure{option + ": " + text + " must be above 0 and at most " +
                       std::to_string(static_cast<long>(high))};
    return value;
}

Result<double> realNumber(const CommandLine& line, const std::string& option, double fallback,
                          double low, double high) {
    Result<double> value = positiveNumber(line, option, fallback, high);
    if (value && *value < low)
        return Failure{option + ": " + line.value(option) + " is out of range " + shortNumber(low) +
                       ".." + shortNumber(high)};
    return value;
}

Result<long> blockSizeOption(const CommandLine& line, long fallback) {
    return wholeNumber(line, "--block-size", fallback, 1, MaxBlockSize);
}

Result<double> sampleRateOption(const CommandLine& line) {
    return realNumber(line, "--sample-rate", 44100.0, LowestSampleRate, HighestSampleRate);
}

OptionSpec blockSizeSpec() {
    return {"--block-size", "N", "samples per block (64)"};
}

OptionSpec recordBlockSizeSpec() {
    return {"--block-size", "N", "samples per block (1024)"};
}

OptionSpec sampleRateSpec() {
    return {"--sample-rate", "HZ", "the host's sample rate (44100)"};
}
