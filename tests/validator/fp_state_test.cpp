// The words a changed floating-point state is reported in, and the state the check sets: each
// control field decoded from its own bits, the sticky flags never taken for a change.
#include "fp_state.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr FpState Usual{0x1F80, 0x037F};

TEST(FpState, NamesEachChangedControlField) {
    const struct {
        FpState before, after;
        const char* words;
    } changes[] = {
        {Usual, {0x9F80, 0x037F}, "flush-to-zero on (MXCSR 0x1F80 -> 0x9F80)"},
        {Usual, {0x1FC0, 0x037F}, "denormals-are-zero on (MXCSR 0x1F80 -> 0x1FC0)"},
        {Usual,
         {0x7F80, 0x037F},
         "SSE rounding to nearest -> toward zero (MXCSR 0x1F80 -> 0x7F80)"},
        {Usual, {0x1D80, 0x037F}, "SSE exceptions unmasked: divide-by-zero (were: none)"},
        {Usual,
         {0x1F80, 0x027F},
         "x87 precision 64 bits -> 53 bits (x87 control word 0x037F -> 0x027F)"},
        {Usual,
         {0x1F80, 0x077F},
         "x87 rounding to nearest -> down (x87 control word 0x037F -> 0x077F)"},
        {Usual, {0x1F80, 0x037E}, "x87 exceptions unmasked: invalid (were: none)"},
        {{0x1FC0, 0x037F},
         {0xDF80, 0x037F},
         "flush-to-zero on, denormals-are-zero off, SSE rounding to nearest -> up"},
    };
    for (const auto& change : changes) {
        const std::string words = fpChanges(change.before, change.after);
        EXPECT_NE(words.find(change.words), std::string::npos) << words;
        EXPECT_TRUE(change.before != change.after) << words;
    }
}

TEST(FpState, TheStickyFlagsAreNoChange) {
    const FpState flagged{0x1F80 | 0x3F, 0x037F};
    EXPECT_TRUE(flagged == Usual);
    EXPECT_EQ(fpChanges(Usual, flagged), "");
}

TEST(FpState, TheUnusualStateFlushesAndRoundsTowardZeroAndIsSetForAScope) {
    const FpState unusual = unusualFpState(Usual);
    EXPECT_EQ(unusual.mxcsr, 0xFF80u);
    EXPECT_EQ(unusual.x87, 0x0F7F);
    if (!canReadFpState())
        GTEST_SKIP() << "no floating-point state to read here";
    const FpState before = readFpState();
    {
        const FpStateScope scope(unusualFpState(before));
        EXPECT_TRUE(readFpState() == unusualFpState(before));
#if defined(__SSE_MATH__)
        volatile float tiny = 1e-30f;
        EXPECT_EQ(tiny * 1e-10f, 0.0f); // a denormal result flushed
#endif
    }
    EXPECT_TRUE(readFpState() == before);
}

} // namespace
