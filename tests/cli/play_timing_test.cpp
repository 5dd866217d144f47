// How play times its gates and prints its times: the blocks it runs together must keep every
// block's level, and its own formatting must print the digits printf prints.
#include "gate_schedule.h"
#include "text_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

// The level of a block by definition: high for the first half of every period, low after the
// last gate.
bool definedHigh(int64_t at, double period, long gates) {
    const double sample = static_cast<double>(at);
    return sample < period * static_cast<double>(gates) && std::fmod(sample, period) < period / 2.0;
}

TEST(PlayTiming, StretchesKeepTheLevelOfEveryBlock) {
    const struct {
        double bpm, rate;
        long gates;
        int32_t blockSize;
    } cases[] = {
        {120, 44100, 40, 64},      {200, 44100, 300, 64},
        {97.5, 44100, 300, 64}, // edges on blocks
        {97.5, 96000, 200, 7},     {132, 48000, 100, 1},
        {4, 1000, 3, 64},          {1000, 44100, 50, 512},
        {1000, 1000, 20, 1000},    {333.3, 768000, 40, 4096},
        {120, 44100, 0, 64},       {999, 768000, 30, 16384},     // blocks longer than a gate
        {117.3, 44100, 20000, 64}, {333.3, 768000, 30000, 4096}, // long runs
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.bpm << " BPM, " << c.rate << " Hz, blocks of " << c.blockSize);
        const double period = c.rate * 60.0 / c.bpm / 4.0;
        const GateSchedule gate(period, c.gates, c.blockSize);
        const double length = period * static_cast<double>(c.gates);
        int64_t at = 0, rises = 0;
        bool before = false;
        while (!gate.over(at)) {
            const GateSchedule::Stretch stretch = gate.stretchAt(at);
            ASSERT_GE(stretch.blocks, 1);
            // Within the gates, a stretch runs on to the next change of level.
            if (at > 0 && static_cast<double>(at) < length && c.blockSize <= period / 2.0) {
                ASSERT_NE(stretch.high, before) << "at sample " << at;
            }
            for (int64_t block = 0; block < stretch.blocks; ++block, at += c.blockSize) {
                ASSERT_EQ(definedHigh(at, period, c.gates), stretch.high) << "at sample " << at;
                ASSERT_FALSE(gate.over(at)) << "at sample " << at;
            }
            rises += stretch.high && !before;
            before = stretch.high;
        }
        // The run ends with the first block that starts a block past the gates.
        EXPECT_GE(static_cast<double>(at), length + c.blockSize);
        EXPECT_LT(static_cast<double>(at - c.blockSize), length + c.blockSize);
        if (c.blockSize <= period / 2.0) {
            EXPECT_EQ(rises, c.gates);
        }
    }
}

// The samples next to every edge decide a block's level however far into the run they lie.
TEST(PlayTiming, LevelsBesideEdgesMatchTheirDefinitionFarIntoARun) {
    const struct {
        double bpm, rate;
    } cases[] = {{120, 44100}, {117.3, 44100}, {97.5, 96000}, {333.3, 768000}, {1000, 1000}};
    for (const auto& c : cases) {
        const double period = c.rate * 60.0 / c.bpm / 4.0;
        const long gates = 2'000'000'000L; // a long of 32 bits on Windows
        const GateSchedule gate(period, gates, 64);
        for (int64_t k = 1; k < gates; k = k < 20000 ? k + 1 : k * 3 + 7) {
            for (const double edge :
                 {period * static_cast<double>(k), period * (static_cast<double>(k) + 0.5)}) {
                const auto near = static_cast<int64_t>(edge);
                for (int64_t at = near - 2; at <= near + 2; ++at) {
                    ASSERT_EQ(gate.highAt(at), definedHigh(at, period, gates))
                        << c.bpm << " BPM, " << c.rate << " Hz, sample " << at;
                }
            }
        }
    }
}

TEST(PlayTiming, TimesAreRoundedAsPrintfRoundsThem) {
    std::vector<double> times = {0.0,        0.0625,    0.1875,   0.0005, 1.0005,  2.5e-4,  0.9995,
                                 86400.9995, 12345.678, 4.9e-324, 1e-7,   59.9999, 123456.0};
    for (int64_t sample = 0; sample < 200000; sample += 127)
        for (double rate : {44100.0, 48000.0, 96000.0, 22050.0, 1000.0})
            times.push_back(static_cast<double>(sample) / rate);
    TextLine line;
    for (double seconds : times) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%9.3f|", seconds);
        std::ostringstream printed;
        line.seconds(seconds, 9).text('|').writeTo(printed);
        ASSERT_EQ(printed.str(), expected) << seconds;
    }
}

TEST(PlayTiming, LinePartsAlignAsPrintfAlignsThem) {
    TextLine line;
    std::ostringstream printed;
    line.padded("E4", 4).text('|').padded("NOTE_OFF", 8).text('|').padded("C#-1x", 4).text('|');
    line.number(7, 3).text('|').number(-42).text('|').number(1234, 2).text('|');
    line.seconds(-1.5, 7).text('\n').writeTo(printed);
    line.text("next").writeTo(printed); // the buffer starts empty again
    char expected[128];
    std::snprintf(expected, sizeof expected, "%-4s|%-8s|%-4s|%3d|%d|%2d|%7.3f\nnext", "E4",
                  "NOTE_OFF", "C#-1x", 7, -42, 1234, -1.5);
    EXPECT_EQ(printed.str(), expected);
}

} // namespace
