// How a whole run of check goes: several checks at once, printed in the table's order; runs
// repeated with seeds one up; and the JSON and JUnit reports, read back by real parsers.
#include "check_tool.h"
#include "checks.h"
#include "reports.h"
#include "support/command_output.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// The lines of a run with the realtime check's remark cut off: its timings differ every run.
std::vector<std::string> withoutTimings(const ToolRun& run) {
    std::vector<std::string> found = steadyLines(run);
    for (std::string& line : found)
        if (passes(line, "realtime"))
            line = "PASS realtime";
    return found;
}

TEST(CheckRun, ManyChecksAtOnceArePrintedInTheOrderOfTheTable) {
    const std::vector<std::string> oneAtATime =
        withoutTimings(check({module("sound"), "--strict", "--seed", "4", "-j", "1"}));
    ASSERT_EQ(oneAtATime.size(), checkTable().size() + 2);
    for (const std::vector<std::string>& jobs :
         {std::vector<std::string>{"-j", "3"}, std::vector<std::string>{"--jobs=16"},
          std::vector<std::string>{}}) {
        std::vector<std::string> words = {module("sound"), "--strict", "--seed", "4"};
        words.insert(words.end(), jobs.begin(), jobs.end());
        EXPECT_EQ(withoutTimings(check(words)), oneAtATime) << testing::PrintToString(jobs);
    }
    // A crash and a hang among checks running side by side end only their own checks.
    const ToolRun crashing = check({module("nan_crash"), "--seed", "5", "-j", "4"});
    EXPECT_EQ(crashing.status, 1);
    EXPECT_NE(lineStarting(crashing, "FAIL blocks: "), "") << crashing.out;
    EXPECT_TRUE(passes(lineStarting(crashing, "PASS events"), "events")) << crashing.out;
    const ToolRun hanging = check({module("hang"), "--seed", "5", "-j", "3", "--timeout", "2"});
    EXPECT_NE(lineStarting(hanging, "FAIL blocks: no answer in 2 s"), "") << hanging.out;
    EXPECT_EQ(lines(hanging.out).back().find(" passed, "), 1u) << hanging.out;
}

TEST(CheckRun, RepeatsWithTheNextSeedsAndStopsAtTheFirstFailure) {
    const ToolRun passing = check({module("sound"), "--only", "exports", "--seed=7", "--repeat=3"});
    EXPECT_EQ(passing.status, 0) << passing.out;
    EXPECT_EQ(
        lines(passing.out),
        (std::vector<std::string>{"seed 7", "PASS exports", "1 passed, 0 failed", "seed 8",
                                  "PASS exports", "1 passed, 0 failed", "seed 9", "PASS exports",
                                  "1 passed, 0 failed", "all 3 runs passed (seeds 7 to 9)"}));

    const ToolRun failing =
        check({module("bad_data"), "--only", "blocks", "--seed", "20", "--repeat", "50"});
    EXPECT_EQ(failing.status, 1);
    const std::vector<std::string> failingLines = lines(failing.out);
    ASSERT_EQ(failingLines.size(), 4u) << failing.out;
    EXPECT_EQ(failingLines[0], "seed 20");
    EXPECT_EQ(failingLines[1].rfind("FAIL blocks: ", 0), 0u);
    EXPECT_EQ(failingLines[3], "failed with seed 20 (run 1 of 50)");
}

TEST(CheckRun, RefusesWrongCountsAndReportFilesThatCannotBeWritten) {
    const std::string missingFolder = "no-such-folder-for-check/report";
    const std::vector<std::vector<std::string>> wrong = {
        {module("sound"), "-j", "0"},
        {module("sound"), "-j", "many"},
        {module("sound"), "-j", "257"},
        {module("sound"), "--repeat", "0"},
        {module("sound"), "--repeat", "-3"},
        {module("sound"), "--json="},
        {module("sound"), "--json", missingFolder},
        {module("sound"), "--junit", missingFolder},
    };
    for (const std::vector<std::string>& words : wrong) {
        const ToolRun run = check(words);
        EXPECT_EQ(run.status, 2) << testing::PrintToString(words) << run.out;
        EXPECT_EQ(lineStarting(run, "seed "), "") << run.out; // refused before any check ran
        EXPECT_NE(lineStarting(run, "kaveltrum-host check: "), "") << run.out;
    }
}

// A crash names what faulted, the entry that was running and where in which file: the module's
// name and an offset, since the module exports no symbol before that place.
TEST(CheckRun, ACrashSaysWhereItHappened) {
    if (Sanitized)
        GTEST_SKIP() << "the sanitizer finds the null store first";
    const ToolRun run = check({module("nan_crash"), "--only", "blocks", "--seed", "5"});
    EXPECT_EQ(run.status, 1);
    const std::string line = lineStarting(run, "FAIL blocks: crashed (");
    const std::string where =
        " touching 0x0 in the block routine at check_nan_crash" + ModuleSuffix + "+0x";
    EXPECT_NE(line.find(where), std::string::npos) << run.out;
    EXPECT_EQ(line.find(" (makeModule"), std::string::npos) << line;
}

// The parsers are python3's, run natively; the Windows tool's reports of KAVELTRUM are read by
// the same script in a test of their own.
#ifdef KV_CHECK_REPORTS_SCRIPT
testing::AssertionResult readReports(const std::string& json, const std::string& junit,
                                     std::vector<std::string>& read) {
    const std::string command =
        "/usr/bin/python3 '" KV_CHECK_REPORTS_SCRIPT "' '" + json + "' '" + junit + "' 2>&1";
    const CommandOutput run = commandOutput(command);
    read = lines(run.output);
    if (run.status != 0)
        return testing::AssertionFailure() << "the parsers refuse the reports: " << run.output;
    return testing::AssertionSuccess();
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A check that crashes, one that warns, one skipped without --strict: the reports say so, and
// are written although the run failed.
TEST(CheckRun, ReportsEveryCheckOfACrashingModuleInJsonAndJUnit) {
    const std::string json = "check-run-report.json", junit = "check-run-report.xml";
    const ToolRun run =
        check({module("nan_crash"), "--seed", "5", "--json", json, "--junit=" + junit});
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> read;
    ASSERT_TRUE(readReports(json, junit, read));
    const size_t checks = checkTable().size();
    ASSERT_EQ(read.size(), 2 * checks + 2);
    EXPECT_EQ(read[0], "json 5 " + std::to_string(checks));
    EXPECT_EQ(read[1 + checks],
              "junit " + std::to_string(checks) + " 1 " + (Sanitized ? "2" : "1"));
    for (size_t i = 0; i < checks; ++i) {
        const std::string name = checkTable()[i].name;
        // Built with the sanitizers, the calls of the module cannot be counted.
        const bool crashed = name == "blocks",
                   skipped = checkTable()[i].strictOnly || (Sanitized && name == "realtime-safety");
        // a loaded machine can make a block overrun, which the realtime check warns of
        const bool overran = name == "realtime" && read[1 + i] == "check realtime WARN";
        EXPECT_TRUE(overran || read[1 + i] == "check " + name +
                                                  (crashed   ? " FAIL"
                                                   : skipped ? " SKIP"
                                                             : " PASS"))
            << read[1 + i];
        const std::string outcome = crashed ? "failure" : skipped ? "skipped" : "passed";
        EXPECT_EQ(read[2 + checks + i].rfind("case " + name + " " + outcome, 0), 0u)
            << read[2 + checks + i];
    }
    EXPECT_NE(fileText(json).find(CrashSeen), std::string::npos);
    EXPECT_NE(fileText(json).find("\"seed\": 5"), std::string::npos);
    std::remove(json.c_str());
    std::remove(junit.c_str());
}

// Whatever bytes a module puts in its texts, both reports stay well-formed and lose none of them.
TEST(CheckRun, ReportsHoldAnyTextAModuleGives) {
    const std::string hostile =
        std::string("<a href=\"x\">&amp;</a> ' \\ \x01\x1f\x7f tab\there\n") +
        "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB9 " +         // valid UTF-8
        "\xFF \xC3 \xC0\xAF \xED\xA0\x80 \xEF\xBF\xBE end"; // not
    RunRecord record{"m\xE9/\"odd\" module.so", "1.0.0", 9, {{"name", hostile}}, {}, {}};
    record.checks.push_back({"blocks", "FAIL", hostile, {}, 0.25});
    record.checks.push_back({"events", "WARN", "", {hostile, "second"}, 0.5});
    record.checks.push_back({"host-mistakes", "SKIP", "runs with --strict", {}, 0.0});
    const std::string json = "check-odd-report.json", junit = "check-odd-report.xml";
    ASSERT_TRUE(writeReports(record, json, junit).ok());
    std::vector<std::string> read;
    ASSERT_TRUE(readReports(json, junit, read));
    EXPECT_EQ(read, (std::vector<std::string>{"json 9 3", "check blocks FAIL", "check events WARN",
                                              "check host-mistakes SKIP", "junit 3 1 1",
                                              "case blocks failure ", "case events passed out",
                                              "case host-mistakes skipped "}));
    const std::string text = fileText(json);
    for (const char* kept :
         {"\\u0001", "\\u007F", "\\\"x\\\"", "\xC3\xA9", "\xF0\x9F\x8E\xB9", "\xC3\xBF", "\\u000A"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    std::remove(json.c_str());
    std::remove(junit.c_str());
}

TEST(CheckRun, AModuleThatCannotLoadIsOneFailedCaseInTheReports) {
    const std::string json = "check-unloadable.json", junit = "check-unloadable.xml";
    const ToolRun run = check({module("load_crash"), "--json", json, "--junit", junit});
    EXPECT_EQ(run.status, 2);
    std::vector<std::string> read;
    ASSERT_TRUE(readReports(json, junit, read));
    EXPECT_EQ(read, (std::vector<std::string>{"json " + lines(run.out).at(0).substr(5) + " 0",
                                              "junit 1 1 0", "case load failure "}));
    EXPECT_NE(fileText(json).find("\"error\": \"cannot load "), std::string::npos);
    std::remove(json.c_str());
    std::remove(junit.c_str());
}
#endif

} // namespace
