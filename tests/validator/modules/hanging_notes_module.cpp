// Starts notes and never ends them.
#include "small_module.h"

#include <new>

namespace {

class HangingNotes : public SmallModule {
  public:
    using SmallModule::SmallModule;

  protected:
    void endNote() override {}
};

} // namespace

SMALL_MODULE_EXPORTS(HangingNotes, "HANGINGNOTES")
