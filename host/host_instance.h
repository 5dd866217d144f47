// One module instance driven the way a host drives it: pins learned from their descriptions,
// values written into the instance's variables, events sent, blocks of samples run.
#pragma once

#include "driver.h"
#include "module_file.h"
#include "pin_table.h"
#include "result.h"

#include <memory>
#include <string>
#include <vector>

struct InstanceSettings {
    float sampleRate = 44100.0f;
    int32_t blockSize = 64;
};

// Sample blocks never grow beyond this, so their addresses hold for the instance's whole life.
constexpr int32_t MaxBlockSize = BlockCapacity;

// Owns one instance from makeModule to dispatcher opcode 1, through a ModuleDriver that never
// makes a mistake. The instance is open from create on; every operation checks its arguments
// against the learned pins and answers a mistake with a failure instead of passing it on to the
// module.
class HostInstance {
  public:
    // Reads the properties, makes an instance of module 0, learns its pins, gives every sample
    // pin its block and every parameter its default, tells the sample rate and block size, then
    // opens it.
    static Result<std::unique_ptr<HostInstance>> create(const ModuleFile& file,
                                                        InstanceSettings settings = {});
    ~HostInstance() = default; // the driver closes the instance if still open
    HostInstance(const HostInstance&) = delete;
    HostInstance& operator=(const HostInstance&) = delete;

    // ---- Pins; indices are description indices
    [[nodiscard]] const std::vector<PinInfo>& pins() const { return driver->pins(); }
    [[nodiscard]] Result<int32_t>
    findPin(const std::string& name) const; // the first pin of that name

    // Writes an int16 or bool parameter into the pin's variable (bool: 0 or 1).
    Status setParameter(int32_t index, int32_t value);
    Status setParameter(const std::string& pinName, int32_t value);

    // Gives a text input its text and tells the module with a pin status event of status 1.
    Status setText(int32_t index, const std::string& text);
    Status setText(const std::string& pinName, const std::string& text);

    // The level every sample of a sample input carries from the next block on.
    Status setLevel(int32_t index, float level);
    Status setLevel(const std::string& pinName, float level);

    // Sends a packed MIDI message to the module's MIDI input as an event.
    Status sendMidi(int32_t message, int32_t timeDelta = 0);

    // ---- Running
    Status setSampleRate(float rate);
    Status setBlockSize(int32_t frames);
    Status runBlocks(int32_t count = 1); // each block advances the clock by the block size
    Status close();                      // dispatcher opcode 1; the record is gone afterwards

    [[nodiscard]] bool isOpen() const { return driver->record() != nullptr; }
    [[nodiscard]] int64_t clock() const { return driver->clock; }
    [[nodiscard]] float sampleRate() const { return driver->sampleRate(); }
    [[nodiscard]] int32_t blockSize() const { return driver->blockSize(); }
    [[nodiscard]] const std::vector<ModuleMidi>& sentMidi() const { return driver->sent(); }
    void clearSentMidi() { driver->clearSent(); }

    // The driver underneath, for callers that need more than a careful host offers.
    ModuleDriver& moduleDriver() { return *driver; }

  private:
    explicit HostInstance(std::unique_ptr<ModuleDriver> driver) : driver(std::move(driver)) {}

    Status start(InstanceSettings settings);
    void fillBlock(size_t pin);
    Status refuseLevel(int32_t index, float level) const; // why setLevel refuses
    [[nodiscard]] Result<const PinInfo*> pinAt(int32_t index) const;
    // The pin at `index` if it is an input of the kind `isKind` tells; `kind` names it in errors.
    Result<const PinInfo*> inputPin(int32_t index, const char* kind,
                                    bool (*isKind)(const PinInfo&)) const;
    Status checkOpen() const;

    std::unique_ptr<ModuleDriver> driver;
    std::vector<float> levels;         // per pin; sample inputs carry theirs on every sample
    std::vector<uint8_t> sampleInputs; // per pin: 1 for a sample input
    bool hasMidiInput = false;
};
