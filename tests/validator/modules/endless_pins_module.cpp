// Describes a pin for every index it is asked for: one more "spare" parameter after the others,
// for ever.
#include "small_module.h"

#include <new>

namespace {

class EndlessPins : public SmallModule {
  public:
    using SmallModule::SmallModule;

    bool getPinDescription(int32_t index, PinDescription* description) override {
        if (SmallModule::getPinDescription(index, description))
            return true;
        if (index < 0 || !description)
            return false;
        *description = {nullptr, DirIn, DtInt16, "spare", "0", "range 0,10", 0, 0};
        return true;
    }
};

} // namespace

SMALL_MODULE_EXPORTS(EndlessPins, "ENDLESSPINS")
