// Crashes on a NaN input: it looks up a table with the sample as the index.
#include "small_module.h"

#include <cmath>
#include <new>

namespace {

int* volatile nowhere = nullptr;

class NanCrash : public SmallModule {
  public:
    using SmallModule::SmallModule;

  protected:
    void process(int32_t start, int32_t frames) override {
        if (in && start >= 0 && start < blockSize && std::isnan(in[start]))
            *nowhere = 1;
        SmallModule::process(start, frames);
    }
};

} // namespace

SMALL_MODULE_EXPORTS(NanCrash, "NANCRASH")
