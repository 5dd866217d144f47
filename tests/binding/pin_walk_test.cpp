// How open pairs the module's pin descriptions with the host's pin records.
#include "support/table_module.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr int32_t NotSetUp = -1;

struct WalkCase {
    const char* name;
    int32_t pinCount;
    std::vector<PinDescription> table;
    std::vector<int32_t> asked;     // description indices asked, in order
    std::vector<int32_t> datatypes; // per record; NotSetUp for records no description reached
    std::vector<int32_t> buffersAsked;
};

std::vector<PinDescription> repeated(int count, PinDescription description) {
    return std::vector<PinDescription>(static_cast<size_t>(count), description);
}

std::vector<WalkCase> walkCases() {
    const PinDescription i16 = pinOf(DtInt16);
    const PinDescription skipped = pinOf(DtBool, PinFlagNoRecord);
    const PinDescription kept = pinOf(DtBool, PinFlagNoRecord | PinFlagKeepRecord);
    const PinDescription samples = pinOf(DtSamples);
    const PinDescription repeatSamples = pinOf(DtSamples, PinFlagRepeat);
    std::vector<int32_t> upTo14 = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 13};
    return {
        {"all described", 14, repeated(14, i16), upTo14, std::vector<int32_t>(14, DtInt16), {}},
        {"fewer pins than descriptions",
         10,
         repeated(14, i16),
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 9},
         std::vector<int32_t>(10, DtInt16),
         {}},
        {"no pins", 0, repeated(14, i16), {0, -1}, {}, {}},
        {"first description refused", 3, {}, {0, -1}, {NotSetUp, NotSetUp, NotSetUp}, {}},
        {"no-record description is skipped",
         2,
         {i16, skipped, pinOf(DtFloat)},
         {0, 1, 2, 3, 2},
         {DtInt16, DtFloat},
         {}},
        {"keep-record cancels no-record",
         3,
         {i16, kept, pinOf(DtFloat)},
         {0, 1, 2, 3, 2},
         {DtInt16, DtBool, DtFloat},
         {}},
        {"last description repeats",
         6,
         {i16, i16, samples, repeatSamples},
         {0, 1, 2, 3, 4, 3},
         {DtInt16, DtInt16, DtSamples, DtSamples, DtSamples, DtSamples},
         {2, 3, 4, 5}},
        {"repeat of a no-record description",
         4,
         {i16, pinOf(DtSamples, PinFlagRepeat | PinFlagNoRecord)},
         {0, 1, 2, 1},
         {DtInt16, NotSetUp, NotSetUp, NotSetUp},
         {}},
        {"more pins than descriptions",
         4,
         {i16, samples},
         {0, 1, 2, 1},
         {DtInt16, DtSamples, NotSetUp, NotSetUp},
         {1}},
    };
}

TEST(PinWalk, PairsDescriptionsWithRecords) {
    for (const WalkCase& c : walkCases()) {
        SCOPED_TRACE(c.name);
        TableRig rig(c.table, c.pinCount);
        TableModule* module = rig.module;
        ASSERT_TRUE(rig.host.open().ok());

        EXPECT_EQ(module->asked, c.asked);
        ASSERT_EQ(module->pinCount(), static_cast<int32_t>(c.datatypes.size()));
        EXPECT_EQ(module->pins == nullptr, c.datatypes.empty());
        for (int32_t i = 0; i < module->pinCount(); ++i) {
            const SEPin& pin = module->pins[i];
            if (c.datatypes[static_cast<size_t>(i)] == NotSetUp) {
                EXPECT_EQ(pin.owner, nullptr) << i;
                continue;
            }
            EXPECT_EQ(pin.owner, module) << i;
            EXPECT_EQ(pin.pinIndex, i);
            EXPECT_EQ(pin.status, 0);
            EXPECT_EQ(pin.datatype, c.datatypes[static_cast<size_t>(i)]) << i;
            EXPECT_EQ(pin.variable, &pin.inlineValue) << i;
        }
        std::vector<int32_t> buffersAsked;
        for (const HostRequest& r : rig.host.requests())
            if (r.opcode == HostPinBuffer)
                buffersAsked.push_back(r.index);
        EXPECT_EQ(buffersAsked, c.buffersAsked);
        EXPECT_EQ(rig.host.countOf(HostPinCount), 1);
    }
}

TEST(PinSetUp, InlineStorageFollowsTheDatatype) {
    TableRig rig({pinOf(DtInt16), pinOf(DtText), pinOf(DtMidi), pinOf(DtBool), pinOf(DtSamples),
                  pinOf(DtFloat), pinOf(DtInt32)},
                 7);
    ModuleDriver& host = rig.host;
    ASSERT_TRUE(host.open().ok());
    TableModule* module = rig.module;
    SEPin* pins = module->pins;
    EXPECT_EQ(pins[0].variable, &pins[0].inlineValue);
    EXPECT_EQ(pins[0].inlineValue.int16, 0);
    EXPECT_EQ(pins[1].variable, nullptr); // text
    EXPECT_EQ(pins[2].variable, nullptr); // MIDI
    EXPECT_EQ(pins[3].variable, &pins[3].inlineValue);
    EXPECT_EQ(pins[3].inlineValue.byte, 0);
    EXPECT_EQ(pins[4].inlineValue.samples, host.block(4));
    EXPECT_EQ(*static_cast<float**>(pins[4].variable), host.block(4));
    EXPECT_EQ(pins[5].inlineValue.real, 0.0f);
    EXPECT_EQ(pins[6].inlineValue.int32, 0);
}

TEST(PinSetUp, AVariableAddressWinsOverInlineStorage) {
    float* samplesVariable = nullptr;
    int16_t numberVariable = 5;
    TableRig rig({pinOf(DtSamples, 0, &samplesVariable), pinOf(DtInt16, 0, &numberVariable)}, 2);
    ModuleDriver& host = rig.host;
    ASSERT_TRUE(host.open().ok());
    TableModule* module = rig.module;
    EXPECT_EQ(module->pins[0].variable, &samplesVariable);
    EXPECT_EQ(module->pins[0].inlineValue.word, 0);
    EXPECT_EQ(module->pins[1].variable, &numberVariable);
    EXPECT_EQ(host.countOf(HostPinBuffer), 0);
}

// Set-up clears every byte of the inline value that was there before, not only the union's first
// member: a 32-bit or float pin must not keep the upper bytes of an earlier value.
TEST(PinSetUp, ClearsTheWholeInlineValue) {
    int16_t variable = 7;
    const unsigned char zero[sizeof(SEPin::InlineValue)] = {};
    for (int32_t type : {0, 1, 2, 4, 6, 8, 9}) // every datatype and one unknown
        for (void* address : {static_cast<void*>(nullptr), static_cast<void*>(&variable)}) {
            SEPin pin;
            std::memset(&pin.inlineValue, 0xFF, sizeof pin.inlineValue);
            pin.setUpPin(address, nullptr, 0, type);
            // Every byte is meant, padding and all: that is what a wider member would expose.
            // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
            EXPECT_EQ(std::memcmp(&pin.inlineValue, zero, sizeof zero), 0)
                << "datatype " << type << (address ? " with a variable" : "");
        }
}

TEST(PinWalk, HostPinCountsThatCannotBeHonouredLeaveNoPins) {
    for (int32_t count : {-1, -1000, 1 << 30}) {
        TableRig rig({pinOf(DtInt16)}, count);
        ASSERT_TRUE(rig.host.open().ok());
        EXPECT_EQ(rig.module->pins, nullptr) << count;
        EXPECT_EQ(rig.module->pinCount(), 0);
    }
}

TEST(PinWalk, ASecondOpenReplacesThePins) {
    TableRig rig({pinOf(DtInt16), pinOf(DtMidi)}, 2);
    ASSERT_TRUE(rig.host.open().ok());
    rig.host.answerPinCount(1);
    ASSERT_TRUE(rig.host.open().ok());
    EXPECT_EQ(rig.module->pinCount(), 1);
    EXPECT_EQ(rig.module->pins[0].datatype, DtInt16); // the sanitizers see any leak
}

TEST(SendMidi, GoesOutThroughTheOwnersCallback) {
    TableRig rig({pinOf(DtMidi), pinOf(DtMidi)}, 2);
    ModuleDriver& host = rig.host;
    ASSERT_TRUE(host.open().ok());
    rig.module->pins[1].sendMidi(4410, packMidi(MidiNoteOn, 60, 100));
    ASSERT_EQ(host.sent().size(), 1u);
    EXPECT_EQ(host.sent()[0].pin, 1);
    EXPECT_EQ(host.sent()[0].message, 0x643C90);
    EXPECT_EQ(host.sent()[0].timeStamp, 4410);
    // Called from the test rather than from within a host call, which the driver notes; the
    // record it came with was the owner's.
    EXPECT_EQ(
        host.moduleMistakes(),
        std::vector<std::string>({"request 4 came while the host was not calling the instance"}));

    SEPin loose; // never set up: no owner, nothing to send through
    loose.sendMidi(0, 0x643C90);
}

} // namespace
