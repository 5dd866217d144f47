// Counts the calls a module makes of functions that a real-time thread must not call: memory,
// locks and waits, files. On Linux the counting is done by a library preloaded into the check's
// child; on Windows by the module's own import table, pointed at counting stand-ins.
#pragma once

#include "module_file.h"

#include <memory>
#include <string>
#include <vector>

class CallCounter {
  public:
    virtual ~CallCounter() = default;
    // A counter for the calls of the module in `file`, or null and `why` when this process
    // cannot count them. On Windows the counter changes the module's import table until it is
    // destroyed, which must be before the library is unloaded.
    static std::unique_ptr<CallCounter> attach(const ModuleFile& file, std::string& why);

    // Counting on or off for the calling thread.
    virtual void count(bool on) = 0;
    [[nodiscard]] virtual size_t functions() const = 0;
    [[nodiscard]] virtual std::string name(size_t function) const = 0;
    // Every call counted so far of each function, by its index.
    virtual void read(std::vector<unsigned long long>& calls) const = 0;
};

// NAME=value variables that the child for `check` needs in its environment, beyond the
// parent's: on Linux, the preloaded library for the check that counts calls.
std::vector<std::string> childEnvironment(const std::string& check);

// The name of the check that counts calls.
constexpr const char* RealtimeSafetyCheck = "realtime-safety";
