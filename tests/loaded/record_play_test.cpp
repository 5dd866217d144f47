// Recording, reloading and replaying through the loaded module file, end to end.
#include "loaded_module.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path path = fs::temp_directory_path() /
                    ("kaveltrum-loaded-" +
                     std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    Folder() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string file(const char* name) const { return (path / name).string(); }
};

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<int32_t> messages(const HostInstance& instance) {
    std::vector<int32_t> sent;
    for (const ModuleMidi& m : instance.sentMidi()) {
        EXPECT_EQ(m.pin, 13);
        sent.push_back(m.message);
    }
    return sent;
}

void pulse(HostInstance& instance) {
    ok(instance.setLevel("GATE", 1.0f));
    ok(instance.runBlocks(1));
    ok(instance.setLevel("GATE", 0.0f));
    ok(instance.runBlocks(1));
}

TEST(EndToEnd, RecordReloadAndReplay) {
    Folder folder;
    const std::string row = folder.file("take.brumo");
    const ModuleFile file = loadKaveltrum();
    auto instance = openKaveltrum(file);
    ok(instance->setParameter("on D: DIAGNOSE.TXT", 0));
    ok(instance->setParameter("loopit", 0));
    ok(instance->setParameter("next noteoff", 1));
    ok(instance->setText("OUTFILE", row));
    EXPECT_TRUE(fs::exists(row)); // created empty by the load

    ok(instance->setLevel("REC", 1.0f));
    ok(instance->runBlocks(1));
    for (int note : {60, 64, 67})
        ok(instance->sendMidi(packMidi(0x90, note, 90)));
    ok(instance->sendMidi(packMidi(0x80, 60, 0)));
    ok(instance->setLevel("REC", 0.0f));
    ok(instance->setLevel("RELOAD", 1.0f));
    ok(instance->runBlocks(1));
    ok(instance->setLevel("RELOAD", 0.0f));
    EXPECT_EQ(bytesOf(row), (std::vector<uint8_t>{60, 64, 67}));

    ok(instance->setLevel("PLAY", 1.0f));
    ok(instance->runBlocks(1));
    for (int i = 0; i < 4; ++i)
        pulse(*instance);
    EXPECT_EQ(messages(*instance),
              (std::vector<int32_t>{packMidi(0x90, 60, 100), packMidi(0x80, 60, 100),
                                    packMidi(0x90, 64, 100), packMidi(0x80, 64, 100),
                                    packMidi(0x90, 67, 100), packMidi(0x80, 67, 100)}));
}

TEST(EndToEnd, ClosingKeepsWhatWasRecorded) {
    Folder folder;
    const std::string row = folder.file("kept.brumo");
    const ModuleFile file = loadKaveltrum();
    {
        auto instance = openKaveltrum(file);
        ok(instance->setParameter("on D: DIAGNOSE.TXT", 0));
        ok(instance->setText("OUTFILE", row));
        ok(instance->setLevel("REC", 1.0f));
        ok(instance->runBlocks(1));
        for (int i = 0; i < 500; ++i)
            ok(instance->sendMidi(packMidi(0x90 | (i % 16), i % 128, 1 + i % 127)));
        ok(instance->close());
    }
    const std::vector<uint8_t> recorded = bytesOf(row);
    ASSERT_EQ(recorded.size(), 500u);
    for (size_t i = 0; i < recorded.size(); ++i)
        ASSERT_EQ(recorded[i], i % 128);

    auto player = openKaveltrum(file);
    ok(player->setParameter("on D: DIAGNOSE.TXT", 0));
    ok(player->setText("OUTFILE", row));
    ok(player->setLevel("PLAY", 1.0f));
    ok(player->runBlocks(1));
    pulse(*player);
    pulse(*player);
    EXPECT_EQ(messages(*player),
              (std::vector<int32_t>{packMidi(0x90, 0, 100), packMidi(0x90, 1, 100)}));
}

TEST(EndToEnd, TwoInstancesShareOneRow) {
    Folder folder;
    const std::string row = folder.file("shared.brumo");
    {
        std::ofstream out(row, std::ios::binary);
        out.write("\x3c\x3e\x40", 3);
    }
    const ModuleFile file = loadKaveltrum();
    auto first = openKaveltrum(file);
    auto second = openKaveltrum(file);
    for (auto* instance : {first.get(), second.get()}) {
        ok(instance->setParameter("on D: DIAGNOSE.TXT", 0));
        ok(instance->setLevel("PLAY", 1.0f));
    }
    ok(first->setText("OUTFILE", row));
    ok(first->runBlocks(1));
    pulse(*first);
    pulse(*second); // the second instance plays on from the shared position
    EXPECT_EQ(messages(*first), std::vector<int32_t>{packMidi(0x90, 60, 100)});
    EXPECT_EQ(messages(*second), std::vector<int32_t>{packMidi(0x90, 62, 100)});
}

} // namespace
