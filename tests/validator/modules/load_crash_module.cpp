// Crashes while the library loads, before a host can call anything: its table of notes is
// filled through an address that is not there.
#include "small_module.h"

#include <new>

namespace {

int* volatile nowhere = nullptr;

struct NoteTable {
    NoteTable() { *nowhere = 60; }
} table;

} // namespace

SMALL_MODULE_EXPORTS(SmallModule, "LOADCRASH")
