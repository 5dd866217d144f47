// The clocks that raise GATE, the block split of a period and the ring between the threads.
#include "block_split.h"
#include "live_clock.h"
#include "spsc_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

// The frames at which the clock rises, found by walking its edges.
std::vector<int64_t> risesOf(const InternalClock& clock, int count) {
    std::vector<int64_t> rises;
    if (clock.highAt(0))
        rises.push_back(0);
    for (int64_t at = 0; static_cast<int>(rises.size()) < count;) {
        at = clock.nextEdgeAfter(at);
        if (clock.highAt(at))
            rises.push_back(at);
    }
    return rises;
}

TEST(InternalClock, RisesOncePerSixteenthAtEveryTempoAndRate) {
    struct Case {
        double rate, bpm;
        int64_t shortest, longest; // the spacing of the rises, in frames
    };
    const Case cases[] = {
        {44100, 120, 5512, 5513},   {48000, 120, 6000, 6000}, {44100, 100, 6615, 6615},
        {96000, 137, 10510, 10511}, {22050, 999, 331, 332},   {44100, 4, 165375, 165375},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.bpm << " BPM");
        const InternalClock clock(c.rate, c.bpm);
        const std::vector<int64_t> rises = risesOf(clock, 400);
        const double sixteenth = c.rate * 15.0 / c.bpm;
        for (size_t i = 1; i < rises.size(); ++i) {
            const int64_t spacing = rises[i] - rises[i - 1];
            EXPECT_GE(spacing, c.shortest);
            EXPECT_LE(spacing, c.longest);
            // no drift: each rise is the first frame at or after its exact time
            EXPECT_LT(static_cast<double>(rises[i]) - static_cast<double>(i) * sixteenth, 1.0);
            EXPECT_EQ(rises[i], clock.riseOf(static_cast<int64_t>(i)));
        }
        // rises and falls alike lie at least the shortest gap apart, and some lie just that far
        int64_t closest = clock.edgeFrame(1) - clock.edgeFrame(0);
        for (int64_t edge = 2; edge < 800; ++edge)
            closest = std::min(closest, clock.edgeFrame(edge) - clock.edgeFrame(edge - 1));
        EXPECT_EQ(closest, clock.shortestGap());
    }
}

TEST(InternalClock, IsHighForTheFirstHalfOfEachSixteenth) {
    const InternalClock clock(44100, 120); // 5512.5 frames, high for 2756.25
    struct Case {
        int64_t frame;
        bool high;
        int64_t nextEdge;
    };
    const Case cases[] = {
        {0, true, 2757},      {2756, true, 2757},
        {2757, false, 5513},  {5512, false, 5513},
        {5513, true, 8269},   {11024, false, 11025},
        {11025, true, 13782}, {44100LL * 3600, true, 44100LL * 3600 + 2757},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        EXPECT_EQ(clock.highAt(c.frame), c.high);
        EXPECT_EQ(clock.nextEdgeAfter(c.frame), c.nextEdge);
        // the level holds up to the edge and changes there
        EXPECT_EQ(clock.highAt(c.nextEdge - 1), c.high);
        EXPECT_NE(clock.highAt(c.nextEdge), c.high);
    }
}

// A MIDI clock message sequence: 's' START, 'c' CONTINUE, 'x' STOP, '.' a clock; each letter
// is followed by the GATE level after it.
struct ClockCase {
    const char* name;
    const char* messages;
    const char* gates; // '1' high, '0' low, one per message
};

TEST(MidiClock, GateFollowsClocksFromStartAndContinue) {
    const ClockCase cases[] = {
        {"clocks without START raise nothing", "......", "000000"},
        {"START, then a rise every six clocks, falling three later", "s.............",
         "01110001110001"},
        {"START waits for its first clock, however late", "s", "0"},
        {"STOP lowers GATE and clocks after it raise nothing", "s..x...", "0110000"},
        {"CONTINUE starts counting again from its first clock", "s....x..c....", "0111000001110"},
        {"a second START restarts the count", "s....s....", "0111001110"},
    };
    const uint8_t status[] = {MidiStart, MidiContinue, MidiStop, MidiClockTick};
    for (const ClockCase& c : cases) {
        SCOPED_TRACE(c.name);
        MidiClock clock;
        std::string seen;
        int64_t frame = 0;
        for (const char* m = c.messages; *m; ++m) {
            const int which = *m == 's' ? 0 : *m == 'c' ? 1 : *m == 'x' ? 2 : 3;
            clock.take(status[which], frame += 918);
            seen += clock.gate() ? '1' : '0';
        }
        EXPECT_EQ(seen, c.gates);
    }
}

TEST(MidiClock, MeasuresTheTempoFromTheClocks) {
    MidiClock clock;
    EXPECT_EQ(clock.bpm(44100), 0.0);
    clock.take(MidiClockTick, 0);
    EXPECT_EQ(clock.bpm(44100), 0.0);
    // 120 BPM at 44100 Hz is a clock every 918.75 frames
    for (int i = 1; i <= 100; ++i)
        clock.take(MidiClockTick, static_cast<int64_t>(i * 918.75));
    EXPECT_NEAR(clock.bpm(44100), 120.0, 0.1);
    for (int i = 101; i <= 200; ++i) // then 60 BPM: the last quarter note decides
        clock.take(MidiClockTick, static_cast<int64_t>(100 * 918.75 + (i - 100) * 1837.5));
    EXPECT_NEAR(clock.bpm(44100), 60.0, 0.1);
    EXPECT_FALSE(clock.running());
}

TEST(PeriodSplit, KeepsTheGridAndCutsABlockAtTheClocksEdge) {
    constexpr int64_t None = INT64_MAX;
    const struct {
        uint32_t frames, blockSize;
        int64_t edge;          // into the period, given for every block
        std::string stretches; // offset+length/block of each
    } cases[] = {
        {256, 64, None, "0+64/64 0+64/64 0+64/64 0+64/64"},
        {100, 64, None, "0+64/64 0+36/36"},
        {256, 64, 10, "0+10/64 10+54/64 0+64/64 0+64/64 0+64/64"},
        {256, 64, 64, "0+64/64 0+64/64 0+64/64 0+64/64"},
        {256, 64, 200, "0+64/64 0+64/64 0+64/64 0+8/64 8+56/64"},
        {256, 64, 0, "0+64/64 0+64/64 0+64/64 0+64/64"},
        {256, 64, 300, "0+64/64 0+64/64 0+64/64 0+64/64"},
        {1, 64, None, "0+1/1"},
        {4096, 4096, 2757, "0+2757/4096 2757+1339/4096"},
        {300, 512, 299, "0+299/300 299+1/300"},
        {0, 64, None, ""},
        {130, 64, 129, "0+64/64 0+64/64 0+1/2 1+1/2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.frames << " in blocks of " << c.blockSize << ", edge " << c.edge);
        std::string seen;
        uint32_t at = 0;
        for (PeriodSplit split(c.frames, c.blockSize); !split.done() && at < 99999;) {
            const Stretch s = split.next(c.edge);
            EXPECT_EQ(s.at, at);
            at += s.length;
            seen += (seen.empty() ? "" : " ") + std::to_string(s.offset) + "+" +
                    std::to_string(s.length) + "/" + std::to_string(s.blockLength);
        }
        EXPECT_EQ(seen, c.stretches);
    }
}

TEST(SpscRing, KeepsOrderWrapsAndRefusesWhenFull) {
    SpscRing<int, 4> ring;
    int item = 0;
    EXPECT_FALSE(ring.pop(item));
    for (int round = 0; round < 3; ++round) { // past the end of the storage, several times
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(ring.push(round * 10 + i));
        EXPECT_FALSE(ring.push(99));
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(ring.pop(item));
            EXPECT_EQ(item, round * 10 + i);
        }
        EXPECT_FALSE(ring.pop(item));
    }
}

TEST(SpscRing, CarriesEveryItemFromOneThreadToAnother) {
    static SpscRing<uint32_t, 64> ring;
    constexpr uint32_t Items = 200000;
    std::thread producer([] {
        for (uint32_t i = 0; i < Items;)
            i += ring.push(i) ? 1 : 0;
    });
    uint32_t expected = 0;
    for (uint32_t item = 0; expected < Items;) {
        if (ring.pop(item)) {
            ASSERT_EQ(item, expected++);
        }
    }
    producer.join();
}

} // namespace
