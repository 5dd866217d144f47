// Instances of the loaded module file that share its process-wide state: many at once, opened,
// driven and closed in any order, and one opened twice.
#include "support/instance.h"

#include <algorithm>
#include <numeric>
#include <random>

namespace {

struct Orders {
    const char* name;
    unsigned seed; // 0: in order of making; 1: the reverse; otherwise shuffled with this seed
};

std::vector<int> orderOf(unsigned seed, unsigned salt) {
    std::vector<int> order(16);
    std::iota(order.begin(), order.end(), 0);
    if (seed == 1)
        std::reverse(order.begin(), order.end());
    else if (seed > 1)
        std::shuffle(order.begin(), order.end(), std::mt19937(seed * 31 + salt));
    return order;
}

// Sixteen instances share one row, one play position and one record file. Whatever order they are
// opened, driven and closed in, every GATE pulse through any of them plays the next note of the
// row, and every note that reaches any of them while recording is kept.
TEST(ValidatorLifecycle, SixteenInstancesOpenedDrivenAndClosedInAnyOrder) {
    const Orders table[] = {{"in order", 0},
                            {"reversed", 1},
                            {"shuffled a", 7},
                            {"shuffled b", 1234},
                            {"shuffled c", 99991}};
    Scratch scratch;
    for (const Orders& orders : table) {
        SCOPED_TRACE(orders.name);
        const std::vector<int> openOrder = orderOf(orders.seed, 1);
        const std::vector<int> driveOrder = orderOf(orders.seed, 2);
        const std::vector<int> closeOrder = orderOf(orders.seed, 3);
        const std::string row = scratch.file(std::string(orders.name) + ".brumo");
        std::vector<uint8_t> expectedFile;
        expectedFile.reserve(40);
        for (int i = 0; i < 40; ++i)
            expectedFile.push_back(static_cast<uint8_t>(30 + i));
        writeBytes(row, expectedFile);

        std::vector<std::unique_ptr<LoadedKaveltrum>> instances;
        instances.reserve(16);
        for (int i = 0; i < 16; ++i)
            instances.push_back(std::make_unique<LoadedKaveltrum>(unopened()));
        for (int i : openOrder)
            instances[i]->open();
        for (auto& instance : instances) {
            instance->param(NextNoteOff, 1);
            instance->set(Play, 1.0f);
        }
        LoadedKaveltrum& loader = *instances[driveOrder[0]];
        loader.outFile(row);
        loader.block(); // GATE low: armed

        std::vector<int> played;
        for (int k = 0; k < 32; ++k) {
            LoadedKaveltrum& driver = *instances[driveOrder[k % 16]];
            const size_t before = driver.sent().size();
            driver.pulse();
            ASSERT_EQ(driver.sent().size(), before + 2) << "pulse " << k;
            EXPECT_EQ(driver.sent()[before], noteOn(30 + k));
            EXPECT_EQ(driver.sent()[before + 1], noteOff(30 + k));
            played.push_back(midiData1(driver.sent()[before]));
        }

        // REC through one instance, notes through all of them, RELOAD through another.
        instances[driveOrder[1]]->set(Rec, 1.0f);
        instances[driveOrder[1]]->block();
        for (int k = 0; k < 64; ++k) {
            instances[driveOrder[k % 16]]->midi(noteOn(k, 64));
            expectedFile.push_back(static_cast<uint8_t>(k));
        }
        instances[driveOrder[1]]->set(Rec, 0.0f);
        instances[driveOrder[2]]->reload();
        EXPECT_EQ(readBytes(row), expectedFile);

        // Closing one after another leaves the row playing for the rest.
        int next = 32;
        for (size_t c = 0; c < closeOrder.size(); ++c) {
            instances[closeOrder[c]]->close();
            if (c + 1 == closeOrder.size())
                break;
            LoadedKaveltrum& survivor = *instances[closeOrder[c + 1]];
            const size_t before = survivor.sent().size();
            survivor.pulse();
            ASSERT_FALSE(survivor.sent().size() == before) << "after closing " << c + 1;
            EXPECT_EQ(survivor.sent()[before], noteOn(expectedFile[next++]));
        }
        EXPECT_EQ(readBytes(row), expectedFile);
    }
}

// A second open starts the instance over: fresh pins, the shared row silenced until the next
// load. Nothing of the first open may leak or keep working on freed pins.
TEST(ValidatorLifecycle, SecondOpenStartsOver) {
    Scratch scratch;
    const std::string row = scratch.file("row.brumo");
    writeBytes(row, {60, 62, 64});
    LoadedKaveltrum raw(unopened());
    raw.open();
    raw.param(LoopIt, 0);
    raw.outFile(row);
    raw.set(Play, 1.0f);
    raw.block();
    raw.pulse();
    EXPECT_EQ(raw.played(), std::vector<int>({60}));

    raw.open();
    raw.pulse();
    EXPECT_EQ(raw.played(), std::vector<int>({60})) << "the row is silent until a load";
    raw.reload();
    raw.pulse();
    raw.pulse();
    EXPECT_EQ(raw.played(), std::vector<int>({60, 60, 62}));

    // Pins rebuilt: OUTFILE, REC and MIDI In still work.
    const std::string other = scratch.file("other.brumo");
    raw.outFile(other);
    EXPECT_TRUE(exists(other));
    raw.set(Rec, 1.0f);
    raw.block();
    raw.midi(noteOn(70));
    for (int n = 0; n < 100; ++n)
        raw.open();
    raw.midi(noteOn(71));
    raw.close();
    EXPECT_EQ(readBytes(other), std::vector<uint8_t>({70, 71}));
}

} // namespace
