// The checks that `kaveltrum-host check` runs, each in a child process of its own, and what a
// check has at hand while it runs.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Repeatable random choices (splitmix64): the same seed gives the same numbers on every build.
class Random {
  public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next();
    int32_t below(int32_t bound);               // 0 .. bound-1
    int32_t between(int32_t low, int32_t high); // low .. high
    float between(float low, float high);       //
    bool chance(int32_t percent) { return below(100) < percent; }

  private:
    uint64_t state;
};

// Thrown at the first expectation a module does not meet; it ends the check.
struct CheckFailed {
    std::string what;
};

// Thrown when a check cannot be made in this process; it ends the check, which is neither
// passed nor failed.
struct CheckSkipped {
    std::string why;
};

class CheckContext {
  public:
    CheckContext(std::string modulePath, uint64_t seed, std::string checkName, std::ostream& out)
        : path(std::move(modulePath)), name(std::move(checkName)), randomness(seed), out(out) {}

    [[nodiscard]] const std::string& modulePath() const { return path; }
    Random& random() { return randomness; }

    // A finding that is worth a line but not a failure.
    void warn(const std::string& what);
    // A remark for the check's PASS line.
    void note(const std::string& what) { remark = what; }
    [[nodiscard]] const std::string& noted() const { return remark; }
    // Ends the check with a failure unless `condition` holds.
    void require(bool condition, const std::string& what) {
        if (!condition)
            throw CheckFailed{what};
    }
    [[noreturn]] void fail(const std::string& what) { throw CheckFailed{what}; }
    [[noreturn]] void skip(const std::string& why) { throw CheckSkipped{why}; }

  private:
    std::string path;
    std::string name;
    std::string remark;
    Random randomness;
    std::ostream& out;
};

struct CheckEntry {
    const char* name;
    const char* description; // one line, for --list
    bool strictOnly;         // a host mistake: run with --strict, or when named
    void (*run)(CheckContext& context);
};

// Every check, in the order they run.
const std::vector<CheckEntry>& checkTable();
const CheckEntry* findCheck(const std::string& name);

// `text` with every control character, line breaks included, made a blank: a report is one line
// whatever names a module gives its pins.
std::string oneLine(std::string text);

// Writes one line of a child's report, made one line by oneLine, and flushes it.
void reportLine(std::ostream& out, const std::string& line);

// ---- The checks, by the file that holds them
void checkExports(CheckContext& context);         // entry_checks.cpp
void checkMakeModule(CheckContext& context);      //
void checkPinDescriptions(CheckContext& context); //
void checkOpenClose(CheckContext& context);       // instance_checks.cpp
void checkEvents(CheckContext& context);          //
void checkHostMistakes(CheckContext& context);    //
void checkBlocks(CheckContext& context);          // block_checks.cpp
void checkHangingNotes(CheckContext& context);    //
void checkRealTime(CheckContext& context);        // realtime_check.cpp
void checkRealtimeSafety(CheckContext& context);  // realtime_safety.cpp
void checkFpState(CheckContext& context);         // fp_state_check.cpp
