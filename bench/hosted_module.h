// The benchmarks' module: one KAVELTRUM instance made through the driver from the module's
// linked-in exports. Blocks and events go straight to the record, so the time measured is the
// module's; the driver answers the module's requests and only counts the MIDI it sends.
#pragma once

#include "driver.h"

#include <memory>
#include <string>

// The module's exports, linked into the benchmark.
SE_EXPORT int32_t SE_ABI getModuleProperties(int32_t moduleIndex, ModuleProperties* props) noexcept;
SE_EXPORT PluginRecord* SE_ABI makeModule(int32_t moduleIndex, int32_t selector,
                                          HostCallback hostCallback, intptr_t hostHandle) noexcept;

class HostedModule {
  public:
    static constexpr int32_t BlockFrames = 64;

    // Makes an instance; unless `open` is false it is opened, its pins get sample blocks and
    // their defaults, and the diagnostic log is switched off.
    explicit HostedModule(bool open = true);

    // The sample block of an input, found by the pin's name.
    float* input(const char* name);
    void set(const char* name, float level); // fills the whole block
    void param(const char* name, int16_t value);

    // Names a new record file through OUTFILE (announced with status 1): the module loads it.
    void outFile(const std::string& path);

    // One block through the sub-process routine the record holds now.
    void block() { record->subProcess(record->instance, 0, BlockFrames); }

    [[nodiscard]] long long midiSent() const { return driver->sentCount(); }

    std::unique_ptr<ModuleDriver> driver;
    PluginRecord* record = nullptr;

  private:
    int32_t pinNamed(const char* name) const;
};

// A folder of this run's files, made on first use and removed when the program ends.
std::string scratchPath(const std::string& name);

// Writes `size` bytes of notes to `path`, replacing the file.
bool writeRowFile(const std::string& path, long size);

// The length of a file in bytes, or -1.
long fileSize(const std::string& path);

// Stops the program with a message: a benchmark that cannot set up measures nothing.
[[noreturn]] void giveUp(const std::string& why);
