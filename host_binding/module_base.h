// The base of every module instance: the plug-in record, the dispatcher and the pins.
#pragma once

#include "abi.h"
#include "pin.h"

// Turns the host's requests and events into calls of the virtual operations below, which a
// module overrides. The instance is created by makeModule and destroys itself on OpClose.
class SEModule_base {
  public:
    SEModule_base(HostCallback callback, intptr_t hostHandle) noexcept;
    SEModule_base(const SEModule_base&) = delete;
    SEModule_base& operator=(const SEModule_base&) = delete;

    // What a module may override; each does nothing unless its comment says otherwise.
    virtual ~SEModule_base(); // releases the pins
    virtual void onPinStatusChange(SEPin* pin);
    virtual void handleEvent(HostEvent* event); // delivers an event
    virtual intptr_t dispatch(int32_t opcode, int32_t index, int32_t value, void* pointer,
                              float opt); // answers a request
    virtual void open();                  // builds the pin array
    virtual void close();

    virtual void setSampleRate(float rate);  // stores it
    virtual void setBlockSize(int32_t size); // stores it
    virtual float getSampleRate();           // what was stored
    virtual int32_t getBlockSize();          // what was stored

    virtual bool getPinDescription(int32_t index, PinDescription* description); // false
    virtual void onRequest8();
    virtual void onRequest8Count(int32_t count);
    virtual void onMidiData(int32_t timeDelta, int32_t message, int32_t extra);
    virtual void onRequest12(int32_t value, int32_t index, void* pointer);

    PluginRecord* pluginRecord() noexcept { return &record; }

    // Installs the routine the host runs per block, telling the host when it changed.
    void setSubProcess(const SubProcessSelection& selection) noexcept;

    // The host's sample clock, or 0 without a host callback.
    int32_t sampleClock() noexcept { return static_cast<int32_t>(callHost(HostSampleClock)); }

    // The pin record at `index`, or null outside the pin array.
    SEPin* pin(int32_t index) noexcept {
        return pins && index >= 0 && index < pinsSize ? &pins[index] : nullptr;
    }
    [[nodiscard]] int32_t pinCount() const noexcept { return pinsSize; }

  protected:
    friend class SEPin; // pins ask the host for their sample blocks and send MIDI

    // Asks the host for a service; 0 without a host callback.
    intptr_t callHost(int32_t opcode, int32_t index = 0, int32_t value = 0,
                      void* pointer = nullptr) noexcept {
        return hostCallback ? hostCallback(&record, opcode, index, value, pointer, 0.0f) : 0;
    }

    HostCallback hostCallback;
    PluginRecord record;
    float sampleRate = 44100.0f;
    int32_t blockSize = 1024;
    SEPin* pins = nullptr;
    SubProcessSelection subProcess;
    int32_t pinsSize = 0; // records in `pins`

  private:
    void buildPins() noexcept;
    void walkDescriptions() noexcept;
    void releasePins() noexcept;
    void deliverPinStatus(int32_t index, int32_t status);
};
