// Writes one byte past the pin description record: it clears a record one byte larger than the
// host's after filling it in.
#include "small_module.h"

#include <new>

namespace {

class PinOverrun : public SmallModule {
  public:
    using SmallModule::SmallModule;

    bool getPinDescription(int32_t index, PinDescription* description) override {
        if (!SmallModule::getPinDescription(index, description))
            return false;
        reinterpret_cast<volatile unsigned char*>(description)[sizeof *description] = 0;
        return true;
    }
};

} // namespace

SMALL_MODULE_EXPORTS(PinOverrun, "PINOVERRUN")
