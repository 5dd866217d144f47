// The one parser of every command's words, and the command table that the help, the parser and
// the generated manual and completion all read.
#include "check_command.h"
#include "checks.h"
#include "command_table.h"
#include "tool_fixture.h"

#include <map>

namespace {

using Values = std::map<std::string, std::vector<std::string>>;

struct Parsed {
    std::vector<std::string> words;
    std::string command;
    std::vector<std::string> operands;
    Values values;
    std::string error; // the start of the error, when the words are wrong
};

void PrintTo(const Parsed& c, std::ostream* out) {
    *out << testing::PrintToString(c.words);
}

class ParserTakes : public testing::TestWithParam<Parsed> {};

TEST_P(ParserTakes, TheWordsAsTheirCommandReadsThem) {
    const Parsed& c = GetParam();
    CommandLine line;
    const Status parsed = parseCommandLine(c.words, line);
    if (!c.error.empty()) {
        ASSERT_FALSE(parsed);
        EXPECT_EQ(parsed.error().rfind(c.error, 0), 0u) << parsed.error();
        EXPECT_EQ(parsed.error().find('\n'), std::string::npos) << parsed.error();
        EXPECT_EQ(line.command, c.command); // the error names its command
        return;
    }
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(line.command, c.command);
    EXPECT_EQ(line.operands, c.operands);
    EXPECT_EQ(line.values, c.values);
}

const std::vector<std::string> none;

Parsed parsed(std::vector<std::string> words, std::string command,
              std::vector<std::string> operands, Values values) {
    return {std::move(words), std::move(command), std::move(operands), std::move(values), ""};
}

Parsed wrong(std::vector<std::string> words, std::string command, std::string error) {
    return {std::move(words), std::move(command), {}, {}, std::move(error)};
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ParserTakes,
    testing::Values(
        // a list takes every word up to the next option, and commas part them
        parsed({"check", "m.so", "--only", "exports", "realtime"}, "check", {"m.so"},
               {{"--only", {"exports", "realtime"}}}),
        parsed({"check", "--only=exports,,realtime", "m.so"}, "check", {"m.so"},
               {{"--only", {"exports", "realtime"}}}),
        parsed({"check", "m.so", "--only", "a,b", "c", "--strict", "--only", "d"}, "check",
               {"m.so"}, {{"--only", {"a", "b", "c", "d"}}, {"--strict", none}}),
        parsed({"check", "--only", "exports", "--", "-m.so"}, "check", {"-m.so"},
               {{"--only", {"exports"}}}),
        parsed({"check", "m.so", "--only=,"}, "check", {"m.so"}, {{"--only", none}}),
        // options before the command, the last of a repeated one counting
        parsed({"--seed", "5", "--timeout=3", "check", "m.so"}, "check", {"m.so"},
               {{"--seed", {"5"}}, {"--timeout", {"3"}}}),
        parsed({"play", "r", "--bpm", "90", "--bpm=100"}, "play", {"r"}, {{"--bpm", {"100"}}}),
        parsed({"-o", "x.mid", "play", "r"}, "play", {"r"}, {{"--out", {"x.mid"}}}),
        // a value may look like an option; a negative number is an operand
        parsed({"play", "r", "--out", "--quiet"}, "play", {"r"}, {{"--out", {"--quiet"}}}),
        parsed({"write", "r", "-1", "--", "--C4"}, "write", {"r", "-1", "--C4"}, {}),
        // the child of check takes its words as they are
        parsed({ChildCommand, "/m.so", "--strict", "--", "x"}, ChildCommand,
               {"/m.so", "--strict", "--", "x"}, {}),
        wrong({"check", "m.so", "--only"}, "check", "--only needs a value"),
        wrong({"check", "m.so", "--only", "--strict"}, "check", "--only needs a value"),
        wrong({"--strict=yes", "check", "m.so"}, "check", "--strict takes no value"),
        wrong({"check", "m.so", "--loud"}, "check",
              "unknown option --loud; 'check' takes --strict, --seed, --only, --timeout, --jobs, "
              "--repeat, --json, --junit, --list"),
        wrong({"check", "m.so", "--module", "x.so"}, "check",
              "'check' takes no option --module (its options: --strict,"),
        wrong({"show", "r", "--only", "x"}, "show",
              "'show' takes no option --only (its options: --plain, --raw)"),
        wrong({"list"}, "list", "usage: kaveltrum-host list IN.mid [--plain]"),
        wrong({"--version=2"}, "", "--version takes no value")));

// Every option of every command is shown in its help and taken by the parser in its own form.
TEST(CommandTable, EveryCommandShowsAndTakesItsOptions) {
    const std::string overview = helpText("");
    std::map<std::string, const OptionSpec*> seen;
    for (const CommandSpec& command : commandTable()) {
        SCOPED_TRACE(command.name);
        const std::string listed = std::string("\n  ") + command.name + " ";
        EXPECT_EQ(contains(overview, listed), !command.hidden);
        if (command.hidden)
            continue;
        const std::string help = helpText(command.name);
        EXPECT_EQ(help.rfind("usage: kaveltrum-host " + std::string(command.name) + " ", 0), 0u);
        EXPECT_EQ(contains(help, "  --module FILE "), command.takesModule);
        for (const OptionSpec& option : command.options) {
            SCOPED_TRACE(option.name);
            EXPECT_TRUE(contains(help, "\n  " + std::string(option.name) + " ")) << help;
            // one name means one option: the parser reads it before its command is known
            if (const OptionSpec* other = seen[option.name]) {
                EXPECT_EQ(other->value == nullptr, option.value == nullptr);
                EXPECT_EQ(other->many, option.many);
            }
            seen[option.name] = &option;
            for (const char* name : {option.name, option.shortName}) {
                if (!name)
                    continue;
                std::vector<std::string> words(command.fewestOperands + 1, "x.txt");
                words[0] = command.name;
                words.emplace_back(name);
                if (option.value)
                    words.emplace_back("1");
                CommandLine line;
                const Status parsed = parseCommandLine(words, line);
                EXPECT_TRUE(parsed) << parsed.error();
                EXPECT_TRUE(line.has(option.name));
            }
        }
    }
}

TEST_F(Tool, CheckAnswersItsHelpAndListInProcess) {
    const struct {
        std::vector<std::string> words;
        int status;
        const char* begins; // on standard output, or standard error when the status is 2
    } cases[] = {
        {{"help", "check"}, 0, "usage: kaveltrum-host check MODULE [--strict]"},
        {{"check", "-h"}, 0, "usage: kaveltrum-host check MODULE [--strict]"},
        {{"check", "--list"}, 0, "exports "},
        {{"check", "--list", "--only", "nothing"}, 2, "kaveltrum-host check: no check is named"},
        {{"check", "m.so", "--only=,"}, 2, "kaveltrum-host check: --only needs the name of a"},
        {{"check", "a.so", "b.so"}, 2, "kaveltrum-host check: check takes one module file, not 2"},
        {{"check", "--seed", "-5", "m.so"}, 2, "kaveltrum-host check: --seed takes a whole"},
        {{"--timeout", "0", "check", "m.so"}, 2, "kaveltrum-host check: --timeout takes a"},
        {{"check"}, 2, "kaveltrum-host check: check needs a module file\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        const ToolRun ran = run(c.words);
        EXPECT_EQ(ran.status, c.status) << ran.err;
        EXPECT_EQ((c.status == 2 ? ran.err : ran.out).rfind(c.begins, 0), 0u) << ran.out << ran.err;
        if (c.status == 2) {
            EXPECT_EQ(lines(ran.err).size(), 1u) << ran.err;
        }
    }
    EXPECT_EQ(lines(run({"check", "--list"}).out).size(), checkTable().size());
}

} // namespace
