// How a period is cut into the module's blocks.
#pragma once

#include <algorithm>
#include <cstdint>

// One call of the module's block routine: `length` samples from `offset` within a block of
// `blockLength`, which is what the module is told the block size is.
struct Stretch {
    uint32_t at;          // frames into the period
    uint32_t offset;      // into its block: the start position the module is given
    uint32_t length;      // samples
    uint32_t blockLength; // of the block it lies in
};

// Blocks keep to a grid of `blockSize` from the period's start, so the last one is shorter
// where the period is not a multiple of it. A block is cut in two at an edge given for it (where
// the internal clock moves GATE): the second stretch starts at the edge's position within the
// same block, so the block size the module knows stays the grid's. The grid is walked, never
// divided: this runs for every block on the audio thread.
class PeriodSplit {
  public:
    PeriodSplit(uint32_t frames, uint32_t blockSize)
        : frames(frames), blockSize(blockSize), gridEnd(std::min(blockSize, frames)) {}

    [[nodiscard]] bool done() const { return at >= frames; }
    [[nodiscard]] uint32_t start() const { return at; } // of the next stretch, into the period

    // The next stretch, which ends at the grid or at `edge` (frames into the period) if that
    // lies inside it; the split moves past it.
    Stretch next(int64_t edge) {
        uint32_t end = gridEnd;
        if (edge > static_cast<int64_t>(at) && edge < static_cast<int64_t>(end))
            end = static_cast<uint32_t>(edge);
        const Stretch stretch{at, at - gridStart, end - at, gridEnd - gridStart};
        at = end;
        if (at == gridEnd) {
            gridStart = gridEnd;
            gridEnd = frames - gridEnd > blockSize ? gridEnd + blockSize : frames;
        }
        return stretch;
    }

  private:
    uint32_t frames, blockSize;
    uint32_t at = 0;
    uint32_t gridStart = 0, gridEnd;
};
