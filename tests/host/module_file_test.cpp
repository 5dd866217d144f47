// Loading module files: the failures a user meets, the properties, the library's lifetime.
#include "test_files.h"

#include <cstdio>

namespace {

std::string writeTextFile(const char* name) {
    std::string path = testFile(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr) << path;
    if (file) {
        std::fputs("not a library\n", file);
        std::fclose(file);
    }
    return path;
}

TEST(ModuleFile, ReportsWhyALoadFailed) {
    struct Case {
        const char* name;
        std::string path;
        const char* reason;
    };
    const Case cases[] = {
        {"missing file", testFile("kv_host_missing_module"), "no such file"},
        {"not a library", writeTextFile("kv_host_not_a_library.txt"), "not a loadable library"},
        {"no exports", testFile(KV_NO_EXPORTS),
         "exports neither getModuleProperties nor makeModule"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Result<ModuleFile> file = ModuleFile::load(c.path);
        ASSERT_FALSE(file.ok());
        EXPECT_NE(file.error().find(c.path), std::string::npos) << file.error();
        EXPECT_NE(file.error().find(c.reason), std::string::npos) << file.error();
        EXPECT_EQ(file.error().find('\n'), std::string::npos) << "one line: " << file.error();
    }
}

TEST(ModuleFile, ReadsThePropertiesOfModuleZero) {
    Result<ModuleFile> file = ModuleFile::load(testFile(KV_TEST_MODULE));
    ASSERT_TRUE(file.ok()) << file.error();
    Result<ModuleInfo> info = file->properties();
    ASSERT_TRUE(info.ok()) << info.error();
    EXPECT_EQ(info->name, "HOSTTEST");
    EXPECT_EQ(info->identifier, "HOSTTEST id");
    EXPECT_EQ(info->about, "A module for testing the host.\n");
    EXPECT_EQ(info->interfaceVersion, InterfaceVersion);
}

TEST(ModuleFile, ReportsAModuleThatGivesNothing) {
    Result<ModuleFile> file = ModuleFile::load(testFile(KV_REFUSING_MODULE));
    ASSERT_TRUE(file.ok()) << file.error();
    Result<ModuleInfo> info = file->properties();
    ASSERT_FALSE(info.ok());
    EXPECT_NE(info.error().find("gives no properties"), std::string::npos) << info.error();
    Result<std::unique_ptr<HostInstance>> instance = HostInstance::create(*file);
    ASSERT_FALSE(instance.ok());
    EXPECT_EQ(instance.error(), "the module refused to make an instance");
}

// An instance keeps the library loaded after the last ModuleFile is gone.
TEST(ModuleFile, StaysLoadedWhileAnInstanceLives) {
    std::unique_ptr<HostInstance> instance;
    {
        Result<ModuleFile> file = ModuleFile::load(testFile(KV_TEST_MODULE));
        ASSERT_TRUE(file.ok()) << file.error();
        Result<std::unique_ptr<HostInstance>> made = HostInstance::create(*file);
        ASSERT_TRUE(made.ok()) << made.error();
        instance = std::move(*made);
    }
    ASSERT_TRUE(instance->setLevel("IN", 1.0f).ok());
    ASSERT_TRUE(instance->runBlocks(2).ok());
    EXPECT_TRUE(instance->close().ok());
    EXPECT_EQ(midiStatus(instance->sentMidi().back().message), 0xFC);
}

} // namespace
