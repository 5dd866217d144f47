// How a period is cut into the module's blocks.
#pragma once

#include <algorithm>
#include <cstdint>

// The length of the block that starts `at` frames into a period of `frames`. Blocks keep to a
// grid of `blockSize` from the period's start, so the last one is shorter where the period is
// not a multiple of it; a block also ends at `edge` (frames into the period) when that comes
// first, which is where the internal clock moves GATE. At least one frame.
inline uint32_t blockLength(uint32_t at, uint32_t frames, uint32_t blockSize, int64_t edge) {
    const uint32_t gridEnd = std::min<uint32_t>((at / blockSize + 1) * blockSize, frames);
    const int64_t end =
        edge > static_cast<int64_t>(at) ? std::min<int64_t>(edge, gridEnd) : gridEnd;
    return static_cast<uint32_t>(std::max<int64_t>(end - at, 1));
}
