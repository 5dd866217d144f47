// The child's side of `check`: one check in a process of its own, so that whatever the module
// does to the process ends only this check.
#include "check_run.h"
#include "crash_report.h"
#include "module_file.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>

namespace {

// Each check draws its own numbers from the run's seed, so that running one check alone makes
// the same choices as running it among all the others.
uint64_t seedFor(uint64_t runSeed, const std::string& check) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : check)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return runSeed ^ hash;
}

// Says whether the file loads, then what the module tells of itself, for the reports. A module
// whose properties crash has still loaded: the checks will tell of the crash.
int probeLoading(const std::string& module, std::ostream& out) {
    Result<ModuleFile> file = ModuleFile::load(module);
    reportLine(out, file ? "LOADED" : "UNLOADABLE " + file.error());
    if (!file)
        return 1;
    if (Result<ModuleInfo> info = file->properties()) {
        reportLine(out, "PROPERTY name " + info->name);
        reportLine(out, "PROPERTY identifier " + info->identifier);
        reportLine(out, "PROPERTY about " + info->about);
        reportLine(out, "PROPERTY interfaceVersion " + std::to_string(info->interfaceVersion));
    }
    return 0;
}

} // namespace

std::vector<std::string> childArguments(const std::string& module, const std::string& check,
                                        uint64_t seed, const ChildFolder& folder) {
    return {ChildCommand, module, check, std::to_string(seed), folder.work, folder.report};
}

int runChildCheck(const std::vector<std::string>& arguments) {
    dieQuietlyOnCrash();
    if (arguments.size() != 5)
        return 2;
    // Every line is flushed as it is written, so that a crash later in the check keeps it.
    std::ofstream out(arguments[4], std::ios::binary | std::ios::trunc);
    if (!out)
        return 3;
    const std::string& module = arguments[0];
    const std::string& name = arguments[1];
    reportCrashes(arguments[4], name);
    std::error_code error;
    std::filesystem::current_path(arguments[3], error);
    if (error) {
        reportLine(out, "FAIL " + name + ": cannot work in " + arguments[3]);
        return 1;
    }
    if (name == LoadProbe)
        return probeLoading(module, out);
    const CheckEntry* entry = findCheck(name);
    if (!entry) {
        reportLine(out, "FAIL " + name + ": no such check");
        return 1;
    }
    CheckContext context(module, seedFor(std::strtoull(arguments[2].c_str(), nullptr, 10), name),
                         name, out);
    try {
        entry->run(context);
    } catch (const CheckSkipped& skipped) {
        reportLine(out, "SKIP " + name + ": " + skipped.why);
        return 0;
    } catch (const CheckFailed& failed) {
        reportLine(out, "FAIL " + name + ": " + failed.what);
        return 1;
    } catch (const std::exception& exception) {
        reportLine(out, "FAIL " + name + ": " + exception.what());
        return 1;
    } catch (...) {
        reportLine(out, "FAIL " + name + ": an exception came out of the module");
        return 1;
    }
    reportLine(out, "PASS " + name + (context.noted().empty() ? "" : ": " + context.noted()));
    return 0;
}
