// The manual page: every command of the table and every option in it, roff that formats without
// a warning, and a date that comes from the time it is given, never from the clock.
#include "command_table.h"
#include "manual.h"
#include "scratch_folder.h"
#include "shell.h"
#include "support/files.h"

#include <gtest/gtest.h>

namespace {

const ManualFacts Facts{"1.0.0", "2026-12-09"};

// The part of the page from ".SS name" (or ".SH name") to the next heading.
std::string section(const std::string& page, const std::string& heading) {
    const size_t start = page.find("\n" + heading + "\n");
    if (start == std::string::npos)
        return "";
    const size_t end = std::min(page.find("\n.SS ", start + 1), page.find("\n.SH ", start + 1));
    return page.substr(start, end - start);
}

std::vector<std::string> typedNames(const std::vector<OptionSpec>& options) {
    std::vector<std::string> names;
    for (const OptionSpec& option : options) {
        names.push_back(roffText(option.name));
        if (option.shortName)
            names.push_back(roffText(option.shortName));
    }
    return names;
}

TEST(ManualPage, HoldsEveryShownCommandWithAllItsOptions) {
    const std::string page = manualPage(Facts);
    for (const CommandSpec& command : commandTable()) {
        const std::string heading = ".SS " + std::string(command.name);
        const std::string part = section(page, heading);
        if (command.hidden) {
            EXPECT_EQ(page.find(roffText(command.name)), std::string::npos) << command.name;
            continue;
        }
        ASSERT_FALSE(part.empty()) << heading;
        EXPECT_NE(part.find(".SY \"kaveltrum\\-host " + std::string(command.name) + "\"\n"),
                  std::string::npos)
            << heading;
        for (const std::string& name : typedNames(command.options))
            EXPECT_NE(part.find("\\fB" + name + "\\fR"), std::string::npos) << heading << name;
        EXPECT_EQ(part.find("\\fB\\-\\-module\\fR") != std::string::npos, command.takesModule)
            << heading;
    }
    const std::string common = section(page, ".SH \"COMMON OPTIONS\"");
    for (const std::string& name : typedNames(commonOptions()))
        EXPECT_NE(common.find("\\fB" + name + "\\fR"), std::string::npos) << name;
}

struct Escaped {
    std::string text, roff;
};

class RoffText : public testing::TestWithParam<Escaped> {};

TEST_P(RoffText, ShowsTheTextAsWritten) {
    EXPECT_EQ(roffText(GetParam().text), GetParam().roff);
}

INSTANTIATE_TEST_SUITE_P(
    Manual, RoffText,
    testing::Values(Escaped{"--bpm BPM", "\\-\\-bpm BPM"}, Escaped{"C-1 to G9", "C\\-1 to G9"},
                    Escaped{"D:\\DIAGNOSE.TXT", "D:\\eDIAGNOSE.TXT"},
                    Escaped{".SH is text here", "\\&.SH is text here"},
                    Escaped{"'quoted", "\\&'quoted"}, Escaped{"a.b 'c'", "a.b 'c'"},
                    Escaped{"one\n.two\n'three\n", "one\n\\&.two\n\\&'three\n"}));

struct Day {
    uint64_t seconds;
    std::string day;
};

class DayOf : public testing::TestWithParam<Day> {};

TEST_P(DayOf, IsTheCalendarDay) {
    EXPECT_EQ(dayOf(GetParam().seconds), GetParam().day);
}

INSTANTIATE_TEST_SUITE_P(Manual, DayOf,
                         testing::Values(Day{0, "1970-01-01"}, Day{86399, "1970-01-01"},
                                         Day{946598400, "1999-12-31"}, Day{951782400, "2000-02-29"},
                                         Day{951868800, "2000-03-01"},
                                         Day{1709164800 + 86399, "2024-02-29"},
                                         Day{1796774400, "2026-12-09"},
                                         Day{253402300799ULL, "9999-12-31"}));

// groff with every warning on, and man as a reader runs it; a warning names a line of ours that
// is not what roff expects.
TEST(ManualPage, FormatsWithoutAWarning) {
    if (!hasProgram("groff"))
        GTEST_SKIP() << "groff is not installed";
    ScratchFolder scratch("kaveltrum-manual-page");
    const std::string path = scratch.file("kaveltrum-host.1");
    writeText(path, manualPage(Facts));
    const CommandOutput groff =
        commandOutput("groff -man -Tutf8 -ww " + shellWord(path) + " 2>&1 >/dev/null");
    EXPECT_EQ(groff.status, 0);
    EXPECT_EQ(groff.output, "");
    if (!hasProgram("man"))
        return;
    const CommandOutput man = commandOutput("MANWIDTH=80 man -l " + shellWord(path) + " 2>&1");
    EXPECT_EQ(man.status, 0) << man.output;
    EXPECT_EQ(man.output.find("warning"), std::string::npos) << man.output;
    for (const CommandSpec& command : commandTable()) {
        if (command.hidden)
            continue;
        EXPECT_NE(man.output.find("kaveltrum-host " + std::string(command.name)), std::string::npos)
            << command.name;
    }
}

struct Generated {
    std::vector<std::string> words; // after the folder
    int status;
    std::string titleLine; // the page's .TH line, when it is made
};

class Generator : public testing::TestWithParam<Generated> {};

TEST_P(Generator, DatesThePageByTheTimeGivenOnly) {
    const Generated& c = GetParam();
    ScratchFolder scratch("kaveltrum-manual-program");
    std::string command = shellWord(KV_MANUAL_PROGRAM) + " " + shellWord(scratch.path());
    for (const std::string& word : c.words)
        command += " " + shellWord(word);
    EXPECT_EQ(commandOutput(command + " 2>/dev/null").status, c.status);
    const std::string page = readText(scratch.file("kaveltrum-host.1"));
    if (c.status != 0) {
        EXPECT_FALSE(exists(scratch.file("kaveltrum-host.1")));
        return;
    }
    EXPECT_NE(page.find("\n" + c.titleLine + "\n"), std::string::npos) << page.substr(0, 200);
    EXPECT_EQ(readText(scratch.file("kaveltrum-host.bash")), bashCompletion({c.words[0], ""}));
}

INSTANTIATE_TEST_SUITE_P(
    Manual, Generator,
    testing::Values(
        Generated{
            {"1.2.3", "0"},
            0,
            ".TH KAVELTRUM\\-HOST 1 \"1970-01-01\" \"kaveltrum\\-host 1.2.3\" \"User Commands\""},
        Generated{{"1.2.3", "1796774400"},
                  0,
                  ".TH KAVELTRUM\\-HOST 1 \"2026-12-09\" \"kaveltrum\\-host 1.2.3\" \"User "
                  "Commands\""},
        Generated{{"1.2.3"},
                  0,
                  ".TH KAVELTRUM\\-HOST 1 \"\" \"kaveltrum\\-host 1.2.3\" \"User Commands\""},
        Generated{{"1.2.3", "yesterday"}, 2, ""}, Generated{{"1.2.3", "-5"}, 2, ""},
        Generated{{"1.2.3", "253402300800"}, 2, ""}, Generated{{}, 2, ""}));

} // namespace
