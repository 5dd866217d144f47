#include "tool.h"

#include "check_command.h"
#include "module_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>

namespace {

// What the module's OUTFILE name holds, without its terminating zero.
constexpr size_t LongestRowName = 399;

constexpr double LowestSampleRate = 1000.0;
constexpr double HighestSampleRate = 768000.0;

std::string lengthInDigits(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

double sixteenthSeconds(double bpm) {
    return 60.0 / bpm / 4.0;
}

std::string lengthInTime(double seconds) {
    char text[64];
    if (seconds < 60.0) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
        return text;
    }
    const double whole = std::floor(seconds);
    const double hours = std::floor(whole / 3600.0);
    const int minutes = static_cast<int>(std::fmod(whole, 3600.0) / 60.0);
    const int rest = static_cast<int>(std::fmod(whole, 60.0));
    if (hours < 1.0)
        std::snprintf(text, sizeof text, "%d min %d s", minutes, rest);
    else
        std::snprintf(text, sizeof text, "%.0f h %d min %d s", hours, minutes, rest);
    return text;
}

Status checkBlockCount(double seconds, double rate, long blockSize) {
    const double blocks = std::ceil(seconds * rate / static_cast<double>(blockSize));
    if (blocks <= MostBlocks)
        return {};
    return Failure{"the run of " + lengthInTime(seconds) + " would take " +
                   std::to_string(static_cast<long long>(blocks)) + " blocks of " +
                   std::to_string(blockSize) + " samples, over " +
                   std::to_string(static_cast<long long>(MostBlocks)) +
                   "; give a larger --block-size"};
}

Status checkRowName(const std::string& path) {
    if (path.size() > LongestRowName)
        return Failure{path.substr(0, 40) + "...: the module takes row names of at most " +
                       std::to_string(LongestRowName) + " bytes"};
    return {};
}

Result<uint64_t> rowLength(const std::string& path) {
    if (Status input = checkInput(path, "row file"); !input)
        return Failure{input.error()};
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error); // 64 bits on every system
    if (error)
        return Failure{path + ": " + error.message()};
    return static_cast<uint64_t>(size);
}

Result<std::vector<uint8_t>> readRowFile(const std::string& path) {
    Result<uint64_t> length = rowLength(path);
    if (!length)
        return Failure{length.error()};
    if (*length > std::vector<uint8_t>().max_size())
        return Failure{path + ": too large to hold in memory"};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Failure{path + ": " + std::strerror(errno)};
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(*length));
    } catch (const std::bad_alloc&) {
        std::fclose(file);
        return Failure{path + ": too large to hold in memory"};
    }
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return Failure{path + ": could not be read"};
    bytes.resize(got);
    return bytes;
}

bool beginsAsMidi(const std::string& path) {
    uint8_t start[12];
    size_t got = 0;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        got = std::fread(start, 1, sizeof start, file);
        std::fclose(file);
    }
    return looksLikeMidi(start, got);
}

Result<long> blockSizeOption(const CommandLine& line) {
    return wholeNumber(line, "--block-size", 64, 1, MaxBlockSize);
}

Result<double> realNumber(const CommandLine& line, const std::string& option, double fallback,
                          double low, double high) {
    Result<double> value = positiveNumber(line, option, fallback, high);
    if (value && *value < low)
        return Failure{option + ": " + line.values.at(option) + " is out of range " +
                       lengthInDigits(low) + ".." + lengthInDigits(high)};
    return value;
}

Result<double> sampleRateOption(const CommandLine& line) {
    return realNumber(line, "--sample-rate", 44100.0, LowestSampleRate, HighestSampleRate);
}

Status outputStatus(std::ostream& out) {
    if (out)
        return {};
    const int error = errno;
    return Failure{std::string("standard output: ") +
                   (error != 0 ? std::strerror(error) : "could not be written")};
}

Result<std::unique_ptr<HostInstance>> startInstance(const std::string& modulePath, double rate,
                                                    long blockSize) {
    Result<ModuleFile> module = ModuleFile::load(modulePath);
    if (!module)
        return Failure{module.error()};
    return HostInstance::create(*module,
                                {static_cast<float>(rate), static_cast<int32_t>(blockSize)});
}

namespace {

// The module file is checked before the system's loader opens it: a FIFO would block it.
Result<std::string> modulePathFor(const CommandLine& line) {
    Result<std::string> path =
        line.modulePath ? Result<std::string>(*line.modulePath) : defaultModulePath();
    if (!path)
        return path;
    if (Status input = checkInput(*path, "module file"); !input)
        return Failure{"cannot load " + input.error()};
    return path;
}

Status runCommand(const CommandLine& line, std::istream& in, std::ostream& out,
                  Progress& progress) {
    if (line.command == "show")
        return showRow(line, out);
    if (line.command == "write")
        return writeRow(line, in, out);
    if (line.command == "list")
        return listMidi(line, in, out);
    Result<std::string> module = modulePathFor(line);
    if (!module)
        return Failure{module.error()};
    if (line.command == "play")
        return playRow(line, *module, out, progress);
    return recordRow(line, *module, in, out, progress);
}

// Allocation fails only for inputs of extraordinary size; it ends the command with a line.
Status runGuarded(const CommandLine& line, std::istream& in, std::ostream& out,
                  Progress& progress) {
    try {
        return runCommand(line, in, out, progress);
    } catch (const std::bad_alloc&) {
        return Failure{"out of memory"};
    }
}

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

// Help and the version are answered before anything else is looked at.
Status answer(const CommandLine& line, std::istream& in, std::ostream& out, Progress& progress) {
    if (line.version)
        printVersion(line, out);
    else if (line.help)
        out << helpText(line.command);
    else
        return runGuarded(line, in, out, progress);
    return {};
}

} // namespace

int runTool(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
            std::ostream& err, ProgressSettings progressSettings) {
    if (!words.empty() && isCheckCommand(words[0]))
        return runCheckCommand(words, out, err);
    if (words.size() == 2 && words[0] == "help" && words[1] == "check")
        return runCheckCommand({"check", "--help"}, out, err);
    Result<CommandLine> line = parseCommandLine(words);
    if (!line) {
        err << "kaveltrum-host: " << line.error() << "\n";
        return 2;
    }
    Progress progress(err, progressSettings);
    Status done = answer(*line, in, out, progress);
    out.flush();
    if (done)
        done = outputStatus(out);
    if (!done) {
        err << "kaveltrum-host: " << done.error() << "\n";
        return 1;
    }
    return 0;
}

int runTool(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
            ProgressSettings progress) {
    return runTool(words, std::cin, out, err, progress);
}
