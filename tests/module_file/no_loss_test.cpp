// Nothing recorded is lost: every NOTE_ON accepted while recording is in the record file, in the
// order it arrived, after the next load and after the instance closes, however many notes come
// between loads and however the load or the close comes about.
#include "support/instance.h"

#include <algorithm>
#include <iterator>
#include <memory>

namespace {

// Messages that are not NOTE_ONs and must not be recorded.
const int32_t notNotes[] = {noteOff(60),           packMidi(0xB0, 7, 100),
                            packMidi(0xC3, 5, 0),  packMidi(0xE0, 0, 64),
                            packMidi(0xF8, 0, 0),  packMidi(0xA0, 60, 30),
                            packMidi(0xD5, 40, 0), packMidi(0xF0, 0x7E, 0x7F)};

// The i-th note of a test: any channel, velocity 1 to 127.
int32_t nthNote(int i) {
    const int note = (i * 37 + i / 128) % 128;
    return packMidi(MidiNoteOn | (i % 16), note, 1 + (i * 5) % 127);
}

// Sends `count` notes with something else after every third; returns their note numbers.
void record(LoadedKaveltrum& via, int count, int& next, std::vector<uint8_t>& expected) {
    for (int n = 0; n < count; ++n, ++next) {
        via.midi(nthNote(next));
        expected.push_back(static_cast<uint8_t>(midiData1(nthNote(next))));
        if (next % 3 == 0)
            via.midi(notNotes[next % std::size(notNotes)]);
    }
}

// Rounds of notes around the recorder's buffer sizes, each ended by a load: a block with RELOAD
// high, OUTFILE announced again, or RELOAD held high with a load between every 1000 notes. At the
// end the whole row plays back note for note.
TEST(ValidatorNoLoss, ThousandsOfNotesAcrossManyLoads) {
    Scratch scratch;
    const std::string row = scratch.file("row.brumo");
    const int counts[] = {1, 2, 100, 4095, 4096, 4097, 1, 8191, 8192, 8193, 3000, 12289, 7, 0, 5};
    std::vector<uint8_t> expected;
    int next = 0;
    {
        LoadedKaveltrum hosted(told());
        hosted.outFile(row);
        hosted.set(Rec, 1.0f);
        hosted.block();
        int round = 0;
        for (int count : counts) {
            SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(count) +
                         " notes");
            switch (round++ % 3) {
            case 0:
                record(hosted, count, next, expected);
                hosted.reload();
                break;
            case 1:
                record(hosted, count, next, expected);
                hosted.outFile(row);
                hosted.block(); // recording again from the next block on
                break;
            default:
                hosted.set(Reload, 1.0f);
                for (int left = count; left > 0; left -= 1000) {
                    record(hosted, std::min(left, 1000), next, expected);
                    hosted.block();
                }
                hosted.set(Reload, 0.0f);
                break;
            }
            ASSERT_EQ(readBytes(row), expected);
        }
        record(hosted, 2500, next, expected);
    } // closed
    ASSERT_EQ(readBytes(row), expected);

    LoadedKaveltrum player(told());
    player.param(LoopIt, 0);
    player.outFile(row);
    player.set(Play, 1.0f);
    player.block();
    for (size_t i = 0; i < expected.size() + 1; ++i)
        player.pulse();
    EXPECT_EQ(player.played(), std::vector<int>(expected.begin(), expected.end()));
}

// Closing right after recording keeps every note, whether the notes fill the recorder's buffer
// exactly, by one more or less, or many times over.
TEST(ValidatorNoLoss, ClosingKeepsEveryNote) {
    Scratch scratch;
    int next = 0;
    for (int count : {1, 4095, 4096, 4097, 8192, 20000}) {
        SCOPED_TRACE(std::to_string(count) + " notes");
        const std::string row = scratch.file("row" + std::to_string(count) + ".brumo");
        std::vector<uint8_t> expected;
        LoadedKaveltrum hosted(told());
        hosted.outFile(row);
        hosted.set(Rec, 1.0f);
        hosted.block();
        record(hosted, count, next, expected);
        hosted.close();
        EXPECT_EQ(readBytes(row), expected);
    }
}

// Two instances share the record file. Notes arrive through either; loads come through either,
// by RELOAD or by OUTFILE; now and then one of them closes, which closes the shared file, and a
// new one takes its place and loads the file again. A note that arrives while the file is closed
// is not accepted and is not recorded.
TEST(ValidatorNoLoss, AcrossInstancesClosingAndReplacingEachOther) {
    Scratch scratch;
    const std::string row = scratch.file("row.brumo");
    std::vector<uint8_t> expected;
    int next = 0;
    auto fresh = [&row](bool load) {
        auto made = std::make_unique<LoadedKaveltrum>(told());
        made->set(Rec, 1.0f);
        if (load) {
            made->outFile(row);
            made->block();
        }
        return made;
    };
    std::unique_ptr<LoadedKaveltrum> pair[2] = {fresh(true), fresh(false)};
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        LoadedKaveltrum& via = *pair[round % 2];
        LoadedKaveltrum& other = *pair[1 - round % 2];
        record(via, 50 + round * 97 % 700, next, expected);
        switch (round % 4) {
        case 0:
            via.reload();
            break;
        case 1:
            other.outFile(row);
            other.block();
            break;
        default: {
            const int gone = round % 4 == 2 ? 0 : 1;
            pair[gone]->close();
            EXPECT_EQ(readBytes(row), expected);
            pair[1 - gone]->midi(noteOn(99)); // the file is closed: not accepted
            pair[gone] = fresh(true);
            break;
        }
        }
        ASSERT_EQ(readBytes(row), expected);
    }
    pair[0]->close();
    pair[1]->close();
    EXPECT_EQ(readBytes(row), expected);
}

} // namespace
