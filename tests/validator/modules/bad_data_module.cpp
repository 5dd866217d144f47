// Sends a NOTE_ON whose velocity byte is 128 or more. Its MIDI output's name also breaks the
// line, which the report of the fault must survive.
#include "small_module.h"

#include <new>

namespace {

class BadData : public SmallModule {
  public:
    using SmallModule::SmallModule;

    bool getPinDescription(int32_t index, PinDescription* description) override {
        if (!SmallModule::getPinDescription(index, description))
            return false;
        if (index == MidiOut)
            description->pinName = "MIDI\nOut";
        return true;
    }

  protected:
    void startNote() override {
        playing = 60;
        send(packMidi(0x90, playing, 200));
    }
};

} // namespace

SMALL_MODULE_EXPORTS(BadData, "BADDATA")
