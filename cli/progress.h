// A progress line for long runs, on the error stream: shown only when that stream is a terminal
// and only once a run has gone on for a while, rewritten in place, ended with a line break.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

struct ProgressSettings {
    bool terminal = false;     // the error stream is a terminal
    double afterSeconds = 2.0; // how long a run goes on before its line appears
};

class Progress {
  public:
    Progress(std::ostream& err, ProgressSettings settings) : err(err), settings(settings) {}

    // A run of `total` seconds of simulated time begins; `what` starts the line.
    void start(const std::string& what, double seconds);
    // `done` seconds of it are over and `notes` notes played or recorded. Cheap enough to call
    // for every block: it reads the clock only now and then.
    void update(double done, uint64_t notes) {
        if (settings.terminal && (calls++ & 255) == 0)
            redraw(done, notes);
    }
    // The run is over: a line that was shown is brought to its end.
    void finish(uint64_t notes);

  private:
    using Clock = std::chrono::steady_clock;
    void redraw(double done, uint64_t notes);
    void draw(double done, uint64_t notes);

    std::ostream& err;
    ProgressSettings settings;
    std::string label;
    double total = 0.0;
    uint64_t calls = 0;
    bool shown = false;
    Clock::time_point began, drawn;
};
