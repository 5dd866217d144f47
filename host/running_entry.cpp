#include "running_entry.h"

namespace {

// Plain words, written and read by plain stores and loads; volatile so that a handler that
// interrupts the thread sees what was written before the fault.
const char* volatile entryNow = nullptr;
volatile int32_t opcodeNow = 0;
volatile bool hasOpcodeNow = false;

} // namespace

const char* runningEntry() {
    return entryNow;
}

bool runningOpcode(int32_t& opcode) {
    opcode = opcodeNow;
    return entryNow && hasOpcodeNow;
}

RunningEntry::RunningEntry(const char* entry)
    : outer(entryNow), outerOpcode(opcodeNow), outerHasOpcode(hasOpcodeNow) {
    hasOpcodeNow = false;
    entryNow = entry;
}

RunningEntry::RunningEntry(const char* entry, int32_t opcode)
    : outer(entryNow), outerOpcode(opcodeNow), outerHasOpcode(hasOpcodeNow) {
    opcodeNow = opcode;
    hasOpcodeNow = true;
    entryNow = entry;
}

RunningEntry::~RunningEntry() {
    entryNow = outer;
    opcodeNow = outerOpcode;
    hasOpcodeNow = outerHasOpcode;
}
