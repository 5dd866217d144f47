// How a period is cut into the module's blocks.
#pragma once

#include <algorithm>
#include <cstdint>

// Blocks keep to a grid of `blockSize` from the period's start, so the last one is shorter
// where the period is not a multiple of it; a block also ends at an edge given for it (where the
// internal clock moves GATE) when that comes first. The grid is walked, never divided: this runs
// for every block on the audio thread.
class PeriodSplit {
  public:
    PeriodSplit(uint32_t frames, uint32_t blockSize)
        : frames(frames), blockSize(blockSize), gridEnd(std::min(blockSize, frames)) {}

    bool done() const { return at >= frames; }
    uint32_t start() const { return at; } // of the next block, in frames into the period

    // The length of the next block, which ends at the grid or at `edge` (frames into the
    // period) if that lies inside it; the split moves past the block.
    uint32_t next(int64_t edge) {
        uint32_t end = gridEnd;
        if (edge > static_cast<int64_t>(at) && edge < static_cast<int64_t>(end))
            end = static_cast<uint32_t>(edge);
        const uint32_t length = end - at;
        at = end;
        if (at == gridEnd)
            gridEnd = frames - gridEnd > blockSize ? gridEnd + blockSize : frames;
        return length;
    }

  private:
    uint32_t frames, blockSize;
    uint32_t at = 0;
    uint32_t gridEnd;
};
