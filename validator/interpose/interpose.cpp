// Stands in front of the C library's allocation, lock, sleep and file functions (and the C++
// allocation operators) in the check's child, and counts each call made while the calling
// thread's counting is on. Every function passes the call on to the next definition, the
// C library's, found with dlsym(RTLD_NEXT) on first use.
//
// This runs inside malloc for the whole process, before anything is set up: no allocation, no
// locks, nothing that can fail loudly. The per-thread state is initial-exec TLS, which needs
// neither.

// With optimisation the C library's headers define some of these functions inline
// (fputc_unlocked among them); this file defines them itself, so it takes the plain
// declarations only.
#include <features.h>
#undef __USE_EXTERN_INLINES

#include "call_counts.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

namespace {

// ---- What is counted ---------------------------------------------------------------------

enum Function {
    Malloc,
    Calloc,
    Realloc,
    Free,
    New,
    NewArray,
    Delete,
    DeleteArray,
    MutexLock,
    SemWait,
    Sleep,
    USleep,
    NanoSleep,
    ClockNanoSleep,
    Open,
    Open64,
    Read,
    Write,
    FOpen,
    FOpen64,
    FRead,
    FWrite,
    FPutC,
    FPutS,
    FFlush,
    FClose,
    FReadUnlocked,
    FWriteUnlocked,
    FPutCUnlocked,
    FPutSUnlocked,
    FFlushUnlocked,
    Overflow,
    FunctionTotal
};

const char* const names[FunctionTotal] = {"malloc",
                                          "calloc",
                                          "realloc",
                                          "free",
                                          "operator new",
                                          "operator new[]",
                                          "operator delete",
                                          "operator delete[]",
                                          "pthread_mutex_lock",
                                          "sem_wait",
                                          "sleep",
                                          "usleep",
                                          "nanosleep",
                                          "clock_nanosleep",
                                          "open",
                                          "open64",
                                          "read",
                                          "write",
                                          "fopen",
                                          "fopen64",
                                          "fread",
                                          "fwrite",
                                          "fputc",
                                          "fputs",
                                          "fflush",
                                          "fclose",
                                          "fread_unlocked",
                                          "fwrite_unlocked",
                                          "fputc_unlocked",
                                          "fputs_unlocked",
                                          "fflush_unlocked",
                                          "putc (buffer full)"};

unsigned long long counts[FunctionTotal];

#define THREAD_STATE static __thread __attribute__((tls_model("initial-exec")))
THREAD_STATE int counting;  // the thread's counting is on
THREAD_STATE int depth;     // inside one of the functions here: what it calls is not counted
THREAD_STATE int resolving; // inside dlsym: allocations come from the boot arena

// Counts a call (when counting is on and it is not made by one of ours) and marks the thread as
// inside a counted function until it returns.
class Counted {
  public:
    explicit Counted(Function function) {
        if (counting && depth == 0)
            __atomic_fetch_add(&counts[function], 1ull, __ATOMIC_RELAXED);
        ++depth;
    }
    ~Counted() { --depth; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
};

// The next definition of `name`, with the type of `Fn`.
template <class Fn> Fn next(Fn& cached, const char* name) {
    if (!cached) {
        ++resolving;
        void* found = dlsym(RTLD_NEXT, name);
        --resolving;
        std::memcpy(&cached, &found, sizeof found);
    }
    return cached;
}

#define NEXT(name)                                                                                 \
    static decltype(&name) real_##name = nullptr;                                                  \
    const decltype(&name) pass = next(real_##name, #name)

// ---- Allocation while dlsym itself allocates ----------------------------------------------

// dlsym may ask for memory before malloc is resolved; it gets it from here, and never gives it
// back (free ignores it).
alignas(std::max_align_t) unsigned char arena[16384];
size_t arenaUsed;

void* arenaAllocate(size_t size) {
    const size_t rounded =
        (size + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
    size_t at = __atomic_fetch_add(&arenaUsed, rounded, __ATOMIC_RELAXED);
    if (at + rounded > sizeof arena)
        return nullptr;
    return arena + at;
}

bool inArena(const void* pointer) {
    const auto* p = static_cast<const unsigned char*>(pointer);
    return p >= arena && p < arena + sizeof arena;
}

using MallocFn = void* (*)(size_t);
using CallocFn = void* (*)(size_t, size_t);
using ReallocFn = void* (*)(void*, size_t);
using FreeFn = void (*)(void*);
MallocFn realMalloc;
CallocFn realCalloc;
ReallocFn realRealloc;
FreeFn realFree;

void* allocate(size_t size) {
    if (resolving)
        return arenaAllocate(size);
    return next(realMalloc, "malloc")(size);
}

void release(void* pointer) {
    if (pointer && !inArena(pointer))
        next(realFree, "free")(pointer);
}

// The C++ operators, by their mangled names, as the C++ library defines them.
using NewFn = void* (*)(size_t);
using NothrowNewFn = void* (*)(size_t, const std::nothrow_t&);
using DeleteFn = void (*)(void*);
using SizedDeleteFn = void (*)(void*, size_t);

} // namespace

// ---- The API the child reads ----------------------------------------------------------------

extern "C" {

void kaveltrum_count_calls(int on) {
    counting = on;
}

int kaveltrum_counted_functions(void) {
    return FunctionTotal;
}

const char* kaveltrum_counted_name(int function) {
    return function >= 0 && function < FunctionTotal ? names[function] : "";
}

unsigned long long kaveltrum_call_count(int function) {
    return function >= 0 && function < FunctionTotal
               ? __atomic_load_n(&counts[function], __ATOMIC_RELAXED)
               : 0;
}

// ---- Memory ----------------------------------------------------------------------------------

void* malloc(size_t size) {
    const Counted counted(Malloc);
    return allocate(size);
}

void* calloc(size_t count, size_t size) {
    if (resolving) { // the arena is zeroed and never reused
        if (size && count > static_cast<size_t>(-1) / size)
            return nullptr;
        return arenaAllocate(count * size);
    }
    const Counted counted(Calloc);
    return next(realCalloc, "calloc")(count, size);
}

void* realloc(void* pointer, size_t size) {
    const Counted counted(Realloc);
    if (inArena(pointer)) { // its size is not known: copy what may be there
        void* moved = allocate(size);
        if (moved) {
            const auto* from = static_cast<unsigned char*>(pointer);
            const size_t left = static_cast<size_t>(arena + sizeof arena - from);
            std::memcpy(moved, pointer, size < left ? size : left);
        }
        return moved;
    }
    return next(realRealloc, "realloc")(pointer, size);
}

void free(void* pointer) {
    const Counted counted(Free);
    release(pointer);
}

// ---- Locks and waits ----------------------------------------------------------------------

int pthread_mutex_lock(pthread_mutex_t* mutex) {
    const Counted counted(MutexLock);
    NEXT(pthread_mutex_lock);
    return pass(mutex);
}

int sem_wait(sem_t* semaphore) {
    const Counted counted(SemWait);
    NEXT(sem_wait);
    return pass(semaphore);
}

unsigned int sleep(unsigned int seconds) {
    const Counted counted(Sleep);
    NEXT(sleep);
    return pass(seconds);
}

int usleep(useconds_t microseconds) {
    const Counted counted(USleep);
    NEXT(usleep);
    return pass(microseconds);
}

int nanosleep(const struct timespec* wanted, struct timespec* left) {
    const Counted counted(NanoSleep);
    NEXT(nanosleep);
    return pass(wanted, left);
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* wanted,
                    struct timespec* left) {
    const Counted counted(ClockNanoSleep);
    NEXT(clock_nanosleep);
    return pass(clock, flags, wanted, left);
}

// ---- Files and the system ---------------------------------------------------------------------

// open and open64 take a mode only when they may create the file.
static bool takesMode(int flags) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

int open(const char* path, int flags, ...) {
    const Counted counted(Open);
    mode_t mode = 0;
    if (takesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, unsigned int));
        va_end(args);
    }
    NEXT(open);
    return pass(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    const Counted counted(Open64);
    mode_t mode = 0;
    if (takesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, unsigned int));
        va_end(args);
    }
    NEXT(open64);
    return pass(path, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t size) {
    const Counted counted(Read);
    NEXT(read);
    return pass(fd, buffer, size);
}

ssize_t write(int fd, const void* buffer, size_t size) {
    const Counted counted(Write);
    NEXT(write);
    return pass(fd, buffer, size);
}

FILE* fopen(const char* path, const char* mode) {
    const Counted counted(FOpen);
    NEXT(fopen);
    return pass(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
    const Counted counted(FOpen64);
    NEXT(fopen64);
    return pass(path, mode);
}

size_t fread(void* buffer, size_t size, size_t count, FILE* file) {
    const Counted counted(FRead);
    NEXT(fread);
    return pass(buffer, size, count, file);
}

size_t fwrite(const void* buffer, size_t size, size_t count, FILE* file) {
    const Counted counted(FWrite);
    NEXT(fwrite);
    return pass(buffer, size, count, file);
}

int fputc(int c, FILE* file) {
    const Counted counted(FPutC);
    NEXT(fputc);
    return pass(c, file);
}

int fputs(const char* text, FILE* file) {
    const Counted counted(FPutS);
    NEXT(fputs);
    return pass(text, file);
}

int fflush(FILE* file) {
    const Counted counted(FFlush);
    NEXT(fflush);
    return pass(file);
}

int fclose(FILE* file) {
    const Counted counted(FClose);
    NEXT(fclose);
    return pass(file);
}

size_t fread_unlocked(void* buffer, size_t size, size_t count, FILE* file) {
    const Counted counted(FReadUnlocked);
    NEXT(fread_unlocked);
    return pass(buffer, size, count, file);
}

size_t fwrite_unlocked(const void* buffer, size_t size, size_t count, FILE* file) {
    const Counted counted(FWriteUnlocked);
    NEXT(fwrite_unlocked);
    return pass(buffer, size, count, file);
}

int fputc_unlocked(int c, FILE* file) {
    const Counted counted(FPutCUnlocked);
    NEXT(fputc_unlocked);
    return pass(c, file);
}

int fputs_unlocked(const char* text, FILE* file) {
    const Counted counted(FPutSUnlocked);
    NEXT(fputs_unlocked);
    return pass(text, file);
}

int fflush_unlocked(FILE* file) {
    const Counted counted(FFlushUnlocked);
    NEXT(fflush_unlocked);
    return pass(file);
}

// What putc and putc_unlocked, which are inline, call when the stream's buffer is full or not
// made yet.
int __overflow(FILE* file, int c) {
    const Counted counted(Overflow);
    NEXT(__overflow);
    return pass(file, c);
}

} // extern "C"

// ---- The C++ allocation operators ----------------------------------------------------------

#define NEXT_MANGLED(type, variable, mangled)                                                      \
    static type variable = nullptr;                                                                \
    const type pass = next(variable, mangled)

void* operator new(size_t size) {
    const Counted counted(New);
    NEXT_MANGLED(NewFn, realNew, "_Znwm");
    return pass(size);
}

void* operator new[](size_t size) {
    const Counted counted(NewArray);
    NEXT_MANGLED(NewFn, realNewArray, "_Znam");
    return pass(size);
}

void* operator new(size_t size, const std::nothrow_t& tag) noexcept {
    const Counted counted(New);
    NEXT_MANGLED(NothrowNewFn, realNothrowNew, "_ZnwmRKSt9nothrow_t");
    return pass(size, tag);
}

void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    const Counted counted(NewArray);
    NEXT_MANGLED(NothrowNewFn, realNothrowNewArray, "_ZnamRKSt9nothrow_t");
    return pass(size, tag);
}

void operator delete(void* pointer) noexcept {
    const Counted counted(Delete);
    NEXT_MANGLED(DeleteFn, realDelete, "_ZdlPv");
    pass(pointer);
}

void operator delete[](void* pointer) noexcept {
    const Counted counted(DeleteArray);
    NEXT_MANGLED(DeleteFn, realDeleteArray, "_ZdaPv");
    pass(pointer);
}

void operator delete(void* pointer, size_t size) noexcept {
    const Counted counted(Delete);
    NEXT_MANGLED(SizedDeleteFn, realSizedDelete, "_ZdlPvm");
    pass(pointer, size);
}

void operator delete[](void* pointer, size_t size) noexcept {
    const Counted counted(DeleteArray);
    NEXT_MANGLED(SizedDeleteFn, realSizedDeleteArray, "_ZdaPvm");
    pass(pointer, size);
}
