// kaveltrum-host check, run as a program on the small modules beside it: the sound one passes,
// each broken one fails on the check that is about its fault, and the tool lives through all of
// them.
#include "check_command.h"
#include "check_tool.h"
#include "checks.h"

#include <fstream>
#include <set>
#include <sstream>

namespace {

// Built with the sanitizers, the calls cannot be counted: the sanitizer's runtime must be the
// first library loaded, before any preloaded one.
#if defined(__SANITIZE_ADDRESS__)
const bool CallsCounted = false;
#else
const bool CallsCounted = true;
#endif

#if defined(_WIN32)
const char* const LockCall = "EnterCriticalSection";
#else
const char* const LockCall = "pthread_mutex_lock";
#endif

struct Fault {
    const char* module;
    const char* line;   // the start of the line that reports it
    const char* detail; // a piece of that line
    int status;
    bool alone = false; // the only check that fails
};

void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.module;
}

class BrokenModule : public testing::TestWithParam<Fault> {};

TEST_P(BrokenModule, IsCaughtByItsCheckAndTheRunGoesOn) {
    const Fault& fault = GetParam();
    // The module that hangs gets a short time limit, so that the test does not wait long.
    const std::string limit = std::string(fault.module) == "hang" ? "3" : "10";
    const ToolRun run = check({module(fault.module), "--seed", "5", "--timeout=" + limit});
    const std::vector<std::string> runLines = lines(run.out);
    const std::string counting = "FAIL realtime-safety: ";
    if (!CallsCounted && fault.line == counting) {
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(lineStarting(run, "SKIP realtime-safety: "), "") << run.out;
        return;
    }
    EXPECT_EQ(run.status, fault.status) << run.out;
    const std::string line = lineStarting(run, fault.line);
    EXPECT_NE(line.find(fault.detail), std::string::npos) << run.out;
    if (fault.alone) {
        const std::string summary = runLines.empty() ? "" : runLines.back();
        EXPECT_NE(summary.find(" passed, 1 failed"), std::string::npos) << run.out;
    }
    ASSERT_FALSE(runLines.empty());
    EXPECT_EQ(runLines.front(), "seed 5");
    EXPECT_NE(runLines.back().find(" passed, "), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Check, BrokenModule,
    testing::Values(Fault{"nan_crash", "FAIL blocks: ", CrashSeen, 1},
                    Fault{"bad_data", "FAIL blocks: ", "200", 1},
                    Fault{"wrong_magic", "FAIL make-module: ", "magic", 1},
                    Fault{"endless_pins", "FAIL pin-descriptions: ", "4096", 1},
                    Fault{"hang", "FAIL blocks: ", "no answer in 3 s", 1},
                    Fault{"slow", "FAIL realtime: ", "64-sample blocks took", 1},
                    Fault{"hanging_notes", "WARN hanging-notes: ", "still sounding", 0},
                    Fault{"allocating", "FAIL realtime-safety: ", "malloc", 1, true},
                    Fault{"locking", "FAIL realtime-safety: ", LockCall, 1, true},
                    Fault{"file", "FAIL realtime-safety: ", "fopen", 1, true},
                    Fault{"flush_to_zero", "FAIL fp-state: ", "flush-to-zero on (MXCSR", 1, true},
                    Fault{"read_past", "FAIL blocks: ",
                          Sanitized ? CrashSeen
                                    : "read past the end of the sample block of pin 1 (IN) at "
                                      "block size 64, in the block routine at check_read_past",
                          1},
                    Fault{"pin_overrun", "FAIL pin-descriptions: ",
                          "wrote past the end of the pin description record, in the dispatcher "
                          "(opcode 6) at check_pin_overrun",
                          1}),
    [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.module); });

// The checks write the file the module's NAME pin reads in the child's working folder, which
// is a scratch folder, never the folder the tool was started in.
TEST(Check, PassesTheSoundModuleOnEveryCheckInAFolderOfItsOwn) {
    const std::string nameFile = "file3.txt";
    std::remove(nameFile.c_str());
    const ToolRun run = check({module("sound"), "--strict"});
    const std::vector<std::string> runLines = steadyLines(run);
    EXPECT_FALSE(std::ifstream(nameFile).good());
    EXPECT_EQ(run.status, 0) << run.out;
    const size_t checks = checkTable().size();
    ASSERT_EQ(runLines.size(), checks + 2) << run.out;
    for (size_t i = 0; i < checks; ++i) {
        const std::string name = checkTable()[i].name;
        if (!CallsCounted && name == "realtime-safety")
            EXPECT_EQ(runLines[i + 1].compare(0, 24, "SKIP realtime-safety: th"), 0);
        else
            EXPECT_TRUE(passes(runLines[i + 1], name)) << runLines[i + 1];
    }
    EXPECT_EQ(runLines.back(), CallsCounted
                                   ? std::to_string(checks) + " passed, 0 failed"
                                   : std::to_string(checks - 1) + " passed, 0 failed, 1 skipped");
}

// Our own module does work when it is told to: it reloads its record file in every block while
// RELOAD is high and when OUTFILE names a file, and a recorded note fills the stream's buffer in
// the MIDI event. Each is a warning; every block with its inputs low and unchanged is clean.
TEST(Check, KaveltrumGetsItsRealTimeWarningsAndPasses) {
    const Result<std::string> kaveltrum = defaultModulePath();
    ASSERT_TRUE(kaveltrum.ok()) << kaveltrum.error();
    const ToolRun run = check({*kaveltrum, "--only", "realtime-safety", "--seed", "3"});
    if (!CallsCounted) {
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(lineStarting(run, "SKIP realtime-safety: "), "") << run.out;
        return;
    }
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(lineStarting(run, "PASS realtime-safety: "), "") << run.out;
    std::vector<std::string> warnings;
    for (const std::string& line : lines(run.out))
        if (line.compare(0, 22, "WARN realtime-safety: ") == 0)
            warnings.push_back(line);
    const auto warned = [&](const std::string& call, const std::string& where) {
        for (const std::string& line : warnings)
            if (line.find(" " + call + " ") != std::string::npos &&
                line.find(where) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(warned("fopen", "while 'RELOAD' was held high")) << run.out;
    EXPECT_TRUE(warned("fread", "where an input changed")) << run.out;
    EXPECT_TRUE(warned("fopen", "pin events")) << run.out;
#if defined(_WIN32)
    EXPECT_TRUE(warned("fputc", "MIDI events")) << run.out;
#else
    EXPECT_TRUE(warned("putc", "MIDI events")) << run.out;
#endif
    for (const std::string& line : warnings)
        EXPECT_EQ(line.find("no event arriving"), std::string::npos) << line;
}

TEST(Check, OnlyRunsTheNamedChecksInTheirOrder) {
    for (const auto& words : {std::vector<std::string>{"--only", "realtime", "exports"},
                              std::vector<std::string>{"--only=exports,realtime"}}) {
        std::vector<std::string> line = {module("sound")};
        line.insert(line.end(), words.begin(), words.end());
        const ToolRun run = check(line);
        const std::vector<std::string> runLines = steadyLines(run);
        EXPECT_EQ(run.status, 0) << run.out;
        ASSERT_EQ(runLines.size(), 4u) << run.out;
        EXPECT_EQ(runLines[1], "PASS exports");
        EXPECT_TRUE(passes(runLines[2], "realtime")) << runLines[2];
        EXPECT_EQ(runLines[3], "2 passed, 0 failed");
    }
}

// The first failure names where it happened; which block that is comes from the seed.
TEST(Check, TheSameSeedMakesTheSameChoices) {
    const auto blocks = [](const std::string& seed) {
        return lines(check({module("bad_data"), "--only", "blocks", "--seed=" + seed}).out);
    };
    EXPECT_EQ(blocks("11"), blocks("11"));
    std::set<std::string> failures;
    for (const char* seed : {"1", "2", "3", "4"})
        failures.insert(blocks(seed).at(1));
    EXPECT_GT(failures.size(), 1u);
}

TEST(Check, ListsEveryCheckWithWhatItDoesAndHelps) {
    const ToolRun run = check({"--list"});
    const std::vector<std::string> runLines = lines(run.out);
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(runLines.size(), checkTable().size());
    for (size_t i = 0; i < runLines.size(); ++i) {
        const std::string name = checkTable()[i].name;
        EXPECT_EQ(runLines[i].compare(0, name.size() + 1, name + " "), 0) << runLines[i];
        EXPECT_GT(runLines[i].size(), name.size() + 20) << runLines[i];
    }

    const ToolRun help = check({"--help"});
    const std::vector<std::string> helpLines = lines(help.out);
    EXPECT_EQ(help.status, 0);
    ASSERT_FALSE(helpLines.empty());
    EXPECT_EQ(helpLines[0].compare(0, 29, "usage: kaveltrum-host check M"), 0) << helpLines[0];
}

TEST(Check, WrongCommandLinesAndUnloadableFilesExitWithTwo) {
    const std::string notALibrary = "check-not-a-library.txt";
    std::ofstream(notALibrary) << "text\n";
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {module("sound"), "--loud"},
        {module("sound"), "--only", "nothing"},
        {module("sound"), "--only"},
        {module("sound"), "--seed", "ten"},
        {module("sound"), "--timeout", "0"},
        {module("sound"), "--strict=yes"},
        {module("sound"), module("slow")},
        {"no-such-module" + ModuleSuffix},
        {notALibrary},
        {module("load_crash")},
    };
    for (const std::vector<std::string>& words : wrong) {
        const ToolRun run = check(words);
        EXPECT_EQ(run.status, 2) << run.out;
        EXPECT_EQ(lineStarting(run, " passed, "), "") << run.out;
        EXPECT_NE(lineStarting(run, "kaveltrum-host check: "), "") << run.out;
    }
    std::remove(notALibrary.c_str());
}

} // namespace
