#include "module_instance.h"

#include "module_file.h"
#include "safe_file.h"

Result<std::string> modulePathFor(const CommandLine& line) {
    Result<std::string> path =
        line.modulePath ? Result<std::string>(*line.modulePath) : defaultModulePath();
    if (!path)
        return path;
    if (Status input = checkInput(*path, "module file"); !input)
        return Failure{"cannot load " + input.error()};
    return path;
}

Result<std::unique_ptr<HostInstance>> startInstance(const std::string& modulePath, double rate,
                                                    long blockSize) {
    Result<ModuleFile> module = ModuleFile::load(modulePath);
    if (!module)
        return Failure{module.error()};
    return HostInstance::create(*module,
                                {static_cast<float>(rate), static_cast<int32_t>(blockSize)});
}
