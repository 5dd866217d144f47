#include "module_file.h"

#include "running_entry.h"
#include "texts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
constexpr const char* DefaultModuleName = "KAVELTRUM.sem";
#else
constexpr const char* DefaultModuleName = "KAVELTRUM.so";
#endif

// Texts from a module are read up to this length, in case one lacks its terminator.
constexpr size_t MaxModuleText = 65536;

// Why the file cannot be read, or an empty text when it can.
std::string unreadable(const std::string& path) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return errno == ENOENT || errno == 0 ? "no such file" : std::strerror(errno);
    std::fclose(file);
    return {};
}

// A library opened by the system, or why it could not be.
struct Opened {
    std::shared_ptr<void> library;
    std::string reason;
};

#if defined(_WIN32)

Opened openLibrary(const std::string& path) {
    // A relative name would send the loader searching the system folders; give it the full path.
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return {nullptr, "the path is too long"};
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE handle = LoadLibraryA(full);
    const DWORD error = GetLastError();
    SetErrorMode(oldMode);
    if (!handle)
        return {nullptr, "Windows error " + std::to_string(error)};
    return {std::shared_ptr<void>(handle, [](void* h) { FreeLibrary(static_cast<HMODULE>(h)); }),
            {}};
}

void* findExport(void* library, const char* name) {
    FARPROC address = GetProcAddress(static_cast<HMODULE>(library), name);
    void* plain = nullptr;
    std::memcpy(&plain, &address, sizeof plain);
    return plain;
}

Result<std::string> executablePath() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return Failure{"cannot tell where the running program lives"};
    return std::string(path, length);
}

#else

Opened openLibrary(const std::string& path) {
    // A bare file name would send dlopen searching the library path; keep it in this folder.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    void* handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::string reason = boundedText(dlerror(), MaxModuleText);
        const std::string prefix = where + ": ";
        if (reason.compare(0, prefix.size(), prefix) == 0)
            reason.erase(0, prefix.size());
        return {nullptr, reason.empty() ? "unknown reason" : reason};
    }
    return {std::shared_ptr<void>(handle, [](void* h) { dlclose(h); }), {}};
}

void* findExport(void* library, const char* name) {
    return dlsym(library, name);
}

Result<std::string> executablePath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path)
        return Failure{"cannot tell where the running program lives"};
    return std::string(path, static_cast<size_t>(length));
}

#endif

template <class Function> Function exportOf(void* library, const char* name) {
    static_assert(sizeof(Function) == sizeof(void*), "function and data addresses differ");
    void* address = findExport(library, name);
    Function function = nullptr;
    std::memcpy(&function, &address, sizeof function);
    return function;
}

} // namespace

ModuleFile::ModuleFile(std::string path, std::shared_ptr<void> library,
                       GetModulePropertiesFn properties, MakeModuleFn make)
    : filePath(std::move(path)), library(std::move(library)), propertiesEntry(properties),
      makeEntry(make) {}

Result<ModuleFile> ModuleFile::load(const std::string& path) {
    const std::string subject = "cannot load " + path + ": ";
    if (const std::string reason = unreadable(path); !reason.empty())
        return Failure{subject + reason};
    Opened opened = openLibrary(path);
    if (!opened.library)
        return Failure{subject + "not a loadable library (" + opened.reason + ")"};
    void* library = opened.library.get();
    auto properties = exportOf<GetModulePropertiesFn>(library, "getModuleProperties");
    auto make = exportOf<MakeModuleFn>(library, "makeModule");
    if (!properties && !make)
        return Failure{subject + "exports neither getModuleProperties nor makeModule"};
    if (!properties || !make)
        return Failure{subject + "does not export " +
                       (properties ? "makeModule" : "getModuleProperties")};
    return ModuleFile(path, std::move(opened.library), properties, make);
}

Result<ModuleInfo> ModuleFile::properties() const {
    ModuleProperties props{};
    const RunningEntry running("getModuleProperties");
    if (propertiesEntry(0, &props) == 0)
        return Failure{filePath + ": the module gives no properties for module 0"};
    ModuleInfo info;
    info.name = boundedText(props.name, MaxModuleText);
    info.identifier = boundedText(props.identifier, MaxModuleText);
    info.about = boundedText(props.about, MaxModuleText);
    info.interfaceVersion = props.interfaceVersion;
    return info;
}

Result<std::string> besideExecutable(const std::string& fileName) {
    Result<std::string> program = executablePath();
    if (!program)
        return program;
    const std::string& path = *program;
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return fileName;
    return path.substr(0, slash + 1) + fileName;
}

Result<std::string> defaultModulePath() {
    return besideExecutable(DefaultModuleName);
}
