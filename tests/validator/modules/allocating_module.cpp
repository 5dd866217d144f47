// Allocates a scratch buffer and frees it again in every block: a real-time thread that may
// wait on the allocator's lock.
#include "small_module.h"

#include <cstdlib>
#include <new>

namespace {

class Allocating : public SmallModule {
  public:
    using SmallModule::SmallModule;

  protected:
    void process(int32_t start, int32_t frames) override {
        // Kept in a volatile pointer, so that the pair is not optimised away.
        void* volatile scratch = std::malloc(static_cast<size_t>(frames) * sizeof(float) + 16);
        std::free(scratch);
        SmallModule::process(start, frames);
    }
};

} // namespace

SMALL_MODULE_EXPORTS(Allocating, "ALLOCATING")
