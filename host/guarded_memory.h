// Memory the host hands a module that ends exactly at a page no one may touch, or begins exactly
// after one, so that a module reading or writing one byte beyond it faults on the spot instead
// of reading the host's other data or corrupting it unseen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Which end of a guarded buffer lies against the inaccessible page.
enum class GuardSide {
    After,  // the page follows the last byte: catches reads and writes past the end
    Before, // the page precedes the first byte: catches those before the start
};

// One guarded buffer: its own pages, released when it goes. Known to whoever asks about an
// address (guardedAt) for as long as it lives.
class GuardedBuffer {
  public:
    // `bytes` usable bytes (at least 1), zeroed, aligned for any interface record when `bytes`
    // is a multiple of 8 (After) or always (Before). `what` names the buffer in reports ("the
    // sample block of pin 1 (GATE) at block size 64"). Null when the system gives no memory.
    static std::unique_ptr<GuardedBuffer> make(size_t bytes, GuardSide side,
                                               const std::string& what);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    [[nodiscard]] void* data() const { return start; }
    [[nodiscard]] size_t size() const { return length; }
    [[nodiscard]] GuardSide side() const { return guardSide; }

  private:
    GuardedBuffer() = default;
    void* mapping = nullptr; // the whole reservation: the pages in use and the guard page
    size_t mapped = 0;
    void* start = nullptr;
    size_t length = 0;
    GuardSide guardSide = GuardSide::After;
    int slot = -1; // its place in the table guardedAt reads
};

// What a guard page that holds `address` protects: the buffer's name and side. Reads only a
// fixed table with plain loads, so a crash handler may call it. Null for any other address.
struct GuardedPlace {
    const char* what;
    GuardSide side;
};
bool guardedAt(uintptr_t address, GuardedPlace& place);
