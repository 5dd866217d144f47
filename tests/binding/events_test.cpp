// Events as the host delivers them through the record's event entry.
#include "host_events.h"
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

TEST(PinStatusEvent, OneIsSeenDuringTheNotificationOnly) {
    for (int32_t status : {-1, 0, 1, 2, 1000}) {
        Opened opened;
        opened.deliver(pinStatusEvent(1, status));
        EXPECT_EQ(opened.module->statusSeen, std::vector<int32_t>{status});
        EXPECT_EQ(opened.module->pins[1].status, status == 1 ? 0 : status);
        EXPECT_EQ(opened.module->pins[2].status, 0);
    }
}

TEST(PinStatusEvent, PinsOutsideTheArrayAreIgnored) {
    Opened opened;
    for (int32_t pin : {-5, -1, 3, 40})
        opened.deliver(pinStatusEvent(pin, 1));
    EXPECT_TRUE(opened.module->statusSeen.empty());

    // Before open there is no pin array at all.
    TableRig fresh({pinOf(DtMidi)}, 3);
    EXPECT_TRUE(fresh.host.event(pinStatusEvent(0, 1)).ok());
    EXPECT_TRUE(fresh.module->statusSeen.empty());
}

TEST(MidiEvent, IsHandedOnWithItsWords) {
    Opened opened;
    opened.deliver(midiEvent(0x643C90, 17, 0xFFFF)); // the extra word is widened without sign
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
    opened.deliver(callEvent(&routine));
    EXPECT_EQ(calledWith, opened.module->pluginRecord()->instance);

    opened.deliver(callEvent(nullptr)); // nothing to call
}

TEST(UnknownEvent, ChangesNothing) {
    Opened opened;
    for (int32_t kind : {-1, 1, 3, 20, 22, 1000})
        opened.deliver(anyEvent(kind, 0, 1, 0, 1)); // a pin status's words under another kind
    PluginRecord* record = opened.module->pluginRecord();
    record->event(record->instance, nullptr);
    record->event(nullptr, nullptr);
    EXPECT_TRUE(opened.module->statusSeen.empty());
    EXPECT_TRUE(opened.module->midi.empty());
}

} // namespace
