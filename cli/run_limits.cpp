#include "run_limits.h"

#include <cmath>
#include <cstdio>

double sixteenthSeconds(double bpm) {
    return 60.0 / bpm / 4.0;
}

std::string lengthInTime(double seconds) {
    char text[64];
    if (seconds < 60.0) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
        return text;
    }
    const double whole = std::floor(seconds);
    const double hours = std::floor(whole / 3600.0);
    const int minutes = static_cast<int>(std::fmod(whole, 3600.0) / 60.0);
    const int rest = static_cast<int>(std::fmod(whole, 60.0));
    if (hours < 1.0)
        std::snprintf(text, sizeof text, "%d min %d s", minutes, rest);
    else
        std::snprintf(text, sizeof text, "%.0f h %d min %d s", hours, minutes, rest);
    return text;
}

Status checkBlockCount(double seconds, double rate, long blockSize) {
    const double blocks = std::ceil(seconds * rate / static_cast<double>(blockSize));
    if (blocks <= MostBlocks)
        return {};
    return Failure{"the run of " + lengthInTime(seconds) + " would take " +
                   std::to_string(static_cast<long long>(blocks)) + " blocks of " +
                   std::to_string(blockSize) + " samples, over " +
                   std::to_string(static_cast<long long>(MostBlocks)) +
                   "; give a larger --block-size"};
}
