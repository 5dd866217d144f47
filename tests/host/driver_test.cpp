// The driver against the test module, which reports what it sees as MIDI (see test_module.cpp):
// several instances at once, the answers and mistakes a test can ask for, and what it refuses.
#include "driver.h"
#include "support/table_module.h"
#include "test_files.h"

#include <algorithm>

namespace {

constexpr int32_t NamePin = 4, MidiOutPin = 5;

std::unique_ptr<ModuleDriver> wiredDriver() {
    Result<ModuleFile> file = ModuleFile::load(testFile(KV_TEST_MODULE));
    EXPECT_TRUE(file.ok()) << file.error();
    Result<std::unique_ptr<ModuleDriver>> made = ModuleDriver::make(*file);
    EXPECT_TRUE(made.ok()) << made.error();
    std::unique_ptr<ModuleDriver> driver = std::move(*made);
    EXPECT_TRUE(driver->learnPins().ok());
    EXPECT_TRUE(driver->wirePins().ok());
    return driver;
}

std::vector<int32_t> faults(const ModuleDriver& driver) {
    std::vector<int32_t> found;
    for (const ModuleMidi& m : driver.sent())
        if (midiStatus(m.message) == 0xF0)
            found.push_back(midiData1(m.message));
    return found;
}

TEST(ModuleDriver, SeveralInstancesEachGetTheirOwnAnswers) {
    auto first = wiredDriver();
    auto second = wiredDriver();
    first->setText(NamePin, "one");
    second->setText(NamePin, "two");
    ASSERT_TRUE(first->open().ok());
    ASSERT_TRUE(second->open().ok());
    EXPECT_EQ(reportedText(first->sent()), "one");
    EXPECT_EQ(reportedText(second->sent()), "two");
    EXPECT_EQ(faults(*first), std::vector<int32_t>());
    ASSERT_TRUE(first->midi(packMidi(MidiNoteOn, 60, 1), 3).ok());
    EXPECT_EQ(first->sent().back().message, packMidi(MidiNoteOn, 60, 1));
    EXPECT_EQ(first->sent().back().pin, MidiOutPin);
    EXPECT_EQ(first->sent().back().timeStamp, 3);
    EXPECT_NE(second->sent().back().message, packMidi(MidiNoteOn, 60, 1));
}

TEST(ModuleDriver, LogsRequestsAndNotesTheModulesMistakes) {
    auto driver = wiredDriver();
    ASSERT_TRUE(driver->open().ok());
    EXPECT_EQ(driver->countOf(HostPinCount), 2); // the pin walk, then the module's check
    EXPECT_EQ(static_cast<size_t>(driver->countOf(HostSendMidi)), driver->sent().size());
    // The test module asks once for an opcode no host knows and twice for a text with no room.
    const std::vector<std::string>& mistakes = driver->moduleMistakes();
    EXPECT_EQ(std::count(mistakes.begin(), mistakes.end(), "unknown request 99"), 1);
    EXPECT_EQ(mistakes.size(), 3u);

    driver->logRequests = false;
    driver->clearRequests();
    ASSERT_TRUE(driver->midi(packMidi(MidiNoteOn, 60, 1)).ok());
    EXPECT_TRUE(driver->requests().empty());
}

TEST(ModuleDriver, MakesTheMistakesItIsAskedFor) {
    auto careless = wiredDriver();
    careless->textStyle = TextStyle::Repeated;
    careless->setText(NamePin, "abc");
    ASSERT_TRUE(careless->open().ok());
    EXPECT_EQ(reportedText(careless->sent()), "abcabcabcabcabca")
        << "the whole buffer, unterminated";

    auto fewer = wiredDriver();
    fewer->answerPinCount(7);
    ASSERT_TRUE(fewer->open().ok());
    EXPECT_EQ(faults(*fewer), std::vector<int32_t>({0})) << "the module's check of the count";

    auto early = wiredDriver(); // events and blocks before open reach the module as they are
    EXPECT_TRUE(early->pinStatus(99, 1).ok());
    EXPECT_TRUE(early->dispatch(77, -1, 5, nullptr, -1.0f).ok());
}

TEST(ModuleDriver, RefusesWhatWouldBreakTheHost) {
    auto driver = wiredDriver();
    ASSERT_TRUE(driver->open().ok());
    EXPECT_TRUE(driver->runBlock(5).ok());
    EXPECT_EQ(faults(*driver), std::vector<int32_t>({20})) << "a block from sample 5";
    ASSERT_TRUE(driver->setBlockSize(BlockCapacity + 1).ok());
    EXPECT_FALSE(driver->runBlock().ok());

    ASSERT_TRUE(driver->close().ok());
    EXPECT_EQ(driver->record(), nullptr);
    EXPECT_FALSE(driver->runBlock().ok());
    EXPECT_FALSE(driver->midi(packMidi(MidiNoteOn, 60, 1)).ok());
    EXPECT_FALSE(driver->dispatch(OpOpen).ok());
}

TEST(ModuleDriver, DescribesOnePinRaw) {
    auto driver = wiredDriver();
    const PinAnswer in = driver->describePin(1);
    EXPECT_NE(in.answer, 0);
    EXPECT_STREQ(in.description.pinName, "IN");
    const PinAnswer none = driver->describePin(99);
    EXPECT_EQ(none.answer, 0);
    EXPECT_EQ(none.description.pinName, nullptr);
    EXPECT_EQ(driver->pins().size(), 8u);
    EXPECT_EQ(driver->record()->magic, PluginMagic);
    EXPECT_EQ(driver->record()->hostHandle, reinterpret_cast<intptr_t>(driver.get()));
}

// Descriptions are asked for until one is refused; one that never comes is reported.
TEST(ModuleDriver, LearnsPinsUpToItsLimit) {
    TableRig most(std::vector<PinDescription>(MaxPins, pinOf(DtInt16)));
    ASSERT_TRUE(most.host.learnPins().ok());
    EXPECT_EQ(most.host.pins().size(), static_cast<size_t>(MaxPins));
    TableRig endless(std::vector<PinDescription>(MaxPins + 1, pinOf(DtInt16)));
    const Status learned = endless.host.learnPins();
    EXPECT_FALSE(learned.ok());
    EXPECT_NE(learned.error().find("more than 4096 pins"), std::string::npos) << learned.error();
}

} // namespace
