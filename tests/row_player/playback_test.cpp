// Playing the row: gates, the loop range, RETURN, the note-off ring and the messages sent.
#include "module.h"
#include "support/linked_kaveltrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr int A = 60, B = 62, C = 64, D = 65;

// A rig with the row loaded, PLAY high, GATE low and the loop off unless a test says otherwise.
struct Player {
    Scratch scratch;
    LinkedKaveltrum rig;
    explicit Player(const std::vector<uint8_t>& row, int16_t loop = 0) {
        rig.loadRow(scratch.file("row.brumo"), row);
        rig.param(PinLoopIt, loop);
        rig.set(PinPlay, 1.0f);
    }
    // The row positions played by `count` pulses, read back from the notes (note = 40 + position).
    std::vector<int> positionsPlayed(int count) {
        rig.clearSent();
        for (int i = 0; i < count; ++i)
            rig.pulse();
        std::vector<int> positions;
        for (int32_t message : rig.sent())
            if (midiStatus(message) == MidiNoteOn)
                positions.push_back(midiData1(message) - 40);
        return positions;
    }
};

// Table cases share one process: each starts from the play state of a freshly loaded library.
void freshPlayState() {
    RowState& state = rowState();
    state.gateArmed = 0;
    std::fill(std::begin(state.noteOffRing), std::end(state.noteOffRing), 0);
}

std::vector<uint8_t> numberedRow(int length) {
    std::vector<uint8_t> row;
    row.reserve(length);
    for (int i = 0; i < length; ++i)
        row.push_back(static_cast<uint8_t>(40 + i));
    return row;
}

TEST(NoteOffRing, DelaysEachNoteOffByNextNoteoffGates) {
    using Blocks = std::vector<std::vector<int32_t>>;
    const struct {
        int16_t n;
        Blocks expected; // per block: first low, then rise and fall of pulses 1 to 4
    } cases[] = {
        {0, {{}, {noteOn(A)}, {}, {noteOn(B)}, {}, {noteOn(C)}, {}, {noteOn(D)}, {}}},
        {1,
         {{},
          {noteOn(A)},
          {noteOff(A)},
          {noteOn(B)},
          {noteOff(B)},
          {noteOn(C)},
          {noteOff(C)},
          {noteOn(D)},
          {noteOff(D)}}},
        {2,
         {{},
          {noteOn(A)},
          {},
          {noteOn(B)},
          {noteOff(A)},
          {noteOn(C)},
          {noteOff(B)},
          {noteOn(D)},
          {noteOff(C)}}},
        {3,
         {{},
          {noteOn(A)},
          {},
          {noteOn(B)},
          {},
          {noteOn(C)},
          {noteOff(A)},
          {noteOn(D)},
          {noteOff(B)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        freshPlayState();
        Player player({A, B, C, D});
        player.rig.param(PinNextNoteOff, c.n);
        Blocks blocks;
        for (int i = 0; i < 9; ++i) {
            player.rig.clearSent();
            player.rig.set(PinGate, i % 2 ? 1.0f : 0.0f);
            player.rig.block();
            blocks.push_back(player.rig.sent());
        }
        EXPECT_EQ(blocks, c.expected);
    }
}

TEST(Loop, RangesAndFallbacks) {
    const struct {
        const char* name;
        int rowLength;
        int16_t loop, from, to;
        int pulses;
        std::vector<int> played;
    } cases[] = {
        {"no loop plays the row once", 3, 0, 0, 0, 5, {0, 1, 2}},
        {"whole row loops", 3, 1, 0, 0, 7, {0, 1, 2, 0, 1, 2, 0}},
        {"from 2 to 5", 8, 1, 2, 5, 11, {0, 1, 2, 3, 4, 2, 3, 4, 2, 3, 4}},
        {"to beyond the row", 8, 1, 0, 12, 9, {0, 1, 2, 3, 4, 5, 6, 7, 0}},
        {"negative to", 8, 1, 0, -3, 9, {0, 1, 2, 3, 4, 5, 6, 7, 0}},
        {"from beyond the row", 8, 1, 8, 0, 9, {0, 1, 2, 3, 4, 5, 6, 7, 0}},
        {"from after to", 8, 1, 6, 3, 6, {0, 1, 2, 6, 6, 6}},
        {"loopit 2 does not loop", 8, 2, 0, 0, 10, {0, 1, 2, 3, 4, 5, 6, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshPlayState();
        Player player(numberedRow(c.rowLength), c.loop);
        player.rig.param(PinFromNote, c.from);
        player.rig.param(PinToNote, c.to);
        player.rig.block(); // GATE low: armed
        EXPECT_EQ(player.positionsPlayed(c.pulses), c.played);
    }
}

TEST(Loop, WrapsInTheBlockOfTheLastNote) {
    Player player(numberedRow(3), 1);
    player.rig.block();
    player.positionsPlayed(2);
    player.rig.set(PinGate, 1.0f);
    player.rig.block();
    EXPECT_EQ(rowState().position, 0u);
}

TEST(Loop, AnEmptyRowKeepsThePositionAtZero) {
    Player player({}, 1);
    rowState().position = 5;
    player.rig.block();
    EXPECT_EQ(rowState().position, 0u);
    EXPECT_TRUE(player.positionsPlayed(3).empty());
}

TEST(Return, RewindsInEveryBlockItIsHigh) {
    Player player(numberedRow(3));
    player.rig.block();
    EXPECT_EQ(player.positionsPlayed(5), (std::vector<int>{0, 1, 2}));
    player.rig.set(PinReturn, 1.0f);
    EXPECT_EQ(player.positionsPlayed(3), (std::vector<int>{0, 0, 0}));
    player.rig.set(PinReturn, 0.0f); // it rewound again as the last GATE fell
    EXPECT_EQ(player.positionsPlayed(4), (std::vector<int>{0, 1, 2}));
}

TEST(Gate, ThresholdIsAboveTwoTenthsInDoublePrecision) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float level;
        bool plays;
        bool rearms;
    } cases[] = {
        {0.2f, true, false},  {std::nextafter(0.2f, 0.0f), false, true},
        {0.0f, false, true},  {-1.0f, false, true},
        {1e30f, true, false}, {nan, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        freshPlayState();
        Player player({A, B});
        player.rig.param(PinNextNoteOff, 1);
        player.rig.block(); // armed
        player.rig.clearSent();
        player.rig.set(PinGate, c.level);
        player.rig.block();
        EXPECT_EQ(player.rig.sent() == std::vector<int32_t>{noteOn(A)}, c.plays);

        // After a note, the level decides whether GATE counts as low again.
        rowState().gateArmed = 0;
        player.rig.clearSent();
        player.rig.block();
        EXPECT_EQ(rowState().gateArmed == 1, c.rearms);
    }
}

TEST(Gate, HeldHighPlaysOneNoteAndPlayRisingWithGateHighPlaysAtOnce) {
    Player player({A, B, C});
    player.rig.set(PinPlay, 0.0f);
    player.rig.block(); // armed
    player.rig.set(PinGate, 1.0f);
    player.rig.block();
    EXPECT_TRUE(player.rig.sent().empty());
    player.rig.set(PinPlay, 1.0f);
    for (int i = 0; i < 4; ++i)
        player.rig.block();
    EXPECT_EQ(player.rig.sent(), std::vector<int32_t>{noteOn(A)});
}

TEST(Gate, PlayLowStillEndsTheLastNote) {
    Player player({A, B, C});
    player.rig.param(PinNextNoteOff, 1);
    player.rig.block();
    player.rig.set(PinGate, 1.0f);
    player.rig.block();
    player.rig.set(PinPlay, 0.0f);
    player.rig.clearSent();
    player.rig.pulse();
    player.rig.pulse();
    EXPECT_EQ(player.rig.sent(), std::vector<int32_t>{noteOff(A)});
}

TEST(Messages, StampedWithTheSampleClockOnMidiOut) {
    Player player({A});
    player.rig.param(PinNextNoteOff, 1);
    player.rig.host.clock = 12345;
    player.rig.block(); // armed; the clock advances 64 per block
    player.rig.pulse();
    const std::vector<ModuleMidi> sent = player.rig.host.sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].timeStamp, 12345 + 64);
    EXPECT_EQ(sent[1].timeStamp, 12345 + 128);
    EXPECT_EQ(sent[0].pin, 13);
}

// Notes and velocities out of MIDI's range are folded into it: the low seven bits of the row
// byte, the velocity clamped; the NOTE_OFF carries the NOTE_ON's velocity.
TEST(Messages, AreAlwaysValidMidi) {
    const struct {
        uint8_t rowByte;
        int16_t velocity;
        int note, sentVelocity;
    } cases[] = {
        {60, 100, 60, 100}, {200, 100, 72, 100}, {255, 127, 127, 127}, {128, 1, 0, 1},
        {60, 0, 60, 0},     {60, 300, 60, 127},  {60, -5, 60, 0},      {60, -32768, 60, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.rowByte} << " at " << c.velocity);
        freshPlayState();
        Player player({c.rowByte});
        player.rig.param(PinVelocity, c.velocity);
        player.rig.param(PinNextNoteOff, 1);
        player.rig.block();
        player.rig.pulse();
        EXPECT_EQ(player.rig.sent(), (std::vector<int32_t>{noteOn(c.note, c.sentVelocity),
                                                           noteOff(c.note, c.sentVelocity)}));
    }
}

// 22 slots: beyond that, each NOTE_OFF waits for 21 further notes.
TEST(NoteOffRing, NextNoteoffBeyondTheRingTurnsOverItsSlots) {
    Player player(numberedRow(30));
    player.rig.param(PinNextNoteOff, 30);
    player.rig.block();
    player.rig.clearSent();
    for (int i = 0; i < 25; ++i)
        player.rig.pulse();
    std::vector<int> ended;
    for (int32_t message : player.rig.sent())
        if (midiStatus(message) == MidiNoteOff)
            ended.push_back(midiData1(message) - 40);
    EXPECT_EQ(ended, (std::vector<int>{0, 1, 2, 3}));
}

} // namespace
