// Drives one KAVELTRUM instance in-process the way a host does: through the plug-in record,
// with the fake callback, sample blocks for the inputs and the parameters' variables.
#pragma once

#include "support/fake_host.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

// The module's exports, linked into the test.
SE_EXPORT int32_t SE_ABI getModuleProperties(int32_t moduleIndex, ModuleProperties* props) noexcept;
SE_EXPORT PluginRecord* SE_ABI makeModule(int32_t moduleIndex, int32_t selector,
                                          HostCallback hostCallback, intptr_t hostHandle) noexcept;

PluginRecord* makeKaveltrum(HostCallback callback, intptr_t hostHandle);

class ModuleRig {
  public:
    // Opens an instance with `pinCount` pins (the module describes 14). The diagnostic log is
    // off unless a test turns it on.
    explicit ModuleRig(int32_t pinCount = 14, bool withCallback = true);
    ~ModuleRig();
    ModuleRig(const ModuleRig&) = delete;
    ModuleRig& operator=(const ModuleRig&) = delete;

    void set(int32_t pin, float level);     // input level at the next blocks' first sample
    void param(int32_t pin, int16_t value); // an int16 parameter
    void diagnose(bool on);
    void detach(int32_t pin);              // the host has not written this input's block address
    void outFile(const std::string& name); // a new OUTFILE text, announced with status 1
    void pinStatus(int32_t pin, int32_t status);
    void midi(int32_t message);
    void block(int32_t start = 0);
    void close(); // dispatcher opcode 1; the destructor does it if the test did not

    // A row file with these bytes, named through OUTFILE and loaded.
    void loadRow(const std::string& path, const std::vector<uint8_t>& bytes);

    // One GATE pulse: a block with GATE high, then one with GATE low.
    void pulse();
    std::vector<int32_t> sent() const; // messages sent through MIDI Out, in order
    void clearSent() { host.requests.clear(); }

    FakeHost host;
    PluginRecord* record = nullptr;

  private:
    void describe();
    std::array<void*, 14> variables{};
    std::array<std::array<float, 64>, 14> blocks{};
};

// Each test works in a fresh folder of its own, which is also where the native log goes.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    std::string path(const std::string& name) const;

  private:
    std::string folder;
    std::string previous;
};

// Where the module writes its diagnostic log.
std::string logFilePath();

constexpr int32_t noteOn(int note, int velocity = 100) {
    return packMidi(0x90, note, velocity);
}
constexpr int32_t noteOff(int note, int velocity = 100) {
    return packMidi(0x80, note, velocity);
}
