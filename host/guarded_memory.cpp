#include "guarded_memory.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// The guard pages in use, for a crash handler to look an address up in. Written by the thread
// that makes and frees buffers; a slot is filled before it is marked used.
struct GuardSlot {
    std::atomic<bool> used{false};
    uintptr_t first = 0, last = 0; // the guard page's bytes
    GuardSide side = GuardSide::After;
    char what[160] = {};
};
constexpr int Slots = 512;
GuardSlot slots[Slots];

int takeSlot(uintptr_t first, uintptr_t last, GuardSide side, const std::string& what) {
    for (int i = 0; i < Slots; ++i) {
        if (slots[i].used.load())
            continue;
        slots[i].first = first;
        slots[i].last = last;
        slots[i].side = side;
        const size_t n = std::min(what.size(), sizeof slots[i].what - 1);
        std::memcpy(slots[i].what, what.data(), n);
        slots[i].what[n] = '\0';
        slots[i].used.store(true);
        return i;
    }
    return -1; // not named in a report, but guarded all the same
}

size_t pageSize() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
}

void* reserve(size_t bytes) {
#if defined(_WIN32)
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    void* made = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return made == MAP_FAILED ? nullptr : made;
#endif
}

bool forbid(void* page, size_t bytes) {
#if defined(_WIN32)
    DWORD before = 0;
    return VirtualProtect(page, bytes, PAGE_NOACCESS, &before) != 0;
#else
    return mprotect(page, bytes, PROT_NONE) == 0;
#endif
}

void release(void* mapping, size_t bytes) {
#if defined(_WIN32)
    static_cast<void>(bytes);
    VirtualFree(mapping, 0, MEM_RELEASE);
#else
    munmap(mapping, bytes);
#endif
}

} // namespace

std::unique_ptr<GuardedBuffer> GuardedBuffer::make(size_t bytes, GuardSide side,
                                                   const std::string& what) {
    const size_t page = pageSize();
    if (bytes == 0 || bytes > (size_t(1) << 30))
        return nullptr;
    const size_t used = (bytes + page - 1) / page * page;
    std::unique_ptr<GuardedBuffer> buffer(new GuardedBuffer());
    buffer->mapped = used + page;
    buffer->mapping = reserve(buffer->mapped);
    if (!buffer->mapping)
        return nullptr;
    auto* base = static_cast<unsigned char*>(buffer->mapping);
    unsigned char* guard = side == GuardSide::After ? base + used : base;
    if (!forbid(guard, page)) {
        release(buffer->mapping, buffer->mapped);
        buffer->mapping = nullptr;
        return nullptr;
    }
    buffer->start = side == GuardSide::After ? guard - bytes : base + page;
    buffer->length = bytes;
    buffer->guardSide = side;
    const auto first = reinterpret_cast<uintptr_t>(guard);
    buffer->slot = takeSlot(first, first + page - 1, side, what);
    return buffer;
}

GuardedBuffer::~GuardedBuffer() {
    if (slot >= 0)
        slots[slot].used.store(false);
    if (mapping)
        release(mapping, mapped);
}

bool guardedAt(uintptr_t address, GuardedPlace& place) {
    for (const GuardSlot& slot : slots) {
        if (slot.used.load() && address >= slot.first && address <= slot.last) {
            place = {slot.what, slot.side};
            return true;
        }
    }
    return false;
}
