#include "progress.h"

#include <cstdio>

void Progress::start(const std::string& what, double seconds) {
    label = what;
    total = seconds;
    calls = 0;
    shown = false;
    began = Clock::now();
}

void Progress::redraw(double done, uint64_t notes) {
    const Clock::time_point now = Clock::now();
    const double running = std::chrono::duration<double>(now - began).count();
    if (running < settings.afterSeconds)
        return;
    if (shown && now - drawn < std::chrono::milliseconds(200))
        return;
    drawn = now;
    draw(done, notes);
}

void Progress::draw(double done, uint64_t notes) {
    const double share = total > 0.0 ? done / total : 1.0;
    const int percent = share >= 1.0 ? 100 : share <= 0.0 ? 0 : static_cast<int>(share * 100.0);
    char line[64];
    std::snprintf(line, sizeof line, ": %3d%%, %llu %s", percent,
                  static_cast<unsigned long long>(notes), notes == 1 ? "note" : "notes");
    // The blanks cover a longer line drawn before.
    err << '\r' << label << line << "    " << std::flush;
    shown = true;
}

void Progress::finish(uint64_t notes) {
    if (!shown)
        return;
    draw(total, notes);
    err << '\n' << std::flush;
    shown = false;
}
