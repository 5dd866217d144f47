#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::vector<uint8_t> readBytes(const std::string& path) {
    Result<std::vector<uint8_t>> bytes = readWholeFile(path);
    return bytes ? std::move(*bytes) : std::vector<uint8_t>();
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

namespace {

std::string testName() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return "kaveltrum-" +
           (test ? std::string(test->test_suite_name()) + "." + test->name() : "scratch");
}

} // namespace

Scratch::Scratch() : ScratchFolder(testName(), true) {}

std::string logFilePath() {
#if defined(_WIN32)
    return "D:\\DIAGNOSE.TXT";
#else
    return (fs::current_path() / "DIAGNOSE.TXT").string();
#endif
}
