// When GATE is high while `play` runs: one gate every `period` samples, high for the first half of
// it, `gates` gates in all and low after them. The module reads GATE at the first sample of each
// block, so a block has the level of its first sample, and the run goes in stretches of blocks
// that share a level.
#pragma once

#include <cstdint>

class GateSchedule {
  public:
    GateSchedule(double period, long gates, int32_t blockSize);

    // The level at sample `at` of the run, counted from the first gate's rise.
    [[nodiscard]] bool highAt(int64_t at) const;

    // The run ends once a block past the last gate has been played.
    [[nodiscard]] bool over(int64_t at) const {
        return static_cast<double>(at) >= length + blockSize;
    }

    // Blocks that share a level: the one starting at `at` and the ones after it.
    struct Stretch {
        bool high;
        int64_t blocks; // at least one
    };
    [[nodiscard]] Stretch stretchAt(int64_t at) const;

  private:
    [[nodiscard]] double phaseAt(double sample) const;

    double period;
    double half;      // of a period: the gate's high part
    double perPeriod; // 1 / period
    double length;    // of all the gates, in samples
    int32_t blockSize;
    double perBlock; // 1 / blockSize
};
