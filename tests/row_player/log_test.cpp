// The diagnostic log: one line per OUTFILE change and per load, only with the switch on.
#include "module.h"
#include "support/linked_kaveltrum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

struct Logged {
    Scratch scratch;
    LinkedKaveltrum rig;
    Logged() {
        std::remove(logFilePath().c_str()); // this suite takes its turn for the log
        ModuleProperties props{};
        getModuleProperties(0, &props); // the log lines begin with the module's name
        rig.diagnose(true);
    }
};

TEST(Log, NameChangeThenLoad) {
    Logged logged;
    const std::string name = logged.scratch.file("row.brumo");
    writeBytes(name, {60, 62, 64});
    logged.rig.outFile(name);
    EXPECT_EQ(readText(logFilePath()), "KAVELTRUM " + name + "\nKAVELTRUM itaki= 3\n");
}

TEST(Log, EveryReloadIsALineEvenOfAnEmptyRow) {
    Logged logged;
    logged.rig.outFile(logged.scratch.file("empty.brumo")); // created empty, nothing loaded yet
    logged.rig.set(PinReload, 1.0f);
    for (int i = 0; i < 5; ++i)
        logged.rig.block();
    std::string expected = "KAVELTRUM " + logged.scratch.file("empty.brumo") + "\n";
    for (int i = 0; i < 5; ++i)
        expected += "KAVELTRUM itaki= 0\n";
    EXPECT_EQ(readText(logFilePath()), expected);
}

TEST(Log, OffMeansTheLogIsNeverOpened) {
    Logged logged;
    logged.rig.diagnose(false);
    logged.rig.loadRow(logged.scratch.file("row.brumo"), {60});
    logged.rig.set(PinReload, 1.0f);
    logged.rig.block();
    EXPECT_FALSE(std::filesystem::exists(logFilePath()));
}

bool logsAnEmptyName() {
    Scratch scratch;
    LinkedKaveltrum rig;
    rig.diagnose(true);
    rig.outFile("");
    return readText(logFilePath()) == " \n";
}

// The name buffer is process-wide and filled by the first properties call, so this runs in a
// process of its own, in which nothing has asked for the properties yet.
TEST(Log, BeforeThePropertiesTheNameIsEmpty) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(logsAnEmptyName() ? 0 : 1), testing::ExitedWithCode(0), "");
}

TEST(Log, ALongNameIsCutButKeepsItsLineBreak) {
    Logged logged;
    const std::string name(399, 'n');
    logged.rig.outFile(name);
    const std::string log = readText(logFilePath());
    ASSERT_EQ(log.size(), 399u);
    EXPECT_EQ(log.substr(0, 10), "KAVELTRUM ");
    EXPECT_EQ(log.back(), '\n');
}

} // namespace
