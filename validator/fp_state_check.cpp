// Whether a module leaves the processor's floating-point control state as it found it, on every
// call into it, and whether it works in a host whose state is unusual but legal.
#include "check_support.h"
#include "fp_state.h"

#include <cstdio>
#include <iterator>

namespace {

// Reads the state before and after every call into the module. The first change is kept for
// the report, and the state the host had is put back, so that the host and the calls after run
// as they would have.
class Comparing : public CallWatcher {
  public:
    void entering(ModuleEntry) noexcept override { before = readFpState(); }
    void left(ModuleEntry entry) noexcept override {
        const FpState after = readFpState();
        if (after == before)
            return;
        writeFpState(before);
        ++changes;
        if (changes == 1) {
            first = entry;
            firstBefore = before;
            firstAfter = after;
        }
    }
    // The module's requests are answered with the state it called with, as the host is.
    void answering() noexcept override { inModule = readFpState(); }
    void answered() noexcept override { writeFpState(inModule); }

    // Fails on the first change seen; `where` says what the check was doing.
    void require(CheckContext& context, const std::string& where) const {
        if (changes == 0)
            return;
        context.fail(std::string(entryName(first)) +
                     " returned with the floating-point state "
                     "changed " +
                     where + ": " + fpChanges(firstBefore, firstAfter) +
                     (changes > 1 ? " (" + std::to_string(changes) + " calls changed it)" : ""));
    }

  private:
    FpState before, inModule, firstBefore, firstAfter;
    ModuleEntry first = ModuleEntry::Make;
    long long changes = 0;
};

// Blocks with steps and pulses on every input, MIDI notes between them, and denormal and
// infinite samples; every output must be valid.
void exercise(CheckContext& context, ModuleDriver& driver, const std::string& where) {
    giveFiles(context, driver);
    const std::vector<int32_t> inputs = sampleInputs(driver);
    const float levels[] = {0.0f, 1.0f, 1.0f, 0.0f, 1e-40f, 0.5f, 1e30f, 0.0f, -1.0f, 0.0f};
    for (int32_t step = 0; step < 40; ++step) {
        for (size_t n = 0; n < inputs.size(); ++n) {
            float* block = driver.block(inputs[n]);
            const float level = levels[(static_cast<size_t>(step) + n) % std::size(levels)];
            std::fill_n(block, BlockCapacity, level);
            block[driver.blockSize() / 2] = level > 0.2f ? 0.0f : 1.0f; // a short pulse
        }
        if (step % 5 == 0) {
            const int32_t note = 48 + step;
            need(context, driver.midi(packMidi(MidiNoteOn, note, 100)), "sending a NOTE_ON");
            requireSoundOutput(context, driver, where);
            need(context, driver.midi(packMidi(MidiNoteOff, note, 0)), "sending a NOTE_OFF");
            requireSoundOutput(context, driver, where);
        }
        runBlock(context, driver, where);
    }
    for (size_t i = 0; i < driver.pins().size(); ++i)
        if (driver.pins()[i].isInput() && driver.pins()[i].datatype != DtSamples) {
            need(context, driver.pinStatus(static_cast<int32_t>(i), 1), "sending a pin event");
            requireSoundOutput(context, driver, where);
        }
    fillInputs(driver, inputs, 0.0f);
    runBlock(context, driver, where);
}

void oneInstance(CheckContext& context, const ModuleFile& file, Comparing& comparing,
                 const std::string& where) {
    MakeOptions options;
    options.watcher = &comparing;
    const auto driver = makeInstance(context, file, options);
    comparing.require(context, where);
    need(context, driver->start(), "starting the instance");
    requireSoundOutput(context, *driver, "while opening " + where);
    comparing.require(context, "while opening " + where);
    exercise(context, *driver, where);
    comparing.require(context, where);
    need(context, driver->close(), "closing");
    comparing.require(context, "while closing " + where);
}

} // namespace

void checkFpState(CheckContext& context) {
    if (!canReadFpState())
        context.skip("this processor's floating-point state is not known to the check");
    const ModuleFile file = loadModule(context);
    Comparing comparing;
    oneInstance(context, file, comparing, "in the host's usual state");
    const FpState usual = readFpState();
    const FpState unusual = unusualFpState(usual);
    {
        const FpStateScope scope(unusual);
        oneInstance(context, file, comparing,
                    "with the host's state at flush-to-zero and rounding toward zero");
    }
    char state[96];
    std::snprintf(state, sizeof state, "MXCSR 0x%04X and x87 control word 0x%04X",
                  static_cast<unsigned>(usual.mxcsr), static_cast<unsigned>(usual.x87));
    context.note(std::string("every call left the state as it found it, ") + state +
                 " and also flush-to-zero with rounding toward zero");
}
