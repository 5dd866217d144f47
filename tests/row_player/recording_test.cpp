// Recording NOTE_ONs into the record file, and getting them back as the row.
#include "module.h"
#include "support/linked_kaveltrum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

struct Recorder {
    Scratch scratch;
    LinkedKaveltrum rig;
    std::string file = scratch.file("take.brumo");
    Recorder() {
        rig.outFile(file);
        rig.set(PinRec, 1.0f);
        rig.block();
    }
    std::vector<uint8_t> reloadAndRead() {
        rig.set(PinReload, 1.0f);
        rig.block();
        rig.set(PinReload, 0.0f);
        return readBytes(file);
    }
};

TEST(Recording, KeepsTheNoteOfEveryNoteOnOfAnyChannel) {
    Recorder recorder;
    for (int32_t message : {noteOn(60), packMidi(0x93, 64, 90), noteOff(60), packMidi(0xB0, 7, 100),
                            packMidi(0xF8, 0, 0), packMidi(0xE0, 0, 64), packMidi(0x9F, 127, 1)})
        recorder.rig.midi(message);
    EXPECT_EQ(recorder.reloadAndRead(), (std::vector<uint8_t>{60, 64, 127}));
}

TEST(Recording, ANoteOnWithVelocityZeroEndsANoteAndIsNotRecorded) {
    Recorder recorder;
    recorder.rig.midi(noteOn(60));
    recorder.rig.midi(noteOn(60, 0));
    recorder.rig.midi(packMidi(0x93, 64, 0));
    EXPECT_EQ(recorder.reloadAndRead(), std::vector<uint8_t>{60});
}

TEST(Recording, OnlyWhileRecWasHighAtTheLastBlock) {
    Recorder recorder;
    recorder.rig.set(PinRec, 0.2f); // counts as high
    recorder.rig.block();
    recorder.rig.midi(noteOn(61));
    recorder.rig.set(PinRec, 0.0f);
    recorder.rig.block();
    recorder.rig.midi(noteOn(62));
    EXPECT_EQ(recorder.reloadAndRead(), std::vector<uint8_t>{61});
}

TEST(Recording, NothingWithoutAnOpenRecordFile) {
    LinkedKaveltrum rig;
    rig.set(PinRec, 1.0f);
    rig.block();
    rig.midi(noteOn(60)); // no OUTFILE yet: nothing to write to, nothing reported
    EXPECT_EQ(rowState().recordFileStatus, -1);
}

TEST(Recording, PausesAfterAnOutfileChangeUntilTheNextBlock) {
    Recorder recorder;
    recorder.rig.outFile(recorder.file);
    EXPECT_EQ(rowState().recording, 0);
    recorder.rig.midi(noteOn(50));
    recorder.rig.block();
    recorder.rig.midi(noteOn(51));
    EXPECT_EQ(recorder.reloadAndRead(), std::vector<uint8_t>{51});
}

TEST(Recording, GoesOnThroughAReloadInTheSameBlock) {
    Recorder recorder;
    recorder.rig.set(PinReload, 1.0f);
    recorder.rig.block();
    EXPECT_EQ(rowState().recording, 1);
    recorder.rig.midi(noteOn(70));
    EXPECT_EQ(recorder.reloadAndRead(), std::vector<uint8_t>{70});
}

TEST(Recording, RecordedNotesBecomeTheEndOfTheRowAndPlay) {
    Recorder recorder;
    writeBytes(recorder.file, {60, 62});
    recorder.rig.outFile(recorder.file);
    recorder.rig.block();
    for (int note : {64, 65, 67})
        recorder.rig.midi(noteOn(note));
    recorder.reloadAndRead();
    ASSERT_EQ(rowState().rowLength, 5u);

    recorder.rig.set(PinRec, 0.0f);
    recorder.rig.set(PinPlay, 1.0f);
    recorder.rig.param(PinLoopIt, 0);
    recorder.rig.block();
    recorder.rig.clearSent();
    for (int i = 0; i < 6; ++i)
        recorder.rig.pulse();
    EXPECT_EQ(recorder.rig.sent(),
              (std::vector<int32_t>{noteOn(60), noteOn(62), noteOn(64), noteOn(65), noteOn(67)}));
}

TEST(Recording, NothingIsLostAcrossManyLoads) {
    Recorder recorder;
    std::vector<uint8_t> expected;
    for (int i = 0; i < 3000; ++i) {
        const int note = i % 128;
        recorder.rig.midi(noteOn(note, 1 + i % 127));
        expected.push_back(static_cast<uint8_t>(note));
        if (i % 97 == 0) {
            recorder.rig.set(PinReload, 1.0f);
            recorder.rig.block();
            recorder.rig.set(PinReload, 0.0f);
            ASSERT_EQ(rowState().rowLength, expected.size());
        }
    }
    recorder.rig.close();
    EXPECT_EQ(readBytes(recorder.file), expected);
}

// The instance is never closed: the notes waiting in the stream must reach the file anyway.
TEST(RecordingDeathTest, NotesReachTheFileWhenTheProgramEndsWithAnInstanceOpen) {
#if defined(_WIN32)
    GTEST_SKIP() << "wine starts the child process of a death test unreliably";
#endif
    const std::string file =
        (std::filesystem::temp_directory_path() / "kaveltrum-unclosed-take.brumo").string();
    std::remove(file.c_str());
    EXPECT_EXIT(
        {
            static LinkedKaveltrum* left =
                new LinkedKaveltrum; // still reachable at the end: no leak report
            left->outFile(file);
            left->set(PinRec, 1.0f);
            left->block();
            left->midi(noteOn(60));
            left->midi(noteOn(64));
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(readBytes(file), (std::vector<uint8_t>{60, 64}));
    std::remove(file.c_str());
}

} // namespace
