// Each event maker puts its words where the module reads them, and nothing anywhere else.
#include "host_events.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void SE_ABI someRoutine(void*) {}

TEST(HostEvents, CarryTheirWordsInTheirPlaces) {
    const struct {
        const char* what;
        HostEvent event;
        int32_t timeDelta, kind, value;
        uint16_t extra;
        intptr_t target;
    } cases[] = {
        {"pin status", pinStatusEvent(7, 2), 0, EventPinStatus, 2, 0, 7},
        {"pin status of a negative pin", pinStatusEvent(-5, 1), 0, EventPinStatus, 1, 0, -5},
        {"MIDI", midiEvent(0x643C90, 17, 0xFFFF), 17, EventMidi, 0x643C90, 0xFFFF, 0},
        {"MIDI now", midiEvent(0x90), 0, EventMidi, 0x90, 0, 0},
        {"call", callEvent(&someRoutine), 0, EventCall, 0, 0,
         reinterpret_cast<intptr_t>(&someRoutine)},
        {"any", anyEvent(-8, -1, 3, 9, 40), -1, -8, 3, 9, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.event.timeDelta, c.timeDelta);
        EXPECT_EQ(c.event.kind, c.kind);
        EXPECT_EQ(c.event.value, c.value);
        EXPECT_EQ(c.event.extra, c.extra);
        EXPECT_EQ(c.event.unused, 0);
        EXPECT_EQ(c.event.target, c.target);
    }
}

} // namespace
