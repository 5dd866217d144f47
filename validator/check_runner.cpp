// The parent side of `check`: starts one child per check and turns what each child reported, or
// how it ended, into one verdict line.
#include "call_counter.h"
#include "check_command.h"
#include "check_run.h"
#include "checks.h"
#include "scratch_folder.h"
#include "texts.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

namespace fs = std::filesystem;

namespace {

// The lines of a child's report file; none when it wrote none.
std::vector<std::string> reportLines(const std::string& file) {
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

uint64_t freshSeed() {
    std::random_device entropy;
    const uint64_t now =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return (static_cast<uint64_t>(entropy()) << 20 ^ now) % 1000000000ull;
}

std::vector<const CheckEntry*> selectedChecks(const CheckOptions& options) {
    std::vector<const CheckEntry*> checks;
    for (const CheckEntry& entry : checkTable()) {
        bool named = false;
        for (const std::string& name : options.only)
            named = named || name == entry.name;
        if (options.only.empty() ? !entry.strictOnly || options.strict : named)
            checks.push_back(&entry);
    }
    return checks;
}

namespace {

// A scratch folder for one child, removed with whatever the module left in it: the child works
// in a folder inside it and reports into a file beside that. Null when none can be made.
struct ChildScratch {
    ScratchFolder scratch{"kaveltrum-check"};
    ChildFolder folder{scratch.file("work"), scratch.file("report")};
};

std::unique_ptr<ChildScratch> childScratch() {
    try {
        auto made = std::make_unique<ChildScratch>();
        fs::create_directory(made->folder.work);
        return made;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// Why the loading child told nothing.
std::string loadFailure(const std::string& module, const ChildRun& run, double timeout) {
    if (run.end == ChildRun::End::NotStarted)
        return "cannot start a check: " + run.why;
    if (run.end == ChildRun::End::Crashed)
        return "cannot load " + module + ": loading it crashed (" + crashName(run.code) + ")";
    if (run.end == ChildRun::End::TimedOut)
        return "cannot load " + module + ": loading it did not end in " + shortNumber(timeout) +
               " s";
    return "cannot load " + module + ": the loading process ended with status " +
           std::to_string(run.code);
}

} // namespace

// The module file is loaded in a child, so that a library whose loading crashes cannot take the
// tool with it.
LoadAnswer probeModule(const std::string& module, double timeout) {
    const std::unique_ptr<ChildScratch> scratch = childScratch();
    if (!scratch)
        return {"no scratch folder can be made in the temporary folder", {}};
    const ChildRun run =
        runChild(ownProgram(), childArguments(module, LoadProbe, 0, scratch->folder), timeout);
    LoadAnswer answer;
    bool loaded = false;
    for (const std::string& line : reportLines(scratch->folder.report)) {
        loaded = loaded || line == "LOADED";
        if (startsWith(line, "UNLOADABLE "))
            return {line.substr(11), {}};
        if (startsWith(line, "PROPERTY ")) {
            const size_t space = line.find(' ', 9);
            if (space != std::string::npos)
                answer.properties.emplace_back(line.substr(9, space - 9), line.substr(space + 1));
        }
    }
    if (!loaded)
        answer.problem = loadFailure(module, run, timeout);
    return answer;
}

void listChecks(std::ostream& out) {
    for (const CheckEntry& entry : checkTable()) {
        char name[24];
        std::snprintf(name, sizeof name, "%-18s", entry.name);
        out << name << entry.description << (entry.strictOnly ? " (--strict)" : "") << "\n";
    }
}

CheckVerdict runOneCheck(const CheckEntry& entry, const std::string& module, uint64_t seed,
                         double timeout) {
    const std::unique_ptr<ChildScratch> scratch = childScratch();
    CheckVerdict verdict;
    const std::string name = entry.name;
    if (!scratch) {
        verdict.lines.push_back("FAIL " + name + ": no scratch folder could be made");
        return verdict;
    }
    const ChildRun run = runChild(ownProgram(), childArguments(module, name, seed, scratch->folder),
                                  timeout, ChildOutput::Discard, childEnvironment(name));
    std::string answer;
    for (const std::string& line : reportLines(scratch->folder.report)) {
        if (startsWith(line, "WARN "))
            verdict.lines.push_back(line);
        else if (startsWith(line, "PASS " + name) || startsWith(line, "FAIL " + name) ||
                 startsWith(line, "SKIP " + name))
            answer = line;
    }
    switch (run.end) {
    case ChildRun::End::NotStarted:
        answer = "FAIL " + name + ": the check could not start (" + run.why + ")";
        break;
    case ChildRun::End::Crashed: // the child's last line tells where, when it could tell
        if (!startsWith(answer, "FAIL "))
            answer = "FAIL " + name + ": crashed (" + crashName(run.code) + ")";
        break;
    case ChildRun::End::TimedOut:
        answer = "FAIL " + name + ": no answer in " + shortNumber(timeout) + " s";
        break;
    case ChildRun::End::Exited:
        if (answer.empty())
            answer = "FAIL " + name + ": the process ended with status " +
                     std::to_string(run.code) + " before answering";
        else if ((startsWith(answer, "PASS ") || startsWith(answer, "SKIP ")) && run.code != 0)
            answer = "FAIL " + name + ": the process ended with status " +
                     std::to_string(run.code) + " after the check";
        break;
    }
    verdict.passed = startsWith(answer, "PASS ");
    verdict.skipped = startsWith(answer, "SKIP ");
    verdict.lines.push_back(answer);
    return verdict;
}
