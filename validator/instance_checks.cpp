// The checks of an instance's life and of what the host sends it: opening and closing, events,
// and the mistakes careless hosts make.
#include "check_support.h"
#include "guard_checks.h"
#include "host_events.h"

#include <cstring>

namespace {

// Makes, opens and closes one instance, checking the requests of the pin walk on the way.
void openAndClose(CheckContext& context, const ModuleFile& file) {
    const auto driver = makeInstance(context, file);
    need(context, driver->learnPins(), "learning the pins");
    need(context, driver->wirePins(), "wiring the pins");
    const SubProcessRoutine before = driver->record()->subProcess;
    driver->clearRequests();
    need(context, driver->open(), "opening");
    context.require(driver->countOf(HostPinCount) >= 1, "opening did not ask for the pin count");
    for (size_t i = 0; i < driver->pins().size(); ++i) {
        const PinInfo& pin = driver->pins()[i];
        if (pin.datatype != DtSamples || pin.variable)
            continue;
        bool asked = false;
        for (const HostRequest& request : driver->requests())
            asked = asked ||
                    (request.opcode == HostPinBuffer && request.index == static_cast<int32_t>(i));
        context.require(asked, "opening did not ask for the sample block of pin " +
                                   std::to_string(i) + " ('" + pin.name + "')");
    }
    const SubProcessRoutine after = driver->record()->subProcess;
    context.require(after != nullptr, "after opening, the record has no sub-process routine");
    context.require(after == before || driver->countOf(HostSubProcessChanged) >= 1,
                    "opening installed a new sub-process routine without telling the host");
    requireSoundOutput(context, *driver, "while opening");
    const intptr_t closed = need(context, driver->close(), "closing");
    context.require(closed == 1, "closing answered " + std::to_string(closed) + ", not 1");
}

void pulse(CheckContext& context, ModuleDriver& driver, const std::string& where) {
    const std::vector<int32_t> inputs = sampleInputs(driver);
    fillInputs(driver, inputs, 1.0f);
    runBlock(context, driver, where);
    fillInputs(driver, inputs, 0.0f);
    runBlock(context, driver, where);
}

} // namespace

void checkOpenClose(CheckContext& context) {
    const ModuleFile file = loadModule(context);
    openAndClose(context, file);
    for (int n = 0; n < 100; ++n)
        openAndClose(context, file);

    std::vector<std::unique_ptr<ModuleDriver>> alive;
    alive.reserve(8);
    for (int n = 0; n < 8; ++n)
        alive.push_back(openInstance(context, file));
    for (size_t n = 0; n < alive.size(); ++n)
        pulse(context, *alive[n], "with 8 instances alive, in instance " + std::to_string(n));
    for (size_t n = alive.size(); n-- > 0;) {
        const intptr_t closed = need(context, alive[n]->close(), "closing one of 8 instances");
        context.require(closed == 1, "closing one of 8 instances answered " +
                                         std::to_string(closed) + ", not 1");
        alive[n].reset();
    }

    const auto unopened = makeInstance(context, file);
    const intptr_t closed = need(context, unopened->close(), "closing an unopened instance");
    context.require(closed == 1, "closing an instance that was never opened answered " +
                                     std::to_string(closed) + ", not 1");
}

void checkEvents(CheckContext& context) {
    const ModuleFile file = loadModule(context);
    const auto driver = openInstance(context, file);
    Random& random = context.random();
    const auto pins = static_cast<int32_t>(driver->pins().size());

    for (int32_t pin = 0; pin < pins; ++pin)
        for (const int32_t status : {0, 1, 2}) {
            const std::string where =
                "after a status " + std::to_string(status) + " event for " + pinName(*driver, pin);
            need(context, driver->pinStatus(pin, status), "sending a pin status event");
            requireSoundOutput(context, *driver, where);
            runBlock(context, *driver, where);
        }

    // Every status byte, so every channel of every channel message, in bursts of 4096; the first
    // two arrive while every input is high, so a module that records what arrives does so.
    for (int32_t burst = 0; burst < 4; ++burst) {
        fillInputs(*driver, sampleInputs(*driver), burst < 2 ? 1.0f : 0.0f);
        runBlock(context, *driver, "before a burst of MIDI events");
        for (int32_t status = 0x80 + burst * 32; status < 0x80 + (burst + 1) * 32; ++status)
            for (int n = 0; n < 128; ++n) {
                const int32_t message = packMidi(status, random.below(128), random.below(128));
                need(context,
                     driver->midi(message, random.below(driver->blockSize()),
                                  static_cast<uint16_t>(random.below(65536))),
                     "sending MIDI");
            }
        const std::string where = "after a burst of 4096 MIDI events with statuses " +
                                  hex(static_cast<uint32_t>(0x80 + burst * 32)) + " to " +
                                  hex(static_cast<uint32_t>(0x80 + burst * 32 + 31));
        requireSoundOutput(context, *driver, where);
        pulse(context, *driver, where);
    }

    // Kinds a host may add one day: a module ignores what it does not know.
    for (int32_t kind = -8; kind < 64; ++kind) {
        if (kind == EventPinStatus || kind == EventMidi || kind == EventCall)
            continue;
        const HostEvent event = anyEvent(kind, 0, random.between(-3, 3), 0, random.below(pins + 2));
        need(context, driver->event(event), "sending an event of kind " + std::to_string(kind));
        requireSoundOutput(context, *driver,
                           "after an event of the unknown kind " + std::to_string(kind));
    }
    pulse(context, *driver, "after events of unknown kinds");
    guardedEvents(context, file);
}

namespace {

void sweepOpcodes(CheckContext& context, ModuleDriver& driver) {
    alignas(8) unsigned char buffer[4096];
    for (int32_t opcode = -1000; opcode <= 1000; ++opcode) {
        if (opcode == OpOpen || opcode == OpClose)
            continue; // a second open and the close are checked on their own
        const std::string where = "after dispatcher opcode " + std::to_string(opcode);
        std::memset(buffer, 0, sizeof buffer);
        need(context, driver.dispatch(opcode, 0, 0, nullptr, 0.0f), "sending " + where);
        need(context, driver.dispatch(opcode, 1, 64, buffer, 44100.0f), "sending " + where);
        requireSoundOutput(context, driver, where);
    }
    for (const int32_t index : {-1, 0, 1, 1000})
        need(context, driver.dispatch(OpGetPinDescription, index, 0, nullptr),
             "asking for a pin description into a null pointer");
    // Back to settings a block can run with.
    need(context, driver.setSampleRate(44100.0f), "setting the sample rate");
    need(context, driver.setBlockSize(64), "setting the block size");
    pulse(context, driver, "after every dispatcher opcode from -1000 to 1000");
}

void sendCarelessEvents(CheckContext& context, ModuleDriver& driver, const std::string& when) {
    const auto pins = static_cast<int32_t>(driver.pins().size());
    for (const int32_t pin : {0, pins - 1, pins, pins + 1, -1, 4096, INT32_MAX, INT32_MIN})
        for (const int32_t status : {0, 1, 2})
            need(context, driver.pinStatus(pin, status), "sending a pin event " + when);
    for (const int32_t message : {0x643C90, 0x003C80, 0x7F01B0})
        need(context, driver.midi(message), "sending MIDI " + when);
    requireSoundOutput(context, driver, "after pin and MIDI events " + when);
}

} // namespace

void checkHostMistakes(CheckContext& context) {
    const ModuleFile file = loadModule(context);
    {
        const auto early = makeInstance(context, file);
        need(context, early->learnPins(), "learning the pins");
        need(context, early->wirePins(), "wiring the pins");
        sendCarelessEvents(context, *early, "before open");
        need(context, early->open(), "opening after events");
        pulse(context, *early, "after events sent before open");
    }

    const auto driver = openInstance(context, file);
    sendCarelessEvents(context, *driver, "for pins that do not exist");
    pulse(context, *driver, "after events for pins that do not exist");
    sweepOpcodes(context, *driver);

    const std::vector<int32_t> inputs = sampleInputs(*driver);
    for (const int32_t start : {-1, 64, 65, BlockCapacity, INT32_MAX, INT32_MIN}) {
        const std::string where = "in a 64-sample block started at sample " + std::to_string(start);
        for (const float level : {1.0f, 0.0f}) {
            fillInputs(*driver, inputs, level);
            need(context, driver->runBlock(start), "running a block " + where);
            requireSoundOutput(context, *driver, where);
        }
    }

    need(context, driver->open(), "opening a second time");
    pulse(context, *driver, "after a second open");
}
