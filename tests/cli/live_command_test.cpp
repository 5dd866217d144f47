// The live command's front: what it refuses before it looks for JACK, and the Windows build's
// one line.
#include "support/tool_run.h"
#include "tool.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

ToolRun runLive(const std::vector<std::string>& words) {
    std::ostringstream out, err;
    ToolRun run;
    run.status = runTool(words, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

#if defined(_WIN32)

TEST(LiveCommand, OnWindowsSaysInOneLineThatTheHostPlaysLive) {
    const std::string line =
        "live playing on Windows happens in the host itself; this build has no JACK";
    const ToolRun run = runLive({"live", "row.brumo"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kaveltrum-host: " + line + "\n");
    const ToolRun help = runLive({"help", "live"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find(line), std::string::npos) << help.out;
}

#else

TEST(LiveCommand, RefusesBadOptionsAndRowsBeforeLookingForJack) {
    const struct {
        std::vector<std::string> words;
        const char* says;
    } cases[] = {
        {{"--clock", "tap"}, "--clock: 'tap' is neither internal nor midi"},
        {{"--rec-cc", "128"}, "--rec-cc: 128 is out of range 0..127"},
        {{"--bpm", "2000"}, "--bpm: 2000"},
        {{"--seconds", "0"}, "--seconds: 0 must be above 0"},
        {{"--block-size", "0"}, "--block-size: 0 is out of range"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words{"live", "/nonexistent-folder-kv/row.brumo"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        const ToolRun run = runLive(words);
        EXPECT_EQ(run.status, 1) << c.says;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
    }
    const ToolRun folder = runLive({"live", "/nonexistent-folder-kv/row.brumo"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(lines(folder.err).size(), 1u) << folder.err;
    const ToolRun longName = runLive({"live", std::string(400, 'r')});
    EXPECT_NE(longName.err.find("at most 399 bytes"), std::string::npos) << longName.err;
}

TEST(LiveCommand, HelpNamesTheKeysAndTheReloadAfterATake) {
    const ToolRun help = runLive({"live", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* part : {"r REC on/off, p PLAY on/off, Enter RETURN, l RELOAD, q quit",
                             "When REC falls, RELOAD rises for one block", "--connect-in PORT...",
                             "--clock internal|midi"})
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
}

#endif

} // namespace
