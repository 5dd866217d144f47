// A block runs on the host's audio thread, which must never wait for the heap: outside a load,
// playing, recording and ending notes allocate nothing. Allocations are counted by replacing the
// global operator new for this test program; only those made inside a counting window count.
#include "module.h"
#include "support/counting_new.h"
#include "support/linked_kaveltrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <new>

namespace {

std::vector<uint8_t> rowOf(size_t length) {
    std::vector<uint8_t> row(length);
    for (size_t i = 0; i < length; ++i)
        row[i] = static_cast<uint8_t>(36 + i % 48);
    return row;
}

// Long enough that the recorded notes pass through more than one buffer's worth.
constexpr int Pulses = 5000;

TEST(BlockAllocation, NoneWhilePlayingRecordingAndEndingNotes) {
    Scratch scratch;
    LinkedKaveltrum rig;
    const std::string file = scratch.file("take.brumo");
    const std::vector<uint8_t> row = rowOf(64);
    rig.loadRow(file, row);
    RowState& state = rowState(); // the play state of a freshly loaded library
    state.gateArmed = 0;
    std::fill(std::begin(state.noteOffRing), std::end(state.noteOffRing), 0);
    rig.param(PinLoopIt, 1);
    rig.param(PinFromNote, 8);
    rig.param(PinNextNoteOff, 3);
    rig.set(PinPlay, 1.0f);
    rig.set(PinRec, 1.0f);
    rig.block();
    rig.clearSent();
    rig.host.logRequests = false; // the request log would grow inside the window
    rig.host.reserveSent(size_t{4} * Pulses);

    const long counted = allocationsDuring([&] {
        for (int i = 0; i < Pulses; ++i) {
            rig.set(PinReturn, i % 100 == 99 ? 1.0f : 0.0f);
            rig.set(PinGate, 1.0f);
            rig.block();
            rig.midi(noteOn(i % 128, 1 + i % 127));
            rig.midi(noteOff(i % 128));
            rig.set(PinGate, 0.0f);
            rig.block();
        }
    });
    EXPECT_EQ(counted, 0);

    // The window did what it claims: a note and, after the ring filled, a NOTE_OFF per pulse,
    // and every recorded note in the file, in order, after the row it was recorded on.
    int notesOn = 0;
    int notesOff = 0;
    for (int32_t message : rig.sent())
        (midiStatus(message) == MidiNoteOn ? notesOn : notesOff) += 1;
    EXPECT_EQ(notesOn, Pulses);
    EXPECT_EQ(notesOff, Pulses - 2);
    rig.set(PinReload, 1.0f);
    rig.block();
    std::vector<uint8_t> expected = row;
    for (int i = 0; i < Pulses; ++i)
        expected.push_back(static_cast<uint8_t>(i % 128));
    EXPECT_EQ(readBytes(file), expected);
}

TEST(BlockAllocation, ALoadMayAllocateAndAHeldReloadKeepsItsRow) {
    Scratch scratch;
    LinkedKaveltrum rig;
    const std::string file = scratch.file("row.brumo");
    rig.loadRow(file, rowOf(16));
    writeBytes(file, rowOf(200000)); // far more than the row has room for
    rig.set(PinReload, 1.0f);

    // Also shows that the counting sees the module's allocations at all.
    EXPECT_GT(allocationsDuring([&] { rig.block(); }), 0);
    ASSERT_EQ(rowState().rowLength, 200000u);

    // RELOAD held high loads again in every block, into the row it already has.
    EXPECT_EQ(allocationsDuring([&] {
                  for (int i = 0; i < 20; ++i)
                      rig.block();
              }),
              0);
    EXPECT_EQ(rowState().rowLength, 200000u);
}

} // namespace
