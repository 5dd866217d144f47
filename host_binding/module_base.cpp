#include "module_base.h"

#include <cstring>
#include <new>

namespace {

// More pins than this is a host's mistake; the instance then gets none.
constexpr int32_t MaxPins = 4096;

SubProcessInfo subProcessInfo;

intptr_t SE_ABI dispatcherEntry(PluginRecord* record, int32_t opcode, int32_t index, int32_t value,
                                void* pointer, float opt) noexcept {
    if (!record || record->magic != PluginMagic || !record->instance)
        return 0;
    auto* instance = static_cast<SEModule_base*>(record->instance);
    return instance->dispatch(opcode, index, value, pointer, opt);
}

void SE_ABI eventEntry(void* instance, HostEvent* event) noexcept {
    if (instance && event)
        static_cast<SEModule_base*>(instance)->handleEvent(event);
}

// Runs until a module installs a routine of its own.
void SE_ABI idleSubProcess(void*, int32_t, int32_t) noexcept {}

bool takesRecord(int32_t flags) {
    return !(flags & PinFlagNoRecord) || (flags & PinFlagKeepRecord);
}

} // namespace

SEModule_base::SEModule_base(HostCallback callback, intptr_t hostHandle) noexcept
    : hostCallback(callback), record(), subProcess{idleSubProcess, {0, 0, 0}} {
    record.magic = PluginMagic;
    record.version = PluginVersion;
    record.hostHandle = hostHandle;
    record.instance = this;
    record.dispatcher = dispatcherEntry;
    record.event = eventEntry;
    record.subProcess = subProcess.routine;
}

SEModule_base::~SEModule_base() {
    releasePins();
    record.magic = 0; // a host that keeps the record after closing finds it dead
}

void SEModule_base::onPinStatusChange(SEPin*) {}

void SEModule_base::handleEvent(HostEvent* event) {
    if (!event)
        return;
    switch (event->kind) {
    case EventPinStatus:
        deliverPinStatus(static_cast<int32_t>(event->target), event->value);
        break;
    case EventMidi:
        onMidiData(event->timeDelta, event->value, event->extra);
        break;
    case EventCall:
        if (event->target)
            reinterpret_cast<EventRoutine>(event->target)(this);
        break;
    default:
        break;
    }
}

// A status of 1 announces a one-off change: the pin shows it only while its owner is told.
void SEModule_base::deliverPinStatus(int32_t index, int32_t status) {
    SEPin* target = pin(index);
    if (!target || !target->owner)
        return;
    target->status = status;
    target->owner->onPinStatusChange(target);
    if (status == 1)
        target->status = 0;
}

intptr_t SEModule_base::dispatch(int32_t opcode, int32_t index, int32_t value, void* pointer,
                                 float opt) {
    switch (opcode) {
    case OpOpen:
        open();
        return 0;
    case OpClose:
        close();
        delete this;
        return 1;
    case OpSetSampleRate:
        setSampleRate(opt);
        return 0;
    case OpSetBlockSize:
        setBlockSize(value);
        return 0;
    case OpGetPinDescription:
        return pointer && getPinDescription(index, static_cast<PinDescription*>(pointer)) ? 1 : 0;
    case OpRequest8:
        onRequest8();
        if (index > 0)
            onRequest8Count(index);
        return 0;
    case OpRequest12:
        onRequest12(value, index, pointer);
        return 0;
    case OpSubProcessInfo:
        subProcessInfo = {1, static_cast<int32_t>(sizeof(SubProcessSelection)), &subProcess, 0};
        return reinterpret_cast<intptr_t>(&subProcessInfo);
    default:
        return 0;
    }
}

void SEModule_base::open() {
    releasePins(); // a second open starts over
    buildPins();
    walkDescriptions();
}

void SEModule_base::buildPins() noexcept {
    const intptr_t count = callHost(HostPinCount);
    if (count <= 0 || count > MaxPins)
        return;
    pins = new (std::nothrow) SEPin[static_cast<size_t>(count)];
    pinsSize = pins ? static_cast<int32_t>(count) : 0;
}

// Pairs descriptions with records in order, skipping descriptions that take no record. The
// last description asked for decides whether the remaining records repeat its datatype.
void SEModule_base::walkDescriptions() noexcept {
    PinDescription description;
    int32_t n = 0;
    int32_t i = 0;
    std::memset(&description, 0, sizeof description);
    if (getPinDescription(0, &description)) {
        while (i < pinsSize) {
            if (takesRecord(description.pinFlags))
                pins[i].setUpPin(description.variableAddress, this, i, description.datatype), ++i;
            std::memset(&description, 0, sizeof description);
            if (!getPinDescription(++n, &description))
                break;
        }
    }
    std::memset(&description, 0, sizeof description);
    getPinDescription(n - 1, &description);
    if (!(description.pinFlags & PinFlagRepeat) || !takesRecord(description.pinFlags))
        return;
    for (; i < pinsSize; ++i)
        pins[i].setUpPin(nullptr, this, i, description.datatype);
}

void SEModule_base::releasePins() noexcept {
    delete[] pins;
    pins = nullptr;
    pinsSize = 0;
}

void SEModule_base::close() {}
void SEModule_base::setSampleRate(float rate) {
    sampleRate = rate;
}
void SEModule_base::setBlockSize(int32_t size) {
    blockSize = size;
}
float SEModule_base::getSampleRate() {
    return sampleRate;
}
int32_t SEModule_base::getBlockSize() {
    return blockSize;
}
bool SEModule_base::getPinDescription(int32_t, PinDescription*) {
    return false;
}
void SEModule_base::onRequest8() {}
void SEModule_base::onRequest8Count(int32_t) {}
void SEModule_base::onMidiData(int32_t, int32_t, int32_t) {}
void SEModule_base::onRequest12(int32_t, int32_t, void*) {}

void SEModule_base::setSubProcess(const SubProcessSelection& selection) noexcept {
    const bool sameWords =
        std::memcmp(selection.words, subProcess.words, sizeof selection.words) == 0;
    if (selection.routine == subProcess.routine && (!selection.routine || sameWords))
        return;
    subProcess = selection;
    record.subProcess = selection.routine;
    callHost(HostSubProcessChanged);
}
