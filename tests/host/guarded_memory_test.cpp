// Guard pages: where a guarded buffer lies against its inaccessible page, and the driver that
// hands a module only guarded buffers.
#include "driver.h"
#include "guarded_memory.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(GuardedBuffer, EndsOrBeginsExactlyAtAPageThatIsNamedForReports) {
    for (const size_t bytes : {size_t(1), size_t(48), size_t(4096), size_t(4100), size_t(65536)}) {
        for (const GuardSide side : {GuardSide::After, GuardSide::Before}) {
            const auto buffer = GuardedBuffer::make(bytes, side, "the test buffer");
            ASSERT_TRUE(buffer);
            ASSERT_EQ(buffer->size(), bytes);
            const auto first = reinterpret_cast<uintptr_t>(buffer->data());
            std::vector<unsigned char> zeros(bytes, 0);
            EXPECT_EQ(std::memcmp(buffer->data(), zeros.data(), bytes), 0);
            std::memset(buffer->data(), 0x5A, bytes); // every byte is writable
            const uintptr_t outside = side == GuardSide::After ? first + bytes : first - 1;
            const uintptr_t inside = side == GuardSide::After ? first + bytes - 1 : first;
            GuardedPlace place{};
            ASSERT_TRUE(guardedAt(outside, place)) << bytes;
            EXPECT_STREQ(place.what, "the test buffer");
            EXPECT_EQ(place.side, side);
            EXPECT_FALSE(guardedAt(inside, place)) << bytes;
        }
    }
    uintptr_t gone = 0;
    {
        const auto buffer = GuardedBuffer::make(16, GuardSide::After, "a gone buffer");
        gone = reinterpret_cast<uintptr_t>(buffer->data()) + 16;
    }
    GuardedPlace place{};
    EXPECT_FALSE(guardedAt(gone, place));
    EXPECT_FALSE(GuardedBuffer::make(0, GuardSide::After, "nothing"));
}

// The sample blocks hold exactly the block size the start told, so longer blocks are refused,
// and the buffers are named by pin and size.
TEST(GuardedBuffer, TheDriverHandsOutBlocksOfTheBlockSize) {
    Result<ModuleFile> file = ModuleFile::load(testFile(KV_TEST_MODULE));
    ASSERT_TRUE(file.ok()) << file.error();
    MakeOptions options;
    options.guard = GuardSide::After;
    Result<std::unique_ptr<ModuleDriver>> made = ModuleDriver::make(*file, options);
    ASSERT_TRUE(made.ok()) << made.error();
    ModuleDriver& driver = **made;
    ASSERT_TRUE(driver.start({44100.0f, 100}).ok());
    EXPECT_EQ(driver.blockCapacity(), 100);
    int32_t samplePin = -1;
    for (size_t i = 0; i < driver.pins().size() && samplePin < 0; ++i)
        if (driver.pins()[i].datatype == DtSamples)
            samplePin = static_cast<int32_t>(i);
    ASSERT_GE(samplePin, 0);
    GuardedPlace place{};
    ASSERT_TRUE(guardedAt(reinterpret_cast<uintptr_t>(driver.block(samplePin) + 100), place));
    EXPECT_EQ(std::string(place.what), "the sample block of pin " + std::to_string(samplePin) +
                                           " (" + driver.pins()[samplePin].name +
                                           ") at block size 100");
    EXPECT_TRUE(driver.runBlock(0, 100).ok());
    EXPECT_FALSE(driver.runBlock(0, 101).ok());
    EXPECT_TRUE(driver.pinStatus(samplePin, 1).ok());
}

} // namespace
