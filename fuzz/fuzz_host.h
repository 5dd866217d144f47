// The host side of the call-sequence fuzzer: a handful of instance slots, each a ModuleDriver of
// an instance made from the module's linked-in exports. After every call into an instance the
// host checks what the driver saw the module do, and aborts on anything a host could not accept.
#pragma once

#include "driver.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

SE_EXPORT int32_t SE_ABI getModuleProperties(int32_t moduleIndex, ModuleProperties* props) noexcept;
SE_EXPORT PluginRecord* SE_ABI makeModule(int32_t moduleIndex, int32_t selector,
                                          HostCallback hostCallback, intptr_t hostHandle) noexcept;

constexpr int32_t BlockLength = 64; // samples in every block the host hands out
constexpr int32_t DescribedPins = 14;
constexpr size_t MaxInstances = 4;

// Reports a broken invariant and aborts, so that libFuzzer keeps the input.
[[noreturn]] void fail(const char* what);

// One instance as the host sees it.
struct HostedInstance {
    std::unique_ptr<ModuleDriver> driver;
    bool toldBlockSize = false; // whether opcode 3 has told the module a block size
    int32_t blockSize = 0;      // the last size it told, never above BlockLength
    size_t checkedMidi = 0;     // messages already checked

    PluginRecord* record() const { return driver->record(); }
    // The variable and datatype of a learnt pin; null and -1 for any other.
    void* variable(int32_t pin) const;
    int32_t datatype(int32_t pin) const;
};

class FuzzHost {
  public:
    // The routine EventCall events carry: must be called with the instance being called.
    static void SE_ABI eventRoutine(void* instance);

    HostedInstance* at(size_t slot) noexcept { return slots[slot % MaxInstances].get(); }

    // makeModule into an empty slot; checks the refusals. Null when nothing was made.
    HostedInstance* make(size_t slot, int32_t moduleIndex, int32_t selector, bool withCallback,
                         int32_t pinCount);
    // A dispatcher request; closing through it frees the slot.
    intptr_t dispatch(size_t slot, int32_t opcode, int32_t index, int32_t value, void* pointer,
                      float opt);
    // Events and blocks, with the checks after each.
    void event(HostedInstance& instance, const HostEvent& event);
    void block(HostedInstance& instance, int32_t start);
    // Asks for descriptions 0 to 13, wires the inputs and writes the parameters' defaults.
    void describe(size_t slot);
    void closeAll();

    int32_t clock = 0; // the sample clock, shared by every instance

  private:
    void check(HostedInstance& instance);
    void checkDescription(int32_t index, const PinAnswer& asked);

    std::array<std::unique_ptr<HostedInstance>, MaxInstances> slots;
    const void* driven = nullptr; // the instance the host is calling into, if any
};

FuzzHost& fuzzHost() noexcept;
