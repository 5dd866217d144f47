#include "fp_state.h"

#include <cstdio>

namespace {

// MXCSR: bits 0-5 are the sticky exception flags, the rest control the arithmetic.
constexpr uint32_t MxcsrControl = 0xFFC0;
constexpr uint32_t MxcsrDenormalsAreZero = 1u << 6;
constexpr uint32_t MxcsrMasks = 0x3Fu << 7;
constexpr uint32_t MxcsrRounding = 3u << 13;
constexpr uint32_t MxcsrFlushToZero = 1u << 15;
// The x87 control word: exception masks (0-5), precision (8-9), rounding (10-11), infinity (12).
constexpr uint16_t X87Control = 0x1F3F;
constexpr uint16_t X87Masks = 0x3F;
constexpr uint16_t X87Precision = 3u << 8;
constexpr uint16_t X87Rounding = 3u << 10;

const char* const roundings[] = {"to nearest", "down", "up", "toward zero"};
const char* const precisions[] = {"24 bits", "reserved", "53 bits", "64 bits"};
const char* const exceptions[] = {"invalid",  "denormal",  "divide-by-zero",
                                  "overflow", "underflow", "precision"};

std::string hexWord(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// "invalid, overflow" for the exceptions whose bits are set in `bits` (0-5).
std::string exceptionNames(uint32_t bits) {
    std::string names;
    for (int i = 0; i < 6; ++i)
        if (bits & (1u << i))
            names += (names.empty() ? "" : ", ") + std::string(exceptions[i]);
    return names.empty() ? "none" : names;
}

void add(std::string& to, const std::string& change) {
    to += (to.empty() ? "" : ", ") + change;
}

std::string sseChanges(uint32_t before, uint32_t after) {
    std::string changes;
    const uint32_t differ = (before ^ after) & MxcsrControl;
    if (differ & MxcsrFlushToZero)
        add(changes, std::string("flush-to-zero ") + (after & MxcsrFlushToZero ? "on" : "off"));
    if (differ & MxcsrDenormalsAreZero)
        add(changes,
            std::string("denormals-are-zero ") + (after & MxcsrDenormalsAreZero ? "on" : "off"));
    if (differ & MxcsrRounding)
        add(changes, std::string("SSE rounding ") + roundings[(before & MxcsrRounding) >> 13] +
                         " -> " + roundings[(after & MxcsrRounding) >> 13]);
    if (differ & MxcsrMasks)
        add(changes, "SSE exceptions unmasked: " + exceptionNames(~after >> 7 & 0x3F) +
                         " (were: " + exceptionNames(~before >> 7 & 0x3F) + ")");
    return changes;
}

std::string x87Changes(uint16_t before, uint16_t after) {
    std::string changes;
    const uint16_t differ = static_cast<uint16_t>((before ^ after) & X87Control);
    if (differ & X87Precision)
        add(changes, std::string("x87 precision ") + precisions[(before & X87Precision) >> 8] +
                         " -> " + precisions[(after & X87Precision) >> 8]);
    if (differ & X87Rounding)
        add(changes, std::string("x87 rounding ") + roundings[(before & X87Rounding) >> 10] +
                         " -> " + roundings[(after & X87Rounding) >> 10]);
    if (differ & X87Masks)
        add(changes, "x87 exceptions unmasked: " + exceptionNames(~after & 0x3Fu) +
                         " (were: " + exceptionNames(~before & 0x3Fu) + ")");
    if (differ & ~(X87Precision | X87Rounding | X87Masks))
        add(changes, "x87 infinity control");
    return changes;
}

} // namespace

bool FpState::operator==(const FpState& other) const {
    return (mxcsr & MxcsrControl) == (other.mxcsr & MxcsrControl) &&
           (x87 & X87Control) == (other.x87 & X87Control);
}

#if defined(__i386__) || defined(__x86_64__)

bool canReadFpState() {
    return true;
}

FpState readFpState() {
    FpState state;
    __asm__ volatile("stmxcsr %0" : "=m"(state.mxcsr));
    __asm__ volatile("fnstcw %0" : "=m"(state.x87));
    return state;
}

void writeFpState(const FpState& state) {
    // The flags are cleared with the control bits written, so that no exception is pending.
    const uint32_t mxcsr = state.mxcsr & MxcsrControl;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(state.x87));
}

#else

bool canReadFpState() {
    return false;
}
FpState readFpState() {
    return {};
}
void writeFpState(const FpState&) {}

#endif

FpState unusualFpState(const FpState& from) {
    FpState state = from;
    state.mxcsr = (state.mxcsr & ~MxcsrRounding) | MxcsrFlushToZero | MxcsrRounding;
    state.x87 = static_cast<uint16_t>(state.x87 | X87Rounding);
    return state;
}

std::string fpChanges(const FpState& before, const FpState& after) {
    std::string changes;
    if ((before.mxcsr ^ after.mxcsr) & MxcsrControl)
        add(changes, sseChanges(before.mxcsr, after.mxcsr) + " (MXCSR " +
                         hexWord(before.mxcsr & MxcsrControl, 4) + " -> " +
                         hexWord(after.mxcsr & MxcsrControl, 4) + ")");
    if ((before.x87 ^ after.x87) & X87Control)
        add(changes, x87Changes(before.x87, after.x87) + " (x87 control word " +
                         hexWord(before.x87, 4) + " -> " + hexWord(after.x87, 4) + ")");
    return changes;
}
