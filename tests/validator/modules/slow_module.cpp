// Spends 5 ms of busy work on every block, whatever its length: slower than real time for the
// short blocks (64 samples at 44100 Hz play for 1.45 ms), in time for the long ones.
#include "small_module.h"

#include <chrono>
#include <new>

namespace {

class Slow : public SmallModule {
  public:
    using SmallModule::SmallModule;

  protected:
    void process(int32_t start, int32_t frames) override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
        while (std::chrono::steady_clock::now() < until) {
        }
        SmallModule::process(start, frames);
    }
};

} // namespace

SMALL_MODULE_EXPORTS(Slow, "SLOW")
