// KAVELTRUM as a host finds it: a module file with two exports, one module, fourteen pins; and
// one note's road through it, recorded, reloaded and played.
#include "validator.h"

namespace validator {
namespace {

TEST(ValidatorModuleFile, DescribesItself) {
    Result<ModuleInfo> info = kaveltrum().properties();
    ASSERT_TRUE(info.ok()) << info.error();
    EXPECT_EQ(info->name, "KAVELTRUM");
    EXPECT_EQ(info->identifier, "KAVELTRUM");
    EXPECT_EQ(info->interfaceVersion, 2230);
    EXPECT_LT(info->about.size(), 1000u);
    EXPECT_NE(info->about.find(" GATE      -> play next recorded in row            (^2 \n"),
              std::string::npos);
}

TEST(ValidatorModuleFile, HasTheFourteenPinsInOrder) {
    RawHost raw;
    const std::vector<PinInfo>& pins = raw.driver().pins();
    ASSERT_EQ(pins.size(), static_cast<size_t>(PinCount));
    for (size_t i = 0; i < pins.size(); ++i)
        EXPECT_EQ(pins[i].name, pinNames[i]);
    EXPECT_FALSE(pins[NextNoteOff].defaultText.has_value());
    const PinAnswer outFile = raw.driver().describePin(OutFile);
    EXPECT_EQ(outFile.answer, 1);
    EXPECT_STREQ(outFile.description.extraText, "brumo");
    EXPECT_EQ(raw.driver().describePin(PinCount).answer, 0);
}

// The record's words as the module made them, for the one module and selector it has.
TEST(ValidatorModuleFile, MakesOnlyItsOneModuleWithACompleteRecord) {
    for (auto [index, selector] : {std::pair{0, 2}, {1, 1}}) {
        MakeOptions options;
        options.moduleIndex = index;
        options.selector = selector;
        EXPECT_FALSE(ModuleDriver::make(kaveltrum(), options).ok()) << index << " " << selector;
    }
    RawHost raw;
    PluginRecord* record = raw.record();
    EXPECT_EQ(record->magic, PluginMagic);
    EXPECT_EQ(record->hostHandle, reinterpret_cast<intptr_t>(&raw.driver()));
    const SubProcessRoutine idle = record->subProcess;
    raw.open();
    EXPECT_NE(record->subProcess, idle);
    auto* info = reinterpret_cast<SubProcessInfo*>(raw.dispatch(OpSubProcessInfo));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->one, 1);
    EXPECT_EQ(info->selection->routine, record->subProcess);
    EXPECT_EQ(info->zero, 0);
}

TEST(ValidatorModuleFile, RecordReloadAndReplay) {
    Scratch scratch;
    const std::string row = scratch.file("take.brumo");
    Hosted hosted;
    hosted.param(LoopIt, 0);
    hosted.param(NextNoteOff, 1);
    hosted.text(row);
    EXPECT_TRUE(exists(row)); // created empty by the load

    hosted.level(Rec, 1.0f);
    hosted.run();
    for (int note : {60, 64, 67})
        hosted.midi(packMidi(MidiNoteOn, note, 90));
    hosted.midi(packMidi(MidiNoteOff, 60, 0));
    hosted.level(Rec, 0.0f);
    hosted.reload();
    EXPECT_EQ(readBytes(row), (std::vector<uint8_t>{60, 64, 67}));

    hosted.level(Play, 1.0f);
    hosted.run();
    for (int i = 0; i < 4; ++i)
        hosted.pulse();
    std::vector<int32_t> sent;
    for (const ModuleMidi& m : hosted.sent())
        sent.push_back(m.message);
    EXPECT_EQ(sent, (std::vector<int32_t>{noteOn(60), noteOff(60), noteOn(64), noteOff(64),
                                          noteOn(67), noteOff(67)}));
}

} // namespace
} // namespace validator
