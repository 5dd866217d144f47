// KAVELTRUM as a host finds it: a module file that describes itself as the golden file holds it;
// and one note's road through it, recorded, reloaded and played.
#include "support/instance.h"

#include <fstream>
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

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The golden file is the module's description as hosts and users see it, odd spellings and all;
// a change to it is a change of what they see, made on purpose in both places.
TEST(ModuleFile, DescribesItselfAsTheGoldenFileHoldsIt) {
    Result<ModuleInfo> info = kaveltrumFile().properties();
    ASSERT_TRUE(info.ok()) << info.error();
    LoadedKaveltrum instance(unopened(Setup::Made));
    const std::string actual = description(instance, *info);
    const std::string golden = fileText("golden/kaveltrum-description.txt");
    EXPECT_FALSE(golden.empty()) << "golden/kaveltrum-description.txt is missing";
    if (actual != golden) {
        std::ofstream("kaveltrum-description.actual.txt", std::ios::binary) << actual;
        ADD_FAILURE() << "the module describes itself otherwise than tests/golden/"
                         "kaveltrum-description.txt; what it says now is in "
                         "kaveltrum-description.actual.txt in the build folder";
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
