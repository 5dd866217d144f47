// The engine's periods driving the loaded module file: where the notes land in frames, what the
// MIDI clock and the controls make it play and record, and how a run ends its notes.
#include "live_clock.h"
#include "live_fixture.h"

#include <gtest/gtest.h>

namespace {

const std::vector<uint8_t> Row{60, 62, 64, 65, 67, 69, 71, 72};

LiveSettings internalAt(double bpm, int32_t blockSize = 64) {
    LiveSettings s;
    s.controls.bpm = bpm;
    s.blockSize = blockSize;
    return s;
}

LiveSettings midiClocked() {
    LiveSettings s;
    s.controls.clock = ClockSource::Midi;
    return s;
}

TEST(LiveEngine, InternalClockNotesAreSampleExactWhateverThePeriodAndBlock) {
    struct Case {
        double rate, bpm;
        uint32_t period;
        int32_t blockSize;
        int64_t shortest, longest;
    };
    const Case cases[] = {
        {44100, 120, 256, 64, 5512, 5513},    {44100, 120, 100, 64, 5512, 5513},
        {48000, 90, 1024, 37, 8000, 8000},    {96000, 200, 64, 256, 7200, 7200},
        {44100, 120, 4096, 4096, 5512, 5513}, {96000, 90, 256, 64, 16000, 16000},
        {48000, 120, 512, 128, 6000, 6000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.bpm << " BPM, periods of "
                                        << c.period << ", blocks of " << c.blockSize);
        const Scratch scratch;
        writeBytes("row.brumo", Row);
        LiveRun run("row.brumo", internalAt(c.bpm, c.blockSize), 1, c.rate);
        run.runUntil(static_cast<int64_t>(c.rate * 3), c.period);
        const std::vector<Written> ons = run.noteOns();
        const auto expected = static_cast<size_t>(3 * c.bpm / 15);
        ASSERT_GE(ons.size(), expected);
        EXPECT_EQ(ons[0].frame, 0);
        for (size_t i = 0; i < ons.size(); ++i) {
            EXPECT_EQ(ons[i].bytes[1], Row[i % Row.size()]);
            if (i > 0) {
                EXPECT_GE(ons[i].frame - ons[i - 1].frame, c.shortest);
                EXPECT_LE(ons[i].frame - ons[i - 1].frame, c.longest);
            }
        }
        // --noteoff 1: each note ends at the very frame its gate falls
        const InternalClock clock(c.rate, c.bpm);
        size_t offs = 0;
        for (const Written& w : run.sink.all())
            if (w.noteOff()) {
                ++offs;
                EXPECT_FALSE(clock.highAt(w.frame));
                EXPECT_TRUE(clock.highAt(w.frame - 1));
            }
        EXPECT_GE(offs, ons.size() - 1);
    }
}

// 120 BPM of MIDI clock: a clock every 918.75 frames, sent at odd places in the periods.
std::vector<Timed> clocks(int64_t from, int count) {
    std::vector<Timed> messages;
    messages.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        messages.push_back({from + static_cast<int64_t>(i * 918.75), {0xF8}});
    return messages;
}

TEST(LiveEngine, MidiClockPlaysTheRowOneNotePerSixClocksWithinABlock) {
    const Scratch scratch;
    writeBytes("row.brumo", Row);
    LiveRun run("row.brumo", midiClocked());
    std::vector<Timed> messages = {{1000, {0xFA}}}; // START, its first clock much later
    const std::vector<Timed> ticks = clocks(30000, 6 * 20);
    messages.insert(messages.end(), ticks.begin(), ticks.end());
    run.runUntil(ticks.back().frame + 5000, 256, messages);
    const std::vector<Written> ons = run.noteOns();
    ASSERT_EQ(ons.size(), 20u);
    for (size_t i = 0; i < ons.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ons[i].bytes[1], Row[i % Row.size()]);
        const int64_t clock = ticks[i * 6].frame;
        EXPECT_GE(ons[i].frame, clock);
        EXPECT_LT(ons[i].frame, clock + 64); // the block it arrived in
    }
}

TEST(LiveEngine, StopEndsEverySoundingNoteAndStartReturnsToTheFirst) {
    const Scratch scratch;
    writeBytes("row.brumo", Row);
    LiveRun run("row.brumo", midiClocked(), 0); // notes never end by themselves
    std::vector<Timed> messages = {{0, {0xFA}}};
    std::vector<Timed> ticks = clocks(100, 6 * 3); // three notes
    messages.insert(messages.end(), ticks.begin(), ticks.end());
    messages.push_back({20000, {0xFC}});
    const std::vector<Timed> again = clocks(21000, 6); // clocks while stopped play nothing
    messages.insert(messages.end(), again.begin(), again.end());
    messages.push_back({30000, {0xFA}});
    const std::vector<Timed> more = clocks(31000, 1);
    messages.insert(messages.end(), more.begin(), more.end());
    run.runUntil(40000, 256, messages);
    const std::vector<Written> all = run.sink.all();
    std::vector<std::pair<int, int64_t>> seen; // note number (negative: ended) and frame
    seen.reserve(all.size());
    for (const Written& w : all)
        seen.emplace_back(w.noteOn() ? w.bytes[1] : -w.bytes[1], w.frame);
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(seen[0].first, 60);
    EXPECT_EQ(seen[1].first, 62);
    EXPECT_EQ(seen[2].first, 64);
    for (int i = 3; i < 6; ++i) { // ended at the STOP's block
        EXPECT_LT(seen[i].first, 0);
        EXPECT_GE(seen[i].second, 20000);
        EXPECT_LT(seen[i].second, 20000 + 64);
    }
    EXPECT_EQ(seen[6].first, 60); // START went back to the first note
}

TEST(LiveEngine, ATakeRecordedWithRecIsInTheRowAtOnceAndPlaysBack) {
    const Scratch scratch;
    LiveSettings s = midiClocked();
    s.controls.recCc = 64;
    LiveRun run("take.brumo", s);
    const std::vector<uint8_t> take{55, 57, 59, 60};
    std::vector<Timed> messages = {{100, {0xB0, 64, 127}}};
    int64_t at = 1000;
    for (uint8_t note : take) {
        messages.push_back({at, {0x90, note, 90}});
        messages.push_back({at + 300, {0x80, note, 0}});
        at += 2000;
    }
    messages.push_back({at, {0xB3, 64, 0}}); // REC falls: the take is reloaded
    messages.push_back({at + 1000, {0xFA}});
    const std::vector<Timed> ticks = clocks(at + 2000, 6 * 4);
    messages.insert(messages.end(), ticks.begin(), ticks.end());
    run.runUntil(ticks.back().frame + 2000, 256, messages);
    EXPECT_EQ(readBytes("take.brumo"), take);
    const std::vector<Written> ons = run.noteOns();
    ASSERT_EQ(ons.size(), take.size());
    for (size_t i = 0; i < take.size(); ++i)
        EXPECT_EQ(ons[i].bytes[1], take[i]);
}

TEST(LiveEngine, AStopRequestEndsTheNotesOnceAndThenTheEngineIsSilent) {
    const Scratch scratch;
    writeBytes("row.brumo", Row);
    LiveRun run("row.brumo", internalAt(120), 0);
    run.runUntil(16000, 256); // three notes sounding
    run.engine->requestStop();
    run.runUntil(16000 + 256 * 10, 256);
    const std::vector<Written> all = run.sink.all();
    ASSERT_EQ(all.size(), 3u + 3u + 1u);
    for (size_t i = 3; i < 6; ++i)
        EXPECT_TRUE(all[i].noteOff());
    const Written& allOff = all.back();
    EXPECT_EQ(allOff.bytes[0], 0xB0);
    EXPECT_EQ(allOff.bytes[1], 123);
    EXPECT_TRUE(run.engine->status().stopped.load());
    EXPECT_EQ(run.engine->status().notesPlayed.load(), 3u);
    EXPECT_GE(run.engine->status().periodsStopped.load(), 8u);
}

TEST(LiveEngine, StopsByItselfAfterItsFrames) {
    const Scratch scratch;
    writeBytes("row.brumo", Row);
    LiveSettings s = internalAt(120);
    s.stopAfter = 44100;
    LiveRun run("row.brumo", s, 1);
    run.runUntil(int64_t{44100} * 2, 512);
    EXPECT_TRUE(run.engine->status().stopped.load());
    EXPECT_EQ(run.noteOns().size(), 9u); // gates 0..8 rise before the period that ends it
    EXPECT_EQ(run.sink.all().back().bytes[1], 123);
}

// A key reaches the module in the first block after it is pressed, however long nothing else
// has happened: PLAY falls there and no note starts until PLAY rises again, where the next note
// starts at once if GATE is high and at its next rise if it is low.
TEST(LiveEngine, KeysTakeEffectInTheBlockAfterThem) {
    const struct {
        int64_t stop, resume; // the periods' starts at which Play is pressed
        uint32_t period;
    } cases[] = {
        {20480, 40192, 256}, // resumed while GATE is high
        {20480, 42240, 256}, // and while it is low
        {6144, 9216, 1024},
        {3000, 60000, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "stop at " << c.stop << ", resume at " << c.resume);
        const Scratch scratch;
        writeBytes("row.brumo", Row);
        LiveRun run("row.brumo", internalAt(120), 1);
        run.runUntil(c.stop, c.period);
        ASSERT_EQ(run.clock, c.stop);
        ASSERT_TRUE(run.engine->press(Key::Play));
        run.runUntil(c.resume, c.period);
        ASSERT_EQ(run.clock, c.resume);
        ASSERT_TRUE(run.engine->press(Key::Play));
        run.runUntil(c.resume + 44100, c.period);
        const InternalClock clock(44100, 120);
        const int64_t expected = clock.highAt(c.resume) ? c.resume : clock.nextEdgeAfter(c.resume);
        std::vector<int64_t> after; // the note starts from the stop on
        for (const Written& on : run.noteOns())
            if (on.frame >= c.stop)
                after.push_back(on.frame);
        ASSERT_FALSE(after.empty());
        EXPECT_EQ(after.front(), expected);
        EXPECT_TRUE(run.engine->status().play.load());
    }
}

// Takes nothing, as a full port buffer does, and counts what it was offered.
class RefusingSink final : public MidiSink {
  public:
    bool write(uint32_t, const uint8_t* bytes, uint32_t size) noexcept override {
        ++offered;
        noteOns += size == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0 ? 1 : 0;
        return false;
    }
    uint64_t offered = 0, noteOns = 0;
};

// After every period the main thread sees each note the module sent counted, the last one named
// and each message the output refused counted as lost, however few periods sent anything.
TEST(LiveEngine, TheStatusCountsEveryNoteAndEveryLoss) {
    const struct {
        uint32_t period;
        int32_t blockSize;
    } cases[] = {{256, 64}, {100, 64}, {1024, 37}, {64, 256}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "periods of " << c.period << ", blocks of " << c.blockSize);
        const Scratch scratch;
        writeBytes("row.brumo", Row);
        LiveRun run("row.brumo", internalAt(120, c.blockSize), 1);
        run.runUntil(44100, c.period);
        const LiveStatus& status = run.engine->status();
        const std::vector<Written> ons = run.noteOns();
        ASSERT_FALSE(ons.empty());
        EXPECT_EQ(status.notesPlayed.load(), ons.size());
        EXPECT_EQ(status.lastNote.load(), ons.back().bytes[1]);
        EXPECT_EQ(status.lost.load(), 0u);
        RefusingSink refusing;
        for (int i = 0; i < 200; ++i) {
            run.engine->period(c.period, nullptr, 0, refusing);
            run.clock += c.period;
            EXPECT_EQ(status.lost.load(), refusing.offered);
            EXPECT_EQ(status.notesPlayed.load(), ons.size() + refusing.noteOns);
            EXPECT_EQ(status.frames.load(), run.clock);
        }
        EXPECT_GT(refusing.noteOns, 0u);
    }
}

// The position shown follows the module's: each note moves it on, the loop brings it back, and
// a row that becomes shorter than the position brings it back in the next period.
TEST(LiveEngine, TheShownPositionFollowsTheModulesLoop) {
    for (const uint32_t period : {256u, 100u}) {
        SCOPED_TRACE(testing::Message() << "periods of " << period);
        const Scratch scratch;
        writeBytes("row.brumo", Row);
        LiveRun run("row.brumo", internalAt(120), 1);
        run.engine->setRowLength(static_cast<uint32_t>(Row.size()));
        const LiveStatus& status = run.engine->status();
        run.runUntil(int64_t{44100} * 2, period);
        ASSERT_GT(status.notesPlayed.load(), Row.size());
        EXPECT_EQ(status.position.load(), status.notesPlayed.load() % Row.size());
        while (status.position.load() != 5)
            run.runUntil(run.clock + period, period);
        run.engine->setRowLength(3);
        run.runUntil(run.clock + period, period);
        EXPECT_EQ(status.position.load(), 0u);
    }
}

// Cycles the engine missed do not move the notes after them: its clock follows the server's.
TEST(LiveEngine, AfterMissedCyclesTheClockKeepsTheServersTime) {
    const Scratch scratch;
    writeBytes("row.brumo", Row);
    LiveRun run("row.brumo", internalAt(120), 1);
    for (int64_t start = 0; start < int64_t{44100} * 2; start += 256) {
        if (start / 256 % 7 == 3)
            continue; // a cycle it missed
        run.sink.startPeriod(start, 256);
        run.engine->period(256, nullptr, 0, run.sink, start);
    }
    const InternalClock clock(44100, 120);
    size_t onTime = 0;
    for (const Written& on : run.noteOns())
        onTime += clock.highAt(on.frame) && !clock.highAt(on.frame - 1);
    EXPECT_GE(onTime, 13u); // of 16 gates; those that rose in a missed cycle come late or not
    EXPECT_EQ(run.engine->status().frames.load(), 44100 * 2 - 44100 * 2 % 256 + 256);
}

} // namespace
