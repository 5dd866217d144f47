// KAVELTRUM as a host finds it: a module file that describes itself as the golden file holds it;
// and one note's road through it, recorded, reloaded and played.
#include "support/instance.h"

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace {

const char* directionName(int32_t direction) {
    switch (direction) {
    case DirIn:
        return "in";
    case DirOut:
        return "out";
    case DirSetting:
        return "setting";
    default:
        return "unknown direction";
    }
}

const char* datatypeName(int32_t datatype) {
    switch (datatype) {
    case DtText:
        return "text";
    case DtMidi:
        return "MIDI";
    case DtBool:
        return "bool";
    case DtSamples:
        return "samples";
    case DtFloat:
        return "float";
    case DtInt16:
        return "int16";
    default:
        return "unknown datatype";
    }
}

std::string quotedOrNone(const char* text) {
    return text ? "'" + std::string(text) + "'" : "none";
}

// Everything the module tells a host about itself, one fact a line, the about text last.
std::string description(Instance& instance, const ModuleInfo& info) {
    std::ostringstream out;
    out << "name '" << info.name << "'\nidentifier '" << info.identifier << "'\ninterface version "
        << info.interfaceVersion << "\n";
    int32_t index = 0;
    for (;; ++index) {
        const PinAnswer asked = instance.host.describePin(index);
        if (asked.answer == 0)
            break;
        const PinDescription& d = asked.description;
        out << "pin " << index << " " << quotedOrNone(d.pinName) << ": "
            << directionName(d.direction) << ", " << datatypeName(d.datatype)
            << (d.variableAddress ? ", a variable" : ", no variable") << ", default "
            << quotedOrNone(d.defaultText) << ", extra " << quotedOrNone(d.extraText) << ", flags "
            << d.pinFlags << ", reserved " << d.reserved << "\n";
    }
    out << index << " pins described\nabout text of " << info.about.size() << " bytes:\n"
        << info.about;
    return out.str();
}

// The text in lines, each with its line break; a last line may lack one.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// One line of a difference, between bars, so that a changed blank at its end is seen too.
void printLine(std::ostream& out, char side, size_t number, const std::string& line) {
    const bool hasBreak = !line.empty() && line.back() == '\n';
    const std::string text = line.substr(0, hasBreak ? line.size() - 1 : line.size());
    out << "\n" << side << std::setw(4) << number << " |" << text << "|";
    if (!hasBreak)
        out << " (no line break)";
}

// The lines only one of the texts has, found through their longest common run of lines:
// "-" lines are the golden text's, "+" lines the module's, each with its line number.
std::string differences(const std::string& golden, const std::string& actual) {
    const std::vector<std::string> a = linesOf(golden), b = linesOf(actual);
    // common[i][j]: the length of the longest common run of a[i..] and b[j..]
    std::vector<std::vector<size_t>> common(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
    for (size_t i = a.size(); i-- > 0;)
        for (size_t j = b.size(); j-- > 0;)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1
                                        : std::max(common[i + 1][j], common[i][j + 1]);
    std::ostringstream out;
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            ++i, ++j;
        } else if (j == b.size() || (i < a.size() && common[i + 1][j] >= common[i][j + 1])) {
            printLine(out, '-', i + 1, a[i]);
            ++i;
        } else {
            printLine(out, '+', j + 1, b[j]);
            ++j;
        }
    }
    return out.str();
}

// The golden file is the module's description as hosts and users see it, odd spellings and all;
// a change to it is a change of what they see, made on purpose in both places. It lies beside
// the test program, and what the module says instead is left next to it for a look.
TEST(ModuleFile, DescribesItselfAsTheGoldenFileHoldsIt) {
    Result<ModuleInfo> info = kaveltrumFile().properties();
    ASSERT_TRUE(info.ok()) << info.error();
    LoadedKaveltrum instance(unopened(Setup::Made));
    const std::string actual = description(instance, *info);
    Result<std::string> path = besideExecutable(KV_GOLDEN_DESCRIPTION);
    ASSERT_TRUE(path.ok()) << path.error();
    Result<std::vector<uint8_t>> bytes = readWholeFile(*path);
    ASSERT_TRUE(bytes.ok()) << bytes.error();
    const std::string golden(bytes->begin(), bytes->end());
    if (actual != golden) {
        const std::string kept = *path + ".actual";
        std::ofstream(kept, std::ios::binary) << actual;
        ADD_FAILURE() << "the module describes itself otherwise than tests/golden/"
                         "kaveltrum-description.txt (- golden, + module):"
                      << differences(golden, actual) << "\nall it says now is in " << kept;
    }
}

TEST(ModuleFile, RecordReloadAndReplay) {
    Scratch scratch;
    const std::string row = scratch.file("take.brumo");
    LoadedKaveltrum hosted;
    hosted.param(LoopIt, 0);
    hosted.param(NextNoteOff, 1);
    hosted.outFile(row);
    EXPECT_TRUE(exists(row)); // created empty by the load

    hosted.set(Rec, 1.0f);
    hosted.block();
    for (int note : {60, 64, 67})
        hosted.midi(packMidi(MidiNoteOn, note, 90));
    hosted.midi(packMidi(MidiNoteOff, 60, 0));
    hosted.set(Rec, 0.0f);
    hosted.reload();
    EXPECT_EQ(readBytes(row), (std::vector<uint8_t>{60, 64, 67}));

    hosted.set(Play, 1.0f);
    hosted.block();
    for (int i = 0; i < 4; ++i)
        hosted.pulse();
    EXPECT_EQ(hosted.sent(), (std::vector<int32_t>{noteOn(60), noteOff(60), noteOn(64), noteOff(64),
                                                   noteOn(67), noteOff(67)}));
}

} // namespace
