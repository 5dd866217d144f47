// One `check` command: the module loaded once in a child, then the whole set of checks run once
// or more, several children at a time, printed in the order of the table, and the reports.
#include "check_command.h"
#include "check_run.h"
#include "checks.h"
#include "reports.h"
#include "safe_file.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Finished {
    CheckVerdict verdict;
    double seconds = 0.0;
    bool done = false;
};

// Runs every check of `checks` in up to `jobs` children at once and prints each one's lines as
// soon as it and every check before it have ended, so the order is the table's whatever the
// timing.
std::vector<Finished> runAll(const std::vector<const CheckEntry*>& checks,
                             const std::string& module, uint64_t seed, const CheckOptions& options,
                             unsigned jobs, std::ostream& out) {
    std::vector<Finished> finished(checks.size());
    std::mutex guard;
    std::condition_variable ended;
    size_t next = 0;
    const auto work = [&] {
        for (;;) {
            size_t at = 0;
            {
                const std::lock_guard<std::mutex> lock(guard);
                if (next == checks.size())
                    return;
                at = next++;
            }
            const Clock::time_point start = Clock::now();
            CheckVerdict verdict = runOneCheck(*checks[at], module, seed, options.timeout);
            const std::chrono::duration<double> took = Clock::now() - start;
            {
                const std::lock_guard<std::mutex> lock(guard);
                finished[at] = {std::move(verdict), took.count(), true};
            }
            ended.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (unsigned n = 0; jobs > 1 && n < jobs && n < checks.size(); ++n) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // the threads made so far do the work
        }
    }
    if (workers.empty())
        work();
    for (size_t at = 0; at < checks.size(); ++at) {
        std::unique_lock<std::mutex> lock(guard);
        ended.wait(lock, [&] { return finished[at].done; });
        for (const std::string& line : finished[at].verdict.lines)
            out << line << "\n";
        out << std::flush;
    }
    for (std::thread& worker : workers)
        worker.join();
    return finished;
}

// Why a check of the table was left out of the run.
std::string skipReason(const CheckEntry& entry, const CheckOptions& options) {
    if (!options.only.empty())
        return "not named by --only";
    return entry.strictOnly ? "runs with --strict" : "not run";
}

// One run of the selected checks with `seed`: the lines, the count, and the run's record.
RunRecord runOnce(const std::string& module, uint64_t seed, const CheckOptions& options,
                  unsigned jobs, std::ostream& out, int& failed) {
    RunRecord record{module, options.toolVersion, seed, {}, {}, {}};
    const std::vector<const CheckEntry*> checks = selectedChecks(options);
    const std::vector<Finished> finished = runAll(checks, module, seed, options, jobs, out);
    int passed = 0, skipped = 0;
    failed = 0;
    size_t at = 0;
    for (const CheckEntry& entry : checkTable()) {
        if (at < checks.size() && checks[at] == &entry) {
            const Finished& one = finished[at++];
            ++(one.verdict.passed ? passed : one.verdict.skipped ? skipped : failed);
            record.checks.push_back(checkRecordOf(entry.name, one.verdict.lines, one.seconds));
        } else {
            record.checks.push_back({entry.name, "SKIP", skipReason(entry, options), {}, 0.0});
        }
    }
    out << passed << " passed, " << failed << " failed";
    if (skipped)
        out << ", " << skipped << " skipped";
    out << "\n";
    return record;
}

Status checkReportFiles(const CheckOptions& options) {
    if (!options.json.empty())
        if (Status place = checkOutput(options.json, "JSON report"); !place)
            return place;
    if (!options.junit.empty())
        if (Status place = checkOutput(options.junit, "JUnit report"); !place)
            return place;
    return {};
}

unsigned jobsFor(const CheckOptions& options) {
    if (options.jobs > 0)
        return options.jobs;
    const unsigned processors = std::thread::hardware_concurrency();
    return processors > 0 ? processors : 1;
}

} // namespace

int runChecks(const CheckOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code error;
    if (!fs::is_regular_file(options.module, error)) {
        err << "kaveltrum-host check: cannot load " << options.module << ": "
            << (fs::exists(options.module, error) ? "not a regular file" : "no such file") << "\n";
        return 2;
    }
    if (Status writable = checkReportFiles(options); !writable) {
        err << "kaveltrum-host check: " << writable.error() << "\n";
        return 2;
    }
    const std::string module = fs::absolute(options.module, error).string();
    const uint64_t firstSeed = options.seed ? *options.seed : freshSeed();
    const auto report = [&](const RunRecord& record) {
        const Status written = writeReports(record, options.json, options.junit);
        if (!written)
            err << "kaveltrum-host check: " << written.error() << "\n";
        return written.ok();
    };

    out << "seed " << firstSeed << "\n" << std::flush;
    const LoadAnswer loaded = probeModule(module, options.timeout);
    if (!loaded.problem.empty()) {
        err << "kaveltrum-host check: " << loaded.problem << "\n";
        report({module, options.toolVersion, firstSeed, {}, loaded.problem, {}});
        return 2;
    }
    const unsigned runs = options.repeat > 0 ? options.repeat : 1;
    for (unsigned run = 0;; ++run) {
        const uint64_t seed = firstSeed + run;
        if (run > 0)
            out << "seed " << seed << "\n" << std::flush;
        int failed = 0;
        RunRecord record = runOnce(module, seed, options, jobsFor(options), out, failed);
        record.properties = loaded.properties;
        const bool last = failed > 0 || run + 1 == runs;
        if (!last)
            continue;
        if (runs > 1)
            out << (failed ? "failed with seed " + std::to_string(seed) + " (run " +
                                 std::to_string(run + 1) + " of " + std::to_string(runs) + ")"
                           : "all " + std::to_string(runs) + " runs passed (seeds " +
                                 std::to_string(firstSeed) + " to " + std::to_string(seed) + ")")
                << "\n";
        const bool written = report(record);
        return failed || !written ? 1 : 0;
    }
}
