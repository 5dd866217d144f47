// The option forms people type, and the piano-roll picture of what was played.
#include "note_names.h"
#include "tool_fixture.h"

#include <cstdio>
#include <map>

namespace {

using Bytes = std::vector<uint8_t>;

// Just enough of XML to hold the tool to it: tags nest and close in order, attribute values are
// quoted, text has no '<' and no '&' outside an entity. Returns every element's attributes (with
// its text under "#text"), or an empty list and a failed expectation.
using Element = std::map<std::string, std::string>;

std::vector<Element> parseXml(const std::string& xml) {
    std::vector<Element> elements;
    std::vector<std::pair<std::string, size_t>> open; // name, index in `elements`
    size_t at = xml.compare(0, 5, "<?xml") == 0 ? xml.find("?>") + 2 : 0;
    while (at < xml.size()) {
        const size_t tag = xml.find('<', at);
        const std::string text = xml.substr(at, tag - at);
        for (size_t amp = text.find('&'); amp != std::string::npos; amp = text.find('&', amp + 1))
            EXPECT_NE(text.find(';', amp), std::string::npos) << "bare & in " << text;
        if (!open.empty())
            elements[open.back().second]["#text"] += text;
        if (tag == std::string::npos)
            break;
        const size_t end = xml.find('>', tag);
        if (end == std::string::npos) {
            ADD_FAILURE() << "tag not closed at " << tag;
            return {};
        }
        std::string inside = xml.substr(tag + 1, end - tag - 1);
        at = end + 1;
        if (inside[0] == '/') {
            if (open.empty() || open.back().first != inside.substr(1)) {
                ADD_FAILURE() << "</" << inside << "> closes nothing open";
                return {};
            }
            open.pop_back();
            continue;
        }
        const bool empty = inside.back() == '/';
        if (empty)
            inside.pop_back();
        Element element;
        size_t pos = inside.find_first_of(" \n");
        element["#name"] = inside.substr(0, pos);
        while ((pos = inside.find_first_not_of(" \n", pos)) != std::string::npos) {
            const size_t equals = inside.find('=', pos);
            const size_t close =
                equals == std::string::npos ? equals : inside.find('"', equals + 2);
            if (close == std::string::npos || inside[equals + 1] != '"') {
                ADD_FAILURE() << "attribute at " << inside.substr(pos) << " in <" << inside << ">";
                return {};
            }
            element[inside.substr(pos, equals - pos)] =
                inside.substr(equals + 2, close - equals - 2);
            pos = close + 1;
        }
        elements.push_back(element);
        if (!empty)
            open.emplace_back(element["#name"], elements.size() - 1);
    }
    EXPECT_TRUE(open.empty()) << "<" << open.back().first << "> is never closed";
    return elements;
}

// The places of the elements of this class.
std::vector<size_t> ofClass(const std::vector<Element>& elements, const std::string& name) {
    std::vector<size_t> found;
    for (size_t i = 0; i < elements.size(); ++i)
        if (elements[i].count("class") && elements[i].at("class") == name)
            found.push_back(i);
    return found;
}

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
        {{"--bogus"}, "unknown option --bogus (commands: write, show, play, record, list, check)"},
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
        const std::vector<Element> elements = parseXml(text);
        ASSERT_FALSE(elements.empty());
        EXPECT_EQ(elements[0].at("#name"), "svg");
        const std::vector<size_t> notes = ofClass(elements, "note");
        ASSERT_EQ(notes.size(), noteOns.size());
        for (size_t i = 0; i < notes.size(); ++i) {
            EXPECT_GE(std::stod(elements[notes[i]].at("width")), 1.5);
            // each bar is named, in the order the notes were played
            const Element& title = elements.at(notes[i] + 1);
            EXPECT_EQ(title.at("#name"), "title");
            EXPECT_EQ(title.at("#text").rfind(noteName(noteOns[i]) + ", ", 0), 0u)
                << title.at("#text");
        }
        EXPECT_EQ(static_cast<long>(ofClass(elements, "gate").size()), c.gates);
        EXPECT_TRUE(contains(text, "a&amp;b.brumo"));
#ifdef KV_CHECK_SVG_SCRIPT
        // a real XML parser agrees
        const std::string command = "/usr/bin/python3 '" KV_CHECK_SVG_SCRIPT "' '" + svg + "'";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char line[128] = {};
        const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
        ASSERT_EQ(pclose(pipe), 0) << "python could not parse " << svg;
        ASSERT_TRUE(read);
        EXPECT_EQ(std::string(line), elements[0].at("width") + " " + elements[0].at("height") +
                                         " " + std::to_string(notes.size()) + " " +
                                         std::to_string(c.gates) + "\n");
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
        const std::vector<Element> elements = parseXml(readText(svg));
        ASSERT_FALSE(elements.empty());
        const double width = std::stod(elements[0].at("width"));
        EXPECT_GE(width, c.narrowest);
        EXPECT_LE(width, c.widest);
        const std::vector<size_t> bars = ofClass(elements, "note");
        ASSERT_EQ(bars.size(), c.notes);
        for (const size_t bar : bars)
            ASSERT_GE(std::stod(elements[bar].at("width")), 1.5);
        EXPECT_EQ(ofClass(elements, "gate").size() + ofClass(elements, "gates").size(),
                  c.gateMarks);
    }
}

} // namespace
