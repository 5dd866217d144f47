// The audio thread must never wait for the heap: the engine's periods, with notes played,
// recorded and ended, control changes, clocks, transport and keys, allocate nothing. Allocations
// are counted by replacing the global operator new for this program, inside a counting window.
#include "live_fixture.h"
#include "support/counting_new.h"

#include <gtest/gtest.h>

namespace {

// Periods of 256 with what arrives in them, counted; the messages are made before counting.
long allocationsOver(LiveRun& run, int64_t until, const std::vector<Timed>& messages, bool keys) {
    return allocationsDuring([&] {
        if (keys) {
            run.engine->press(Key::Play);
            run.engine->press(Key::Return);
            run.engine->press(Key::Play);
        }
        run.runUntil(until, 256, messages);
        run.engine->requestStop();
        run.runUntil(until + 1024, 256);
    });
}

TEST(LiveAllocation, PeriodsAllocateNothingWithTheInternalClock) {
    const Scratch scratch;
    writeBytes("row.brumo", {60, 62, 64, 65});
    LiveSettings s;
    s.controls.recHeld = true; // every NOTE_ON that arrives is recorded
    s.controls.returnCc = 21;
    LiveRun run("row.brumo", s, 2);
    std::vector<Timed> messages;
    for (int64_t at = 500; at < 44100; at += 3000) {
        messages.push_back({at, {0x90, 70, 100}});
        messages.push_back({at + 100, {0x80, 70, 0}});
        messages.push_back({at + 200, {0xB0, 21, static_cast<uint8_t>(at % 2 ? 127 : 0)}});
        messages.push_back({at + 300, {0xE0, 0, 64}});
    }
    EXPECT_EQ(allocationsOver(run, 44100, messages, true), 0);
    EXPECT_GT(run.noteOns().size(), 5u);
}

TEST(LiveAllocation, PeriodsAllocateNothingWithTheMidiClock) {
    const Scratch scratch;
    writeBytes("row.brumo", {60, 62, 64, 65});
    LiveSettings s;
    s.controls.clock = ClockSource::Midi;
    LiveRun run("row.brumo", s, 1);
    std::vector<Timed> messages = {{10, {0xFA}}};
    for (int i = 0; i < 200; ++i)
        messages.push_back({100 + static_cast<int64_t>(i * 918.75), {0xF8}});
    messages.push_back({100000, {0xFC}});
    messages.push_back({100100, {0xFB}});
    EXPECT_EQ(allocationsOver(run, 200000, messages, false), 0);
    EXPECT_GT(run.noteOns().size(), 20u);
}

} // namespace
