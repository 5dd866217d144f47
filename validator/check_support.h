// What the checks share: the module file and instances made through the host driver, the rules
// a MIDI message must keep, and a few words to describe what was seen.
#pragma once

#include "checks.h"
#include "driver.h"
#include "module_file.h"

#include <cstdint>
#include <memory>
#include <string>

// Texts a module hands out are read up to this length; one without a terminator by then fails.
constexpr size_t MaxModuleText = 65536;

ModuleFile loadModule(CheckContext& context);

// An instance made through makeModule(0, 1) with the driver's callback, not yet opened.
std::unique_ptr<ModuleDriver> makeInstance(CheckContext& context, const ModuleFile& file,
                                           MakeOptions options = {});

// An instance with its pins learned and wired, told the rate and block size, and opened.
std::unique_ptr<ModuleDriver> openInstance(CheckContext& context, const ModuleFile& file,
                                           float rate = 44100.0f, int32_t blockSize = 64,
                                           MakeOptions options = {});

// Options for an instance whose every buffer from the host ends at an inaccessible page, so
// that a module reading or writing past one crashes there and the crash line names it.
MakeOptions guardedAfter();

// Fails the check when a driver call failed.
template <class T> T need(CheckContext& context, Result<T> result, const std::string& doing) {
    context.require(result.ok(), doing + ": " + result.error());
    return std::move(*result);
}
void need(CheckContext& context, const Status& status, const std::string& doing);

// Why a packed message is not a MIDI message (status byte, data bytes below 128 as many as the
// status needs, nothing above them), or an empty text when it is one.
std::string midiProblem(int32_t message);

// Fails unless every message the module sent since the last look is a MIDI message and left
// through a pin described as a MIDI output, and unless the module asked only for what a host
// offers. `where` says what was going on. Forgets what it looked at.
void requireSoundOutput(CheckContext& context, ModuleDriver& driver, const std::string& where);

// The input pins that carry blocks of samples.
std::vector<int32_t> sampleInputs(const ModuleDriver& driver);

// Fills the whole block of every pin in `pins` with `level`.
void fillInputs(ModuleDriver& driver, const std::vector<int32_t>& pins, float level);

// Gives every text input that holds a file name the name of a new file in the working folder,
// filled with random bytes, so that a module that reads the file gets something to work on.
void giveFiles(CheckContext& context, ModuleDriver& driver);

// Runs one block from sample 0 and checks what came out of it.
void runBlock(CheckContext& context, ModuleDriver& driver, const std::string& where);

std::string hex(uint32_t value);
std::string sampleText(float value); // "NaN", "+Inf", "1e-40", ...
std::string pinName(const ModuleDriver& driver, int32_t pin);
