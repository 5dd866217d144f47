// KAVELTRUM linked into the test program: the instance is made through the module's own two
// entries, and every test starts from the process-wide state a freshly loaded library has.
#pragma once

#include "support/instance.h"

// The module's exports, linked into the test.
SE_EXPORT int32_t SE_ABI getModuleProperties(int32_t moduleIndex, ModuleProperties* props) noexcept;
SE_EXPORT PluginRecord* SE_ABI makeModule(int32_t moduleIndex, int32_t selector,
                                          HostCallback hostCallback, intptr_t hostHandle) noexcept;

class LinkedKaveltrum : public Instance {
  public:
    // Opened with `pinCount` pins (the module describes 14), every sample input on a block of
    // its own, every parameter at its default. The diagnostic log is off unless a test turns it
    // on.
    explicit LinkedKaveltrum(int32_t pinCount = PinCount, bool withCallback = true);
    explicit LinkedKaveltrum(Setup setup);
};
