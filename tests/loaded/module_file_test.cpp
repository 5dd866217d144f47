// KAVELTRUM as a host finds it: a module file with two exports, one module, fourteen pins.
#include "loaded_module.h"

#include <cstring>

namespace {

TEST(LoadedModule, DescribesItself) {
    const ModuleFile file = loadKaveltrum();
    Result<ModuleInfo> info = file.properties();
    ASSERT_TRUE(info.ok()) << info.error();
    EXPECT_EQ(info->name, "KAVELTRUM");
    EXPECT_EQ(info->identifier, "KAVELTRUM");
    EXPECT_EQ(info->interfaceVersion, 2230);
    EXPECT_LT(info->about.size(), 1000u);
    EXPECT_NE(info->about.find(" GATE      -> play next recorded in row            (^2 \n"),
              std::string::npos);
}

TEST(LoadedModule, HasTheFourteenPinsInOrder) {
    const ModuleFile file = loadKaveltrum();
    auto instance = openKaveltrum(file);
    const char* const names[] = {"MIDI In",  "REC",     "PLAY",    "RETURN",
                                 "GATE",     "RELOAD",  "OUTFILE", "on D: DIAGNOSE.TXT",
                                 "loopit",   "from..",  "..to",    "next noteoff",
                                 "velocity", "MIDI Out"};
    ASSERT_EQ(instance->pins().size(), 14u);
    for (size_t i = 0; i < 14; ++i)
        EXPECT_EQ(instance->pins()[i].name, names[i]);
    EXPECT_FALSE(instance->pins()[11].defaultText.has_value());
}

intptr_t SE_ABI silentHost(PluginRecord*, int32_t opcode, int32_t, int32_t, void*, float) {
    return opcode == HostPinCount ? 14 : 0;
}

// The raw words, without our host library in between.
TEST(LoadedModule, AnswersThroughItsRecordAlone) {
    const ModuleFile file = loadKaveltrum();
    EXPECT_EQ(file.makeModule()(0, 2, silentHost, 0), nullptr);
    EXPECT_EQ(file.makeModule()(1, 1, silentHost, 0), nullptr);
    PluginRecord* record = file.makeModule()(0, 1, silentHost, 77);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->magic, 0x5345504C);
    EXPECT_EQ(record->hostHandle, 77);

    PinDescription description;
    std::memset(&description, 0, sizeof description);
    EXPECT_EQ(record->dispatcher(record, OpGetPinDescription, 6, 0, &description, 0.0f), 1);
    EXPECT_STREQ(description.pinName, "OUTFILE");
    EXPECT_STREQ(description.extraText, "brumo");
    EXPECT_EQ(record->dispatcher(record, OpGetPinDescription, 14, 0, &description, 0.0f), 0);

    const SubProcessRoutine idle = record->subProcess;
    EXPECT_EQ(record->dispatcher(record, OpOpen, 0, 0, nullptr, 0.0f), 0);
    EXPECT_NE(record->subProcess, idle);
    auto* info = reinterpret_cast<SubProcessInfo*>(
        record->dispatcher(record, OpSubProcessInfo, 0, 0, nullptr, 0.0f));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->one, 1);
    EXPECT_EQ(info->selection->routine, record->subProcess);
    EXPECT_EQ(info->zero, 0);
    EXPECT_EQ(record->dispatcher(record, OpClose, 0, 0, nullptr, 0.0f), 1);
}

} // namespace
