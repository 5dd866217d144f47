// The real module file, loaded from beside the test program as a host loads it.
#pragma once

#include "host_instance.h"
#include "module_file.h"

#include <gtest/gtest.h>

#include <memory>

inline ModuleFile loadKaveltrum() {
    Result<std::string> path = defaultModulePath();
    EXPECT_TRUE(path.ok()) << path.error();
    Result<ModuleFile> file = ModuleFile::load(path.ok() ? *path : "KAVELTRUM");
    if (!file)
        throw std::runtime_error(file.error());
    return *file;
}

inline std::unique_ptr<HostInstance> openKaveltrum(const ModuleFile& file) {
    Result<std::unique_ptr<HostInstance>> instance = HostInstance::create(file);
    if (!instance)
        throw std::runtime_error(instance.error());
    return std::move(*instance);
}

inline void ok(const Status& status) {
    ASSERT_TRUE(status.ok()) << status.error();
}
