// The event records a host hands an instance's event entry, each with its words in the places
// the module reads them.
#pragma once

#include "abi.h"

#include <cstdint>

// Pin `pin`'s status is now `status` (1: its value changed).
HostEvent pinStatusEvent(int32_t pin, int32_t status);

// A MIDI message, packed; `timeDelta` and `extra` reach onMidiData as its first and third
// arguments.
HostEvent midiEvent(int32_t message, int32_t timeDelta = 0, uint16_t extra = 0);

// A request that the instance call `routine` with itself.
HostEvent callEvent(EventRoutine routine);

// An event with every word chosen, for kinds a host may add one day and for careless hosts.
HostEvent anyEvent(int32_t kind, int32_t timeDelta, int32_t value, uint16_t extra, intptr_t target);
