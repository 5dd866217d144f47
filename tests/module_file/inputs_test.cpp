// Samples and parameters at the edges of what their types hold: NaN, infinities, denormals,
// huge numbers, and every int16 parameter at -32768 and 32767.
#include "support/instance.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

namespace {

// How a control input must take a sample: high above 0.2, low at or below it, and a NaN as
// neither (it neither plays nor re-arms GATE).
enum class Reads { High, Low, Neither };

struct Sample {
    const char* name;
    float value;
    Reads reads;
};

float fromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

const Sample samples[] = {
    {"+Inf", std::numeric_limits<float>::infinity(), Reads::High},
    {"largest float", std::numeric_limits<float>::max(), Reads::High},
    {"1e30", 1e30f, Reads::High},
    {"1.0", 1.0f, Reads::High},
    {"0.2f, just above 0.2", 0.2f, Reads::High},
    {"just below 0.2", 0x1.999998p-3f, Reads::Low},
    {"-Inf", -std::numeric_limits<float>::infinity(), Reads::Low},
    {"most negative float", std::numeric_limits<float>::lowest(), Reads::Low},
    {"-1e30", -1e30f, Reads::Low},
    {"0", 0.0f, Reads::Low},
    {"-0", -0.0f, Reads::Low},
    {"smallest normal", std::numeric_limits<float>::min(), Reads::Low},
    {"largest denormal", fromBits(0x007FFFFF), Reads::Low},
    {"smallest denormal", std::numeric_limits<float>::denorm_min(), Reads::Low},
    {"negative denormal", -std::numeric_limits<float>::denorm_min(), Reads::Low},
    {"quiet NaN", std::numeric_limits<float>::quiet_NaN(), Reads::Neither},
    {"negative NaN", fromBits(0xFFC00000), Reads::Neither},
    {"signalling NaN", fromBits(0x7F800001), Reads::Neither},
    {"NaN with payload", fromBits(0x7FC12345), Reads::Neither},
    {"all bits set", fromBits(0xFFFFFFFF), Reads::Neither},
};

// A loaded row of 60, 62, 64 played once, every input at 0.
struct Stage {
    LoadedKaveltrum hosted{told()};
    std::string row;
    explicit Stage(const std::string& path) : row(path) {
        writeBytes(row, {60, 62, 64});
        for (Pin pin : {Rec, Play, Return, Gate, Reload})
            hosted.set(pin, 0.0f);
        hosted.param(LoopIt, 0);
        hosted.param(NextNoteOff, 0);
        hosted.outFile(row);
        hosted.block(); // GATE low: armed
    }
    // The number of notes sent so far after each of these GATE levels, one block each.
    std::vector<size_t> gates(std::initializer_list<float> levels) {
        std::vector<size_t> counts;
        for (float level : levels) {
            hosted.set(Gate, level);
            hosted.block();
            counts.push_back(hosted.sent().size());
        }
        return counts;
    }
};

TEST(ValidatorInputs, ExtremeSamplesOnEveryInput) {
    Scratch scratch;
    int run = 0;
    for (const Sample& sample : samples) {
        const float v = sample.value;
        const bool high = sample.reads == Reads::High;
        const std::string name = "row-" + std::to_string(run++);
        {
            SCOPED_TRACE(std::string("REC at ") + sample.name);
            Stage stage(scratch.file(name + "-rec.brumo"));
            stage.hosted.set(Rec, v);
            stage.hosted.block();
            stage.hosted.midi(noteOn(70));
            stage.hosted.set(Rec, 0.0f);
            stage.hosted.close();
            EXPECT_EQ(readBytes(stage.row), high ? std::vector<uint8_t>({60, 62, 64, 70})
                                                 : std::vector<uint8_t>({60, 62, 64}));
        }
        {
            SCOPED_TRACE(std::string("PLAY at ") + sample.name);
            Stage stage(scratch.file(name + "-play.brumo"));
            stage.hosted.set(Play, v);
            stage.gates({1.0f, 0.0f});
            EXPECT_EQ(stage.hosted.played(), high ? std::vector<int>({60}) : std::vector<int>());
        }
        {
            SCOPED_TRACE(std::string("GATE at ") + sample.name);
            Stage stage(scratch.file(name + "-gate.brumo"));
            stage.hosted.set(Play, 1.0f);
            // From armed: the level may play; then after a note, the level may re-arm.
            const std::vector<size_t> counts = stage.gates({v, 0.0f, 1.0f, v, 1.0f});
            const std::vector<size_t> expected =
                sample.reads == Reads::High  ? std::vector<size_t>{1, 1, 2, 2, 2}
                : sample.reads == Reads::Low ? std::vector<size_t>{0, 0, 1, 1, 2}
                                             : std::vector<size_t>{0, 0, 1, 1, 1};
            EXPECT_EQ(counts, expected);
        }
        {
            SCOPED_TRACE(std::string("RETURN at ") + sample.name);
            Stage stage(scratch.file(name + "-return.brumo"));
            stage.hosted.set(Play, 1.0f);
            stage.hosted.pulse();
            stage.hosted.set(Return, v);
            stage.hosted.block();
            stage.hosted.set(Return, 0.0f);
            stage.hosted.pulse();
            EXPECT_EQ(stage.hosted.played(),
                      high ? std::vector<int>({60, 60}) : std::vector<int>({60, 62}));
        }
        {
            SCOPED_TRACE(std::string("RELOAD at ") + sample.name);
            Stage stage(scratch.file(name + "-reload.brumo"));
            stage.hosted.set(Rec, 1.0f);
            stage.hosted.block();
            stage.hosted.midi(noteOn(66));
            stage.hosted.set(Rec, 0.0f);
            stage.hosted.set(Reload, v);
            stage.hosted.block();
            stage.hosted.set(Reload, 0.0f);
            stage.hosted.set(Play, 1.0f);
            for (int i = 0; i < 4; ++i)
                stage.hosted.pulse();
            EXPECT_EQ(stage.hosted.played(),
                      high ? std::vector<int>({60, 62, 64, 66}) : std::vector<int>({60, 62, 64}));
        }
    }
}

const int32_t extremes[] = {-32768, -32767, -2, -1,  0,   1,   2,    7,    8,     20,
                            21,     22,     23, 127, 128, 255, 2000, 2001, 32766, 32767};

const Pin parameters[] = {LoopIt, FromNote, ToNote, NextNoteOff, Velocity};

const std::vector<int> eightNotes = {60, 62, 64, 65, 67, 69, 71, 72};

bool inRow(int note) {
    return std::find(eightNotes.begin(), eightNotes.end(), note) != eightNotes.end();
}

// Sixty GATE pulses over a row of eight notes with one parameter at a time, and then all of
// them, at the edges of int16. The loop still plays a note for every pulse, the row alone plays
// each note once, every note comes from the row and a velocity in range is kept. Sixty pulses
// take the note-off rotation well past its 22 slots when next noteoff asks for more.
TEST(ValidatorParameters, ExtremesOnEveryParameter) {
    Scratch scratch;
    struct Case {
        std::string name;
        std::vector<std::pair<Pin, int32_t>> values;
    };
    std::vector<Case> cases;
    for (Pin pin : parameters)
        for (int32_t value : extremes)
            cases.push_back(
                {"pin " + std::to_string(pin) + " = " + std::to_string(value), {{pin, value}}});
    for (int32_t value : {-32768, 32767}) {
        Case all{"all at " + std::to_string(value), {}};
        for (Pin pin : parameters)
            all.values.emplace_back(pin, value);
        cases.push_back(all);
    }
    std::vector<uint8_t> bytes(eightNotes.begin(), eightNotes.end());
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string row = scratch.file("row-" + std::to_string(run++) + ".brumo");
        writeBytes(row, bytes);
        LoadedKaveltrum hosted(told());
        int32_t loopIt = 1;
        int32_t velocity = 100;
        for (auto [pin, value] : c.values) {
            hosted.param(pin, value);
            loopIt = pin == LoopIt ? value : loopIt;
            velocity = pin == Velocity ? value : velocity;
        }
        hosted.outFile(row);
        hosted.set(Play, 1.0f);
        hosted.block();
        for (int i = 0; i < 60; ++i)
            hosted.pulse();
        const std::vector<int> played = hosted.played();
        EXPECT_EQ(played.size(), loopIt == 1 ? 60u : 8u);
        EXPECT_TRUE(std::all_of(played.begin(), played.end(), inRow));
        for (const int32_t message : hosted.sent()) {
            EXPECT_TRUE(inRow(midiData1(message)));
            if (midiStatus(message) == MidiNoteOn && velocity >= 0 && velocity <= 127) {
                EXPECT_EQ(midiData2(message), velocity);
            }
        }
    }
}

// Every parameter jumps between extremes from one pulse to the next, the note-off rotation's
// length included, while the row plays and notes are recorded.
TEST(ValidatorParameters, ExtremesChangedWhilePlaying) {
    Scratch scratch;
    const std::string row = scratch.file("row.brumo");
    writeBytes(row, std::vector<uint8_t>(eightNotes.begin(), eightNotes.end()));
    LoadedKaveltrum hosted(told());
    hosted.outFile(row);
    hosted.set(Play, 1.0f);
    hosted.set(Rec, 1.0f);
    hosted.block();
    std::vector<uint8_t> recorded(eightNotes.begin(), eightNotes.end());
    const size_t count = std::size(extremes);
    for (size_t i = 0; i < 400; ++i) {
        for (size_t p = 0; p < std::size(parameters); ++p)
            hosted.param(parameters[p], extremes[(i * (p + 3) + p * 5) % count]);
        hosted.pulse();
        const int note = static_cast<int>(i % 128);
        hosted.midi(noteOn(note, 1 + note % 127));
        recorded.push_back(static_cast<uint8_t>(note));
        if (i % 50 == 49)
            hosted.reload(); // the row grows by what was recorded
    }
    hosted.close();
    EXPECT_EQ(readBytes(row), recorded);
}

} // namespace
