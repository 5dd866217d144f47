#include "check_support.h"

#include "midi_check.h"
#include "texts.h"

#include <cmath>
#include <cstdio>

ModuleFile loadModule(CheckContext& context) {
    return need(context, ModuleFile::load(context.modulePath()), "loading the module file");
}

std::unique_ptr<ModuleDriver> makeInstance(CheckContext& context, const ModuleFile& file,
                                           MakeOptions options) {
    std::unique_ptr<ModuleDriver> driver =
        need(context, ModuleDriver::make(file, options),
             "makeModule(" + std::to_string(options.moduleIndex) + ", " +
                 std::to_string(options.selector) + ")");
    const PluginRecord* record = driver->record();
    context.require(driver->usable(), "makeModule returned a record that is not a plug-in record "
                                      "(magic " +
                                          hex(static_cast<uint32_t>(record->magic)) +
                                          ", dispatcher " +
                                          (record->dispatcher ? "set" : "missing") + ")");
    return driver;
}

std::unique_ptr<ModuleDriver> openInstance(CheckContext& context, const ModuleFile& file,
                                           float rate, int32_t blockSize, MakeOptions options) {
    std::unique_ptr<ModuleDriver> driver = makeInstance(context, file, options);
    const Status started = driver->start({rate, blockSize});
    context.require(started.ok(), started.error());
    requireSoundOutput(context, *driver, "while opening");
    return driver;
}

MakeOptions guardedAfter() {
    MakeOptions options;
    options.guard = GuardSide::After;
    return options;
}

void need(CheckContext& context, const Status& status, const std::string& doing) {
    context.require(status.ok(), doing + ": " + status.error());
}

std::string midiProblem(int32_t message) {
    if (isValidMidiMessage(message))
        return {};
    const int32_t status = midiStatus(message);
    if (status < 0x80)
        return "its status byte " + std::to_string(status) + " is below 128";
    for (const int32_t data : {midiData1(message), midiData2(message)})
        if (data > 0x7F)
            return "data byte " + std::to_string(data) + " is 128 or more";
    return "it is no MIDI message: status " + hex(static_cast<uint32_t>(status)) +
           " is undefined, or takes other data bytes, or bits above them are set";
}

void requireSoundOutput(CheckContext& context, ModuleDriver& driver, const std::string& where) {
    const std::vector<PinInfo>& pins = driver.pins();
    for (const ModuleMidi& sent : driver.sent()) {
        const std::string what = "sent " + hex(static_cast<uint32_t>(sent.message)) + " through " +
                                 pinName(driver, sent.pin) + " " + where;
        const std::string problem = midiProblem(sent.message);
        context.require(problem.empty(), what + ": " + problem);
        const bool known = sent.pin >= 0 && static_cast<size_t>(sent.pin) < pins.size();
        context.require(known && pins[static_cast<size_t>(sent.pin)].direction == DirOut &&
                            pins[static_cast<size_t>(sent.pin)].datatype == DtMidi,
                        what + ", which is not described as a MIDI output");
    }
    driver.clearSent();
    if (!driver.moduleMistakes().empty())
        context.fail(driver.moduleMistakes().front() + " " + where);
    driver.clearRequests();
}

std::vector<int32_t> sampleInputs(const ModuleDriver& driver) {
    std::vector<int32_t> found;
    for (size_t i = 0; i < driver.pins().size(); ++i)
        if (driver.pins()[i].datatype == DtSamples && driver.pins()[i].isInput())
            found.push_back(static_cast<int32_t>(i));
    return found;
}

void fillInputs(ModuleDriver& driver, const std::vector<int32_t>& pins, float level) {
    for (const int32_t pin : pins) {
        float* block = driver.block(pin);
        std::fill(block, block + driver.blockCapacity(), level);
    }
}

void giveFiles(CheckContext& context, ModuleDriver& driver) {
    for (size_t i = 0; i < driver.pins().size(); ++i) {
        const PinInfo& pin = driver.pins()[i];
        if (pin.datatype != DtText || !pin.isInput() || !(pin.flags & PinFlagFileName))
            continue;
        const std::string extension = pin.extraText ? *pin.extraText : "";
        const std::string name =
            "file" + std::to_string(i) + (extension.empty() ? "" : ".") + extension.substr(0, 16);
        std::FILE* file = std::fopen(name.c_str(), "wb");
        context.require(file != nullptr, "cannot write " + name + " in the working folder");
        for (int n = 0; n < 64; ++n)
            std::fputc(context.random().below(256), file);
        context.require(std::fclose(file) == 0, "cannot write " + name + " in the working folder");
        driver.setText(static_cast<int32_t>(i), name);
        need(context, driver.pinStatus(static_cast<int32_t>(i), 1), "telling a text pin's change");
        requireSoundOutput(context, driver,
                           "after naming a file of random bytes in '" + pin.name + "'");
    }
}

void runBlock(CheckContext& context, ModuleDriver& driver, const std::string& where) {
    need(context, driver.runBlock(0), "running a block " + where);
    requireSoundOutput(context, driver, where);
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string sampleText(float value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    return shortNumber(value);
}

std::string pinName(const ModuleDriver& driver, int32_t pin) {
    const bool known = pin >= 0 && static_cast<size_t>(pin) < driver.pins().size();
    return "pin " + std::to_string(pin) +
           (known ? " ('" + driver.pins()[static_cast<size_t>(pin)].name + "')" : "");
}
