// Reads one sample past its input block: it looks at the sample after the block to see whether
// the input is about to change, which lies beyond what the host handed it.
#include "small_module.h"

#include <new>

namespace {

class ReadPast : public SmallModule {
  public:
    using SmallModule::SmallModule;

  protected:
    void process(int32_t start, int32_t frames) override {
        if (in && blockSize > 0)
            ahead = in[blockSize] > 0.2f;
        SmallModule::process(start, frames);
    }

  private:
    volatile bool ahead = false;
};

} // namespace

SMALL_MODULE_EXPORTS(ReadPast, "READPAST")
