// Where a command reads and writes: the tool's streams, the progress line of a long run, and the
// start of its error lines.
#pragma once

#include "progress.h"
#include "result.h"

#include <istream>
#include <ostream>
#include <string>

struct Console {
    std::istream& in; // where a command reads "-"
    std::ostream& out;
    std::ostream& err;
    Progress& progress;
    std::string errorStart = "kaveltrum-host: ";

    // The exit status of a command that ends with `done`: 0, or 1 with its error as one line.
    int finish(const Status& done);
};

// Fails when something written to `out` did not arrive: "standard output: No space left...".
Status outputStatus(std::ostream& out);
