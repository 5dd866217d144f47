// The one line a crashing child writes about its crash, made in a fixed buffer without
// allocating, locking or formatting through the C library: it is made inside a fault handler.
#pragma once

#include "guarded_memory.h"
#include "running_entry.h"

#include <cstddef>
#include <cstdint>

class CrashLine {
  public:
    CrashLine& operator<<(const char* text) {
        while (text && *text && used < sizeof text_ - 2)
            text_[used++] = *text++;
        return *this;
    }
    CrashLine& hex(uintptr_t value) {
        char digits[2 * sizeof value];
        size_t n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value & 0xF];
            value >>= 4;
        } while (value && n < sizeof digits);
        *this << "0x";
        while (n > 0 && used < sizeof text_ - 2)
            text_[used++] = digits[--n];
        return *this;
    }
    CrashLine& number(uintptr_t value) {
        char digits[24];
        size_t n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value && n < sizeof digits);
        while (n > 0 && used < sizeof text_ - 2)
            text_[used++] = digits[--n];
        return *this;
    }
    // The line, ended; control characters (from a file name) made blanks.
    const char* finished(size_t& length) {
        for (size_t i = 0; i < used; ++i)
            if (static_cast<unsigned char>(text_[i]) < 0x20)
                text_[i] = ' ';
        text_[used++] = '\n';
        length = used;
        return text_;
    }

  private:
    char text_[1024];
    size_t used = 0;
};

// What the handler learned of the fault.
struct CrashFacts {
    const char* check;
    const char* kind;        // "SIGSEGV", "exception 0xC0000005"
    bool badAccess;          // an access to memory it may not touch
    uintptr_t dataAddress;   // badAccess: the address touched
    int access;              // badAccess: 0 read, 1 write, -1 not known
    uintptr_t codeAddress;   // the faulting instruction, 0 when not known
    const char* file;        // the file holding it, with its folder, or null
    uintptr_t fileBase;      // where that file lies in memory
    const char* symbol;      // the nearest exported symbol at or before it, or null
    uintptr_t symbolAddress; //
};

// "FAIL blocks: read past the end of the sample block of pin 1 (GATE) at block size 64, in the
// block routine at check_read_past.so+0x1139 (makeModule+0x59)", or for any other fault
// "FAIL blocks: crashed (SIGSEGV) in the block routine at ...".
inline void composeCrashLine(CrashLine& line, const CrashFacts& facts) {
    line << "FAIL " << facts.check << ": ";
    GuardedPlace place{};
    if (facts.badAccess && guardedAt(facts.dataAddress, place)) {
        line << (facts.access == 1   ? "wrote "
                 : facts.access == 0 ? "read "
                                     : "touched ")
             << (place.side == GuardSide::After ? "past the end of " : "before the start of ")
             << place.what << ",";
    } else {
        line << "crashed (" << facts.kind << ")";
        if (facts.badAccess) {
            line << " touching ";
            line.hex(facts.dataAddress);
        }
    }
    if (const char* entry = runningEntry()) {
        line << " in " << entry;
        int32_t opcode = 0;
        if (runningOpcode(opcode)) {
            line << " (opcode " << (opcode < 0 ? "-" : "");
            line.number(opcode < 0 ? 0u - static_cast<uint32_t>(opcode)
                                   : static_cast<uint32_t>(opcode));
            line << ")";
        }
    }
    if (facts.file && facts.codeAddress >= facts.fileBase) {
        const char* name = facts.file;
        for (const char* c = facts.file; *c; ++c)
            if (*c == '/' || *c == '\\')
                name = c + 1;
        line << " at " << name << "+";
        line.hex(facts.codeAddress - facts.fileBase);
        if (facts.symbol && *facts.symbol && facts.symbolAddress <= facts.codeAddress) {
            line << " (" << facts.symbol << "+";
            line.hex(facts.codeAddress - facts.symbolAddress);
            line << ")";
        }
    } else if (facts.codeAddress) {
        line << " at ";
        line.hex(facts.codeAddress);
    }
}
