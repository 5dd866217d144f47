// The commands of kaveltrum-host and what they print and write.
#include "tool_fixture.h"

#include <cstdio>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST_F(Tool, ShowListsEveryByte) {
    const ToolRun shown = run({"show", row("r.brumo", {60, 61, 200})});
    EXPECT_EQ(shown.status, 0) << shown.err;
    const std::vector<std::string> out = lines(shown.out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_NE(out[0].find("3 notes"), std::string::npos);
    EXPECT_EQ(out[1], "     0   60  C4");
    EXPECT_EQ(out[2], "     1   61  C#4");
    EXPECT_EQ(out[3], "     2  200  not a note, plays as C5");
}

TEST_F(Tool, PlayWritesTheNotesAsAMidiFile) {
    const std::string mid = file("out.mid");
    const ToolRun played = run({"play", row("r.brumo", {64, 65, 67}), "--out", mid});
    ASSERT_EQ(played.status, 0) << played.err;
    EXPECT_NE(played.out.find("0.000 s  NOTE_ON   E4    velocity 100"), std::string::npos);

    const MidiSequence sequence = readBack(mid);
    ASSERT_EQ(sequence.messages.size(), 6u);
    const int notes[] = {64, 64, 65, 65, 67, 67};
    for (size_t i = 0; i < 6; ++i) {
        const TimedMessage& m = sequence.messages[i];
        EXPECT_EQ(m.bytes[0], i % 2 ? 0x80 : 0x90) << i;
        EXPECT_EQ(m.bytes[1], notes[i]) << i;
        // A gate every sixteenth at 120 BPM, half of it high; one block of 64 samples is the
        // resolution.
        const int gate = static_cast<int>(i) / 2;
        const double expected = gate * 0.125 + (i % 2 ? 0.0625 : 0.0);
        EXPECT_NEAR(m.seconds, expected, 64.0 / 44100.0 + 1e-3) << i;
    }
}

TEST_F(Tool, PlayOptionsReachThePins) {
    const std::string mid = file("out.mid");
    const ToolRun played = run({"play",          row("r.brumo", {40, 41, 42, 43, 44}),
                                "--gates",       "7",
                                "--from",        "1",
                                "--to",          "3",
                                "--velocity",    "0",
                                "--noteoff",     "0",
                                "--bpm",         "90",
                                "--block-size",  "32",
                                "--sample-rate", "48000",
                                "--out",         mid});
    ASSERT_EQ(played.status, 0) << played.err;
    std::vector<int> on;
    for (const TimedMessage& m : readBack(mid).messages)
        if (m.bytes[0] == 0x90) {
            on.push_back(m.bytes[1]);
            EXPECT_EQ(m.bytes[2], 0);
        }
    EXPECT_EQ(on, (std::vector<int>{40, 41, 42, 41, 42, 41, 42}));
}

TEST_F(Tool, NotesStillSoundingAreEndedAtTheEnd) {
    const std::string mid = file("out.mid");
    const ToolRun played =
        run({"play", row("r.brumo", {60, 62}), "--noteoff", "3", "--loop", "0", "--out", mid});
    ASSERT_EQ(played.status, 0) << played.err;
    EXPECT_NE(played.out.find("2 notes were still sounding at the end"), std::string::npos);
    int open = 0;
    for (const TimedMessage& m : readBack(mid).messages)
        open += m.bytes[0] == 0x90 ? 1 : -1;
    EXPECT_EQ(open, 0);
}

TEST_F(Tool, RecordAppendsTheNotesOfAMidiFile) {
    const std::string mid = midi("in.mid", {{0x90, 60, 90},
                                            {0x80, 60, 0},
                                            {0x93, 64, 80},
                                            {0x90, 67, 0},
                                            {0xB0, 7, 1},
                                            {0x9F, 72, 1}});

    const std::string rowFile = file("take.brumo");
    ToolRun recorded = run({"record", mid, rowFile});
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    EXPECT_NE(recorded.out.find("with 3 notes"), std::string::npos);
    recorded = run({"record", mid, rowFile, "--block-size", "1"});
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    EXPECT_NE(recorded.out.find("now holds 6"), std::string::npos);
    const ToolRun shown = run({"show", rowFile});
    EXPECT_EQ(lines(shown.out).size(), 7u);
    EXPECT_NE(shown.out.find("     5   72  C5"), std::string::npos);

    // Notes a few samples apart share a block: the row is the same whatever the blocks.
    std::vector<std::vector<uint8_t>> dense;
    for (uint8_t note = 20; note < 120; ++note)
        dense.push_back({0x90, note, 100});
    const std::string denseMid = midi("dense.mid", dense, 0.0001);
    ASSERT_EQ(run({"record", denseMid, rowFile, "--new"}).status, 0);
    const std::vector<uint8_t> byDefault = readBytes(rowFile);
    ASSERT_EQ(byDefault.size(), 100u);
    for (const char* blockSize : {"1", "64", "1000", "16384"}) {
        ASSERT_EQ(run({"record", denseMid, rowFile, "--new", "--block-size", blockSize}).status, 0);
        EXPECT_EQ(readBytes(rowFile), byDefault) << "blocks of " << blockSize;
    }
}

TEST_F(Tool, BadInputIsOneLineAndTouchesNoFile) {
    const std::string r = row("r.brumo", {60});
    const std::string missing = file("missing.brumo");
    const std::string newRow = file("new.brumo");
    const std::string notMidi = row("not.mid", {1, 2, 3, 4, 5, 6});
    // One note after the longest wait a file can hold: over 77 hours at 120 BPM.
    const std::string endless = file("endless.mid");
    // clang-format off
    const std::vector<uint8_t> song = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                                       'M', 'T', 'r', 'k', 0, 0, 0, 7,
                                       0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 100};
    // clang-format on
    writeBytes(endless, song);
    struct Case {
        std::vector<std::string> words;
        int status;
        const char* says;
    };
    std::vector<Case> cases = {
        {{}, 2, "no command"},
        {{"dance", r}, 2, "unknown command"},
        {{"play"}, 2, "usage: kaveltrum-host play ROW"},
        {{"play", r, "--bogus", "1"}, 2, "unknown option --bogus; 'play' takes --gates"},
        {{"play", r, "--gates"}, 2, "needs a value"},
        {{"show", missing}, 1, "missing.brumo"},
        {{"play", missing}, 1, "missing.brumo"},
        {{"play", r, "--bpm", "0"}, 1, "--bpm"},
        {{"play", r, "--bpm", "-120"}, 1, "--bpm"},
        {{"play", r, "--bpm", "fast"}, 1, "not a number"},
        {{"play", r, "--gates", "-1"}, 1, "out of range"},
        {{"play", r, "--gates", "1.5"}, 1, "not a whole number"},
        {{"play", r, "--velocity", "128"}, 1, "out of range"},
        {{"play", r, "--loop", "2"}, 1, "out of range"},
        {{"play", r, "--block-size", "0"}, 1, "out of range"},
        {{"play", r, "--sample-rate", "0"}, 1, "--sample-rate"},
        {{"play", r, "--sample-rate", "1e-40"}, 1, "out of range 1000..768000"},
        {{"play", r, "--sample-rate", "999.9"}, 1, "out of range 1000..768000"},
        {{"play", r, "--sample-rate", "768001"}, 1, "--sample-rate"},
        {{"record", notMidi, newRow, "--sample-rate", "999"}, 1, "out of range 1000..768000"},
        {{"record", notMidi, newRow, "--block-size", "16385"}, 1, "out of range 1..16384"},
        {{"play", r, "--bpm", "3.5"}, 1, "out of range 4..1000"},
        {{"play", r, "--gates", "1000001"}, 1, "out of range"},
        {{"play", r, "--gates", "700000"}, 1, "would last 24 h 18 min 20 s, over 24 hours"},
        {{"play", r, "--gates", "1000000", "--bpm", "1000", "--block-size", "1", "--sample-rate",
          "768000"},
         1,
         "would take 11520000000 blocks of 1 samples"},
        {{"record", endless, newRow}, 1, "endless.mid: lasts 77 h 40 min 20 s, over the 24 hours"},
        {{"play", r, "--out", file("no/such/folder/x.mid")}, 1, "does not exist"},
        {{"record", notMidi, newRow}, 1, "not a MIDI file"},
        {{"record", missing, newRow}, 1, "missing.brumo"},
        {{"record", notMidi, file("no/such/r.brumo")}, 1, "not a MIDI file"},
        {{"--module", notMidi, "play", r}, 1, "cannot load"},
        {{"--module", missing, "record", notMidi, newRow}, 1, "cannot load"},
    };
#if !defined(_WIN32) // Windows refuses such names itself
    // The module takes names of up to 399 bytes and would record into a shorter one.
    fs::create_directories(file(std::string(200, 'd')));
    const std::string longName = row(std::string(200, 'd') + "/" + std::string(200, 'n'), {60});
    const std::string shortSong = midi("short.mid", {{0x90, 60, 100}});
    cases.push_back({{"play", longName}, 1, "at most 399 bytes"});
    cases.push_back({{"record", shortSong, longName}, 1, "at most 399 bytes"});
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        const ToolRun failed = run(c.words);
        EXPECT_EQ(failed.status, c.status);
        ASSERT_FALSE(failed.err.empty());
        EXPECT_NE(lines(failed.err)[0].find(c.says), std::string::npos) << failed.err;
        EXPECT_FALSE(fs::exists(missing));
        EXPECT_FALSE(fs::exists(newRow));
    }
}

// The log file is shared (drive D: under wine), so the tool's tests take turns with the others
// that write it.
TEST_F(Tool, DiagnoseWritesTheModulesLog) {
#if defined(_WIN32)
    const std::string log = "D:\\DIAGNOSE.TXT";
#else
    const std::string log = "DIAGNOSE.TXT";
#endif
    std::remove(log.c_str());
    const std::string r = row("r.brumo", {60, 62});
    ASSERT_EQ(run({"play", r}).status, 0);
    EXPECT_FALSE(fs::exists(log));
    ASSERT_EQ(run({"play", r, "--diagnose"}).status, 0);
    std::ifstream in(log);
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first, "KAVELTRUM " + r);
    EXPECT_EQ(second, "KAVELTRUM itaki= 2");
    in.close();
    std::remove(log.c_str());
}

} // namespace
