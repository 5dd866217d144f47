// The records as raw little-endian words, read the way a host reads them.
#include "support/table_module.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Layout, PackedMidiWords) {
    EXPECT_EQ(packMidi(0x90, 60, 100), 0x643C90);
    EXPECT_EQ(packMidi(0x80, 60, 100), 0x643C80);
    EXPECT_EQ(midiStatus(0x643C93), 0x93);
    EXPECT_EQ(midiData1(0x643C93), 60);
    EXPECT_EQ(midiData2(0x643C93), 100);
}

#if INTPTR_MAX == INT32_MAX
uint32_t wordAt(const void* base, size_t offset) {
    uint32_t word;
    std::memcpy(&word, static_cast<const char*>(base) + offset, sizeof word);
    return word;
}

uint32_t address(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

TEST(Layout, PluginRecordWordsAtTheirOffsets) {
    // Only the words are read: the handle need not be a host's.
    auto* module = new TableModule(nullptr, 0x12345678);
    const PluginRecord* record = module->pluginRecord();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(record);
    EXPECT_EQ(bytes[0], 0x4C);
    EXPECT_EQ(bytes[1], 0x50);
    EXPECT_EQ(bytes[2], 0x45);
    EXPECT_EQ(bytes[3], 0x53);
    EXPECT_EQ(wordAt(record, 4), 1u);
    EXPECT_EQ(wordAt(record, 8), 0x12345678u);
    EXPECT_EQ(wordAt(record, 12), address(static_cast<SEModule_base*>(module)));
    EXPECT_EQ(wordAt(record, 16), 0u);
    EXPECT_EQ(wordAt(record, 20), address(reinterpret_cast<void*>(record->dispatcher)));
    EXPECT_EQ(wordAt(record, 24), address(reinterpret_cast<void*>(record->subProcess)));
    EXPECT_EQ(wordAt(record, 28), address(reinterpret_cast<void*>(record->event)));
    for (size_t offset = 32; offset < 48; offset += 4)
        EXPECT_EQ(wordAt(record, offset), 0u);
    module->dispatch(OpClose, 0, 0, nullptr, 0.0f);
}

TEST(Layout, HostEventAndSubProcessInfoWords) {
    unsigned char raw[20] = {};
    const uint32_t words[] = {7, EventMidi, 0x643C90};
    std::memcpy(raw, words, sizeof words);
    raw[12] = 0x34;
    raw[13] = 0x12;
    TableModule module(nullptr, 0);
    module.handleEvent(reinterpret_cast<HostEvent*>(raw));
    ASSERT_EQ(module.midi.size(), 1u);
    EXPECT_EQ(module.midi[0].timeDelta, 7);
    EXPECT_EQ(module.midi[0].message, 0x643C90);
    EXPECT_EQ(module.midi[0].extra, 0x1234);

    auto* info =
        reinterpret_cast<const void*>(module.dispatch(OpSubProcessInfo, 0, 0, nullptr, 0.0f));
    EXPECT_EQ(wordAt(info, 0), 1u);
    EXPECT_EQ(wordAt(info, 4), 16u);
    EXPECT_EQ(wordAt(info, 8), address(&module.subProcess));
    EXPECT_EQ(wordAt(info, 12), 0u);
}
#endif

} // namespace
