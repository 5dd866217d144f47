// The calls of a module counted through its import table: each slot of a function counted,
// imported from msvcrt.dll or kernel32.dll (where a module built with a static C runtime gets
// them), is pointed at a stand-in that counts the call and passes it on. Only the module's own
// table changes, so the host's calls are never counted; the table is put back before the
// library is unloaded.
#include "call_counter.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// X(return type, name, parameters, arguments)
#define MSVCRT_FUNCTIONS(X)                                                                        \
    X(void*, malloc, (size_t size), (size))                                                        \
    X(void*, calloc, (size_t count, size_t size), (count, size))                                   \
    X(void*, realloc, (void* pointer, size_t size), (pointer, size))                               \
    X(void, free, (void* pointer), (pointer))                                                      \
    X(FILE*, fopen, (const char* path, const char* mode), (path, mode))                            \
    X(size_t, fread, (void* buffer, size_t size, size_t count, FILE* file),                        \
      (buffer, size, count, file))                                                                 \
    X(size_t, fwrite, (const void* buffer, size_t size, size_t count, FILE* file),                 \
      (buffer, size, count, file))                                                                 \
    X(int, fputc, (int c, FILE* file), (c, file))                                                  \
    X(int, fputs, (const char* text, FILE* file), (text, file))                                    \
    X(int, fflush, (FILE * file), (file))                                                          \
    X(int, fclose, (FILE * file), (file))                                                          \
    X(int, _open, (const char* path, int flags, int mode), (path, flags, mode))                    \
    X(int, _read, (int fd, void* buffer, unsigned size), (fd, buffer, size))                       \
    X(int, _write, (int fd, const void* buffer, unsigned size), (fd, buffer, size))

#define KERNEL32_FUNCTIONS(X)                                                                      \
    X(VOID, EnterCriticalSection, (LPCRITICAL_SECTION section), (section))                         \
    X(DWORD, WaitForSingleObject, (HANDLE handle, DWORD milliseconds), (handle, milliseconds))     \
    X(VOID, Sleep, (DWORD milliseconds), (milliseconds))                                           \
    X(HANDLE, CreateFileA,                                                                         \
      (LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how,          \
       DWORD attributes, HANDLE model),                                                            \
      (name, access, share, security, how, attributes, model))                                     \
    X(HANDLE, CreateFileW,                                                                         \
      (LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how,         \
       DWORD attributes, HANDLE model),                                                            \
      (name, access, share, security, how, attributes, model))                                     \
    X(BOOL, ReadFile,                                                                              \
      (HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped),             \
      (file, buffer, size, done, overlapped))                                                      \
    X(BOOL, WriteFile,                                                                             \
      (HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped),            \
      (file, buffer, size, done, overlapped))

#define ENUMERATE(ret, name, params, args) Fn_##name,
enum Function { MSVCRT_FUNCTIONS(ENUMERATE) KERNEL32_FUNCTIONS(ENUMERATE) FunctionTotal };
#undef ENUMERATE

#define NAME(ret, name, params, args) #name,
const char* const names[FunctionTotal] = {MSVCRT_FUNCTIONS(NAME) KERNEL32_FUNCTIONS(NAME)};
#undef NAME

// Counting is on for one thread at a time; a module's other threads are not counted.
volatile LONG countingOn = 0;
volatile DWORD countingThread = 0;
volatile LONG64 counts[FunctionTotal];

void tally(Function function) {
    if (countingOn && GetCurrentThreadId() == countingThread)
        InterlockedIncrement64(&counts[function]);
}

// The original of each function, as the module's table held it, and its stand-in.
#define CDECL_STAND_IN(ret, name, params, args)                                                    \
    using name##Type = ret(__cdecl*) params;                                                       \
    name##Type original_##name = nullptr;                                                          \
    ret __cdecl counted_##name params {                                                            \
        tally(Fn_##name);                                                                          \
        return original_##name args;                                                               \
    }
#define WINAPI_STAND_IN(ret, name, params, args)                                                   \
    using name##Type = ret(WINAPI*) params;                                                        \
    name##Type original_##name = nullptr;                                                          \
    ret WINAPI counted_##name params {                                                             \
        tally(Fn_##name);                                                                          \
        return original_##name args;                                                               \
    }
MSVCRT_FUNCTIONS(CDECL_STAND_IN)
KERNEL32_FUNCTIONS(WINAPI_STAND_IN)

struct StandIn {
    const char* library;
    const char* name;
    void* standIn;
    void** original;
};

template <class Fn> void* address(Fn fn) {
    void* plain = nullptr;
    std::memcpy(&plain, &fn, sizeof plain);
    return plain;
}

#define MSVCRT_ENTRY(ret, name, params, args)                                                      \
    {"msvcrt.dll", #name, address(&counted_##name), reinterpret_cast<void**>(&original_##name)},
#define KERNEL32_ENTRY(ret, name, params, args)                                                    \
    {"kernel32.dll", #name, address(&counted_##name), reinterpret_cast<void**>(&original_##name)},
const StandIn standIns[FunctionTotal] = {MSVCRT_FUNCTIONS(MSVCRT_ENTRY)
                                             KERNEL32_FUNCTIONS(KERNEL32_ENTRY)};

const StandIn* standInFor(const char* library, const char* name) {
    for (const StandIn& standIn : standIns)
        if (_stricmp(standIn.library, library) == 0 && std::strcmp(standIn.name, name) == 0)
            return &standIn;
    return nullptr;
}

// Only one module's table is changed at a time: the originals are kept per function.
bool attached = false;

// Writes one slot of the import table, which the loader may have left read-only.
bool writeSlot(void** slot, void* value) {
    DWORD was = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was))
        return false;
    *slot = value;
    DWORD ignored = 0;
    VirtualProtect(slot, sizeof *slot, was, &ignored);
    return true;
}

class ImportCounter : public CallCounter {
  public:
    ~ImportCounter() override {
        countingOn = 0;
        for (const Patched& patched : patches)
            writeSlot(patched.slot, patched.original);
        attached = false;
    }

    // Points every slot of a counted function at its stand-in; false when the file's import
    // table cannot be read.
    bool patch(HMODULE module) {
        auto* base = reinterpret_cast<unsigned char*>(module);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        if (dos->e_magic != IMAGE_DOS_SIGNATURE)
            return false;
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        if (nt->Signature != IMAGE_NT_SIGNATURE)
            return false;
        const IMAGE_DATA_DIRECTORY& imports =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (imports.VirtualAddress == 0)
            return true; // imports nothing: nothing to count
        for (auto* library =
                 reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             library->Name; ++library) {
            const char* libraryName = reinterpret_cast<const char*>(base + library->Name);
            if (!library->OriginalFirstThunk)
                continue; // the names are gone: bound by the linker
            auto* named = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
            for (; named->u1.AddressOfData; ++named, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(named->u1.Ordinal))
                    continue;
                const auto* byName =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + named->u1.AddressOfData);
                const StandIn* standIn =
                    standInFor(libraryName, reinterpret_cast<const char*>(byName->Name));
                if (!standIn)
                    continue;
                void** slot = reinterpret_cast<void**>(&slots->u1.Function);
                void* original = *slot;
                *standIn->original = original;
                if (!writeSlot(slot, standIn->standIn))
                    return false;
                patches.push_back({slot, original});
            }
        }
        return true;
    }

    void count(bool on) override {
        countingThread = GetCurrentThreadId();
        countingOn = on ? 1 : 0;
    }
    size_t functions() const override { return FunctionTotal; }
    std::string name(size_t function) const override { return names[function]; }
    void read(std::vector<unsigned long long>& calls) const override {
        calls.resize(FunctionTotal);
        for (size_t i = 0; i < calls.size(); ++i)
            calls[i] = static_cast<unsigned long long>(counts[i]);
    }

  private:
    struct Patched {
        void** slot;
        void* original;
    };
    std::vector<Patched> patches;
};

} // namespace

std::unique_ptr<CallCounter> CallCounter::attach(const ModuleFile& file, std::string& why) {
    HMODULE module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (attached) {
        why = "the calls of only one module file at a time can be counted";
        return nullptr;
    }
    if (!GetModuleHandleExA(flags, static_cast<LPCSTR>(address(file.makeModule())), &module)) {
        why = "the calls cannot be counted: the module file's image is not found";
        return nullptr;
    }
    attached = true;
    auto counter = std::make_unique<ImportCounter>();
    if (!counter->patch(module)) {
        why = "the calls cannot be counted: the module file's import table cannot be changed";
        return nullptr;
    }
    return counter;
}

std::vector<std::string> childEnvironment(const std::string&) {
    return {};
}
