// What kaveltrum-host does with the user's files when they are not what they seem, when a disk
// fills up, and when its own output cannot be written.
#include "tool_fixture.h"

#include <fstream>
#include <streambuf>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

#if !defined(_WIN32)
// Runs the tool in a child process whose files cannot grow past `limit` bytes, as on a disk that
// fills up: a write past it fails (the signal it would raise is ignored, as a shell may).
ToolRun runWithFileSizeLimit(const std::vector<std::string>& words, rlim_t limit) {
    int channel[2];
    if (pipe(channel) != 0)
        return {-1, "", "no pipe"};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit bound{limit, limit};
        setrlimit(RLIMIT_FSIZE, &bound);
        std::ostringstream out, err;
        const int status = runTool(words, out, err);
        const std::string text = err.str();
        const ssize_t sent = write(channel[1], text.data(), text.size());
        _exit(sent == static_cast<ssize_t>(text.size()) ? status : 99);
    }
    close(channel[1]);
    std::string err;
    char buffer[512];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", err};
}

bool runningAsRoot() {
    return geteuid() == 0;
}
#endif

// A stream whose every write fails, as on a closed pipe or a full device.
class RefusingBuffer : public std::streambuf {
  protected:
    int overflow(int) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(Tool, OutputTargetsThatCannotBeWrittenAreRefusedFirst) {
    const std::string r = row("r.brumo", {60, 62, 64});
    const std::string kept = row("kept.mid", {'o', 'l', 'd'});
    fs::permissions(kept, fs::perms::owner_read);
    fs::create_directories(file("folder.mid"));
    struct Case {
        std::string target;
        const char* says;
    };
    std::vector<Case> cases = {
        {file("folder.mid"), "is a folder"},
        {file("missing/x.mid"), "does not exist"},
        {kept, "is read-only"},
    };
#if !defined(_WIN32)
    ASSERT_EQ(mkfifo(file("fifo.mid").c_str(), 0644), 0);
    fs::create_symlink(file("nowhere.mid"), file("dangling.mid"));
    cases.push_back({file("fifo.mid"), "is not a regular file"});
    cases.push_back({"/dev/full", "is not a regular file"});
    cases.push_back({file("dangling.mid"), "symbolic link to a missing file"});
    if (!runningAsRoot()) { // root may write in any folder
        fs::create_directories(file("closed"));
        fs::permissions(file("closed"), fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({file("closed/x.mid"), "cannot create a file in"});
    }
#else
    cases.push_back({"NUL", "is not a regular file"});
    cases.push_back({file("nul.mid"), "is not a regular file"}); // the same, in any folder
#endif
    const std::vector<std::string> before = names();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const ToolRun played = run({"play", r, "--out", c.target});
        EXPECT_EQ(played.status, 1);
        EXPECT_EQ(played.out, ""); // refused before the module ran
        ASSERT_EQ(lines(played.err).size(), 1u);
        EXPECT_NE(played.err.find(c.says), std::string::npos) << played.err;
        EXPECT_EQ(names(), before);
    }
    EXPECT_EQ(readBytes(kept), (std::vector<uint8_t>{'o', 'l', 'd'}));
#if !defined(_WIN32)
    struct stat full;
    ASSERT_EQ(stat("/dev/full", &full), 0);
    EXPECT_TRUE(S_ISCHR(full.st_mode));
    EXPECT_TRUE(fs::is_fifo(file("fifo.mid")));
    EXPECT_TRUE(fs::is_symlink(file("dangling.mid")));
#endif
}

// The folder's files tell: the old file is replaced by the new one, a link stays a link, and no
// temporary file is left beside them.
TEST_F(Tool, AnExistingTargetIsReplacedWhole) {
    const std::string r = row("r.brumo", {60, 62, 64});
    std::vector<std::pair<std::string, std::string>> targets = {{"old.mid", "old.mid"}};
#if !defined(_WIN32)
    row("linked.mid", {'o', 'l', 'd'});
    fs::create_symlink(file("linked.mid"), file("link.mid"));
    targets.emplace_back("link.mid", "linked.mid");
#endif
    for (const auto& [given, written] : targets) {
        SCOPED_TRACE(given);
        row(written, {'o', 'l', 'd'});
        fs::permissions(file(written),
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        const std::vector<std::string> before = names();
        const ToolRun played = run({"play", r, "--out", file(given)});
        ASSERT_EQ(played.status, 0) << played.err;
        EXPECT_EQ(readBack(file(written)).messages.size(), 6u);
        EXPECT_EQ(names(), before);
#if !defined(_WIN32)
        EXPECT_EQ(fs::status(file(written)).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    }
#if !defined(_WIN32)
    EXPECT_TRUE(fs::is_symlink(file("link.mid")));
#endif
}

#if !defined(_WIN32)
TEST_F(Tool, AFailedWriteKeepsTheExistingFile) {
    const std::string r = row("r.brumo", {60, 62, 64});
    const std::string kept = row("kept.mid", {'o', 'l', 'd'});
    const std::vector<std::string> before = names();
    const ToolRun played = runWithFileSizeLimit({"play", r, "--out", kept}, 40);
    EXPECT_EQ(played.status, 1);
    EXPECT_NE(played.err.find("kept.mid: cannot write (File too large)"), std::string::npos)
        << played.err;
    EXPECT_EQ(readBytes(kept), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(names(), before);
}
#endif

TEST_F(Tool, InputsMustBeRegularFiles) {
    const std::string r = row("r.brumo", {60});
    const std::string song = midi("in.mid", {{0x90, 60, 100}});
    const std::string folder = file("folder");
    fs::create_directories(folder);
    struct Case {
        std::vector<std::string> words;
        const char* says;
    };
    std::vector<Case> cases = {
        {{"show", folder}, "is a folder, not a row file"},
        {{"play", folder}, "is a folder, not a row file"},
        {{"record", folder, file("new.brumo")}, "is a folder, not a MIDI file"},
        {{"record", song, folder}, "is a folder, not a row file"},
        {{"--module", folder, "play", r}, "is a folder, not a module file"},
    };
#if !defined(_WIN32)
    // Opening a FIFO would wait for a writer that never comes.
    const std::string fifo = file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    for (const std::vector<std::string>& words : {std::vector<std::string>{"show", fifo},
                                                  {"play", fifo},
                                                  {"record", fifo, r},
                                                  {"record", song, fifo},
                                                  {"--module", fifo, "play", r}})
        cases.push_back({words, "is not a regular file"});
#else
    cases.push_back({{"show", "NUL"}, "is not a regular file"});
    cases.push_back({{"record", "CON", r}, "is not a regular file"});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        const ToolRun failed = run(c.words);
        EXPECT_EQ(failed.status, 1);
        ASSERT_EQ(lines(failed.err).size(), 1u);
        EXPECT_NE(failed.err.find(c.says), std::string::npos) << failed.err;
    }
    EXPECT_FALSE(fs::exists(file("new.brumo")));
}

#if !defined(_WIN32)
// 1552 notes, each ended by a NOTE_ON of velocity 0, which the module does not record.
TEST_F(Tool, RecordTellsOfNotesTheRowDidNotStore) {
    std::vector<std::vector<uint8_t>> played;
    for (int i = 0; i < 1552; ++i) {
        const uint8_t note = static_cast<uint8_t>(36 + i % 48);
        played.push_back({0x90, note, 90});
        played.push_back({0x90, note, 0});
    }
    const std::string song = midi("in.mid", played, 0.01);
    const struct {
        rlim_t limit;
        int status;
        const char* says;
    } cases[] = {
        {10 + 1019, 1, "take.brumo: 533 of 1552 notes were not stored (disk full?)"},
        {RLIM_INFINITY, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        const std::string take = row("take.brumo", std::vector<uint8_t>(10, 60));
        const ToolRun recorded = runWithFileSizeLimit({"record", song, take}, c.limit);
        EXPECT_EQ(recorded.status, c.status);
        EXPECT_NE(recorded.err.find(c.says), std::string::npos) << recorded.err;
        EXPECT_EQ(lines(recorded.err).size(), c.status ? 1u : 0u);
        EXPECT_EQ(fs::file_size(take), std::min<rlim_t>(c.limit, 10 + 1552));
    }
}

TEST_F(Tool, PlayTellsWhenTheModuleCannotOpenTheRow) {
    if (runningAsRoot())
        GTEST_SKIP() << "root may open a read-only row for writing";
    const std::string r = row("r.brumo", {60, 62});
    fs::permissions(r, fs::perms::owner_read);
    const ToolRun played = run({"play", r});
    EXPECT_EQ(played.status, 1);
    EXPECT_NE(played.err.find("the module played nothing"), std::string::npos) << played.err;
}
#endif

TEST_F(Tool, AFailedWriteToStandardOutputIsAnError) {
    const std::string r = row("r.brumo", std::vector<uint8_t>(5000, 60));
    const std::string song = midi("in.mid", {{0x90, 60, 100}});
    const std::vector<std::vector<std::string>> commands = {
        {"show", r}, {"play", r, "--gates", "4"}, {"record", song, file("take.brumo")}, {"--help"}};
    for (const std::vector<std::string>& words : commands) {
        SCOPED_TRACE(words[0]);
        RefusingBuffer refusing;
        std::ostream refused(&refusing);
        std::vector<std::ostream*> outs = {&refused};
#if !defined(_WIN32)
        std::ofstream full("/dev/full");
        outs.push_back(&full);
#endif
        for (std::ostream* out : outs) {
            std::ostringstream err;
            EXPECT_EQ(runTool(words, *out, err), 1);
            ASSERT_EQ(lines(err.str()).size(), 1u);
            EXPECT_EQ(err.str().rfind("kaveltrum-host: standard output: ", 0), 0u) << err.str();
        }
    }
#if !defined(_WIN32)
    std::ofstream full("/dev/full");
    std::ostringstream err;
    runTool({"show", r}, full, err);
    EXPECT_EQ(err.str(), "kaveltrum-host: standard output: No space left on device\n");
#endif
}

TEST_F(Tool, ProgressIsShownOnATerminalOnly) {
    const std::string r = row("r.brumo", {60, 62, 64});
    const std::string song = midi("in.mid", {{0x90, 60, 100}, {0x90, 62, 100}});
    const struct {
        std::vector<std::string> words;
        bool terminal;
        const char* shows;
    } cases[] = {
        {{"play", r}, false, ""},
        {{"record", song, file("take.brumo")}, false, ""},
        {{"play", r}, true, "\rplaying: 100%, 3 notes"},
        {{"record", song, file("take.brumo")}, true, "\rrecording: 100%, 2 notes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shows);
        ProgressSettings progress;
        progress.terminal = c.terminal;
        progress.afterSeconds = 0.0; // at once, however short the run
        const ToolRun ran = run(c.words, progress);
        ASSERT_EQ(ran.status, 0) << ran.err;
        if (!c.terminal) {
            EXPECT_EQ(ran.err, "");
            continue;
        }
        EXPECT_EQ(ran.err.front(), '\r');
        EXPECT_NE(ran.err.find(c.shows), std::string::npos) << ran.err;
        EXPECT_EQ(ran.err.back(), '\n');
        EXPECT_EQ(lines(ran.err).size(), 1u);
    }
}

// The module stamps its notes with a 32-bit sample clock, which turns over after 93 minutes at
// 768 kHz; the notes of a longer run keep their times.
TEST_F(Tool, TimesHoldPastTheTurnOfTheModulesClock) {
    const std::string mid = file("out.mid");
    const ToolRun played =
        run({"play", row("r.brumo", std::vector<uint8_t>(1500, 60)), "--bpm", "4", "--sample-rate",
             "768000", "--block-size", "16384", "--noteoff", "0", "--out", mid});
    ASSERT_EQ(played.status, 0) << played.err;
    const std::vector<TimedMessage> messages = readBack(mid).messages;
    ASSERT_EQ(messages.size(), 3000u); // the notes, then their endings at the end of the run
    for (size_t i = 0; i < 1500; ++i)  // a gate every 3.75 s, one block the resolution
        ASSERT_NEAR(messages[i].seconds, 3.75 * static_cast<double>(i), 0.06) << i;
}

} // namespace
