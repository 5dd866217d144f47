// Events as the host delivers them through the record's event entry.
#include "support/table_module.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Opened {
    TableRig rig;
    TableModule* module;
    explicit Opened(int32_t pins = 3)
        : rig({pinOf(DtMidi), pinOf(DtText), pinOf(DtInt16)}, pins), module(rig.module) {
        EXPECT_TRUE(rig.host.open().ok());
    }
    void deliver(HostEvent event) { EXPECT_TRUE(rig.host.event(event).ok()); }
};

HostEvent pinStatus(intptr_t pin, int32_t status) {
    HostEvent event{};
    event.kind = EventPinStatus;
    event.value = status;
    event.target = pin;
    return event;
}

TEST(PinStatusEvent, OneIsSeenDuringTheNotificationOnly) {
    for (int32_t status : {-1, 0, 1, 2, 1000}) {
        Opened opened;
        opened.deliver(pinStatus(1, status));
        EXPECT_EQ(opened.module->statusSeen, std::vector<int32_t>{status});
        EXPECT_EQ(opened.module->pins[1].status, status == 1 ? 0 : status);
        EXPECT_EQ(opened.module->pins[2].status, 0);
    }
}

TEST(PinStatusEvent, PinsOutsideTheArrayAreIgnored) {
    Opened opened;
    for (intptr_t pin : {intptr_t{-5}, intptr_t{-1}, intptr_t{3}, intptr_t{40}})
        opened.deliver(pinStatus(pin, 1));
    EXPECT_TRUE(opened.module->statusSeen.empty());

    // Before open there is no pin array at all.
    TableRig fresh({pinOf(DtMidi)}, 3);
    EXPECT_TRUE(fresh.host.event(pinStatus(0, 1)).ok());
    EXPECT_TRUE(fresh.module->statusSeen.empty());
}

TEST(MidiEvent, IsHandedOnWithItsWords) {
    Opened opened;
    HostEvent event{};
    event.kind = EventMidi;
    event.timeDelta = 17;
    event.value = 0x643C90;
    event.extra = 0xFFFF; // widened without sign
    opened.deliver(event);
    ASSERT_EQ(opened.module->midi.size(), 1u);
    EXPECT_EQ(opened.module->midi[0].timeDelta, 17);
    EXPECT_EQ(opened.module->midi[0].message, 0x643C90);
    EXPECT_EQ(opened.module->midi[0].extra, 0xFFFF);
}

void* calledWith = nullptr;
void SE_ABI routine(void* instance) {
    calledWith = instance;
}

TEST(CallEvent, CallsTheRoutineWithTheInstance) {
    Opened opened;
    HostEvent event{};
    event.kind = EventCall;
    event.target = reinterpret_cast<intptr_t>(&routine);
    opened.deliver(event);
    EXPECT_EQ(calledWith, opened.module->pluginRecord()->instance);

    event.target = 0; // nothing to call
    opened.deliver(event);
}

TEST(UnknownEvent, ChangesNothing) {
    Opened opened;
    for (int32_t kind : {-1, 1, 3, 20, 22, 1000}) {
        HostEvent event = pinStatus(1, 1);
        event.kind = kind;
        opened.deliver(event);
    }
    PluginRecord* record = opened.module->pluginRecord();
    record->event(record->instance, nullptr);
    record->event(nullptr, nullptr);
    EXPECT_TRUE(opened.module->statusSeen.empty());
    EXPECT_TRUE(opened.module->midi.empty());
}

} // namespace
