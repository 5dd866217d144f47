// Where the host tests find the libraries they load: next to the test program.
#pragma once

#include "host_instance.h"
#include "module_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

inline std::string testFile(const char* name) {
    Result<std::string> path = besideExecutable(name);
    EXPECT_TRUE(path.ok()) << path.error();
    return path.ok() ? *path : name;
}

// The test module loaded and one instance of it made and opened.
inline std::unique_ptr<HostInstance> testInstance(InstanceSettings settings = {}) {
    Result<ModuleFile> file = ModuleFile::load(testFile(KV_TEST_MODULE));
    EXPECT_TRUE(file.ok()) << file.error();
    if (!file)
        return nullptr;
    Result<std::unique_ptr<HostInstance>> instance = HostInstance::create(*file, settings);
    EXPECT_TRUE(instance.ok()) << instance.error();
    return instance ? std::move(*instance) : nullptr;
}

// The NAME text the test module reported last: its characters as 0xB0 messages, closed by an
// 0xBF message carrying their count.
inline std::string reportedText(const std::vector<ModuleMidi>& sent) {
    std::string text, last;
    for (const ModuleMidi& m : sent) {
        if (midiStatus(m.message) == 0xB0)
            text += static_cast<char>(midiData2(m.message));
        if (midiStatus(m.message) == 0xBF) {
            EXPECT_EQ(static_cast<size_t>(midiData1(m.message)), text.size());
            last = std::exchange(text, {});
        }
    }
    return last;
}
