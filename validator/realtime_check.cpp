// Whether a module keeps up with real time: per block size, the median block against the time
// the block plays for. One slow block on a busy machine is noise; a slow median is the module.
#include "check_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr float Rate = 44100.0f;

struct Timing {
    int32_t frames;
    double median;  // seconds
    double slowest; // seconds
    [[nodiscard]] double duration() const { return frames / static_cast<double>(Rate); }
};

std::string milliseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g ms", seconds * 1000.0);
    return text;
}

// Times `count` blocks with the inputs pulsing, after a few that warm the caches up.
Timing timeBlocks(CheckContext& context, ModuleDriver& driver, int32_t frames, int count) {
    need(context, driver.setBlockSize(frames), "setting the block size");
    const std::vector<int32_t> inputs = sampleInputs(driver);
    std::vector<double> times;
    for (int n = -3; n < count; ++n) {
        fillInputs(driver, inputs, n % 2 ? 1.0f : 0.0f);
        const auto start = std::chrono::steady_clock::now();
        need(context, driver.runBlock(0), "running a block");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        driver.clearSent();
        if (n >= 0)
            times.push_back(took.count());
    }
    std::sort(times.begin(), times.end());
    return {frames, times[times.size() / 2], times.back()};
}

} // namespace

void checkRealTime(CheckContext& context) {
    const ModuleFile file = loadModule(context);
    const struct {
        int32_t frames;
        int count;
    } sizes[] = {{64, 51}, {512, 31}, {4096, 15}, {16384, 9}};
    std::vector<Timing> timings;
    for (const auto& size : sizes) {
        // An instance of each block size with its buffers against guard pages, so that a read
        // past a block is caught here too.
        const auto driver = openInstance(context, file, Rate, size.frames, guardedAfter());
        driver->logRequests = false;
        timings.push_back(timeBlocks(context, *driver, size.frames, size.count));
    }

    for (const Timing& t : timings)
        context.require(t.median <= t.duration(),
                        std::to_string(t.frames) + "-sample blocks took " + milliseconds(t.median) +
                            " (median), their duration is " + milliseconds(t.duration()));
    const Timing& worst =
        *std::max_element(timings.begin(), timings.end(), [](const Timing& a, const Timing& b) {
            return a.slowest / a.duration() < b.slowest / b.duration();
        });
    const std::string slowest = "the slowest block, of " + std::to_string(worst.frames) +
                                " samples, took " + milliseconds(worst.slowest) + " of its " +
                                milliseconds(worst.duration());
    if (worst.slowest > worst.duration())
        context.warn(slowest);
    else
        context.note(slowest);
}
