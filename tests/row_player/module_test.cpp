// The module as a host meets it: its properties, its pins, making, opening and closing.
#include "module.h"
#include "support/module_rig.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct PinRow {
    int32_t index;
    const char* name;
    int32_t direction;
    int32_t datatype;
    bool hasVariable;
    const char* defaultText;
    const char* extraText;
    int32_t flags;
};

const PinRow pinRows[] = {
    {0, "MIDI In", DirIn, DtMidi, false, nullptr, nullptr, 0},
    {1, "REC", DirIn, DtSamples, true, "0", nullptr, 0},
    {2, "PLAY", DirIn, DtSamples, true, "0", nullptr, 0},
    {3, "RETURN", DirIn, DtSamples, true, "0", nullptr, 0},
    {4, "GATE", DirIn, DtSamples, true, "0", nullptr, 0},
    {5, "RELOAD", DirIn, DtSamples, true, "0", nullptr, 0},
    {6, "OUTFILE", DirIn, DtText, true, nullptr, "brumo", 16},
    {7, "on D: DIAGNOSE.TXT", DirSetting, DtBool, true, "true", nullptr, 0},
    {8, "loopit", DirIn, DtInt16, true, "1", "range 0,1", 0},
    {9, "from..", DirIn, DtInt16, true, "0", "range 0,2000", 0},
    {10, "..to", DirIn, DtInt16, true, "0", "range 0,2000", 0},
    {11, "next noteoff", DirIn, DtInt16, true, nullptr, "range 0,20", 0},
    {12, "velocity", DirIn, DtInt16, true, "100", "range 0,127", 0},
    {13, "MIDI Out", DirOut, DtMidi, false, nullptr, nullptr, 0},
};

void expectText(const char* actual, const char* expected) {
    if (!expected)
        EXPECT_EQ(actual, nullptr);
    else
        EXPECT_STREQ(actual, expected);
}

TEST(PinTable, DescribesFourteenPins) {
    std::unique_ptr<ModuleDriver> host = kaveltrumDriver(14, false);
    PluginRecord* record = host->record();
    const char* instance = static_cast<const char*>(record->instance);
    std::vector<void*> variables;
    for (const PinRow& row : pinRows) {
        SCOPED_TRACE(row.name);
        const PinAnswer asked = host->describePin(row.index);
        const PinDescription& d = asked.description;
        EXPECT_EQ(asked.answer, 1);
        expectText(d.pinName, row.name);
        EXPECT_EQ(d.direction, row.direction);
        EXPECT_EQ(d.datatype, row.datatype);
        expectText(d.defaultText, row.defaultText);
        expectText(d.extraText, row.extraText);
        EXPECT_EQ(d.pinFlags, row.flags);
        EXPECT_EQ(d.reserved, 0);
        EXPECT_EQ(d.variableAddress != nullptr, row.hasVariable);
        if (d.variableAddress) {
            // Each variable lies inside the instance, and no two pins share one.
            const char* variable = static_cast<const char*>(d.variableAddress);
            EXPECT_GT(variable, instance);
            EXPECT_LT(variable, instance + sizeof(Module));
            for (void* other : variables)
                EXPECT_NE(other, d.variableAddress);
            variables.push_back(d.variableAddress);
        }
    }
}

TEST(PinTable, OtherIndicesAreRefusedAndLeaveTheDescriptionAlone) {
    std::unique_ptr<ModuleDriver> host = kaveltrumDriver(14, false);
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

const char* const helpText = " Inputs:  Input keep activity with over 2 Volts = >2 \n"
                             "              Input that want only short triggers   = ^2 \n"
                             " MIDI IN -> gets its NOTE_ON recorded to OUTFILE \n"
                             " REC        -> recording                            (>2) \n"
                             " PLAY      -> play recorded MIDI IN from row       (>2) \n"
                             " RETURN  -> play again from first note           (^2) \n"
                             " GATE      -> play next recorded in row            (^2 \n"
                             " RELOAD   -> takes the record from OUTFILE to row (^2) \n"
                             " OUTFILE -> Name the FILE for the record \n"
                             " loopit   -> play again and again \n"
                             " from.. -> select first note in row \n"
                             " ..to   -> select  last note in row ( 0 = to last) \n"
                             " next noteoff -> note length legato triggered by gate \n"
                             "-> 0 = without NOTE_OFF  1 = imidiatly \n"
                             "-> 2 = with next 3 = overnext ... \n"
                             " velocity -> play note with that volume level \n"
                             "Outputs: \n"
                             "plays the notes of row -> MIDI OUT \n";

TEST(Properties, NameAndAboutText) {
    ModuleProperties props{};
    props.word3 = 33;
    props.word4 = 44;
    ASSERT_EQ(getModuleProperties(0, &props), 1);
    EXPECT_EQ(props.interfaceVersion, 2230);
    EXPECT_STREQ(props.name, "KAVELTRUM");
    EXPECT_EQ(props.identifier, props.name);
    EXPECT_EQ(props.word3, 33);
    EXPECT_EQ(props.word4, 44);

    const std::string about = props.about;
    EXPECT_LT(about.size(), 1000u);
    EXPECT_EQ(about.find("KAVELTRUM 1.0.0"), 0u);
    EXPECT_NE(about.find("the KAVELTRUM developers\n"), std::string::npos);
    // The name line and the blank lines come right before the help, which ends the text.
    const std::string tail = std::string("KAVELTRUM \n\n\n \n") + helpText;
    ASSERT_GE(about.size(), tail.size());
    EXPECT_EQ(about.substr(about.size() - tail.size()), tail);

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
        props.interfaceVersion = before.interfaceVersion;
        EXPECT_EQ(std::memcmp(&props, &before, sizeof props), 0);
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
    std::unique_ptr<ModuleDriver> host = kaveltrumDriver();
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
    ModuleRig rig;
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
