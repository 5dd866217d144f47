// play learns its parameters' defaults and ranges from the pins the module describes: a module
// with pins of its own gets its own defaults and has its own ranges enforced.
#include "module_file.h"
#include "tool_fixture.h"

namespace {

#if defined(_WIN32)
const char* const OtherPins = "other_pins.sem";
#else
const char* const OtherPins = "other_pins.so";
#endif

// The module tells its parameters as three NOTE_ONs at each gate: (from.., velocity),
// (..to, 1 + next noteoff), (loopit, 1 + the log switch).
struct Told {
    std::vector<std::string> options;
    std::vector<int> firstGate; // note and velocity of each of the three
    const char* refused;        // the error, when the options are refused
};

TEST_F(Tool, PlayTakesDefaultsAndRangesFromThePins) {
    const Result<std::string> module = besideExecutable(OtherPins);
    ASSERT_TRUE(module) << module.error();
    const Told cases[] = {
        // the pins' own defaults; --noteoff's is the tool's, and the log is off
        {{}, {5, 90, 7, 2, 0, 1}, nullptr},
        {{"--from", "9", "--to", "0", "--velocity", "10", "--noteoff", "3", "--loop", "1",
          "--diagnose"},
         {9, 10, 0, 4, 1, 2},
         nullptr},
        {{"--velocity", "101"}, {}, "--velocity: 101 is out of range 10..100"},
        {{"--velocity", "9"}, {}, "--velocity: 9 is out of range 10..100"},
        {{"--from", "10"}, {}, "--from: 10 is out of range 0..9"},
        {{"--noteoff", "4"}, {}, "--noteoff: 4 is out of range 0..3"},
        {{"--loop", "2"}, {}, "--loop: 2 is out of range 0..1"},
    };
    for (const Told& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        const std::string mid = file("told.mid");
        std::vector<std::string> words = {
            "play", row("r.brumo", {60}), "--module", *module, "--quiet", "-o", mid};
        words.insert(words.end(), c.options.begin(), c.options.end());
        const ToolRun played = run(words);
        if (c.refused) {
            EXPECT_EQ(played.status, 1);
            EXPECT_EQ(played.err, std::string("kaveltrum-host: ") + c.refused + "\n");
            continue;
        }
        ASSERT_EQ(played.status, 0) << played.err;
        const MidiSequence sent = readBack(mid);
        ASSERT_GE(sent.messages.size(), 3u);
        std::vector<int> told;
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(sent.messages[i].bytes[0], 0x90);
            told.push_back(sent.messages[i].bytes[1]);
            told.push_back(sent.messages[i].bytes[2]);
        }
        EXPECT_EQ(told, c.firstGate);
    }
}

} // namespace
