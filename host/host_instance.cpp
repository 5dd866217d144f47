#include "host_instance.h"

#include <algorithm>
#include <cmath>

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

Status statusOf(const Result<intptr_t>& answered) {
    return answered ? Status() : answered.failure();
}

} // namespace

Result<std::unique_ptr<HostInstance>> HostInstance::create(const ModuleFile& file,
                                                           InstanceSettings settings) {
    if (Status valid = checkSettings(settings.sampleRate, settings.blockSize); !valid)
        return valid.failure();
    Result<std::unique_ptr<ModuleDriver>> made = ModuleDriver::make(file);
    if (!made)
        return Failure{"the module refused to make an instance"};
    std::unique_ptr<HostInstance> instance(new HostInstance(std::move(*made)));
    if (Status started = instance->start(settings); !started)
        return started.failure(); // the driver, if it holds a record, closes it
    return instance;
}

Status HostInstance::start(InstanceSettings settings) {
    ModuleDriver& d = *driver;
    d.logRequests = false; // nobody reads the log here, and it would grow with every note
    if (!d.usable())
        return Failure{"the module answered with something that is not a plug-in record"};
    if (!d.record()->event)
        return Failure{"the module's record has no event entry"};
    if (Status started = d.start({settings.sampleRate, settings.blockSize}); !started)
        return started;
    levels.assign(d.pins().size(), 0.0f);
    for (const PinInfo& pin : d.pins())
        sampleInputs.push_back(pin.datatype == DtSamples && pin.isInput());
    hasMidiInput = std::any_of(d.pins().begin(), d.pins().end(), [](const PinInfo& pin) {
        return pin.datatype == DtMidi && pin.direction == DirIn;
    });
    return {};
}

// A sample input's block is filled when its level changes or the block grows, not per block:
// the module only reads it.
// In eights, which the compiler turns into vector stores at -O2 as it does not a loop of a
// length known only when it runs: play sets GATE twice a gate, and a plain fill of a 64-sample
// block was a twentieth of its time.
void HostInstance::fillBlock(size_t pin) {
    float* samples = driver->block(static_cast<int32_t>(pin));
    const float level = levels[pin];
    const auto length = static_cast<size_t>(std::max(driver->blockSize(), 0));
    size_t at = 0;
    for (; at + 8 <= length; at += 8)
        for (size_t i = 0; i < 8; ++i)
            samples[at + i] = level;
    std::fill(samples + at, samples + length, level);
}

// ---- Pins ----------------------------------------------------------------------------------

Status HostInstance::checkOpen() const {
    if (!isOpen())
        return Failure{"the instance is closed"};
    return {};
}

Result<const PinInfo*> HostInstance::pinAt(int32_t index) const {
    if (Status open = checkOpen(); !open)
        return open.failure();
    if (index < 0 || static_cast<size_t>(index) >= pins().size())
        return Failure{"pin " + std::to_string(index) + " does not exist; the module has " +
                       std::to_string(pins().size()) + " pins"};
    return &pins()[static_cast<size_t>(index)];
}

Result<const PinInfo*> HostInstance::inputPin(int32_t index, const char* kind,
                                              bool (*isKind)(const PinInfo&)) const {
    Result<const PinInfo*> found = pinAt(index);
    if (found && (!(*found)->isInput() || !isKind(**found)))
        return Failure{"pin " + quoted((*found)->name) + " is not " + kind};
    return found;
}

Result<int32_t> HostInstance::findPin(const std::string& name) const {
    return driver->findPin(name);
}

Status HostInstance::setParameter(int32_t index, int32_t value) {
    Result<const PinInfo*> found = inputPin(index, "an int16 or bool parameter",
                                            [](const PinInfo& p) { return p.isParameter(); });
    if (!found)
        return found.failure();
    return driver->setParameter(index, value);
}

Status HostInstance::setText(int32_t index, const std::string& text) {
    Result<const PinInfo*> found =
        inputPin(index, "a text input", [](const PinInfo& p) { return p.datatype == DtText; });
    if (!found)
        return found.failure();
    if (text.find('\0') != std::string::npos)
        return Failure{"a pin's text cannot hold a zero byte"};
    driver->setText(index, text);
    return driver->pinStatus(index, 1);
}

// Called for every block by a player: the common case stays short, the refusals live apart.
Status HostInstance::setLevel(int32_t index, float level) {
    const bool sampleInput = isOpen() && index >= 0 &&
                             static_cast<size_t>(index) < sampleInputs.size() &&
                             sampleInputs[static_cast<size_t>(index)];
    if (!sampleInput || !std::isfinite(level))
        return refuseLevel(index, level);
    const auto pin = static_cast<size_t>(index);
    if (levels[pin] != level) {
        levels[pin] = level;
        fillBlock(pin);
    }
    return {};
}

Status HostInstance::refuseLevel(int32_t index, float level) const {
    Result<const PinInfo*> found =
        inputPin(index, "a sample input", [](const PinInfo& p) { return p.datatype == DtSamples; });
    if (!found)
        return found.failure();
    if (!std::isfinite(level))
        return Failure{"a level must be a finite number"};
    return {};
}

Status HostInstance::sendMidi(int32_t message, int32_t timeDelta) {
    if (Status open = checkOpen(); !open)
        return open;
    if (!hasMidiInput)
        return Failure{"the module has no MIDI input"};
    // Any status with seven-bit data bytes passes, system messages included: the module decides.
    if ((message & ~0xFFFFFF) != 0 || midiStatus(message) < 0x80 || midiData1(message) > 0x7F ||
        midiData2(message) > 0x7F)
        return Failure{"not a packed MIDI message: " + std::to_string(message)};
    return driver->midi(message, timeDelta);
}

// By name: the same, for the first pin of that name.
Status HostInstance::setParameter(const std::string& pinName, int32_t value) {
    Result<int32_t> index = findPin(pinName);
    return index ? setParameter(*index, value) : index.failure();
}

Status HostInstance::setText(const std::string& pinName, const std::string& text) {
    Result<int32_t> index = findPin(pinName);
    return index ? setText(*index, text) : index.failure();
}

Status HostInstance::setLevel(const std::string& pinName, float level) {
    Result<int32_t> index = findPin(pinName);
    return index ? setLevel(*index, level) : index.failure();
}

// ---- Running -------------------------------------------------------------------------------

Status HostInstance::setSampleRate(float newRate) {
    if (Status open = checkOpen(); !open)
        return open;
    if (Status valid = checkSettings(newRate, blockSize()); !valid)
        return valid;
    return statusOf(driver->setSampleRate(newRate));
}

Status HostInstance::setBlockSize(int32_t newFrames) {
    if (Status open = checkOpen(); !open)
        return open;
    if (Status valid = checkSettings(sampleRate(), newFrames); !valid)
        return valid;
    Status told = statusOf(driver->setBlockSize(newFrames));
    for (size_t pin = 0; pin < pins().size(); ++pin)
        if (sampleInputs[pin])
            fillBlock(pin);
    return told;
}

Status HostInstance::runBlocks(int32_t count) {
    if (!isOpen())
        return checkOpen();
    if (count < 0)
        return Failure{"cannot run a negative number of blocks"};
    return driver->runBlocks(count);
}

Status HostInstance::close() {
    if (Status open = checkOpen(); !open)
        return Failure{"the instance is already closed"};
    return statusOf(driver->close());
}
