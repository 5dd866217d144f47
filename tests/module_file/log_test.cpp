// The diagnostic log switched on, through the switch's variable at byte values a host's bool never
// has, with OUTFILE names at and beyond the log line's size and names a careless host leaves
// unterminated. Every line stays whole: at most 399 characters, ending in its line break.
//
// On Windows every test shares one log file on drive D:, so these tests take turns with every
// other test that writes it, and only lines carrying this run's own mark are compared there.
#include "support/instance.h"

#include <chrono>
#include <cstdio>
#include <sstream>

namespace {

#if defined(_WIN32)
const char* const logPath = "D:\\DIAGNOSE.TXT";
#else
const char* const logPath = "DIAGNOSE.TXT"; // in the working folder, the test's scratch folder
#endif

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line + "\n");
    return lines;
}

// The line the module writes for `text`, cut to the log's 400-byte buffer with its line break
// kept.
std::string logLine(const std::string& text) {
    std::string line = text + "\n";
    if (line.size() > 399)
        line = line.substr(0, 398) + "\n";
    return line;
}

TEST(ValidatorDiagnoseLog, SwitchValuesAndNamesOfEveryLength) {
    Scratch scratch;
    ASSERT_TRUE(kaveltrumFile().properties().ok()); // the lines begin with the module's name
    const std::string mark =
        "vlog" + std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
    std::vector<std::string> expected;
    LoadedKaveltrum raw(unopened());
    raw.host.textStyle = TextStyle::Brimful;
    raw.open();
    for (int switchValue : {1, 2, 0x80, 0xFF}) {
        for (size_t length : {size_t{0}, size_t{12}, size_t{399}, size_t{400}, size_t{1500}}) {
            SCOPED_TRACE("switch " + std::to_string(switchValue) + ", name of " +
                         std::to_string(length));
            std::string name =
                mark + "-" + std::to_string(switchValue) + "-" + std::to_string(length) + "-";
            name += std::string(1500, 'n');
            name.resize(length);
            if (length == 12)
                name = mark + "-" + std::to_string(switchValue) + ".brumo";
            const std::string kept = name.substr(0, 399);

            raw.diagnose(static_cast<uint8_t>(switchValue));
            raw.outFile(name); // too long a name opens nothing; the short one is created empty
            raw.reload();      // only the short name loads, and the load is logged
            expected.push_back(logLine("KAVELTRUM " + kept));
            if (length == 12)
                expected.emplace_back("KAVELTRUM itaki= 0\n");

            raw.diagnose(0);
            raw.outFile(name);
            raw.reload();
        }
    }
    raw.close();

    std::FILE* log = std::fopen(logPath, "r"); // the module writes it in text mode
#if defined(_WIN32)
    if (!log)
        GTEST_SKIP() << "drive D: holds no log here";
#endif
    ASSERT_NE(log, nullptr);
    std::string text;
    for (int c; (c = std::fgetc(log)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(log);
    std::vector<std::string> lines = linesOf(text);
#if defined(_WIN32)
    // Other programs log into the same file: keep the lines that name this run's files.
    auto ours = [&mark](const std::vector<std::string>& all) {
        std::vector<std::string> kept;
        for (const std::string& line : all)
            if (line.find(mark) != std::string::npos)
                kept.push_back(line);
        return kept;
    };
    lines = ours(lines);
    expected = ours(expected);
#endif
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(text.empty() ? '\n' : text.back(), '\n');
}

} // namespace
