// A module file loaded into the process: its two exports and what it says about itself.
#pragma once

#include "abi.h"
#include "result.h"

#include <memory>
#include <string>

// What getModuleProperties tells about module 0.
struct ModuleInfo {
    std::string name;
    std::string identifier;
    std::string about;
    int32_t interfaceVersion = 0;
};

// A module's two entries, from a loaded file or linked into the program.
struct ModuleEntries {
    GetModulePropertiesFn properties = nullptr;
    MakeModuleFn make = nullptr;
};

// A loaded module file. Copies share the library, which is unloaded when the last copy (and the
// last instance made from it) is gone, so the exports stay valid for as long as anyone holds them.
class ModuleFile {
  public:
    // Loads the file at `path`. Fails when the file is missing, is not a loadable library, or
    // lacks getModuleProperties or makeModule.
    static Result<ModuleFile> load(const std::string& path);

    // Asks for the properties of module 0 into a cleared record.
    [[nodiscard]] Result<ModuleInfo> properties() const;

    [[nodiscard]] const std::string& path() const { return filePath; }
    [[nodiscard]] MakeModuleFn makeModule() const { return makeEntry; }
    [[nodiscard]] ModuleEntries entries() const { return {propertiesEntry, makeEntry}; }

  private:
    ModuleFile(std::string path, std::shared_ptr<void> library, GetModulePropertiesFn properties,
               MakeModuleFn make);

    std::string filePath;
    std::shared_ptr<void> library; // the system's handle; unloads on release
    GetModulePropertiesFn propertiesEntry;
    MakeModuleFn makeEntry;
};

// The file `fileName` in the folder of the running program.
Result<std::string> besideExecutable(const std::string& fileName);

// The module file the tools load when given none: KAVELTRUM.so (KAVELTRUM.sem on Windows) next to
// the running program.
Result<std::string> defaultModulePath();
