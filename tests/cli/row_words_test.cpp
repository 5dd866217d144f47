// Rows as words: write makes them, show --plain prints them, list reads them out of MIDI files;
// and MIDI files kept apart from rows.
#include "tool_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST_F(Tool, NotesAreReadAndNamedInEveryForm) {
    const struct {
        const char* word;
        int byte;
        const char* shown; // how show --plain names it
    } cases[] = {
        {"C4", 60, "C4"},      {"c4", 60, "C4"},      {"c#4", 61, "C#4"},  {"Db4", 61, "C#4"},
        {"db4", 61, "C#4"},    {"Cb4", 59, "B3"},     {"B#3", 60, "C4"},   {"bb3", 58, "A#3"},
        {"Ebb4", 62, "D4"},    {"C##4", 62, "D4"},    {"C-1", 0, "C-1"},   {"B-1", 11, "B-1"},
        {"b-1", 11, "B-1"},    {"B0", 23, "B0"},      {"G9", 127, "G9"},   {"0", 0, "C-1"},
        {"127", 127, "G9"},    {"060", 60, "C4"},     {"b10", 10, "A#-1"}, {"b128", 128, "b128"},
        {"b200", 200, "b200"}, {"b255", 255, "b255"}, {"b0", 0, "C-1"},    {"b3", 3, "D#-1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        const std::string r = file("r.brumo");
        const ToolRun written = run({"write", r, c.word, "--force"});
        ASSERT_EQ(written.status, 0) << written.err;
        EXPECT_EQ(readBytes(r), Bytes{static_cast<uint8_t>(c.byte)});
        EXPECT_EQ(run({"show", r, "--plain"}).out, std::string(c.shown) + "\n");
    }
}

TEST_F(Tool, AWordThatIsNoNoteIsNamedWithItsPlaceAndNothingIsWritten) {
    const std::string r = file("r.brumo");
    const struct {
        std::vector<std::string> notes;
        const char* input; // standard input, for "-"
        const char* says;
    } cases[] = {
        {{"C4", "H4"}, "", "word 2: 'H4' is not a note"},
        {{"C4,D4,,X"}, "", "word 3: 'X' is not a note"},
        {{"G#9"}, "", "'G#9' is outside C-1..G9"},
        {{"Cb-1"}, "", "'Cb-1' is outside C-1..G9"},
        {{"128"}, "", "'128' is above 127"},
        {{"b256"}, "", "'b256' is no byte"},
        {{"C"}, "", "'C' is not a note"},
        {{"4C"}, "", "'4C' is not a note"},
        {{"C4x"}, "", "'C4x' is not a note"},
        {{"C4", "-"}, "", "must be the only NOTE"},
        {{"-"}, "C4 D4\n# a comment: X Y\nE4 Q4 # no note\n", "line 3, word 2: 'Q4'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        std::vector<std::string> words = {"write", r};
        words.insert(words.end(), c.notes.begin(), c.notes.end());
        const ToolRun failed = run(words, c.input);
        EXPECT_EQ(failed.status, 1);
        EXPECT_TRUE(contains(failed.err, c.says)) << failed.err;
        EXPECT_EQ(lines(failed.err).size(), 1u);
        EXPECT_FALSE(std::filesystem::exists(r));
    }
}

TEST_F(Tool, EveryByteRoundTripsThroughShowPlainAndWrite) {
    Bytes every;
    for (int byte = 0; byte < 256; ++byte)
        every.push_back(static_cast<uint8_t>(byte));
    for (const Bytes& bytes : {every, Bytes{}}) {
        const std::string old = row("old.brumo", bytes);
        const ToolRun shown = run({"show", old, "--plain"});
        ASSERT_EQ(shown.status, 0) << shown.err;
        EXPECT_EQ(lines(shown.out).size(), 1u);
        const std::string copy = file("copy.brumo");
        const ToolRun written = run({"write", copy, "-", "--force"}, shown.out);
        ASSERT_EQ(written.status, 0) << written.err;
        EXPECT_EQ(readBytes(copy), bytes);
    }
}

TEST_F(Tool, WriteKeepsAnExistingRowUnlessToldToAppendOrReplace) {
    const struct {
        std::vector<std::string> options;
        int status;
        Bytes after;
        const char* says;
    } cases[] = {
        {{}, 1, {1, 2}, "exists; give --append to add to it or --force to replace it"},
        {{"--append"}, 0, {1, 2, 60, 62}, "added 2 notes to"},
        {{"--force"}, 0, {60, 62}, "wrote"},
        {{"--append", "--force"}, 1, {1, 2}, "do not go together"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        const std::string r = row("r.brumo", {1, 2});
        std::vector<std::string> words = {"write", r, "C4", "D4"};
        words.insert(words.end(), c.options.begin(), c.options.end());
        const ToolRun ran = run(words);
        EXPECT_EQ(ran.status, c.status);
        EXPECT_TRUE(contains(ran.out + ran.err, c.says)) << ran.out << ran.err;
        EXPECT_EQ(readBytes(r), c.after);
        EXPECT_EQ(names(), std::vector<std::string>{"r.brumo"});
    }
}

TEST_F(Tool, MidiFilesAreNoRows) {
    const std::string smf = midi("song.mid", {{0x90, 60, 100}, {0x80, 60, 0}});
    Bytes riff = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'R', 'M', 'I', 'D'};
    const std::string rmid = row("song.rmi", riff);
    for (const std::string& song : {smf, rmid}) {
        for (const char* command : {"show", "play"}) {
            SCOPED_TRACE(song + " " + command);
            const ToolRun refused = run({command, song});
            EXPECT_EQ(refused.status, 1);
            EXPECT_TRUE(contains(refused.err, "is a MIDI file, not a row")) << refused.err;
            EXPECT_TRUE(contains(refused.err, "'record'") && contains(refused.err, "'list'"));
            const ToolRun raw =
                run({command, song, "--raw", command[0] == 's' ? "--plain" : "--quiet"});
            EXPECT_EQ(raw.status, 0) << raw.err;
        }
    }
    EXPECT_EQ(run({"show", rmid, "--raw", "--plain"}).out,
              "A#5 C#5 A#4 A#4 E-1 C-1 C-1 C-1 A#5 F5 C#5 G#4\n");
    // Notes are not appended to a MIDI file, nor written onto its end.
    const Bytes before = readBytes(smf);
    EXPECT_TRUE(contains(run({"record", rmid, smf}).err, "is a MIDI file, not a row"));
    EXPECT_EQ(run({"write", smf, "C4", "--append"}).status, 1);
    EXPECT_EQ(readBytes(smf), before);
}

TEST_F(Tool, ListShowsTheNotesRecordWouldRecord) {
    const Bytes body = {0x00, 0x90, 60,   100,  0x60, 0x93, 64,   80,   0x00, 0x90,
                        60,   0,    0x00, 0x80, 64,   0,    0x30, 0x9F, 127,  1,
                        0x00, 0xB0, 7,    90,   0x00, 0xFF, 0x2F, 0x00};
    const auto n = static_cast<uint8_t>(body.size());
    Bytes smf = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, n};
    smf.insert(smf.end(), body.begin(), body.end());
    Bytes riff = {'R',
                  'I',
                  'F',
                  'F',
                  0,
                  0,
                  0,
                  0,
                  'R',
                  'M',
                  'I',
                  'D',
                  'd',
                  'a',
                  't',
                  'a',
                  static_cast<uint8_t>(smf.size()),
                  0,
                  0,
                  0};
    riff.insert(riff.end(), smf.begin(), smf.end());
    riff[4] = static_cast<uint8_t>(riff.size() - 8);
    const std::string smfPath = row("song.mid", smf), riffPath = row("song.rmi", riff);
    const std::string listed = "     0.000 s  channel  1  C4    velocity 100\n"
                               "     0.500 s  channel  4  E4    velocity 80\n"
                               "     0.750 s  channel 16  G9    velocity 1\n"
                               "3 NOTE_ONs\n";
    const std::string input(smf.begin(), smf.end());
    const struct {
        std::vector<std::string> words;
        std::string expected;
    } cases[] = {
        {{"list", smfPath}, listed},
        {{"list", riffPath}, listed},
        {{"list", "-"}, listed},
        {{"list", smfPath, "--plain"}, "C4 E4 G9\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        const ToolRun listedRun = run(c.words, input);
        EXPECT_EQ(listedRun.status, 0) << listedRun.err;
        EXPECT_EQ(listedRun.out, c.expected);
    }
    // What list names is what record records.
    const std::string r = file("take.brumo");
    ASSERT_EQ(run({"record", riffPath, r}).status, 0);
    EXPECT_EQ(run({"show", r, "--plain"}).out, "C4 E4 G9\n");
}

TEST_F(Tool, RecordSaysWhatItDidAndNewReplaces) {
    const std::string song = midi("in.mid", {{0x90, 60, 90}, {0x91, 62, 90}});
    const std::string input = [&] {
        const Bytes bytes = readBytes(song);
        return std::string(bytes.begin(), bytes.end());
    }();
    const std::string r = file("take.brumo");
    const struct {
        std::vector<std::string> words;
        std::string says;
        Bytes row;
    } steps[] = {
        {{"record", song, r}, "made " + r + " with 2 notes", {60, 62}},
        {{"record", "-", r}, "appended 2 notes to " + r + ", which now holds 4", {60, 62, 60, 62}},
        {{"record", song, r, "--new"}, "made " + r + " with 2 notes", {60, 62}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::PrintToString(step.words));
        const ToolRun recorded = run(step.words, input);
        ASSERT_EQ(recorded.status, 0) << recorded.err;
        EXPECT_EQ(recorded.out, step.says + "\n");
        EXPECT_EQ(readBytes(r), step.row);
        EXPECT_EQ(names(), (std::vector<std::string>{"in.mid", "take.brumo"}));
    }
#if !defined(_WIN32)
    // a row reached through a link is replaced in its place, and the link stays
    std::filesystem::create_symlink(r, file("link.brumo"));
    ASSERT_EQ(run({"record", song, file("link.brumo"), "--new"}).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(file("link.brumo")));
    EXPECT_EQ(readBytes(r), (Bytes{60, 62}));
#endif
}

TEST_F(Tool, RecordRefusesToRecordAFileIntoItself) {
    const std::string song = midi("in.mid", {{0x90, 60, 90}});
    const Bytes before = readBytes(song);
    std::vector<std::string> sameFile = {song, (folder / "." / "in.mid").string(),
                                         (folder / "sub" / ".." / "in.mid").string()};
    std::filesystem::create_directory(folder / "sub");
#if !defined(_WIN32)
    std::filesystem::create_symlink(song, file("link.mid"));
    sameFile.push_back(file("link.mid"));
#endif
    for (const std::string& target : sameFile)
        for (const char* option : {"--block-size", "--new"}) {
            SCOPED_TRACE(target + " " + option);
            std::vector<std::string> words = {"record", song, target, option};
            if (std::string(option) == "--block-size")
                words.emplace_back("64");
            const ToolRun refused = run(words);
            EXPECT_EQ(refused.status, 1);
            EXPECT_TRUE(contains(refused.err, "are the same file")) << refused.err;
            EXPECT_EQ(readBytes(song), before);
        }
}

} // namespace
