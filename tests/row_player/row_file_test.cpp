// Loading the record file into the row, and the shared state around it.
#include "module.h"
#include "support/linked_kaveltrum.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(Load, EveryByteIsANote) {
    Scratch scratch;
    LinkedKaveltrum rig;
    rig.loadRow(scratch.file("row.brumo"), {60, 62, 64});
    ASSERT_EQ(rowState().rowLength, 3u);
    EXPECT_EQ(std::vector<uint8_t>(rowState().row, rowState().row + 3),
              (std::vector<uint8_t>{60, 62, 64}));
    EXPECT_EQ(rowState().recordFileStatus, 0); // held open for appending

    rig.loadRow(scratch.file("empty.brumo"), {});
    EXPECT_EQ(rowState().rowLength, 0u);
}

TEST(Load, AMissingFileIsCreatedEmptyAtOnce) {
    Scratch scratch;
    LinkedKaveltrum rig;
    rig.outFile(scratch.file("new.brumo"));
    EXPECT_TRUE(std::filesystem::exists(scratch.file("new.brumo")));
    EXPECT_EQ(rowState().rowLength, 0u);
    EXPECT_EQ(rowState().recordFileStatus, 0);
}

TEST(Load, KeepsThePositionAndTheGateState) {
    Scratch scratch;
    LinkedKaveltrum rig;
    rig.loadRow(scratch.file("row.brumo"), std::vector<uint8_t>(10, 60));
    rowState().position = 7;
    rowState().gateArmed = 1;
    rig.loadRow(scratch.file("short.brumo"), {60, 62, 64});
    EXPECT_EQ(rowState().position, 7u);
    EXPECT_EQ(rowState().gateArmed, 1);
}

TEST(Load, BeyondTheNewRowNothingPlaysUntilReturn) {
    Scratch scratch;
    LinkedKaveltrum rig;
    rig.param(PinLoopIt, 0);
    rig.set(PinPlay, 1.0f);
    rig.loadRow(scratch.file("row.brumo"), std::vector<uint8_t>(10, 50));
    rig.block();
    for (int i = 0; i < 7; ++i)
        rig.pulse();
    writeBytes(scratch.file("row.brumo"), {60, 62, 64});
    rig.set(PinReload, 1.0f);
    rig.block();
    rig.set(PinReload, 0.0f);
    rig.clearSent();
    rig.pulse();
    EXPECT_TRUE(rig.sent().empty());
    rig.set(PinReturn, 1.0f);
    rig.pulse();
    EXPECT_EQ(rig.sent(), std::vector<int32_t>{noteOn(60)});
}

TEST(Load, WithTheLoopOnAReloadPutsThePositionBackInTheSameBlock) {
    Scratch scratch;
    LinkedKaveltrum rig;
    rig.param(PinFromNote, 1);
    rig.loadRow(scratch.file("row.brumo"), std::vector<uint8_t>(10, 50));
    rowState().position = 7;
    writeBytes(scratch.file("row.brumo"), {60, 62, 64});
    rig.set(PinReload, 1.0f);
    rig.block();
    EXPECT_EQ(rowState().position, 1u);
}

TEST(Load, AFileThatCannotBeOpenedLeavesTheRow) {
    Scratch scratch;
    std::filesystem::create_directory(scratch.file("folder"));
    LinkedKaveltrum rig;
    rig.loadRow(scratch.file("row.brumo"), {60, 62, 64});

    // The append stream was open, so the failed load silences the row.
    rig.outFile(scratch.file("folder"));
    EXPECT_EQ(rowState().recordFileStatus, -1);
    EXPECT_EQ(rowState().rowLength, 0u);

    // With no stream open, a row loaded earlier keeps playing.
    rig.loadRow(scratch.file("row.brumo"), {60, 62, 64});
    {
        LinkedKaveltrum other; // open silences, close shuts the shared stream
        other.close();
    }
    rowState().rowLength = 3;
    rig.outFile(scratch.file("folder"));
    EXPECT_EQ(rowState().rowLength, 3u);
    rig.outFile("");
    EXPECT_EQ(rowState().rowLength, 3u);
    EXPECT_EQ(rowState().recordFileStatus, -1);
}

TEST(SharedState, ASecondInstanceSilencesAndClosesForBoth) {
    Scratch scratch;
    LinkedKaveltrum first;
    first.set(PinPlay, 1.0f);
    first.loadRow(scratch.file("row.brumo"), {60, 62});
    first.block();

    LinkedKaveltrum second;
    EXPECT_EQ(rowState().rowLength, 0u);
    first.pulse();
    second.pulse();
    EXPECT_TRUE(first.sent().empty());
    EXPECT_TRUE(second.sent().empty());

    second.close();
    EXPECT_EQ(rowState().recordFileStatus, -1);
    first.set(PinRec, 1.0f);
    first.block();
    first.midi(noteOn(70)); // no stream: not recorded
    first.set(PinReload, 1.0f);
    first.block();
    EXPECT_EQ(readBytes(scratch.file("row.brumo")), (std::vector<uint8_t>{60, 62}));
}

TEST(HostMistakes, MissingPinsAndBlocksReadAsLow) {
    Scratch scratch;
    {
        LinkedKaveltrum pinless(0);
        pinless.set(PinPlay, 1.0f);
        pinless.set(PinGate, 1.0f);
        pinless.block(); // no pin array: every input is low, nothing is sent
        EXPECT_TRUE(pinless.host.sent().empty());
        EXPECT_EQ(rowState().gateArmed, 1);
    }
    LinkedKaveltrum rig;
    rig.param(PinNextNoteOff, 1);
    rig.loadRow(scratch.file("row.brumo"), {60, 62});
    rig.set(PinPlay, 1.0f);
    rig.set(PinGate, 1.0f);
    rig.block();
    EXPECT_EQ(rig.sent(), std::vector<int32_t>{noteOn(60)});
    rig.detach(PinGate); // reads as low: the note ends
    rig.detach(PinReload);
    rig.block();
    EXPECT_EQ(rig.sent(), (std::vector<int32_t>{noteOn(60), noteOff(60)}));
    rig.detach(PinPlay);
    rig.set(PinGate, 1.0f);
    rig.block();
    EXPECT_EQ(rig.sent().size(), 2u);
    rig.block(-1); // a start before the block reads as low too
}

TEST(HostMistakes, AnOutfileChangeWithoutTheOutfilePinDoesNothing) {
    LinkedKaveltrum rig(5);
    rig.host.setText(6, "never.brumo");
    rig.pinStatus(2, 1);
    EXPECT_EQ(rig.host.countOf(HostPinText), 0);
    EXPECT_EQ(rowState().recordFileStatus, -1);
}

TEST(HostMistakes, AnUnterminatedPinTextIsCutAtItsCapacity) {
    LinkedKaveltrum rig;
    rig.host.textStyle = TextStyle::Repeated;
    rig.host.setText(6, "abc");
    rig.outFile("abc");
    EXPECT_EQ(std::string(rowState().outFileText).size(), 399u);
    EXPECT_EQ(std::string(rowState().fileName), std::string(rowState().outFileText));
}

TEST(HostMistakes, NoCallbackKeepsTheLastFetchedName) {
    Scratch scratch;
    {
        LinkedKaveltrum rig;
        rig.outFile(scratch.file("kept.brumo"));
    }
    writeBytes(scratch.file("kept.brumo"), {1, 2, 3, 4});
    LinkedKaveltrum made(unopened(Setup::Made, false));
    ModuleDriver* const host = &made.host;
    ASSERT_TRUE(host->open().ok());
    auto* module = static_cast<Module*>(static_cast<SEModule_base*>(host->instance()));
    module->reloadRow();
    EXPECT_EQ(rowState().rowLength, 4u);
}

} // namespace
