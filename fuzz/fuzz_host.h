// The host side of the call-sequence fuzzer: a handful of instance slots, the answers a host
// gives them, the sample blocks it wires to their inputs and the variables it learnt from
// their pin descriptions. Every request the module makes comes through `callback`, which
// checks it and aborts on anything a host could not accept.
#pragma once

#include "abi.h"

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

// One instance as the host sees it. Lives at a fixed address from makeModule to OpClose: the
// callback finds it through the record's host handle.
struct HostedInstance {
    PluginRecord* record = nullptr;
    int32_t pinCount = DescribedPins; // the answer to HostPinCount
    std::string pinText;              // the OUTFILE text the host hands out
    bool terminateText = true;        // false: fill the whole buffer, capacity honoured
    bool toldBlockSize = false;       // whether opcode 3 has told the module a block size
    int32_t blockSize = 0;            // the last size it told, never above BlockLength

    // learnt from the pin descriptions: where each pin's value lives, and its datatype
    std::array<void*, DescribedPins> variables{};
    std::array<int32_t, DescribedPins> datatypes{};

    // one block per described pin, and one more for any pin beyond them
    std::array<std::array<float, BlockLength>, DescribedPins + 1> blocks{};

    float* block(int32_t pin) noexcept;
};

class FuzzHost {
  public:
    static intptr_t SE_ABI callback(PluginRecord* record, int32_t opcode, int32_t index,
                                    int32_t value, void* pointer, float opt);
    // The routine EventCall events carry: must be called with a live instance.
    static void SE_ABI eventRoutine(void* instance);

    HostedInstance* at(size_t slot) noexcept { return slots[slot % MaxInstances].get(); }
    bool isLive(const PluginRecord* record) const noexcept;
    bool isLiveInstance(const void* instance) const noexcept;

    // makeModule into an empty slot; checks the refusals. Null when nothing was made.
    HostedInstance* make(size_t slot, int32_t moduleIndex, int32_t selector, bool withCallback,
                         int32_t pinCount);
    // A dispatcher request; closing through it frees the slot.
    intptr_t dispatch(size_t slot, int32_t opcode, int32_t index, int32_t value, void* pointer,
                      float opt);
    // Asks for descriptions 0 to 13, wires the inputs and writes the parameters' defaults.
    void describe(size_t slot);
    void closeAll();

    int32_t clock = 0;                    // the sample clock, shared by every instance
    const PluginRecord* driven = nullptr; // the instance the host is calling into, if any

  private:
    void learn(HostedInstance& instance, int32_t index, const PinDescription& description);
    intptr_t answer(HostedInstance& instance, int32_t opcode, int32_t index, int32_t value,
                    void* pointer);

    std::array<std::unique_ptr<HostedInstance>, MaxInstances> slots;
};

FuzzHost& fuzzHost() noexcept;

// Marks a call into one instance: while it lasts, that instance alone may call the host.
class Driving {
  public:
    explicit Driving(const PluginRecord* record) : previous(fuzzHost().driven) {
        fuzzHost().driven = record;
    }
    ~Driving() { fuzzHost().driven = previous; }
    Driving(const Driving&) = delete;
    Driving& operator=(const Driving&) = delete;

  private:
    const PluginRecord* previous;
};
