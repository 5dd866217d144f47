#include "pin.h"

#include "module_base.h"

#include <cstring>

void SEPin::setUpPin(void* variableAddress, SEModule_base* pinOwner, int32_t index,
                     int32_t type) noexcept {
    owner = pinOwner;
    pinIndex = index;
    datatype = type;
    variable = variableAddress;
    status = 0;
    // Every byte: `= {}` on a union would clear only its first, 16-bit, member.
    std::memset(&inlineValue, 0, sizeof inlineValue);
    if (variableAddress)
        return;
    switch (type) {
    case DtSamples:
        inlineValue.word = owner ? owner->callHost(HostPinBuffer, index) : 0;
        variable = &inlineValue;
        break;
    case DtInt16:
    case DtBool:
    case DtFloat:
    case DtInt32:
        variable = &inlineValue; // already zero, read at the datatype's width
        break;
    default:
        break; // text, MIDI and unknown datatypes have no value of their own
    }
}

void SEPin::sendMidi(int32_t timeStamp, int32_t message) noexcept {
    if (owner)
        owner->callHost(HostSendMidi, pinIndex, message,
                        reinterpret_cast<void*>(static_cast<intptr_t>(timeStamp)));
}
