#include "crash_report.h"

#include "crash_line.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

int reportFile = -1;
char checkName[128];

const char* signalName(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    default:
        return "SIGILL";
    }
}

// The instruction that faulted, and for a page fault whether it wrote (the x86 page-fault error
// code's bit 1).
uintptr_t faultingInstruction(const void* context, int& access) {
    const auto* machine = &static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
    access = (machine->gregs[REG_ERR] & 2) ? 1 : 0;
    return static_cast<uintptr_t>(machine->gregs[REG_RIP]);
#elif defined(__i386__)
    access = (machine->gregs[REG_ERR] & 2) ? 1 : 0;
    return static_cast<uintptr_t>(machine->gregs[REG_EIP]);
#else
    static_cast<void>(machine);
    access = -1;
    return 0;
#endif
}

// The nearest defined symbol at or before `address` in the dynamic symbol table of the loaded
// object `map`: what the object exports. dladdr names only a symbol that holds the address,
// and a fault in a module's hidden code lies in none.
const char* nearestExport(const link_map* map, uintptr_t address, uintptr_t& at) {
    const ElfW(Sym)* symbols = nullptr;
    const char* names = nullptr;
    size_t count = 0;
    for (const ElfW(Dyn)* d = map->l_ld; d && d->d_tag != DT_NULL; ++d) {
        // the loader has made these addresses absolute already
        if (d->d_tag == DT_SYMTAB)
            symbols = reinterpret_cast<const ElfW(Sym)*>(d->d_un.d_ptr);
        else if (d->d_tag == DT_STRTAB)
            names = reinterpret_cast<const char*>(d->d_un.d_ptr);
        else if (d->d_tag == DT_HASH)
            count = reinterpret_cast<const uint32_t*>(d->d_un.d_ptr)[1];
    }
    if (!symbols || !names)
        return nullptr;
    // Without the old hash table, the symbols end where the names begin, as linkers lay them.
    if (count == 0 && reinterpret_cast<uintptr_t>(names) > reinterpret_cast<uintptr_t>(symbols))
        count = (reinterpret_cast<uintptr_t>(names) - reinterpret_cast<uintptr_t>(symbols)) /
                sizeof(ElfW(Sym));
    const char* found = nullptr;
    for (size_t i = 0; i < count && i < 100000; ++i) {
        const ElfW(Sym)& symbol = symbols[i];
        if (symbol.st_shndx == SHN_UNDEF || symbol.st_name == 0 ||
            ELF64_ST_TYPE(symbol.st_info) != STT_FUNC)
            continue;
        const uintptr_t start = map->l_addr + symbol.st_value;
        if (start <= address && (!found || start > at)) {
            found = names + symbol.st_name;
            at = start;
        }
    }
    return found;
}

void onFault(int signal, siginfo_t* info, void* context) {
    CrashFacts facts{};
    facts.check = checkName;
    facts.kind = signalName(signal);
    facts.badAccess = signal == SIGSEGV || signal == SIGBUS;
    facts.dataAddress = reinterpret_cast<uintptr_t>(info->si_addr);
    facts.codeAddress = faultingInstruction(context, facts.access);
    // dladdr only reads the loader's tables; a crash inside the loader itself may make it wait
    // for good, which the parent's time limit then reports.
    Dl_info where{};
    link_map* map = nullptr;
    if (facts.codeAddress && dladdr1(reinterpret_cast<void*>(facts.codeAddress), &where,
                                     reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP)) {
        facts.file = where.dli_fname;
        facts.fileBase = reinterpret_cast<uintptr_t>(where.dli_fbase);
        if (map)
            facts.symbol = nearestExport(map, facts.codeAddress, facts.symbolAddress);
    }
    CrashLine line;
    composeCrashLine(line, facts);
    size_t length = 0;
    const char* text = line.finished(length);
    while (length > 0) {
        const ssize_t wrote = write(reportFile, text, length);
        if (wrote <= 0)
            break;
        text += wrote;
        length -= static_cast<size_t>(wrote);
    }
    // The handler was reset on entry: returning runs the faulting instruction again, which now
    // ends the process with the signal, as the parent expects.
}

} // namespace

void reportCrashes(const std::string& report, const std::string& check) {
    reportFile = open(report.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (reportFile < 0)
        return;
    const size_t n = std::min(check.size(), sizeof checkName - 1);
    std::memcpy(checkName, check.data(), n);
    checkName[n] = '\0';
    // Its own stack, so that a module that overran the stack can still be reported.
    static char alternate[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternate;
    stack.ss_size = sizeof alternate;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = onFault;
    action.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        sigaction(signal, &action, nullptr);
}
