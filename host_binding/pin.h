// One entry of an instance's pin array.
#pragma once

#include "abi.h"

class SEModule_base;

// Set up once while the instance opens; afterwards only `status` changes, through host events.
class SEPin {
  public:
    SEPin() noexcept = default;
    virtual ~SEPin() = default;

    // A pin without a variable of its own gets storage in `inlineValue`, by datatype.
    void setUpPin(void* variableAddress, SEModule_base* owner, int32_t index,
                  int32_t datatype) noexcept;

    // Sends a packed MIDI message out through this pin; nothing without a host callback.
    void sendMidi(int32_t timeStamp, int32_t message) noexcept;

    // Storage for a pin without a variable, read according to `datatype`. Wide enough for
    // the address of a sample block.
    union InlineValue {
        int16_t int16;
        uint8_t byte;
        float real;
        int32_t int32;
        float* samples;
        intptr_t word;
    };

    void* variable = nullptr;
    SEModule_base* owner = nullptr;
    int32_t pinIndex = 0;
    int32_t status = 0;
    int32_t datatype = 0;
    InlineValue inlineValue = {};
};
