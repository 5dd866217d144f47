// Sends a NOTE_ON whose velocity byte is 128 or more: the note number goes into the velocity
// unmasked, shifted up a bit.
#include "small_module.h"

#include <new>

namespace {

class BadData : public SmallModule {
  public:
    using SmallModule::SmallModule;

  protected:
    void startNote() override {
        playing = 60;
        send(packMidi(0x90, playing, 200));
    }
};

} // namespace

SMALL_MODULE_EXPORTS(BadData, "BADDATA")
