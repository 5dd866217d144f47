#include "fuzz_host.h"

#include "midi_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t MidiOutPin = 13;

bool isZero(const void* memory, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(memory);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

// Marks a call into one instance: while it lasts, that instance alone may be called back.
class Driving {
  public:
    Driving(const void*& driven, const HostedInstance& instance)
        : driven(driven), previous(driven) {
        driven = instance.driver->instance();
    }
    ~Driving() { driven = previous; }
    Driving(const Driving&) = delete;
    Driving& operator=(const Driving&) = delete;

  private:
    const void*& driven;
    const void* previous;
};

} // namespace

void fail(const char* what) {
    std::fprintf(stderr, "kaveltrum-fuzz: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

FuzzHost& fuzzHost() noexcept {
    static FuzzHost host;
    return host;
}

void* HostedInstance::variable(int32_t pin) const {
    const auto& pins = driver->pins();
    return pin >= 0 && static_cast<size_t>(pin) < pins.size()
               ? pins[static_cast<size_t>(pin)].variable
               : nullptr;
}

int32_t HostedInstance::datatype(int32_t pin) const {
    const auto& pins = driver->pins();
    return pin >= 0 && static_cast<size_t>(pin) < pins.size()
               ? pins[static_cast<size_t>(pin)].datatype
               : -1;
}

// What the driver noted during the last call: any request a host could not accept, and every
// message sent since the last check.
void FuzzHost::check(HostedInstance& instance) {
    ModuleDriver& driver = *instance.driver;
    if (!driver.moduleMistakes().empty())
        fail(driver.moduleMistakes().front().c_str());
    const std::vector<ModuleMidi>& sent = driver.sent();
    for (size_t i = instance.checkedMidi; i < sent.size(); ++i) {
        if (sent[i].pin != MidiOutPin)
            fail("MIDI sent through a pin other than MIDI Out");
        if (!isChannelOneNote(sent[i].message))
            fail("MIDI sent that is no NOTE_ON or NOTE_OFF on channel 1");
        if (sent[i].timeStamp != clock)
            fail("MIDI stamped with something other than the sample clock");
    }
    driver.clearSent();
    instance.checkedMidi = 0;
}

void SE_ABI FuzzHost::eventRoutine(void* instance) {
    const FuzzHost& host = fuzzHost();
    if (!instance || host.driven != instance)
        fail("an EventCall routine was called with something other than its instance");
}

HostedInstance* FuzzHost::make(size_t slot, int32_t moduleIndex, int32_t selector,
                               bool withCallback, int32_t pinCount) {
    std::unique_ptr<HostedInstance>& place = slots[slot % MaxInstances];
    if (place)
        return nullptr;
    MakeOptions options;
    options.moduleIndex = moduleIndex;
    options.selector = selector;
    options.withCallback = withCallback;
    options.askProperties = false; // the fuzzer asks for them as an action of its own
    Result<std::unique_ptr<ModuleDriver>> made =
        ModuleDriver::make({getModuleProperties, makeModule}, options);
    const bool wanted = moduleIndex == 0 && selector == 1;
    if (!made) {
        if (wanted)
            fail("makeModule refused module 0 with selector 1");
        return nullptr;
    }
    if (!wanted)
        fail("makeModule made an instance for a wrong module index or selector");
    const PluginRecord* record = (*made)->record();
    if (record->magic != PluginMagic || record->version != PluginVersion ||
        record->hostHandle != reinterpret_cast<intptr_t>(made->get()) || !record->instance ||
        !record->dispatcher || !record->event || !record->subProcess)
        fail("makeModule returned an incomplete plug-in record");
    auto instance = std::make_unique<HostedInstance>();
    instance->driver = std::move(*made);
    instance->driver->answerPinCount(pinCount);
    instance->driver->logRequests = false;
    instance->driver->routineFromRecord = true; // also a module made without a callback plays
    instance->driver->clock = clock;
    place = std::move(instance);
    check(*place);
    return place.get();
}

intptr_t FuzzHost::dispatch(size_t slot, int32_t opcode, int32_t index, int32_t value,
                            void* pointer, float opt) {
    std::unique_ptr<HostedInstance>& place = slots[slot % MaxInstances];
    if (!place)
        return 0;
    HostedInstance& instance = *place;
    ModuleDriver& driver = *instance.driver;
    driver.clock = clock;
    Result<intptr_t> answered = [&] {
        const Driving driving(driven, instance);
        return driver.dispatch(opcode, index, value, pointer, opt);
    }();
    if (!answered)
        fail("the driver refused to pass a request on");
    const intptr_t result = *answered;
    check(instance);
    switch (opcode) {
    case OpSetBlockSize:
        instance.toldBlockSize = true;
        instance.blockSize = value;
        break;
    case OpClose:
        if (result != 1)
            fail("closing an instance did not answer 1");
        place.reset(); // the record is gone
        break;
    case OpGetPinDescription:
        if (pointer)
            checkDescription(index, {result, *static_cast<PinDescription*>(pointer)});
        break;
    case OpSubProcessInfo: {
        const auto* info = reinterpret_cast<const SubProcessInfo*>(result);
        if (!info || info->one != 1 ||
            info->size != static_cast<int32_t>(sizeof(SubProcessSelection)) || !info->selection ||
            info->selection->routine != driver.record()->subProcess)
            fail("opcode 13 answered something other than this instance's selection");
        break;
    }
    default:
        break;
    }
    return result;
}

void FuzzHost::checkDescription(int32_t index, const PinAnswer& asked) {
    if ((asked.answer == 1) != (index >= 0 && index < DescribedPins))
        fail("a pin description was answered for the wrong indices");
    if (asked.answer == 1 && !asked.description.pinName)
        fail("a pin description without a name");
    if (asked.answer != 1 && !isZero(&asked.description, sizeof asked.description))
        fail("a refused pin description was written to");
}

void FuzzHost::event(HostedInstance& instance, const HostEvent& event) {
    instance.driver->clock = clock;
    {
        const Driving driving(driven, instance);
        if (!instance.driver->event(event))
            fail("the driver refused to pass an event on");
    }
    check(instance);
}

void FuzzHost::block(HostedInstance& instance, int32_t start) {
    instance.driver->clock = clock;
    {
        const Driving driving(driven, instance);
        if (!instance.driver->runBlock(start, BlockLength))
            fail("the plug-in record has no sub-process routine");
    }
    check(instance);
    clock = static_cast<int32_t>(static_cast<uint32_t>(clock) + BlockLength);
}

void FuzzHost::describe(size_t slot) {
    HostedInstance* instance = at(slot);
    if (!instance)
        return;
    ModuleDriver& driver = *instance->driver;
    {
        const Driving driving(driven, *instance);
        for (int32_t pin = 0; pin <= DescribedPins; ++pin)
            checkDescription(pin, driver.describePin(pin));
        if (!driver.learnPins())
            fail("the module's pins cannot be learnt");
        // A default the host cannot read leaves its variable as it is, which is no fault here.
        static_cast<void>(driver.wirePins());
    }
    check(*instance);
}

void FuzzHost::closeAll() {
    for (size_t slot = 0; slot < MaxInstances; ++slot)
        dispatch(slot, OpClose, 0, 0, nullptr, 0.0f);
}
