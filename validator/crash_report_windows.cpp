#include "crash_report.h"

#include "crash_line.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

HANDLE reportFile = INVALID_HANDLE_VALUE;
char checkName[128];
char moduleFile[MAX_PATH];
char kindText[32];

// The name of the export nearest at or before `address` in the loaded image at `base`, read from
// its export directory; null when it exports nothing there.
const char* nearestExport(uintptr_t base, uintptr_t address, uintptr_t& at) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0 || directory.Size == 0)
        return nullptr;
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    const char* found = nullptr;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const uintptr_t start = base + functions[ordinals[i]];
        if (start <= address && (!found || start > at)) {
            found = reinterpret_cast<const char*>(base + names[i]);
            at = start;
        }
    }
    return found;
}

bool isFault(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
        return true;
    default:
        return code >= EXCEPTION_FLT_DENORMAL_OPERAND && code <= EXCEPTION_FLT_UNDERFLOW;
    }
}

void writeCrashLine(const EXCEPTION_RECORD& record) {
    CrashFacts facts{};
    facts.check = checkName;
    std::snprintf(kindText, sizeof kindText, "exception 0x%08lX",
                  static_cast<unsigned long>(record.ExceptionCode));
    facts.kind = kindText;
    facts.badAccess = (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION ||
                       record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) &&
                      record.NumberParameters >= 2;
    if (facts.badAccess) {
        const ULONG_PTR kind = record.ExceptionInformation[0];
        facts.access = kind == 0 ? 0 : kind == 1 ? 1 : -1;
        facts.dataAddress = record.ExceptionInformation[1];
    }
    facts.codeAddress = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
    HMODULE module = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(record.ExceptionAddress), &module) &&
        GetModuleFileNameA(module, moduleFile, sizeof moduleFile) > 0) {
        facts.file = moduleFile;
        facts.fileBase = reinterpret_cast<uintptr_t>(module);
        facts.symbol = nearestExport(facts.fileBase, facts.codeAddress, facts.symbolAddress);
    }
    CrashLine line;
    composeCrashLine(line, facts);
    size_t length = 0;
    const char* text = line.finished(length);
    DWORD wrote = 0;
    WriteFile(reportFile, text, static_cast<DWORD>(length), &wrote, nullptr);
}

// Nobody handled the exception: tell of it, then end with its code, as dieQuietlyOnCrash's
// filter does.
LONG WINAPI reportAndEnd(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (reportFile != INVALID_HANDLE_VALUE && isFault(record.ExceptionCode))
        writeCrashLine(record);
    TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void reportCrashes(const std::string& report, const std::string& check) {
    reportFile = CreateFileA(report.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const size_t n = std::min(check.size(), sizeof checkName - 1);
    std::memcpy(checkName, check.data(), n);
    checkName[n] = '\0';
    SetUnhandledExceptionFilter(reportAndEnd);
}
