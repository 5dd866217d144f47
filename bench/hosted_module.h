// A minimal host for the benchmarks: it makes one KAVELTRUM instance through the module's
// exports and drives it only through the plug-in record, the way a host does. Its callback
// answers and counts, and nothing more, so the time measured is the module's.
#pragma once

#include "abi.h"

#include <array>
#include <cstdio>
#include <string>

// The module's exports, linked into the benchmark.
SE_EXPORT int32_t SE_ABI getModuleProperties(int32_t moduleIndex, ModuleProperties* props) noexcept;
SE_EXPORT PluginRecord* SE_ABI makeModule(int32_t moduleIndex, int32_t selector,
                                          HostCallback hostCallback, intptr_t hostHandle) noexcept;

// The host side of one instance: the callback's answers and the counts of what was asked.
struct BenchHost {
    static intptr_t SE_ABI callback(PluginRecord* record, int32_t opcode, int32_t index,
                                    int32_t value, void* pointer, float opt);

    int32_t pinCount = 14;
    int32_t clock = 0;
    long long midiSent = 0;  // HostSendMidi requests
    std::string outFileText; // answered to HostPinText
};

class HostedModule {
  public:
    static constexpr int32_t MaxPins = 32;
    static constexpr int32_t BlockFrames = 64;

    // Makes an instance; unless `open` is false it is opened, its pins get sample blocks and
    // their defaults, and the diagnostic log is switched off.
    explicit HostedModule(bool open = true);
    ~HostedModule(); // dispatcher opcode 1
    HostedModule(const HostedModule&) = delete;
    HostedModule& operator=(const HostedModule&) = delete;

    // The sample block of an input, found by the pin's name; null for an unknown name.
    float* input(const char* name);
    void set(const char* name, float level); // fills the whole block
    void param(const char* name, int16_t value);

    // Names a new record file through OUTFILE (announced with status 1): the module loads it.
    void outFile(const std::string& path);

    // One block through the sub-process routine the record holds now.
    void block() { record->subProcess(record->instance, 0, BlockFrames); }

    BenchHost host;
    PluginRecord* record = nullptr;

  private:
    int32_t pinNamed(const char* name) const;
    void describe();

    int32_t described = 0;
    std::array<PinDescription, MaxPins> descriptions{};
    std::array<std::array<float, BlockFrames>, MaxPins> blocks{};
};

// A folder of this run's files, made on first use and removed when the program ends.
std::string scratchPath(const std::string& name);

// Writes `size` bytes of notes to `path`, replacing the file.
bool writeRowFile(const std::string& path, long size);

// The length of a file in bytes, or -1.
long fileSize(const std::string& path);
