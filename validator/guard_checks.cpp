// Instances whose every buffer from the host lies against a page no one may touch: a module
// that reads or writes a byte beyond a sample block, an event record or a pin description
// faults there, and the crash line names the buffer.
#include "guard_checks.h"
#include "check_support.h"

#include <algorithm>

namespace {

const char* sideName(GuardSide side) {
    return side == GuardSide::After ? "the page after" : "the page before";
}

std::unique_ptr<ModuleDriver> openGuarded(CheckContext& context, const ModuleFile& file,
                                          GuardSide side, int32_t frames) {
    MakeOptions options;
    options.guard = side;
    std::unique_ptr<ModuleDriver> driver = makeInstance(context, file, options);
    const Status started = driver->start({44100.0f, frames});
    context.require(started.ok(), started.error());
    requireSoundOutput(context, *driver,
                       std::string("while opening with guard pages on ") + sideName(side) +
                           " each buffer");
    return driver;
}

} // namespace

// Both layouts, since a block can be overrun at either end; the block size most hosts use
// comes first, then odd ones and a long one.
void guardedBlocks(CheckContext& context, const ModuleFile& file) {
    for (const GuardSide side : {GuardSide::After, GuardSide::Before}) {
        for (const int32_t frames : {64, 1, 7, 1000, 4096}) {
            const auto driver = openGuarded(context, file, side, frames);
            const std::vector<int32_t> inputs = sampleInputs(*driver);
            const std::string where = "in a " + std::to_string(frames) +
                                      "-sample block with guard pages on " + sideName(side);
            for (int step = 0; step < 6; ++step) {
                fillInputs(*driver, inputs, step % 2 ? 1.0f : 0.0f);
                runBlock(context, *driver, where);
            }
        }
    }
}

void guardedEvents(CheckContext& context, const ModuleFile& file) {
    for (const GuardSide side : {GuardSide::After, GuardSide::Before}) {
        const auto driver = openGuarded(context, file, side, 64);
        const std::string where = std::string("with guard pages on ") + sideName(side);
        for (int32_t pin = 0; pin < static_cast<int32_t>(driver->pins().size()); ++pin)
            need(context, driver->pinStatus(pin, 1), "sending a pin status event " + where);
        for (int32_t status = 0x80; status < 0xF0; status += 0x10)
            need(context, driver->midi(packMidi(status, 60, 100), 0, 0), "sending MIDI " + where);
        runBlock(context, *driver, where);
    }
}

void guardedPinDescriptions(CheckContext& context, const ModuleFile& file) {
    for (const GuardSide side : {GuardSide::After, GuardSide::Before}) {
        MakeOptions options;
        options.guard = side;
        const auto driver = makeInstance(context, file, options);
        need(context, driver->learnPins(),
             std::string("learning the pins with guard pages on ") + sideName(side));
    }
}
