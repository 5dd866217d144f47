// The bash completion, sourced into bash as bash sources it, answering the words typed so far.
#include "command_table.h"
#include "manual.h"
#include "scratch_folder.h"
#include "shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

// The completion, and a folder beside it to complete file names in.
class Completion {
  public:
    Completion() : scratch("kaveltrum-completion"), here(scratch.file("here")) {
        writeText(scratch.file("completion.bash"), bashCompletion({"1.0.0", ""}));
        std::filesystem::create_directories(here + "/rows");
        for (const char* name : {"take.mid", "tune.brumo"})
            writeText(here + "/" + name, "");
    }

    // What the completion offers, sorted, for the words after kaveltrum-host; the last one is
    // the word being completed.
    [[nodiscard]] std::vector<std::string> offered(const std::vector<std::string>& typed) const {
        std::string words = "kaveltrum-host";
        for (const std::string& word : typed)
            words += " " + shellWord(word);
        const std::string script = "cd " + shellWord(here) + " && source ../completion.bash" +
                                   " && set -- $(complete -p "
                                   "kaveltrum-host) && COMP_WORDS=(" +
                                   words + ") && COMP_CWORD=" + std::to_string(typed.size()) +
                                   " && $3 && printf '%s\\n' \"${COMPREPLY[@]}\"";
        const CommandOutput run =
            commandOutput("bash --norc --noprofile -c " + shellWord(script) + " 2>&1");
        EXPECT_EQ(run.status, 0) << run.output;
        std::vector<std::string> found;
        std::istringstream in(run.output);
        for (std::string line; std::getline(in, line);)
            if (!line.empty())
                found.push_back(line);
        std::sort(found.begin(), found.end());
        return found;
    }

  private:
    ScratchFolder scratch;
    std::string here;
};

std::vector<std::string> sorted(std::vector<std::string> words) {
    std::sort(words.begin(), words.end());
    return words;
}

struct Offer {
    std::vector<std::string> typed;
    std::vector<std::string> offered;
};

void PrintTo(const Offer& c, std::ostream* out) {
    *out << testing::PrintToString(c.typed);
}

class CompletionOffers : public testing::TestWithParam<Offer> {};

TEST_P(CompletionOffers, TheWordsThatFitThere) {
    EXPECT_EQ(Completion().offered(GetParam().typed), sorted(GetParam().offered));
}

const std::vector<std::string> files = {"rows", "take.mid", "tune.brumo"};

INSTANTIATE_TEST_SUITE_P(
    Manual, CompletionOffers,
    testing::Values(
        // commands, also after options that come first and after help
        Offer{{"pl"}, {"play"}}, Offer{{"--module", "KAVELTRUM.so", "re"}, {"record"}},
        Offer{{"help", "l"}, {"list", "live"}}, Offer{{"help", "help", ""}, {}},
        // options of the command, and of its value's kind
        Offer{{"play", "--qu"}, {"--quiet"}}, Offer{{"live", "--clock", ""}, {"internal", "midi"}},
        Offer{{"live", "--clock", "=", "m"}, {"midi"}},
        Offer{{"live", "--clock", "=", "="}, {"internal", "midi"}},
        Offer{{"live", "--clock=i"}, {"--clock=internal"}},
        Offer{{"play", "tune.brumo", "--loop", ""}, {"0", "1"}}, Offer{{"play", "--bpm", ""}, {}},
        Offer{{"play", "-o", "ta"}, {"take.mid"}},
        Offer{{"play", "tune.brumo", "--svg", ""}, files}, Offer{{"check", "--mod"}, {}},
        // operands: files where the command takes one, nothing for notes
        Offer{{"record", "t"}, {"take.mid", "tune.brumo"}},
        Offer{{"record", "--new", "take.mid", "tu"}, {"tune.brumo"}},
        Offer{{"write", "tune.brumo", "E4", ""}, {}},
        Offer{{"play", "--bpm", "90", "tu"}, {"tune.brumo"}},
        // a list option takes words up to the next option, and -- ends the options
        Offer{{"check", "--only", "exports", ""}, {}},
        Offer{{"check", "--only", "exports", "--st"}, {"--strict"}},
        Offer{{"show", "--", "--pl"}, {}}));

std::vector<std::string> typedNames(const std::vector<OptionSpec>& options) {
    std::vector<std::string> names;
    for (const OptionSpec& option : options) {
        names.emplace_back(option.name);
        if (option.shortName)
            names.emplace_back(option.shortName);
    }
    return names;
}

TEST(Completion, OffersEveryShownCommandAndAllItsOptions) {
    const Completion completion;
    std::vector<std::string> commands = {"help"};
    for (const CommandSpec& command : commandTable()) {
        if (command.hidden)
            continue;
        commands.emplace_back(command.name);
        std::vector<std::string> options = typedNames(command.options);
        for (const std::string& common : typedNames(commonOptions()))
            if (common != "--module" || command.takesModule)
                options.push_back(common);
        EXPECT_EQ(completion.offered({command.name, "-"}), sorted(options)) << command.name;
    }
    EXPECT_EQ(completion.offered({""}), sorted(commands));
    EXPECT_EQ(completion.offered({"-"}), sorted(typedNames(commonOptions())));
}

} // namespace
