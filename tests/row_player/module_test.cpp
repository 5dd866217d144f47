// The module as a host meets it: its properties, its pins, making, opening and closing.
#include "module.h"
#include "support/linked_kaveltrum.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// What each pin is, as hosts see it, is held by the golden file the module file's test compares
// against; here, what only the linked code shows: every variable lies inside the instance, and no
// two pins share one.
TEST(PinTable, VariablesLieInsideTheInstanceEachOfItsOwn) {
    LinkedKaveltrum made(unopened(Setup::Made, false));
    ModuleDriver* const host = &made.host;
    PluginRecord* record = host->record();
    const char* instance = static_cast<const char*>(record->instance);
    std::vector<void*> variables;
    for (int32_t index = 0; index < ModulePinCount; ++index) {
        const PinAnswer asked = host->describePin(index);
        EXPECT_EQ(asked.answer, 1) << index;
        if (!asked.description.variableAddress)
            continue;
        const char* variable = static_cast<const char*>(asked.description.variableAddress);
        EXPECT_GT(variable, instance) << index;
        EXPECT_LT(variable, instance + sizeof(Module)) << index;
        for (void* other : variables)
            EXPECT_NE(other, asked.description.variableAddress) << index;
        variables.push_back(asked.description.variableAddress);
    }
    EXPECT_EQ(variables.size(), 12u); // all but MIDI In and MIDI Out
}

TEST(PinTable, OtherIndicesAreRefusedAndLeaveTheDescriptionAlone) {
    LinkedKaveltrum made(unopened(Setup::Made, false));
    ModuleDriver* const host = &made.host;
    auto* module = static_cast<SEModule_base*>(host->instance());
    for (int32_t index : {14, 15, -1, -14, 1 << 30}) {
        PinDescription d;
        std::memset(&d, 0xAB, sizeof d);
        EXPECT_FALSE(module->getPinDescription(index, &d)) << index;
        const auto* bytes = reinterpret_cast<const unsigned char*>(&d);
        for (size_t i = 0; i < sizeof d; ++i)
            ASSERT_EQ(bytes[i], 0xAB) << index;
    }
    EXPECT_FALSE(module->getPinDescription(0, nullptr));
}

TEST(Properties, NameAndAboutTextComposedAfreshEachTime) {
    ModuleProperties props{};
    props.word3 = 33;
    props.word4 = 44;
    ASSERT_EQ(getModuleProperties(0, &props), 1);
    EXPECT_EQ(props.interfaceVersion, 2230);
    EXPECT_STREQ(props.name, "KAVELTRUM");
    EXPECT_EQ(props.identifier, props.name);
    EXPECT_EQ(props.word3, 33);
    EXPECT_EQ(props.word4, 44);

    // The texts themselves are held by the golden file the module file's test compares against.
    const std::string about = props.about;

    ModuleProperties again{};
    ASSERT_EQ(getModuleProperties(0, &again), 1);
    EXPECT_EQ(std::string(again.about), about); // composed afresh, not appended
    EXPECT_EQ(again.about, props.about);
}

TEST(Properties, OtherModuleIndicesOnlyGetTheVersion) {
    for (int32_t index : {1, -1, 7}) {
        ModuleProperties props;
        std::memset(&props, 0x5A, sizeof props);
        const ModuleProperties before = props;
        EXPECT_EQ(getModuleProperties(index, &props), 0);
        EXPECT_EQ(props.interfaceVersion, 2230);
        EXPECT_EQ(props.name, before.name);
        EXPECT_EQ(props.identifier, before.identifier);
        EXPECT_EQ(props.about, before.about);
        EXPECT_EQ(props.word3, before.word3);
        EXPECT_EQ(props.word4, before.word4);
    }
    EXPECT_EQ(getModuleProperties(0, nullptr), 0);
}

TEST(MakeModule, RefusesOtherModulesAndSelectors) {
    for (auto [index, selector] : {std::pair{0, 2}, {1, 1}, {-1, 1}, {0, 0}}) {
        MakeOptions options;
        options.moduleIndex = index;
        options.selector = selector;
        EXPECT_FALSE(ModuleDriver::make({getModuleProperties, makeModule}, options).ok());
    }
}

TEST(MakeModule, ANullCallbackGivesAnInstanceWithoutHostServices) {
    PluginRecord* record = makeModule(0, 1, nullptr, 0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->magic, PluginMagic);
    record->dispatcher(record, OpOpen, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(static_cast<SEModule_base*>(record->instance)->pinCount(), 0);
    record->subProcess(record->instance, 0, 64); // no pins, no blocks: nothing happens
    EXPECT_EQ(record->dispatcher(record, OpClose, 0, 0, nullptr, 0.0f), 1);
}

TEST(Open, AsksTheHostInOrder) {
    LinkedKaveltrum made(unopened(Setup::Made));
    ModuleDriver* const host = &made.host;
    rowState().rowLength = 5;
    rowState().position = 3;
    PluginRecord* record = host->record();
    const SubProcessRoutine idle = record->subProcess;
    EXPECT_TRUE(host->requests().empty());
    ASSERT_TRUE(host->open().ok());

    EXPECT_EQ(rowState().rowLength, 0u);
    EXPECT_EQ(rowState().position, 0u);
    ASSERT_FALSE(host->requests().empty());
    EXPECT_EQ(host->requests().front().opcode, HostPinCount);
    EXPECT_EQ(host->requests().back().opcode, HostSubProcessChanged);
    EXPECT_EQ(host->countOf(HostSubProcessChanged), 1);
    EXPECT_EQ(host->countOf(HostPinBuffer), 0); // every sample pin has a variable
    EXPECT_NE(record->subProcess, idle);

    auto* module = static_cast<SEModule_base*>(record->instance);
    ASSERT_EQ(module->pinCount(), 14);
    for (int32_t i = 0; i < 14; ++i) {
        const PinDescription d = host->describePin(i).description;
        EXPECT_EQ(module->pin(i)->datatype, d.datatype) << i;
        if (d.variableAddress) {
            EXPECT_EQ(module->pin(i)->variable, d.variableAddress) << i;
        }
    }
}

TEST(Close, WritesOutRecordedNotesAndClosesTheSharedFile) {
    Scratch scratch;
    LinkedKaveltrum rig;
    rig.outFile(scratch.file("take.brumo"));
    ASSERT_EQ(rowState().recordFileStatus, 0);
    rig.set(1, 1.0f);
    rig.block();
    rig.midi(noteOn(60));
    rig.close();
    EXPECT_EQ(rowState().recordFileStatus, -1);
    EXPECT_EQ(readBytes(scratch.file("take.brumo")), std::vector<uint8_t>{60});
}

} // namespace
