#include "child_process.h"

#include <windows.h>

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

// One argument quoted so that the child's runtime splits it back exactly: backslashes count only
// before a quote.
std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string text = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

class Handle {
  public:
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }
    void reset(HANDLE value = nullptr) {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        handle = value;
    }
    HANDLE* out() { return &handle; }
    HANDLE get() const { return handle; }

  private:
    HANDLE handle = nullptr;
};

// Takes whatever the pipe holds now, without waiting for more.
void drain(HANDLE pipe, std::string& output) {
    char chunk[4096];
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD got = 0;
        const DWORD wanted = available < sizeof chunk ? available : sizeof chunk;
        if (!ReadFile(pipe, chunk, wanted, &got, nullptr) || got == 0)
            return;
        output.append(chunk, got);
    }
}

std::string windowsError(const char* what) {
    return std::string(what) + ": Windows error " + std::to_string(GetLastError());
}

} // namespace

// The Windows children count calls in their own process and need no variables of their own.
ChildRun runChild(const std::string& program, const std::vector<std::string>& arguments,
                  double seconds, ChildOutput output, const std::vector<std::string>&) {
    ChildRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle readEnd, writeEnd, nothingIn, nothingOut;
    const bool keep = output != ChildOutput::Discard;
    if (keep && !CreatePipe(readEnd.out(), writeEnd.out(), &inherit, 0)) {
        run.why = windowsError("no pipe");
        return run;
    }
    if (keep)
        SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    nothingIn.reset(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr));
    nothingOut.reset(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr));

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothingIn.get();
    startup.hStdOutput = keep ? writeEnd.get() : nothingOut.get();
    startup.hStdError = output == ChildOutput::KeepWithErrors ? writeEnd.get() : nothingOut.get();

    std::string commandLine = quoted(program);
    for (const std::string& argument : arguments)
        commandLine += " " + quoted(argument);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
        run.why = windowsError(program.c_str());
        return run;
    }
    Handle child, thread;
    child.reset(process.hProcess);
    thread.reset(process.hThread);
    writeEnd.reset(); // the child holds the only writing end now

    const auto deadline =
        Clock::now() + std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
    for (;;) {
        if (keep)
            drain(readEnd.get(), run.output);
        if (WaitForSingleObject(child.get(), 10) == WAIT_OBJECT_0)
            break;
        if (Clock::now() >= deadline) {
            TerminateProcess(child.get(), 1);
            WaitForSingleObject(child.get(), INFINITE);
            run.end = ChildRun::End::TimedOut;
            return run;
        }
    }
    if (keep)
        drain(readEnd.get(), run.output);
    DWORD status = 0;
    GetExitCodeProcess(child.get(), &status);
    // Exit codes with both top bits set are exception codes (NTSTATUS errors), not statuses.
    run.end =
        (status & 0xC0000000u) == 0xC0000000u ? ChildRun::End::Crashed : ChildRun::End::Exited;
    run.code = status;
    return run;
}

std::string crashName(unsigned long code) {
    char text[32];
    std::snprintf(text, sizeof text, "exception 0x%08lX", code);
    return text;
}

std::string ownProgram() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::string(path, length);
}

namespace {

LONG WINAPI endWithTheCode(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void dieQuietlyOnCrash() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(endWithTheCode);
}
