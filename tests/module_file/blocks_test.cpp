// Block sizes and sample rates: the module records and plays at every one a host may choose,
// and survives the ones no host should announce.
#include "support/instance.h"

#include <cmath>
#include <limits>
#include <random>

namespace {

std::vector<int32_t> blockSizes() {
    std::vector<int32_t> sizes = {1, 2, 17, 64, 1024, 4096, 16384};
    std::mt19937 random(0x4B56);
    std::uniform_int_distribution<int32_t> any(1, BlockCapacity);
    for (int n = 0; n < 8; ++n)
        sizes.push_back(any(random));
    return sizes;
}

const float sampleRates[] = {1000.0f,   4000.0f,   8000.0f,  11025.0f, 22050.0f,
                             44100.0f,  48000.0f,  88200.0f, 96000.0f, 176400.0f,
                             192000.0f, 384000.0f, 768000.0f};

// Records three notes, loads them and plays them back, all at one block size and rate.
TEST(ValidatorBlocks, RecordAndPlayAtEveryBlockSizeAndSampleRate) {
    Scratch scratch;
    int run = 0;
    for (int32_t size : blockSizes()) {
        for (float rate : sampleRates) {
            SCOPED_TRACE("block size " + std::to_string(size) + ", sample rate " +
                         std::to_string(rate));
            ++run;
            const std::string row = scratch.file("row-" + std::to_string(run) + ".brumo");
            const std::vector<int> notes = {run % 128, (run * 7 + 3) % 128, (run * 13 + 5) % 128};
            LoadedKaveltrum hosted(told(rate, size));
            hosted.param(LoopIt, 0);
            hosted.outFile(row);
            hosted.set(Rec, 1.0f);
            hosted.block();
            for (int note : notes)
                hosted.midi(noteOn(note, 90));
            hosted.set(Rec, 0.0f);
            hosted.reload();
            hosted.set(Play, 1.0f);
            hosted.block(); // GATE low: armed
            for (int i = 0; i < 4; ++i)
                hosted.pulse();
            EXPECT_EQ(hosted.played(), notes);
            hosted.close();
            const std::vector<uint8_t> file = readBytes(row);
            EXPECT_EQ(std::vector<int>(file.begin(), file.end()), notes);
        }
    }
}

// The host may change both while the row plays; the row goes on note by note.
TEST(ValidatorBlocks, SizeAndRateChangedWhilePlaying) {
    Scratch scratch;
    const std::string row = scratch.file("row.brumo");
    std::vector<uint8_t> bytes;
    bytes.reserve(120);
    for (int i = 0; i < 120; ++i)
        bytes.push_back(static_cast<uint8_t>(i));
    writeBytes(row, bytes);
    LoadedKaveltrum hosted(told());
    hosted.outFile(row);
    hosted.set(Play, 1.0f);
    hosted.block();
    std::vector<int> expected;
    size_t next = 0;
    for (int32_t size : blockSizes())
        for (float rate : {sampleRates[next % 13], 1000.0f, 768000.0f}) {
            ASSERT_TRUE(hosted.host.setBlockSize(size).ok());
            ASSERT_TRUE(hosted.host.setSampleRate(rate).ok());
            hosted.pulse();
            expected.push_back(static_cast<int>(next++ % bytes.size()));
        }
    EXPECT_EQ(hosted.played(), expected);
}

struct Announcement {
    const char* name;
    int32_t blockSize;
    float sampleRate;
    int32_t frames; // samples per sub-process call
};

// Announcements no host should make. The module stores them; an odd sample rate changes nothing,
// but with a block size of 0 or less no start position lies inside a block, so every input reads
// as low: nothing is recorded or played, and no sample is read.
TEST(ValidatorBlocks, OddBlockSizesAndRatesAnnounced) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Announcement table[] = {
        {"block size 0", 0, 44100.0f, 0},
        {"block size 0, rate 0", 0, 0.0f, 0},
        {"block size -1", -1, 44100.0f, 0},
        {"smallest block size", std::numeric_limits<int32_t>::min(), 44100.0f, 1},
        {"largest block size", std::numeric_limits<int32_t>::max(), 44100.0f, 64},
        {"rate NaN", 64, nan, 64},
        {"rate +Inf", 64, inf, 64},
        {"rate -Inf", 64, -inf, 64},
        {"rate -44100", 64, -44100.0f, 64},
        {"rate 1e-30", 64, 1e-30f, 64},
        {"rate 3e38", 64, 3e38f, 64},
    };
    Scratch scratch;
    for (const Announcement& odd : table) {
        SCOPED_TRACE(odd.name);
        const std::string row = scratch.file(std::string(odd.name) + ".brumo");
        LoadedKaveltrum raw(unopened());
        raw.frames = odd.frames;
        // before open, and again after
        raw.dispatch(OpSetBlockSize, 0, odd.blockSize);
        raw.dispatch(OpSetSampleRate, 0, 0, nullptr, odd.sampleRate);
        raw.open();
        raw.dispatch(OpSetBlockSize, 0, odd.blockSize);
        raw.dispatch(OpSetSampleRate, 0, 0, nullptr, odd.sampleRate);
        raw.param(LoopIt, 0);
        raw.outFile(row);
        raw.set(Rec, 1.0f);
        raw.block();
        for (int note : {48, 50, 52})
            raw.midi(noteOn(note));
        raw.set(Rec, 0.0f);
        raw.reload();
        raw.set(Play, 1.0f);
        raw.block();
        for (int i = 0; i < 4; ++i)
            raw.pulse();
        const std::vector<int> notes =
            odd.blockSize > 0 ? std::vector<int>({48, 50, 52}) : std::vector<int>();
        EXPECT_EQ(raw.played(), notes);
        raw.close();
        EXPECT_EQ(readBytes(row), std::vector<uint8_t>(notes.begin(), notes.end()));
    }
}

// Only the sample at the block's start position counts; the rest of the block is never read as
// the input's level.
TEST(ValidatorBlocks, InputsAreReadAtTheBlockStartOnly) {
    Scratch scratch;
    const std::string row = scratch.file("row.brumo");
    writeBytes(row, {60, 62, 64, 65, 67, 69, 71, 72});
    LoadedKaveltrum raw(unopened());
    raw.open();
    raw.outFile(row);
    raw.set(Play, 1.0f);
    raw.block();
    for (int32_t start : {0, 1, 31, 62, 63}) {
        SCOPED_TRACE("start " + std::to_string(start));
        const size_t before = raw.sent().size();
        raw.set(Gate, 1.0f);
        raw.input(Gate)[start] = 0.0f; // low exactly where the block starts
        raw.block(start);
        EXPECT_EQ(raw.sent().size(), before);
        raw.set(Gate, 0.0f);
        raw.input(Gate)[start] = 1.0f; // high exactly there
        raw.block(start);
        EXPECT_EQ(raw.sent().size(), before + 1);
        raw.set(Gate, 0.0f);
        raw.block(start);
    }
}

// The host's blocks are as long as it said with opcode 3. A start position outside them reads
// every input as low and no sample, however far out it lies: GATE and REC, high in every sample
// the host has, neither play nor record.
TEST(ValidatorBlocks, StartPositionsOutsideTheBlockReadNothing) {
    Scratch scratch;
    const std::string row = scratch.file("row.brumo");
    writeBytes(row, {60, 62, 64});
    LoadedKaveltrum raw(unopened());
    raw.open();
    raw.dispatch(OpSetBlockSize, 0, 64);
    raw.outFile(row);
    raw.set(Play, 1.0f);
    raw.block(); // GATE low arms the player
    raw.set(Gate, 1.0f);
    raw.set(Rec, 1.0f);
    const int32_t outside[] = {64, 65, 1000, BlockCapacity - 1, 100000, INT32_MAX, -1, INT32_MIN};
    for (int32_t start : outside) {
        SCOPED_TRACE("start " + std::to_string(start));
        raw.block(start);
        raw.midi(noteOn(70));
        EXPECT_TRUE(raw.sent().empty());
    }
    raw.block(63); // the block's last sample
    EXPECT_EQ(raw.played(), std::vector<int>({60}));
    raw.close();
    EXPECT_EQ(readBytes(row), std::vector<uint8_t>({60, 62, 64}));
}

} // namespace
