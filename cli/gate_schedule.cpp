#include "gate_schedule.h"

#include <algorithm>
#include <cmath>

namespace {

// How far a phase found by multiplication may lie from the exact one, in samples, with room to
// spare: its error is about the spacing of doubles near the sample, 2^-12 up to ExactUpTo.
constexpr double Margin = 1e-3;
constexpr double ExactUpTo = 0x1p40; // samples: 290 days at 44100 Hz

} // namespace

GateSchedule::GateSchedule(double period, long gates, int32_t blockSize)
    : period(period), half(period / 2.0), perPeriod(1.0 / period),
      length(period * static_cast<double>(gates)), blockSize(blockSize), perBlock(1.0 / blockSize) {
}

// A period of a fractional number of samples is kept as the double it is and fmod is exact, so
// the level at a sample is the same however the stretches are found. fmod is also slow, a third
// of what `play` spends outside the module: a multiplication by the reciprocal finds the phase
// to within Margin, which decides the level everywhere but that close to an edge, where fmod
// settles it.
double GateSchedule::phaseAt(double sample) const {
    if (sample < ExactUpTo) {
        const auto gates = static_cast<double>(static_cast<int64_t>(sample * perPeriod));
        const double phase = sample - gates * period;
        if (phase > Margin && std::abs(phase - half) > Margin && phase < period - Margin)
            return phase;
    }
    return std::fmod(sample, period);
}

bool GateSchedule::highAt(int64_t at) const {
    const double sample = static_cast<double>(at);
    return sample < length && phaseAt(sample) < half;
}

// The next edge, the fall of this gate or the rise of the next, is found from the phase at `at`,
// off by far less than a thousandth of a sample. Only an edge that close to a block's start could
// be put in the wrong block; that one is settled against the level itself.
GateSchedule::Stretch GateSchedule::stretchAt(int64_t at) const {
    const double start = static_cast<double>(at);
    const double phase = phaseAt(start);
    const bool high = start < length && phase < half; // highAt(at)
    // Blocks longer than half a gate may step over a whole gate: each one is looked at alone.
    if (start >= length || blockSize > half)
        return {high, 1};
    const double toEdge = std::min(start - phase + (high ? half : period), length) - start;
    const double inBlocks = toEdge * perBlock;
    const auto whole = std::max<int64_t>(0, static_cast<int64_t>(inBlocks));
    const double rest = toEdge - static_cast<double>(whole) * blockSize; // past the whole blocks
    int64_t blocks = std::max<int64_t>(1, whole + (rest > 0 ? 1 : 0));
    if (rest > Margin && rest < blockSize - Margin)
        return {high, blocks};
    const auto levelAfter = [&](int64_t count) { return highAt(at + count * blockSize); };
    while (blocks > 1 && levelAfter(blocks - 1) != high)
        --blocks;
    while (levelAfter(blocks) == high && !over(at + blocks * blockSize))
        ++blocks;
    return {high, blocks};
}
