// An in-process stand-in for the host callback: records every request and answers it.
#pragma once

#include "abi.h"

#include <string>
#include <vector>

struct HostRequest {
    PluginRecord* record;
    int32_t opcode;
    int32_t index;
    int32_t value;
    void* pointer;
};

// A sent MIDI message as the host saw it.
struct SentMidi {
    int32_t pin;
    int32_t message;
    int32_t time;
};

// Pass `handle()` as the host handle: the callback finds this object through the record.
class FakeHost {
  public:
    static intptr_t SE_ABI callback(PluginRecord* record, int32_t opcode, int32_t index,
                                    int32_t value, void* pointer, float opt);
    intptr_t handle() { return reinterpret_cast<intptr_t>(this); }

    int countOf(int32_t opcode) const;
    std::vector<SentMidi> sentMidi() const;
    float* block(int32_t pin); // the sample block answered for a pin

    // Answers
    int32_t pinCount = 0;
    int32_t clock = 0;
    std::string pinText;
    bool terminateText = true; // false: fill the whole buffer, as a careless host might
    std::vector<HostRequest> requests;

  private:
    intptr_t answer(const HostRequest& request);
    std::vector<std::vector<float>> blocks;
};

// Clears a description the way a host must before asking for one.
PinDescription askDescription(PluginRecord* record, int32_t index, intptr_t* result = nullptr);
