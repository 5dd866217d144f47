#include "host_instance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

std::string quoted(const std::string& name) {
    return "'" + name + "'";
}

Status checkSettings(float rate, int32_t frames) {
    if (!std::isfinite(rate) || rate <= 0.0f)
        return Failure{"the sample rate must be a positive number"};
    if (frames < 1 || frames > MaxBlockSize)
        return Failure{"the block size must lie between 1 and " + std::to_string(MaxBlockSize) +
                       ", not " + std::to_string(frames)};
    return {};
}

} // namespace

HostInstance::HostInstance(ModuleFile file, InstanceSettings settings)
    : file(std::move(file)), rate(settings.sampleRate), frames(settings.blockSize) {}

HostInstance::~HostInstance() {
    close();
}

Result<std::unique_ptr<HostInstance>> HostInstance::create(const ModuleFile& file,
                                                           InstanceSettings settings) {
    if (Status valid = checkSettings(settings.sampleRate, settings.blockSize); !valid)
        return Failure{valid.error()};
    std::unique_ptr<HostInstance> instance(new HostInstance(file, settings));
    if (Status started = instance->start(); !started)
        return Failure{started.error()}; // the instance, if made, closes on the way out
    return instance;
}

Status HostInstance::start() {
    // A host reads the properties before it places a module, so the module may rely on them; a
    // module that gives none still decides for itself whether it makes an instance.
    file.properties();
    PluginRecord* made =
        file.makeModule()(0, 1, &HostInstance::callback, reinterpret_cast<intptr_t>(this));
    if (!made)
        return Failure{"the module refused to make an instance"};
    if (made->magic != PluginMagic || !made->dispatcher) // never touched again
        return Failure{"the module answered with something that is not a plug-in record"};
    record = made; // from here on the destructor closes it
    if (!record->event)
        return Failure{"the module's record has no event entry"};
    routine = record->subProcess;

    Result<std::vector<PinInfo>> learned = learnPins(record);
    if (!learned)
        return Failure{learned.error()};
    pinTable = std::move(*learned);
    blocks.resize(pinTable.size());
    levels.assign(pinTable.size(), 0.0f);
    texts.resize(pinTable.size());
    placeBlocks();
    if (Status given = giveDefaults(); !given)
        return given;

    dispatch(OpSetSampleRate, 0, 0, nullptr, rate);
    dispatch(OpSetBlockSize, 0, frames);
    dispatch(OpOpen);
    return {};
}

// Every sample pin gets a block of the current size. The blocks are reserved at the largest size
// once, so resizing never moves them: the module may keep an address it asked for while opening.
void HostInstance::placeBlocks() {
    for (size_t i = 0; i < pinTable.size(); ++i) {
        if (pinTable[i].datatype != DtSamples)
            continue;
        std::vector<float>& block = blocks[i];
        block.reserve(MaxBlockSize);
        block.resize(static_cast<size_t>(frames), levels[i]);
        float* address = block.data();
        if (pinTable[i].variable)
            std::memcpy(pinTable[i].variable, &address, sizeof address);
    }
}

Status HostInstance::giveDefaults() {
    for (size_t i = 0; i < pinTable.size(); ++i) {
        const PinInfo& pin = pinTable[i];
        if (pin.datatype == DtText && pin.defaultText)
            texts[i] = *pin.defaultText;
        if (!pin.isParameter() || !pin.isInput() || !pin.variable)
            continue;
        Result<int32_t> value = defaultValue(pin);
        if (!value)
            return Failure{value.error()};
        if (Status written = setParameter(static_cast<int32_t>(i), *value); !written)
            return written;
    }
    return {};
}

// ---- The callback ------------------------------------------------------------------------

intptr_t SE_ABI HostInstance::callback(PluginRecord* record, int32_t opcode, int32_t index,
                                       int32_t value, void* pointer, float) noexcept {
    if (!record || !record->hostHandle)
        return 0;
    auto* host = reinterpret_cast<HostInstance*>(record->hostHandle);
    try {
        return host->answer(opcode, index, value, pointer);
    } catch (...) {
        return 0; // nothing may unwind into the module
    }
}

intptr_t HostInstance::answer(int32_t opcode, int32_t index, int32_t value, void* pointer) {
    const bool known = index >= 0 && static_cast<size_t>(index) < pinTable.size();
    switch (opcode) {
    case HostSampleClock:
        return static_cast<int32_t>(static_cast<uint32_t>(sampleClock));
    case HostSendMidi:
        midiOut.push_back(
            {index, value, static_cast<int32_t>(reinterpret_cast<intptr_t>(pointer))});
        return 0;
    case HostPinBuffer:
        if (!known || pinTable[static_cast<size_t>(index)].datatype != DtSamples)
            return 0;
        return reinterpret_cast<intptr_t>(blocks[static_cast<size_t>(index)].data());
    case HostPinCount:
        return static_cast<intptr_t>(pinTable.size());
    case HostPinText:
        return copyPinText(index, value, static_cast<char*>(pointer));
    case HostSubProcessChanged:
        if (record)
            routine = record->subProcess;
        return 0;
    default:
        return 0;
    }
}

// Pins without a text of their own read as empty.
intptr_t HostInstance::copyPinText(int32_t index, int32_t capacity, char* buffer) const {
    if (!buffer || capacity <= 0)
        return 0;
    const bool known = index >= 0 && static_cast<size_t>(index) < texts.size();
    const std::string empty;
    const std::string& text = known ? texts[static_cast<size_t>(index)] : empty;
    const size_t length = std::min(text.size(), static_cast<size_t>(capacity) - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return 0;
}

// ---- Requests and events -------------------------------------------------------------------

intptr_t HostInstance::dispatch(int32_t opcode, int32_t index, int32_t value, void* pointer,
                                float opt) {
    return record->dispatcher(record, opcode, index, value, pointer, opt);
}

void HostInstance::sendEvent(HostEvent& event) {
    record->event(record->instance, &event);
}

Status HostInstance::checkOpen() const {
    if (!record)
        return Failure{"the instance is closed"};
    return {};
}

Result<const PinInfo*> HostInstance::pinAt(int32_t index) const {
    if (Status open = checkOpen(); !open)
        return Failure{open.error()};
    if (index < 0 || static_cast<size_t>(index) >= pinTable.size())
        return Failure{"pin " + std::to_string(index) + " does not exist; the module has " +
                       std::to_string(pinTable.size()) + " pins"};
    return &pinTable[static_cast<size_t>(index)];
}

Result<const PinInfo*> HostInstance::inputPin(int32_t index, const char* kind,
                                              bool (*isKind)(const PinInfo&)) const {
    Result<const PinInfo*> found = pinAt(index);
    if (found && (!(*found)->isInput() || !isKind(**found)))
        return Failure{"pin " + quoted((*found)->name) + " is not " + kind};
    return found;
}

Result<int32_t> HostInstance::findPin(const std::string& name) const {
    for (size_t i = 0; i < pinTable.size(); ++i)
        if (pinTable[i].name == name)
            return static_cast<int32_t>(i);
    return Failure{"the module has no pin named " + quoted(name)};
}

Status HostInstance::setParameter(int32_t index, int32_t value) {
    Result<const PinInfo*> found = inputPin(index, "an int16 or bool parameter",
                                            [](const PinInfo& p) { return p.isParameter(); });
    if (!found)
        return Failure{found.error()};
    const PinInfo& pin = **found;
    if (!pin.variable)
        return Failure{"pin " + quoted(pin.name) + " has no variable to write"};
    if (Status fits = checkParameter(pin, value); !fits)
        return fits;
    if (pin.datatype == DtInt16)
        *static_cast<int16_t*>(pin.variable) = static_cast<int16_t>(value);
    else
        *static_cast<uint8_t*>(pin.variable) = static_cast<uint8_t>(value);
    return {};
}

Status HostInstance::setText(int32_t index, const std::string& text) {
    Result<const PinInfo*> found =
        inputPin(index, "a text input", [](const PinInfo& p) { return p.datatype == DtText; });
    if (!found)
        return Failure{found.error()};
    if (text.find('\0') != std::string::npos)
        return Failure{"a pin's text cannot hold a zero byte"};
    texts[static_cast<size_t>(index)] = text;
    HostEvent event{};
    event.kind = EventPinStatus;
    event.value = 1;
    event.target = index;
    sendEvent(event);
    return {};
}

Status HostInstance::setLevel(int32_t index, float level) {
    Result<const PinInfo*> found =
        inputPin(index, "a sample input", [](const PinInfo& p) { return p.datatype == DtSamples; });
    if (!found)
        return Failure{found.error()};
    if (!std::isfinite(level))
        return Failure{"a level must be a finite number"};
    levels[static_cast<size_t>(index)] = level;
    return {};
}

Status HostInstance::sendMidi(int32_t message, int32_t timeDelta) {
    if (Status open = checkOpen(); !open)
        return open;
    const bool hasInput = std::any_of(pinTable.begin(), pinTable.end(), [](const PinInfo& pin) {
        return pin.datatype == DtMidi && pin.direction == DirIn;
    });
    if (!hasInput)
        return Failure{"the module has no MIDI input"};
    if ((message & ~0xFFFFFF) != 0 || midiStatus(message) < 0x80 || midiData1(message) > 0x7F ||
        midiData2(message) > 0x7F)
        return Failure{"not a packed MIDI message: " + std::to_string(message)};
    HostEvent event{};
    event.timeDelta = timeDelta;
    event.kind = EventMidi;
    event.value = message;
    sendEvent(event);
    return {};
}

// By name: the same, for the first pin of that name.
Status HostInstance::setParameter(const std::string& pinName, int32_t value) {
    Result<int32_t> index = findPin(pinName);
    return index ? setParameter(*index, value) : Status(Failure{index.error()});
}

Status HostInstance::setText(const std::string& pinName, const std::string& text) {
    Result<int32_t> index = findPin(pinName);
    return index ? setText(*index, text) : Status(Failure{index.error()});
}

Status HostInstance::setLevel(const std::string& pinName, float level) {
    Result<int32_t> index = findPin(pinName);
    return index ? setLevel(*index, level) : Status(Failure{index.error()});
}

// ---- Running -------------------------------------------------------------------------------

Status HostInstance::setSampleRate(float newRate) {
    if (Status open = checkOpen(); !open)
        return open;
    if (Status valid = checkSettings(newRate, frames); !valid)
        return valid;
    rate = newRate;
    dispatch(OpSetSampleRate, 0, 0, nullptr, rate);
    return {};
}

Status HostInstance::setBlockSize(int32_t newFrames) {
    if (Status open = checkOpen(); !open)
        return open;
    if (Status valid = checkSettings(rate, newFrames); !valid)
        return valid;
    frames = newFrames;
    placeBlocks();
    dispatch(OpSetBlockSize, 0, frames);
    return {};
}

Status HostInstance::runBlocks(int32_t count) {
    if (Status open = checkOpen(); !open)
        return open;
    if (count < 0)
        return Failure{"cannot run a negative number of blocks"};
    for (int32_t n = 0; n < count && record; ++n) {
        for (size_t i = 0; i < pinTable.size(); ++i)
            if (pinTable[i].datatype == DtSamples && pinTable[i].isInput())
                std::fill(blocks[i].begin(), blocks[i].end(), levels[i]);
        if (routine)
            routine(record->instance, 0, frames);
        sampleClock += frames;
    }
    return {};
}

Status HostInstance::close() {
    if (Status open = checkOpen(); !open)
        return Failure{"the instance is already closed"};
    dispatch(OpClose);
    record = nullptr;
    routine = nullptr;
    return {};
}
