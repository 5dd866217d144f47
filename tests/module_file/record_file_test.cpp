// Record files as users leave them: missing, empty, huge, a folder, removed or cut short behind
// the module's back, or on a device where every write fails.
#include "support/instance.h"

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace {

namespace fs = std::filesystem;

struct Kind {
    const char* name;
    std::function<void(const std::string&)> make;
    std::vector<int> plays;         // what four GATE pulses play after the load
    std::vector<uint8_t> fileAtEnd; // after recording 50 and 51 and closing
    bool stillAFolder;
};

// Each kind is loaded through OUTFILE, played, recorded into and closed.
TEST(ValidatorRecordFile, MissingEmptyShortOrAFolder) {
    const Kind table[] = {
        {"missing", [](const std::string&) {}, {}, {50, 51}, false},
        {"empty", [](const std::string& path) { writeBytes(path, {}); }, {}, {50, 51}, false},
        {"three notes",
         [](const std::string& path) {
             writeBytes(path, {60, 62, 64});
         },
         {60, 62, 64},
         {60, 62, 64, 50, 51},
         false},
        {"a folder", [](const std::string& path) { fs::create_directories(path); }, {}, {}, true},
    };
    Scratch scratch;
    for (const Kind& kind : table) {
        SCOPED_TRACE(kind.name);
        const std::string row = scratch.file(std::string(kind.name) + ".brumo");
        kind.make(row);
        LoadedKaveltrum hosted(told());
        hosted.param(LoopIt, 0);
        hosted.outFile(row);
        hosted.set(Play, 1.0f);
        hosted.block();
        for (int i = 0; i < 4; ++i)
            hosted.pulse();
        EXPECT_EQ(hosted.played(), kind.plays);
        hosted.set(Rec, 1.0f);
        hosted.block();
        hosted.midi(noteOn(50));
        hosted.midi(noteOn(51));
        hosted.close();
        EXPECT_EQ(fs::is_directory(row), kind.stillAFolder);
        if (!kind.stillAFolder) {
            EXPECT_EQ(readBytes(row), kind.fileAtEnd);
        }
    }
}

// An empty row with the loop on and off, rewound, reloaded and gated: nothing to play, nothing
// breaks.
TEST(ValidatorRecordFile, EmptyRowUnderEveryControl) {
    Scratch scratch;
    const std::string row = scratch.file("empty.brumo");
    writeBytes(row, {});
    for (int32_t loop : {0, 1}) {
        LoadedKaveltrum hosted(told());
        hosted.param(LoopIt, loop);
        hosted.param(NextNoteOff, 3);
        hosted.outFile(row);
        for (Pin held : {Play, Return, Reload, Rec}) {
            hosted.set(held, 1.0f);
            for (int i = 0; i < 5; ++i)
                hosted.pulse();
        }
        EXPECT_TRUE(hosted.played().empty());
    }
    EXPECT_TRUE(readBytes(row).empty());
}

// A 50 MB row loads whole, reloads whole while RELOAD is held, and notes recorded on top of it
// land at its end.
TEST(ValidatorRecordFile, FiftyMegabytes) {
    Scratch scratch;
    const std::string row = scratch.file("large.brumo");
    constexpr size_t Size = size_t{50} * 1024 * 1024;
    std::vector<uint8_t> bytes(Size);
    for (size_t i = 0; i < Size; ++i)
        bytes[i] = static_cast<uint8_t>((i * 7 + i / 4096) % 128);
    writeBytes(row, bytes);

    LoadedKaveltrum hosted(told());
    hosted.outFile(row);
    hosted.set(Play, 1.0f);
    hosted.set(Rec, 1.0f);
    hosted.block();
    hosted.midi(noteOn(1));
    hosted.pulse();
    hosted.set(Reload, 1.0f);
    hosted.blocks(3); // three loads
    hosted.set(Reload, 0.0f);
    hosted.midi(noteOn(2));
    hosted.pulse();
    hosted.pulse();
    EXPECT_EQ(hosted.played(), std::vector<int>({bytes[0], bytes[1], bytes[2]}));
    hosted.close();
    bytes.clear();
    bytes.shrink_to_fit();

    std::error_code error;
    ASSERT_EQ(fs::file_size(row, error), Size + 2);
    std::ifstream in(row, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(Size));
    EXPECT_EQ(in.get(), 1);
    EXPECT_EQ(in.get(), 2);
}

// The user removes the record file between two loads, while the module holds it open or after
// its instance has closed: the next load finds nothing, starts a new file and records into it.
TEST(ValidatorRecordFile, RemovedBetweenTwoLoads) {
    Scratch scratch;
    for (bool held : {true, false}) {
        SCOPED_TRACE(held ? "removed while held open" : "removed after its instance closed");
        const std::string row = scratch.file(held ? "held.brumo" : "released.brumo");
        writeBytes(row, {60, 62, 64});
        auto hosted = std::make_unique<LoadedKaveltrum>(told());
        hosted->param(LoopIt, 0);
        hosted->outFile(row);
        hosted->set(Play, 1.0f);
        hosted->block();
        hosted->pulse();
        EXPECT_EQ(hosted->played(), std::vector<int>({60}));
        if (!held) {
            hosted->close();
            hosted = std::make_unique<LoadedKaveltrum>(
                told()); // the file's name is kept for the whole process
            hosted->param(LoopIt, 0);
            hosted->set(Play, 1.0f);
        }
        std::error_code error;
        if (!fs::remove(row, error)) {
            EXPECT_TRUE(held) << error.message();
            continue; // some systems keep an open file from being removed
        }
        const size_t removed = hosted->sent().size();
        hosted->reload();
        EXPECT_TRUE(exists(row)) << "a new, empty record file";
        hosted->pulse();
        hosted->set(Rec, 1.0f);
        hosted->block();
        hosted->midi(noteOn(70));
        hosted->midi(noteOn(71));
        hosted->set(Rec, 0.0f);
        hosted->reload();
        hosted->set(Return, 1.0f);
        hosted->block();
        hosted->set(Return, 0.0f);
        hosted->pulse();
        hosted->pulse();
        EXPECT_EQ(hosted->played(removed), std::vector<int>({70, 71}));
        hosted->close();
        EXPECT_EQ(readBytes(row), std::vector<uint8_t>({70, 71}));
    }
}

// Someone cuts the file short while the row plays: the row in memory plays on until the next load,
// which leaves the play position beyond the new end. Without the loop nothing plays until RETURN;
// with it the position wraps in the same block.
TEST(ValidatorRecordFile, ReplacedByAShorterFileWhilePlaying) {
    struct Case {
        int32_t loop;
        std::vector<int> afterLoad; // four pulses after the load
    };
    const Case table[] = {{0, {}}, {1, {60, 62, 64, 60}}};
    Scratch scratch;
    for (const Case& c : table) {
        SCOPED_TRACE("loopit " + std::to_string(c.loop));
        const std::string row = scratch.file("row" + std::to_string(c.loop) + ".brumo");
        writeBytes(row, {40, 41, 42, 43, 44, 45, 46, 47, 48, 49});
        LoadedKaveltrum hosted(told());
        hosted.param(LoopIt, c.loop);
        hosted.param(NextNoteOff, 2);
        hosted.outFile(row);
        hosted.set(Play, 1.0f);
        hosted.block();
        for (int i = 0; i < 7; ++i)
            hosted.pulse();
        writeBytes(row, {60, 62, 64});
        hosted.pulse();
        hosted.pulse();
        EXPECT_EQ(hosted.played(), std::vector<int>({40, 41, 42, 43, 44, 45, 46, 47, 48}));
        const size_t loaded = hosted.sent().size();
        hosted.reload();
        for (int i = 0; i < 4; ++i)
            hosted.pulse();
        EXPECT_EQ(hosted.played(loaded), c.afterLoad);
        const size_t rewound = hosted.sent().size();
        hosted.set(Return, 1.0f);
        hosted.block();
        hosted.set(Return, 0.0f);
        for (int i = 0; i < 3; ++i)
            hosted.pulse();
        EXPECT_EQ(hosted.played(rewound), std::vector<int>({60, 62, 64}));
    }
}

// Every write fails on /dev/full: the notes go nowhere, the module goes on, and a record file
// named afterwards gets exactly the notes recorded into it.
TEST(ValidatorRecordFile, WritesThatFail) {
#if defined(_WIN32)
    GTEST_SKIP() << "no device that fails every write";
#else
    if (!exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    Scratch scratch;
    LoadedKaveltrum hosted(told());
    hosted.outFile("/dev/full");
    hosted.set(Rec, 1.0f);
    hosted.set(Play, 1.0f);
    hosted.block();
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 5000; ++i)
            hosted.midi(noteOn(i % 128));
        hosted.pulse();
        hosted.reload();
    }
    const std::string row = scratch.file("after.brumo");
    hosted.outFile(row);
    hosted.block();
    for (int note : {10, 20, 30})
        hosted.midi(noteOn(note));
    hosted.close();
    EXPECT_EQ(readBytes(row), std::vector<uint8_t>({10, 20, 30}));
#endif
}

} // namespace
