// A check's child that crashes says where before it dies: one FAIL line in its report file with
// the entry that was running, the faulting place as the file's name plus an offset, the nearest
// exported symbol at or before it, and for a fault on a guard page, which buffer was overrun.
#pragma once

#include <string>

// From now on a fault of this process (a bad access, an illegal instruction, a division by
// zero) appends that line to `reportFile`, using only what may be used in a crash, then ends the
// process with the fault's signal or exception code as before.
void reportCrashes(const std::string& reportFile, const std::string& check);
