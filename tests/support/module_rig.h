// Drives one KAVELTRUM instance in-process the way a host does: the module's code is linked into
// the test program and the driver is handed its two entries.
#pragma once

#include "driver.h"
#include "support/files.h"
#include "support/notes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// The module's exports, linked into the test.
SE_EXPORT int32_t SE_ABI getModuleProperties(int32_t moduleIndex, ModuleProperties* props) noexcept;
SE_EXPORT PluginRecord* SE_ABI makeModule(int32_t moduleIndex, int32_t selector,
                                          HostCallback hostCallback, intptr_t hostHandle) noexcept;

// A driver of a KAVELTRUM instance made with the linked-in entries, not yet opened; the host's
// answer to HostPinCount is `pinCount`.
std::unique_ptr<ModuleDriver> kaveltrumDriver(int32_t pinCount = 14, bool withCallback = true);

class ModuleRig {
  public:
    // Opens an instance with `pinCount` pins (the module describes 14), every sample input on
    // a block of its own, every parameter at its default. The diagnostic log is off unless a
    // test turns it on.
    explicit ModuleRig(int32_t pinCount = 14, bool withCallback = true);
    ModuleRig(const ModuleRig&) = delete;
    ModuleRig& operator=(const ModuleRig&) = delete;

    void set(int32_t pin, float level);     // every sample of the input's block
    void param(int32_t pin, int16_t value); // an int16 parameter
    void diagnose(bool on);
    void detach(int32_t pin);              // the host has not written this input's block address
    void outFile(const std::string& name); // a new OUTFILE text, announced with status 1
    void pinStatus(int32_t pin, int32_t status);
    void midi(int32_t message);
    void block(int32_t start = 0); // one block of 64 samples
    void close();                  // dispatcher opcode 1; the driver does it if the test did not

    // A row file with these bytes, named through OUTFILE and loaded.
    void loadRow(const std::string& path, const std::vector<uint8_t>& bytes);

    // One GATE pulse: a block with GATE high, then one with GATE low.
    void pulse();
    std::vector<int32_t> sent() const; // messages sent through MIDI Out, in order
    void clearSent() { host.clearSent(); }

  private:
    std::unique_ptr<ModuleDriver> driver;

  public:
    ModuleDriver& host;
    PluginRecord* record;
};
