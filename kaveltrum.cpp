// KAVELTRUM.sem: the module file's two exports. The host asks what the module is, then makes
// instances of it; everything else goes through each instance's plug-in record.
#include "module.h"
#include "properties.h"

#include <new>

SE_EXPORT int32_t SE_ABI getModuleProperties(int32_t moduleIndex,
                                             ModuleProperties* props) noexcept {
    return fillModuleProperties(moduleIndex, props);
}

// The library holds one module, made with selector 1. The instance lives until the host sends
// dispatcher opcode 1 to the record returned here.
SE_EXPORT PluginRecord* SE_ABI makeModule(int32_t moduleIndex, int32_t selector,
                                          HostCallback hostCallback, intptr_t hostHandle) noexcept {
    if (moduleIndex != 0 || selector != 1)
        return nullptr;
    Module* module = new (std::nothrow) Module(hostCallback, hostHandle);
    return module ? module->pluginRecord() : nullptr;
}

#if defined(_WIN32)
#include <windows.h>

// Loading and unloading need no work of ours.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
#endif
