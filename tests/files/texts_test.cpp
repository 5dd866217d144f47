#include "texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

// A text of exactly `bytes` in memory of its own, so that a read past its end is caught by the
// sanitizers.
std::unique_ptr<char[]> exactly(const std::string& bytes) {
    auto memory = std::make_unique<char[]>(bytes.size());
    std::memcpy(memory.get(), bytes.data(), bytes.size());
    return memory;
}

TEST(BoundedText, StopsAtTheTerminatorOrTheBound) {
    using namespace std::string_literals;
    const struct {
        std::string memory; // every byte the text has, its terminator included if any
        size_t bound;
        size_t length;
        std::string text;
    } cases[] = {
        {"\0"s, 8, 0, ""},           {"abc\0"s, 8, 3, "abc"},
        {"abc\0"s, 4, 3, "abc"},     // the terminator is the last byte within the bound
        {"abc\0"s, 3, 3, "abc"},     // the bound comes first: not terminated within it
        {"abcdef"s, 6, 6, "abcdef"}, // no terminator at all: nothing past the bound is read
        {"abcdef"s, 2, 2, "ab"},     {"ab\0cd\0"s, 6, 2, "ab"},
        {"abc"s, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.memory) + " within " + std::to_string(c.bound));
        const auto text = exactly(c.memory);
        EXPECT_EQ(boundedLength(text.get(), c.bound), c.length);
        EXPECT_EQ(boundedText(text.get(), c.bound), c.text);
    }
}

TEST(BoundedText, ANullTextIsEmpty) {
    EXPECT_EQ(boundedLength(nullptr, 16), 0u);
    EXPECT_EQ(boundedText(nullptr, 16), "");
}

TEST(ShortNumber, WritesSixDigitsAtMostAndNoTrailingZeros) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {44100.0, "44100"},   {0.5, "0.5"},       {97.5, "97.5"},
        {-3.0, "-3"},         {0.0, "0"},         {1234567.0, "1.23457e+06"},
        {1e-40, "1e-40"},     {0.0001, "0.0001"}, {1.0 / 3.0, "0.333333"},
        {768000.0, "768000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shortNumber(c.value), c.text) << c.value;
}

} // namespace
