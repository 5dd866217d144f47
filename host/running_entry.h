// Which entry of a module the host is calling at this moment, kept where a crash handler can
// read it: the driver marks every call into the module.
#pragma once

#include <cstdint>

// "the block routine", "the dispatcher", ...; null while the host runs its own code.
const char* runningEntry();
// The opcode of the dispatcher call that runs; false when no dispatcher call does.
bool runningOpcode(int32_t& opcode);

// Marks a call into the module for as long as it lives; calls may nest (a module's request
// answered by the host is no call into the module, so nesting is rare, but it is kept right).
class RunningEntry {
  public:
    explicit RunningEntry(const char* entry);
    RunningEntry(const char* entry, int32_t opcode); // a dispatcher call
    ~RunningEntry();
    RunningEntry(const RunningEntry&) = delete;
    RunningEntry& operator=(const RunningEntry&) = delete;

  private:
    const char* outer;
    int32_t outerOpcode;
    bool outerHasOpcode;
};
