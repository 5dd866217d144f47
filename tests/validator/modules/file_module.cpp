// Opens a file in its working folder and closes it again in every block, as a module that
// looks for a changed setting on disk might.
#include "small_module.h"

#include <cstdio>
#include <new>

namespace {

class FileOpening : public SmallModule {
  public:
    using SmallModule::SmallModule;

  protected:
    void process(int32_t start, int32_t frames) override {
        if (std::FILE* file = std::fopen("settings.txt", "ab"))
            std::fclose(file);
        SmallModule::process(start, frames);
    }
};

} // namespace

SMALL_MODULE_EXPORTS(FileOpening, "FILE_OPENING")
