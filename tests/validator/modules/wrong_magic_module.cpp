// Its plug-in record starts with the magic's bytes in the wrong order.
#include "small_module.h"

#include <new>

namespace {

class WrongMagic : public SmallModule {
  public:
    WrongMagic(HostCallback callback, intptr_t hostHandle) : SmallModule(callback, hostHandle) {
        record.magic = 0x4C504553;
    }
};

} // namespace

SMALL_MODULE_EXPORTS(WrongMagic, "WRONGMAGIC")
