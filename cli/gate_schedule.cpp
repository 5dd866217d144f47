#include "gate_schedule.h"

#include <algorithm>
#include <cmath>

GateSchedule::GateSchedule(double period, long gates, int32_t blockSize)
    : period(period), length(period * static_cast<double>(gates)), blockSize(blockSize) {}

// A period of a fractional number of samples is kept as the double it is; fmod is exact, so the
// level at a sample is the same however the stretches are found.
bool GateSchedule::highAt(int64_t at) const {
    const double sample = static_cast<double>(at);
    return sample < length && std::fmod(sample, period) < period / 2.0;
}

// The next edge, the fall of this gate or the rise of the next, is found from the phase at `at`,
// off by far less than a thousandth of a sample. Only an edge that close to a block's start could
// be put in the wrong block; that one is settled against the level itself.
GateSchedule::Stretch GateSchedule::stretchAt(int64_t at) const {
    const double start = static_cast<double>(at);
    const double phase = std::fmod(start, period);
    const bool high = start < length && phase < period / 2.0; // highAt(at)
    // Blocks longer than half a gate may step over a whole gate: each one is looked at alone.
    if (start >= length || blockSize > period / 2.0)
        return {high, 1};
    const double toEdge = std::min(start - phase + (high ? period / 2.0 : period), length) - start;
    int64_t blocks = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(toEdge / blockSize)));
    if (std::abs(toEdge - std::round(toEdge / blockSize) * blockSize) > 1e-3)
        return {high, blocks};
    const auto levelAfter = [&](int64_t count) { return highAt(at + count * blockSize); };
    while (blocks > 1 && levelAfter(blocks - 1) != high)
        --blocks;
    while (levelAfter(blocks) == high && !over(at + blocks * blockSize))
        ++blocks;
    return {high, blocks};
}
