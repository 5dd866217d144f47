#include "fuzz_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t MidiOutPin = 13;

// What the module may send: a NOTE_ON or NOTE_OFF on channel 1 with seven-bit data bytes and
// nothing above the third byte.
bool isChannelOneNote(int32_t message) {
    const auto word = static_cast<uint32_t>(message);
    const uint32_t status = word & 0xFF;
    return (status == 0x90 || status == 0x80) && (word >> 8 & 0xFF) < 128 &&
           (word >> 16 & 0xFF) < 128 && (word >> 24) == 0;
}

bool isZero(const void* memory, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(memory);
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

// Honours the capacity the module gives; an unterminated answer fills the whole buffer.
void writePinText(const HostedInstance& instance, char* buffer, int32_t capacity) {
    if (!buffer || capacity <= 0)
        return;
    const std::string& text = instance.pinText;
    const auto room = static_cast<size_t>(capacity);
    if (!instance.terminateText) {
        for (size_t i = 0; i < room; ++i)
            buffer[i] = text.empty() ? 'x' : text[i % text.size()];
        return;
    }
    const size_t length = std::min(text.size(), room - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

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

float* HostedInstance::block(int32_t pin) noexcept {
    const bool described = pin >= 0 && pin < DescribedPins;
    return blocks[described ? static_cast<size_t>(pin) : DescribedPins].data();
}

bool FuzzHost::isLive(const PluginRecord* record) const noexcept {
    return record && std::any_of(slots.begin(), slots.end(),
                                 [&](const auto& slot) { return slot && slot->record == record; });
}

bool FuzzHost::isLiveInstance(const void* instance) const noexcept {
    return instance && std::any_of(slots.begin(), slots.end(), [&](const auto& slot) {
               return slot && slot->record->instance == instance;
           });
}

intptr_t SE_ABI FuzzHost::callback(PluginRecord* record, int32_t opcode, int32_t index,
                                   int32_t value, void* pointer, float opt) {
    FuzzHost& host = fuzzHost();
    if (!host.isLive(record))
        fail("the host callback got a record that belongs to no live instance");
    if (record != host.driven)
        fail("the host callback got the record of an instance the host is not calling");
    auto* instance = reinterpret_cast<HostedInstance*>(record->hostHandle);
    if (instance->record != record)
        fail("the record's host handle no longer names its instance");
    if (opt != 0.0f)
        fail("the module passed a float other than 0.0 to the host callback");
    return host.answer(*instance, opcode, index, value, pointer);
}

intptr_t FuzzHost::answer(HostedInstance& instance, int32_t opcode, int32_t index, int32_t value,
                          void* pointer) {
    switch (opcode) {
    case HostSampleClock:
        return clock;
    case HostSendMidi:
        if (index != MidiOutPin)
            fail("MIDI sent through a pin other than MIDI Out");
        if (!isChannelOneNote(value))
            fail("MIDI sent that is no NOTE_ON or NOTE_OFF on channel 1");
        if (static_cast<int32_t>(reinterpret_cast<intptr_t>(pointer)) != clock)
            fail("MIDI stamped with something other than the sample clock");
        return 0;
    case HostPinBuffer:
        return reinterpret_cast<intptr_t>(instance.block(index));
    case HostPinCount:
        return instance.pinCount;
    case HostPinText:
        writePinText(instance, static_cast<char*>(pointer), value);
        return 0;
    case HostSubProcessChanged:
        return 0; // the routine is read from the record at every block
    default:
        fail("the module asked for a service the host does not offer");
    }
}

void SE_ABI FuzzHost::eventRoutine(void* instance) {
    const FuzzHost& host = fuzzHost();
    if (!host.isLiveInstance(instance) || !host.driven || host.driven->instance != instance)
        fail("an EventCall routine was called with something other than its instance");
}

HostedInstance* FuzzHost::make(size_t slot, int32_t moduleIndex, int32_t selector,
                               bool withCallback, int32_t pinCount) {
    std::unique_ptr<HostedInstance>& place = slots[slot % MaxInstances];
    if (place)
        return nullptr;
    auto instance = std::make_unique<HostedInstance>();
    instance->pinCount = pinCount;
    PluginRecord* record = makeModule(moduleIndex, selector, withCallback ? callback : nullptr,
                                      reinterpret_cast<intptr_t>(instance.get()));
    const bool wanted = moduleIndex == 0 && selector == 1;
    if (!record) {
        if (wanted)
            fail("makeModule refused module 0 with selector 1");
        return nullptr;
    }
    if (!wanted)
        fail("makeModule made an instance for a wrong module index or selector");
    if (record->magic != PluginMagic || record->version != PluginVersion ||
        record->hostHandle != reinterpret_cast<intptr_t>(instance.get()) || !record->instance ||
        !record->dispatcher || !record->event || !record->subProcess)
        fail("makeModule returned an incomplete plug-in record");
    instance->record = record;
    place = std::move(instance);
    return place.get();
}

intptr_t FuzzHost::dispatch(size_t slot, int32_t opcode, int32_t index, int32_t value,
                            void* pointer, float opt) {
    std::unique_ptr<HostedInstance>& place = slots[slot % MaxInstances];
    if (!place)
        return 0;
    PluginRecord* record = place->record;
    const Driving driving(record);
    const intptr_t result = record->dispatcher(record, opcode, index, value, pointer, opt);
    switch (opcode) {
    case OpSetBlockSize:
        place->toldBlockSize = true;
        place->blockSize = value;
        break;
    case OpClose:
        if (result != 1)
            fail("closing an instance did not answer 1");
        place.reset(); // the record is gone
        break;
    case OpGetPinDescription:
        if (!pointer)
            break;
        if ((result == 1) != (index >= 0 && index < DescribedPins))
            fail("a pin description was answered for the wrong indices");
        if (result == 1) {
            if (!static_cast<PinDescription*>(pointer)->pinName)
                fail("a pin description without a name");
            learn(*place, index, *static_cast<PinDescription*>(pointer));
        } else if (!isZero(pointer, sizeof(PinDescription))) {
            fail("a refused pin description was written to");
        }
        break;
    case OpSubProcessInfo: {
        const auto* info = reinterpret_cast<const SubProcessInfo*>(result);
        if (!info || info->one != 1 ||
            info->size != static_cast<int32_t>(sizeof(SubProcessSelection)) || !info->selection ||
            info->selection->routine != record->subProcess)
            fail("opcode 13 answered something other than this instance's selection");
        break;
    }
    default:
        break;
    }
    return result;
}

// Connects an input pin's variable to its block as soon as the host knows where it lives.
void FuzzHost::learn(HostedInstance& instance, int32_t index, const PinDescription& description) {
    const auto pin = static_cast<size_t>(index);
    instance.variables[pin] = description.variableAddress;
    instance.datatypes[pin] = description.datatype;
    if (description.variableAddress && description.datatype == DtSamples)
        *static_cast<float**>(description.variableAddress) = instance.block(index);
}

void FuzzHost::describe(size_t slot) {
    HostedInstance* instance = at(slot);
    for (int32_t pin = 0; instance && pin < DescribedPins; ++pin) {
        PinDescription description;
        std::memset(&description, 0, sizeof description);
        dispatch(slot, OpGetPinDescription, pin, 0, &description, 0.0f);
        void* variable = description.variableAddress;
        if (!variable || !description.defaultText)
            continue;
        if (description.datatype == DtInt16)
            *static_cast<int16_t*>(variable) =
                static_cast<int16_t>(std::atoi(description.defaultText));
        if (description.datatype == DtBool)
            *static_cast<uint8_t*>(variable) = std::strcmp(description.defaultText, "true") == 0;
    }
}

void FuzzHost::closeAll() {
    for (size_t slot = 0; slot < MaxInstances; ++slot)
        dispatch(slot, OpClose, 0, 0, nullptr, 0.0f);
}
