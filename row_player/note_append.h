// The one write a recorded note costs.
#pragma once

#include <cstdint>
#include <stdio.h>

// One byte to the record file's stream, with a single buffered write. The module is called one
// call at a time, so glibc's unlocked put is safe, and it keeps a recorded note near the cost of
// the byte (bench: BM_RecordNote against BM_BareAppend); msvcrt has no unlocked put.
inline void appendNote(FILE* file, uint8_t note) noexcept {
#if defined(_WIN32)
    fputc(note, file);
#else
    putc_unlocked(note, file);
#endif
}
