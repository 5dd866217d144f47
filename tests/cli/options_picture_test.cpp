// The option forms people type, and the piano-roll picture of what was played.
#include "note_names.h"
#include "support/command_output.h"
#include "tool_fixture.h"

#include <sstream>

namespace {

using Bytes = std::vector<uint8_t>;

// A piano roll as check_svg.py reads it with a real XML parser, the one judge of the pictures.
struct Bar {
    double width;
    std::string title;
};
struct Picture {
    double width = 0.0;
    std::vector<Bar> notes;
    size_t gates = 0;     // marks, one per gate
    size_t gateBands = 0; // bands where the marks would blur
};

// The script runs natively only; the Windows tool's pictures are compared byte for byte with the
// native tool's by scripts/compare-builds.sh.
#ifdef KV_CHECK_SVG_SCRIPT
testing::AssertionResult readPicture(const std::string& svg, Picture& picture) {
    const std::string command = "/usr/bin/python3 '" KV_CHECK_SVG_SCRIPT "' '" + svg + "'";
    const CommandOutput run = commandOutput(command);
    if (run.status != 0)
        return testing::AssertionFailure() << "the XML parser refuses " << svg;
    std::istringstream lines(run.output);
    for (std::string kind; lines >> kind;) {
        if (kind == "svg") {
            std::string height;
            lines >> picture.width >> height;
        } else if (kind == "note") {
            Bar bar{};
            lines >> bar.width;
            std::getline(lines >> std::ws, bar.title);
            picture.notes.push_back(bar);
        } else if (kind == "gate") {
            ++picture.gates;
        } else if (kind == "gates") {
            ++picture.gateBands;
        }
    }
    return testing::AssertionSuccess();
}
#endif

TEST_F(Tool, OptionsTakeTheirValuesInEveryForm) {
    const std::string r = row("r.brumo", {60, 64, 67, 72});
    const std::vector<std::vector<std::string>> forms = {
        {"play", r, "--bpm", "90", "--out", file("a.mid")},
        {"play", r, "--bpm=90", "--out=" + file("b.mid")},
        {"play", r, "--bpm", "90", "-o", file("c.mid")},
        {"--bpm=90", "-o", file("d.mid"), "play", r},
    };
    for (const auto& words : forms) {
        SCOPED_TRACE(testing::PrintToString(words));
        const ToolRun played = run(words);
        EXPECT_EQ(played.status, 0) << played.err;
    }
    const Bytes first = readBytes(file("a.mid"));
    ASSERT_FALSE(first.empty());
    for (const char* name : {"b.mid", "c.mid", "d.mid"})
        EXPECT_EQ(readBytes(file(name)), first) << name;
    // --quiet leaves the summary alone
    const ToolRun quiet = run({"play", r, "--quiet"});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_FALSE(contains(quiet.out, "NOTE_ON "));
    EXPECT_TRUE(contains(quiet.out, "sent 8 messages, 4 of them NOTE_ONs")) << quiet.out;
}

TEST_F(Tool, HelpAndVersionAnswerAnywhere) {
    const std::string r = row("r.brumo", {60});
    const struct {
        std::vector<std::string> words;
        const char* begins;
    } cases[] = {
        {{"--help"}, "usage: kaveltrum-host [--module FILE] COMMAND"},
        {{"-h"}, "usage: kaveltrum-host [--module FILE] COMMAND"},
        {{"help"}, "usage: kaveltrum-host [--module FILE] COMMAND"},
        {{"help", "write"}, "usage: kaveltrum-host write ROW NOTE..."},
        {{"play", r, "--help"}, "usage: kaveltrum-host play ROW"},
        {{"play", "--gates", "3", "-h"}, "usage: kaveltrum-host play ROW"},
        {{"record", "-h", "a", "b", "c"}, "usage: kaveltrum-host record IN.mid ROW"},
        {{"list", "--help"}, "usage: kaveltrum-host list IN.mid"},
        {{"--version"}, "kaveltrum-host 1.0.0\nmodule KAVELTRUM ("},
        {{"show", r, "--version", "--module", file("none.so")}, "kaveltrum-host 1.0.0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        const ToolRun asked = run(c.words);
        EXPECT_EQ(asked.status, 0) << asked.err;
        EXPECT_EQ(asked.out.rfind(c.begins, 0), 0u) << asked.out;
    }
    EXPECT_TRUE(contains(run({"--version"}).out, "): KAVELTRUM 1.0.0, note row recorder"));
    EXPECT_EQ(run({"--version", "--module", file("none.so")}).out, "kaveltrum-host 1.0.0\n");
    // every option of a command is in its help
    EXPECT_TRUE(contains(run({"help", "play"}).out, "  --svg FILE.svg "));
}

TEST_F(Tool, WrongOptionsNameThemselvesAndWhatIsValid) {
    const std::string r = row("r.brumo", {60});
    const struct {
        std::vector<std::string> words;
        const char* says;
    } cases[] = {
        {{"play", r, "--bogus"}, "unknown option --bogus; 'play' takes --gates, --bpm,"},
        {{"play", r, "-x"}, "unknown option -x; 'play' takes"},
        {{"--bogus"},
         "unknown option --bogus (commands: write, show, play, record, live, list, check)"},
        {{"show", r, "--svg", "f.svg"},
         "'show' takes no option --svg (its options: --plain, --raw)"},
        {{"play", r, "--quiet=1"}, "--quiet takes no value"},
        {{"play", r, "--out="}, "--out needs a value"},
        {{"play", r, "-o"}, "--out needs a value"},
        {{"help", "dance"}, "unknown command 'dance'"},
        {{"write", r}, "usage: kaveltrum-host write ROW NOTE..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        const ToolRun refused = run(c.words);
        EXPECT_EQ(refused.status, 2);
        EXPECT_TRUE(contains(refused.err, c.says)) << refused.err;
        EXPECT_EQ(lines(refused.err).size(), 1u) << refused.err;
    }
    // after --, a word that looks like an option is a note
    EXPECT_TRUE(
        contains(run({"write", file("n.brumo"), "--", "--C4"}).err, "'--C4' is not a note"));
}

TEST_F(Tool, ThePictureHoldsOneBarPerNoteOnAndAMarkPerGate) {
    const struct {
        Bytes row;
        std::vector<std::string> options;
        long gates;
    } cases[] = {
        {{64, 64, 65, 67, 67, 65, 64, 62}, {"--noteoff", "2"}, 8},
        {{60, 72}, {"--gates", "7", "--noteoff", "0", "--velocity", "0"}, 7},
        {{0, 127, 200}, {"--noteoff", "3", "--loop", "0", "--gates", "5"}, 5},
        {{}, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        const std::string svg = file("a&b.svg"), mid = file("a.mid");
        std::vector<std::string> words = {"play", row("a&b.brumo", c.row), "--svg", svg, "-o", mid};
        words.insert(words.end(), c.options.begin(), c.options.end());
        const ToolRun ran = run(words);
        ASSERT_EQ(ran.status, 0) << ran.err;

        const Result<MidiSequence> played = readMidiFile(mid);
        ASSERT_TRUE(played) << played.error();
        std::vector<int> noteOns;
        for (const TimedMessage& m : played->messages)
            if ((m.bytes[0] & 0xF0) == 0x90)
                noteOns.push_back(m.bytes[1]);
        const std::string text = readText(svg);
        EXPECT_TRUE(contains(text, "a&amp;b.brumo"));
#ifdef KV_CHECK_SVG_SCRIPT
        Picture picture;
        ASSERT_TRUE(readPicture(svg, picture));
        ASSERT_EQ(picture.notes.size(), noteOns.size());
        for (size_t i = 0; i < picture.notes.size(); ++i) {
            EXPECT_GE(picture.notes[i].width, 1.5);
            // each bar is named, in the order the notes were played
            EXPECT_EQ(picture.notes[i].title.rfind(noteName(noteOns[i]) + ", ", 0), 0u)
                << picture.notes[i].title;
        }
        EXPECT_EQ(static_cast<long>(picture.gates), c.gates);
#endif
    }
}

TEST_F(Tool, APictureWidensWithThePieceUpToALimit) {
    const struct {
        size_t notes;
        const char* bpm;
        double narrowest, widest;
        size_t gateMarks; // one per gate, or a band where they would blur
    } cases[] = {
        {16, "120", 800, 1000, 16},    // a phrase fills a screen
        {200, "120", 5000, 5100, 200}, // 25 s at 200 pixels a second
        {2000, "120", 16000, 16100, 2000},
        {2000, "30", 16000, 16100, 2000}, // same width, longer notes
        {20000, "120", 16000, 16100, 1},  // gates under a pixel apart
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.notes) + " notes at " + c.bpm);
        Bytes notes;
        for (size_t i = 0; i < c.notes; ++i)
            notes.push_back(static_cast<uint8_t>(36 + i * 7 % 48));
        const std::string svg = file("long.svg");
        const ToolRun played = run({"play", row("long.brumo", notes), "--quiet", "--bpm", c.bpm,
                                    "--svg", svg, "--block-size", "1024"});
        ASSERT_EQ(played.status, 0) << played.err;
#ifdef KV_CHECK_SVG_SCRIPT
        Picture picture;
        ASSERT_TRUE(readPicture(svg, picture));
        EXPECT_GE(picture.width, c.narrowest);
        EXPECT_LE(picture.width, c.widest);
        ASSERT_EQ(picture.notes.size(), c.notes);
        for (const Bar& bar : picture.notes)
            ASSERT_GE(bar.width, 1.5);
        EXPECT_EQ(picture.gates + picture.gateBands, c.gateMarks);
#endif
    }
}

} // namespace
