// Driving an instance of the test module. The module reports what it sees as MIDI through its
// output pin (see test_module.cpp), so each test reads the host's record of sent MIDI.
#include "test_files.h"

#include <functional>
#include <iterator>
#include <limits>

namespace {

constexpr int32_t Block = 64; // the default block size

std::vector<ModuleMidi> withStatus(const HostInstance& host, int32_t status) {
    std::vector<ModuleMidi> found;
    for (const ModuleMidi& m : host.sentMidi())
        if (midiStatus(m.message) == status)
            found.push_back(m);
    return found;
}

void expectNoFaults(const HostInstance& host) {
    for (const ModuleMidi& fault : withStatus(host, 0xF0))
        ADD_FAILURE() << "the module found a wrong answer, check " << midiData1(fault.message);
}

TEST(HostInstance, LearnsEveryPin) {
    struct Expected {
        const char* name;
        int32_t direction, datatype;
        bool variable;
        const char* defaultText;
        const char* extraText;
        int32_t flags;
    };
    const Expected expected[] = {
        {"MIDI In", DirIn, DtMidi, false, nullptr, nullptr, 0},
        {"IN", DirIn, DtSamples, true, "0", nullptr, 0},
        {"level", DirIn, DtInt16, true, "100", "range 0,127", 0},
        {"switch", DirSetting, DtBool, true, "true", nullptr, 0},
        {"NAME", DirIn, DtText, true, "start.txt", "txt", PinFlagFileName},
        {"MIDI Out", DirOut, DtMidi, false, nullptr, nullptr, 0},
        {"AUX", DirIn, DtSamples, false, nullptr, nullptr, 0},
        {"spare", DirIn, DtInt16, true, nullptr, "range 0,20", 0},
    };
    auto host = testInstance();
    ASSERT_TRUE(host);
    ASSERT_EQ(host->pins().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Expected& e = expected[i];
        const PinInfo& pin = host->pins()[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(pin.name, e.name);
        EXPECT_EQ(pin.direction, e.direction);
        EXPECT_EQ(pin.datatype, e.datatype);
        EXPECT_EQ(pin.variable != nullptr, e.variable);
        EXPECT_EQ(pin.defaultText.value_or("(none)"), e.defaultText ? e.defaultText : "(none)");
        EXPECT_EQ(pin.extraText.value_or("(none)"), e.extraText ? e.extraText : "(none)");
        EXPECT_EQ(pin.flags, e.flags);
        EXPECT_EQ(*host->findPin(e.name), static_cast<int32_t>(i));
    }
    expectNoFaults(*host); // the module's checks of pin count, pin blocks and pin texts
}

TEST(HostInstance, TellsRateAndBlockSizeBeforeOpening) {
    auto host = testInstance({48000.0f, 300});
    ASSERT_TRUE(host);
    const std::vector<ModuleMidi> opened = withStatus(*host, 0xF3);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].message, packMidi(0xF3, 300 & 0x7F, 300 >> 7));
    EXPECT_EQ(opened[0].timeStamp, 48000);
}

TEST(HostInstance, WritesDefaultsThenTheCallersValues) {
    struct Case {
        const char* name;
        std::function<Status(HostInstance&)> set;
        int32_t note, velocity, spare; // as the next block with IN high reports them
    };
    const Case cases[] = {
        {"defaults", [](HostInstance&) { return Status(); }, 100, 1, 0},
        {"level by index", [](HostInstance& h) { return h.setParameter(2, 7); }, 7, 1, 0},
        {"level by name", [](HostInstance& h) { return h.setParameter("level", 127); }, 127, 1, 0},
        {"switch off", [](HostInstance& h) { return h.setParameter("switch", 0); }, 100, 0, 0},
        {"spare", [](HostInstance& h) { return h.setParameter("spare", 20); }, 100, 1, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto host = testInstance();
        ASSERT_TRUE(host);
        Status set = c.set(*host);
        ASSERT_TRUE(set.ok()) << set.error();
        host->clearSentMidi();
        ASSERT_TRUE(host->setLevel("IN", 1.0f).ok());
        ASSERT_TRUE(host->runBlocks(1).ok());
        ASSERT_EQ(host->sentMidi().size(), 2u);
        EXPECT_EQ(host->sentMidi()[0].message, packMidi(MidiNoteOn, c.note, c.velocity));
        EXPECT_EQ(host->sentMidi()[1].message, packMidi(0xA0, c.spare, 0));
    }
}

TEST(HostInstance, RefusesMistakesWithAReason) {
    using Action = std::function<Status(HostInstance&)>;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::pair<Action, const char*> cases[] = {
        {[](HostInstance& h) { return h.setParameter(8, 1); }, "pin 8 does not exist"},
        {[](HostInstance& h) { return h.setParameter(-1, 1); }, "pin -1 does not exist"},
        {[](HostInstance& h) { return h.setParameter("volume", 1); }, "no pin named 'volume'"},
        {[](HostInstance& h) { return h.setParameter("level", 40000); }, "does not fit"},
        {[](HostInstance& h) { return h.setParameter("switch", 2); }, "give 0 or 1"},
        {[](HostInstance& h) { return h.setParameter("NAME", 1); }, "not an int16 or bool"},
        {[](HostInstance& h) { return h.setParameter("MIDI Out", 1); }, "not an int16 or bool"},
        {[](HostInstance& h) { return h.setText("level", "x"); }, "not a text input"},
        {[](HostInstance& h) { return h.setText("NAME", std::string("a\0b", 3)); }, "zero byte"},
        {[](HostInstance& h) { return h.setLevel("level", 1.0f); }, "not a sample input"},
        {[nan](HostInstance& h) { return h.setLevel("IN", nan); }, "finite"},
        {[](HostInstance& h) { return h.sendMidi(0x3C); }, "not a packed MIDI message"},
        {[](HostInstance& h) { return h.sendMidi(0x1643C90); }, "not a packed MIDI message"},
        {[](HostInstance& h) { return h.sendMidi(packMidi(MidiNoteOn, 0x80, 1)); }, "not a packed"},
        {[](HostInstance& h) { return h.runBlocks(-1); }, "negative number of blocks"},
        {[](HostInstance& h) { return h.setBlockSize(0); }, "block size"},
        {[](HostInstance& h) { return h.setBlockSize(MaxBlockSize + 1); }, "block size"},
        {[nan](HostInstance& h) { return h.setSampleRate(nan); }, "sample rate"},
        {[](HostInstance& h) { return h.setSampleRate(0.0f); }, "sample rate"},
    };
    auto host = testInstance();
    ASSERT_TRUE(host);
    host->clearSentMidi();
    for (const auto& [action, reason] : cases) {
        SCOPED_TRACE(reason);
        Status status = action(*host);
        ASSERT_FALSE(status.ok());
        EXPECT_NE(status.error().find(reason), std::string::npos) << status.error();
    }
    EXPECT_TRUE(host->sentMidi().empty()) << "a refused request reached the module";
    EXPECT_EQ(host->clock(), 0);
    EXPECT_EQ(host->blockSize(), Block);
}

TEST(HostInstance, GivesTheTextWithAStatusEvent) {
    struct Case {
        std::string text, seen; // the module reads with room for 15 characters
    };
    const Case cases[] = {
        {"song.brumo", "song.brumo"},
        {"", ""},
        {"fifteen-chars.x", "fifteen-chars.x"},
        {"a name longer than the room", "a name longer t"},
    };
    auto host = testInstance();
    ASSERT_TRUE(host);
    EXPECT_EQ(reportedText(host->sentMidi()), "start.txt"); // the default, read while opening
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        host->clearSentMidi();
        ASSERT_TRUE(host->setText("NAME", c.text).ok());
        EXPECT_EQ(withStatus(*host, 0xBF).size(), 1u) << "one status event per text";
        EXPECT_EQ(reportedText(host->sentMidi()), c.seen);
    }
}

TEST(HostInstance, SendsMidiEventsAtTheirTime) {
    struct Case {
        int32_t blocksBefore, timeDelta, message;
    };
    const Case cases[] = {{0, 0, 0x643C90}, {3, 5, 0x643C80}, {1, 0, packMidi(0xB0, 7, 127)}};
    auto host = testInstance();
    ASSERT_TRUE(host);
    for (const Case& c : cases) {
        host->clearSentMidi();
        ASSERT_TRUE(host->runBlocks(c.blocksBefore).ok());
        const int64_t clock = host->clock();
        ASSERT_TRUE(host->sendMidi(c.message, c.timeDelta).ok());
        ASSERT_EQ(host->sentMidi().size(), 1u);
        const ModuleMidi& echo = host->sentMidi()[0];
        EXPECT_EQ(echo.pin, 5);
        EXPECT_EQ(echo.message, c.message);
        EXPECT_EQ(echo.timeStamp, clock + c.timeDelta);
    }
}

// Every sample of the block holds the level, at lengths around the fill's steps of eight.
TEST(HostInstance, ALevelFillsTheWholeBlock) {
    auto host = testInstance();
    ASSERT_TRUE(host);
    const int32_t in = *host->findPin("IN");
    float level = 0.0f;
    for (const int32_t length : {1, 7, 8, 9, 64, 1000, 4101}) {
        ASSERT_TRUE(host->setBlockSize(length).ok());
        level += 0.25f;
        ASSERT_TRUE(host->setLevel(in, level).ok());
        const float* samples = host->moduleDriver().block(in);
        for (int32_t i = 0; i < length; ++i)
            ASSERT_EQ(samples[i], level) << "sample " << i << " of " << length;
    }
}

TEST(HostInstance, RunsBlocksOnTheClock) {
    auto host = testInstance();
    ASSERT_TRUE(host);
    host->clearSentMidi();
    ASSERT_TRUE(host->runBlocks(2).ok());
    EXPECT_TRUE(host->sentMidi().empty()) << "inputs start low";
    ASSERT_TRUE(host->setLevel("IN", 2.5f).ok());
    ASSERT_TRUE(host->runBlocks(1).ok());
    ASSERT_TRUE(host->setLevel("IN", 0.0f).ok());
    ASSERT_TRUE(host->setLevel("AUX", 1.0f).ok()); // a block the module asked the host for
    ASSERT_TRUE(host->runBlocks(1).ok());
    ASSERT_TRUE(host->setBlockSize(1000).ok());
    ASSERT_TRUE(host->setLevel("IN", 1.0f).ok());
    ASSERT_TRUE(host->runBlocks(2).ok());

    const std::vector<ModuleMidi> notes = withStatus(*host, MidiNoteOn);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].timeStamp, 2 * Block);
    EXPECT_EQ(notes[1].timeStamp, 4 * Block);
    EXPECT_EQ(notes[2].timeStamp, 4 * Block + 1000);
    const std::vector<ModuleMidi> offs = withStatus(*host, MidiNoteOff);
    ASSERT_EQ(offs.size(), 3u);
    EXPECT_EQ(offs[0].timeStamp, 3 * Block);
    EXPECT_EQ(host->clock(), 4 * Block + 2000);
    expectNoFaults(*host); // every block came with the block size the module was told
}

TEST(HostInstance, ClosesExactlyOnce) {
    auto host = testInstance();
    ASSERT_TRUE(host);
    host->clearSentMidi();
    ASSERT_TRUE(host->close().ok());
    EXPECT_FALSE(host->isOpen());
    ASSERT_EQ(host->sentMidi().size(), 1u);
    EXPECT_EQ(host->sentMidi()[0].message, packMidi(0xFC, 0, 0));

    const std::function<Status(HostInstance&)> afterClose[] = {
        [](HostInstance& h) { return h.runBlocks(1); },
        [](HostInstance& h) { return h.setParameter("level", 1); },
        [](HostInstance& h) { return h.setText("NAME", "x"); },
        [](HostInstance& h) { return h.setLevel("IN", 1.0f); },
        [](HostInstance& h) { return h.sendMidi(0x643C90); },
        [](HostInstance& h) { return h.setBlockSize(32); },
        [](HostInstance& h) { return h.setSampleRate(96000.0f); },
    };
    for (const auto& action : afterClose) {
        Status status = action(*host);
        EXPECT_FALSE(status.ok());
        EXPECT_NE(status.error().find("closed"), std::string::npos) << status.error();
    }
    EXPECT_EQ(host->close().error(), "the instance is already closed");
    EXPECT_EQ(host->sentMidi().size(), 1u) << "the module was reached after closing";
}

} // namespace
