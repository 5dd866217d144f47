// Hangs in a block whose input is infinite: it counts down from the sample to zero.
#include "small_module.h"

#include <cmath>
#include <new>

namespace {

class Hang : public SmallModule {
  public:
    using SmallModule::SmallModule;

  protected:
    void process(int32_t start, int32_t frames) override {
        if (in && start >= 0 && start < blockSize && std::isinf(in[start])) {
            volatile double left = in[start];
            while (left > 0.0)
                left = left - 1.0;
        }
        SmallModule::process(start, frames);
    }
};

} // namespace

SMALL_MODULE_EXPORTS(Hang, "HANG")
