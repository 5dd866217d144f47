#include "host_events.h"

HostEvent pinStatusEvent(int32_t pin, int32_t status) {
    return anyEvent(EventPinStatus, 0, status, 0, pin);
}

HostEvent midiEvent(int32_t message, int32_t timeDelta, uint16_t extra) {
    return anyEvent(EventMidi, timeDelta, message, extra, 0);
}

HostEvent callEvent(EventRoutine routine) {
    return anyEvent(EventCall, 0, 0, 0, reinterpret_cast<intptr_t>(routine));
}

HostEvent anyEvent(int32_t kind, int32_t timeDelta, int32_t value, uint16_t extra,
                   intptr_t target) {
    HostEvent event{};
    event.timeDelta = timeDelta;
    event.kind = kind;
    event.value = value;
    event.extra = extra;
    event.target = target;
    return event;
}
