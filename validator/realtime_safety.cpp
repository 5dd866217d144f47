// Whether a module calls what a real-time thread must not call (allocation, locks and waits,
// files) while it runs a block or handles an event. A block in which nothing changed must call
// none of them; a block where an input changed, and an event, may do work it was asked for,
// which is worth a warning.
#include "call_counter.h"
#include "check_support.h"

#include <map>

namespace {

// What the module was running when it made its calls.
enum class Situation {
    FirstBlock,  // the first block after opening
    SteadyBlock, // every input low, none changed, and no event arrived since the block before
    HeldBlock,   // the same, but with inputs held high
    EdgeBlock,   // an input changed
    EventBlock,  // the first block after an event
    PinEvent,
    MidiEvent,
    Other, // the dispatcher, makeModule: not counted
};

bool isBlock(Situation situation) {
    return situation != Situation::PinEvent && situation != Situation::MidiEvent &&
           situation != Situation::Other;
}

// In words, for `times` calls; `held` names the inputs held high.
std::string situationName(Situation situation, long long times, const std::string& held) {
    const bool one = times == 1;
    const std::string count = std::to_string(times);
    switch (situation) {
    case Situation::FirstBlock:
        return "in the first block after opening";
    case Situation::SteadyBlock:
        return "in " + count + (one ? " block" : " blocks") +
               " with every input low, none changing and no event arriving";
    case Situation::HeldBlock:
        return "in " + count + (one ? " block" : " blocks") + " while " + held +
               (held.find(',') == std::string::npos ? " was" : " were") +
               " held high, nothing else changing";
    case Situation::EdgeBlock:
        return "in " + count + (one ? " block" : " blocks") + " where an input changed";
    case Situation::EventBlock:
        return "in " + count + (one ? " block" : " blocks") + " right after an event";
    case Situation::PinEvent:
        return "in " + count + (one ? " pin event" : " pin events");
    case Situation::MidiEvent:
        return "in " + count + (one ? " MIDI event" : " MIDI events");
    case Situation::Other:
        break;
    }
    return "elsewhere";
}

// Where calls were counted: the situation, and for blocks with inputs held high, which.
using Where = std::pair<Situation, std::string>;

// The calls counted in one situation, and how many calls into the module it saw.
struct Tally {
    long long entered = 0;
    std::map<std::string, unsigned long long> calls; // by function, in name order
};

// Counts while the module runs a block or an event, never while the host answers it, and puts
// what was counted down to the situation the check has set.
class Counting : public CallWatcher {
  public:
    explicit Counting(CallCounter& counter) : counter(counter) {
        for (size_t i = 0; i < counter.functions(); ++i)
            names.push_back(counter.name(i));
        counter.read(before);
        counter.read(after);
    }

    Situation situation = Situation::Other;
    std::string held; // the inputs held high, for Situation::HeldBlock

    void entering(ModuleEntry entry) noexcept override {
        counted = (entry == ModuleEntry::Block || entry == ModuleEntry::Event) &&
                  situation != Situation::Other;
        if (!counted)
            return;
        counter.read(before);
        counter.count(true);
    }
    void left(ModuleEntry) noexcept override {
        if (!counted)
            return;
        counter.count(false);
        counted = false;
        counter.read(after);
        Tally& tally = tallies[{situation, situation == Situation::HeldBlock ? held : ""}];
        ++tally.entered;
        for (size_t i = 0; i < after.size() && i < before.size(); ++i)
            if (after[i] > before[i])
                tally.calls[names[i]] += after[i] - before[i];
    }
    void answering() noexcept override {
        if (counted)
            counter.count(false);
    }
    void answered() noexcept override {
        if (counted)
            counter.count(true);
    }

    [[nodiscard]] const std::map<Where, Tally>& found() const { return tallies; }

  private:
    CallCounter& counter;
    std::vector<std::string> names;
    std::vector<unsigned long long> before, after; // sized once: reading them allocates nothing
    std::map<Where, Tally> tallies;
    bool counted = false;
};

// "malloc 64 times, free 64 times".
std::string callList(const Tally& tally) {
    std::string list;
    for (const auto& [function, times] : tally.calls)
        list += (list.empty() ? "" : ", ") + function + " " + std::to_string(times) +
                (times == 1 ? " time" : " times");
    return list;
}

// Drives an instance through blocks and events, telling the watcher which situation each call
// is in. Inputs change only between blocks, so that a block's situation is known before it runs.
class Scenario {
  public:
    Scenario(CheckContext& context, ModuleDriver& driver, Counting& counting)
        : context(context), driver(driver), counting(counting), inputs(sampleInputs(driver)),
          levels(inputs.size(), 0.0f) {}

    void block() {
        counting.held = heldInputs();
        counting.situation = first                    ? Situation::FirstBlock
                             : changed                ? Situation::EdgeBlock
                             : !counting.held.empty() ? Situation::HeldBlock
                             : evented                ? Situation::EventBlock
                                                      : Situation::SteadyBlock;
        first = changed = evented = false;
        runBlock(context, driver, "while counting calls");
    }
    void blocks(int count) {
        for (int n = 0; n < count; ++n)
            block();
    }
    void set(size_t input, float level) {
        if (levels[input] != level)
            changed = true;
        levels[input] = level;
        std::fill_n(driver.block(inputs[input]), driver.blockSize(), level);
    }
    void setAll(float level) {
        for (size_t i = 0; i < inputs.size(); ++i)
            set(i, level);
    }
    // An input that rises in the middle of the next block.
    void riseWithin(size_t input) {
        float* samples = driver.block(inputs[input]);
        std::fill_n(samples, driver.blockSize(), 1.0f);
        std::fill_n(samples, driver.blockSize() / 2, 0.0f);
        levels[input] = -1.0f; // not a steady level: the block after is an edge too
        changed = true;
    }
    void midi(int32_t message) {
        counting.situation = Situation::MidiEvent;
        need(context, driver.midi(message), "sending a MIDI event");
        counting.situation = Situation::Other;
        requireSoundOutput(context, driver, "after a MIDI event while counting calls");
        evented = true;
    }
    void notes() {
        for (const int32_t note : {60, 64, 67}) {
            midi(packMidi(MidiNoteOn, note, 100));
            blocks(2);
            midi(packMidi(MidiNoteOff, note, 0));
            blocks(2);
        }
    }
    void pinEvent(int32_t pin) {
        counting.situation = Situation::PinEvent;
        need(context, driver.pinStatus(pin, 1), "sending a pin status event");
        counting.situation = Situation::Other;
        requireSoundOutput(context, driver, "after a pin status event while counting calls");
        evented = true;
    }
    [[nodiscard]] size_t inputCount() const { return inputs.size(); }

  private:
    // "'REC'", "'REC', 'PLAY'"; empty when every input is low.
    [[nodiscard]] std::string heldInputs() const {
        std::string names;
        for (size_t i = 0; i < inputs.size(); ++i)
            if (levels[i] != 0.0f)
                names += (names.empty() ? "'" : ", '") +
                         driver.pins()[static_cast<size_t>(inputs[i])].name + "'";
        return names;
    }

    CheckContext& context;
    ModuleDriver& driver;
    Counting& counting;
    std::vector<int32_t> inputs;
    std::vector<float> levels;
    bool first = true, changed = false, evented = false;
};

// Every input low, then each in turn high and low with notes while it is high, then all at
// once, with rises inside a block; pin events for every input that is not a sample block.
void drive(Scenario& scenario, ModuleDriver& driver) {
    constexpr int Steady = 16;
    scenario.setAll(0.0f);
    scenario.blocks(Steady);
    scenario.notes();
    scenario.blocks(Steady);
    for (size_t i = 0; i < scenario.inputCount(); ++i) {
        scenario.set(i, 1.0f);
        scenario.blocks(Steady);
        scenario.notes();
        scenario.blocks(Steady);
        scenario.set(i, 0.0f);
        scenario.blocks(Steady);
        scenario.riseWithin(i);
        scenario.blocks(1);
        scenario.set(i, 1.0f);
        scenario.blocks(Steady);
        scenario.set(i, 0.0f);
        scenario.blocks(Steady);
    }
    scenario.setAll(1.0f);
    scenario.blocks(Steady);
    scenario.notes();
    scenario.setAll(0.0f);
    scenario.blocks(Steady);
    for (size_t i = 0; i < driver.pins().size(); ++i) {
        const PinInfo& pin = driver.pins()[i];
        if (pin.isInput() && pin.datatype != DtSamples && pin.datatype != DtMidi) {
            scenario.pinEvent(static_cast<int32_t>(i));
            scenario.blocks(Steady);
        }
    }
}

} // namespace

void checkRealtimeSafety(CheckContext& context) {
    const ModuleFile file = loadModule(context);
    std::string why;
    const std::unique_ptr<CallCounter> counter = CallCounter::attach(file, why);
    if (!counter)
        context.skip(why);
    Counting counting(*counter);
    MakeOptions options = guardedAfter(); // a read past a buffer is caught here too
    options.watcher = &counting;
    const auto driver = makeInstance(context, file, options);
    need(context, driver->start(), "starting the instance");
    requireSoundOutput(context, *driver, "while opening");
    driver->logRequests = false;
    counting.situation = Situation::PinEvent; // the files' names are pin events
    giveFiles(context, *driver);
    counting.situation = Situation::Other;
    Scenario scenario(context, *driver, counting);
    drive(scenario, *driver);
    need(context, driver->close(), "closing");
    driver->watcher = nullptr;

    const Tally* steady = nullptr;
    for (const auto& [where, tally] : counting.found()) {
        const Situation situation = where.first;
        if (tally.calls.empty())
            continue;
        const std::string what = std::string(isBlock(situation) ? "the block routine"
                                                                : "the "
                                                                  "event "
                                                                  "entry") +
                                 " called " + callList(tally) + " " +
                                 situationName(situation, tally.entered, where.second);
        if (situation == Situation::SteadyBlock)
            steady = &tally;
        else
            context.warn(what);
    }
    if (steady)
        context.fail(entryName(ModuleEntry::Block) + std::string(" called ") + callList(*steady) +
                     " " + situationName(Situation::SteadyBlock, steady->entered, "") +
                     ": a block in the steady state must not allocate, lock, wait or touch files");
    const auto blocks = counting.found().find({Situation::SteadyBlock, ""});
    context.note(std::to_string(blocks == counting.found().end() ? 0 : blocks->second.entered) +
                 " blocks in the steady state called none of the " +
                 std::to_string(counter->functions()) + " functions counted");
}
