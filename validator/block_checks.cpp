// The checks that run blocks: sizes, rates, signals and values chosen to hurt, and the notes a
// module leaves sounding.
#include "check_support.h"
#include "guard_checks.h"
#include "note_names.h"
#include "note_tracker.h"
#include "texts.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <utility>

namespace {

struct Setting {
    int32_t frames;
    float rate;
};

// The fixed block sizes and rates, and a few random ones, paired up in an order of the seed's.
std::vector<Setting> settings(Random& random) {
    std::vector<int32_t> sizes = {1, 2, 7, 64, 512, 4096, 16384};
    std::vector<float> rates = {8000.0f,  11025.0f, 22050.0f, 44100.0f,
                                48000.0f, 96000.0f, 192000.0f};
    for (int n = 0; n < 3; ++n) {
        sizes.push_back(random.between(1, 16384));
        rates.push_back(static_cast<float>(random.between(8000, 192000)));
    }
    for (size_t i = rates.size(); i > 1; --i)
        std::swap(rates[i - 1], rates[static_cast<size_t>(random.below(static_cast<int32_t>(i)))]);
    std::vector<Setting> paired;
    for (size_t i = 0; i < sizes.size(); ++i)
        paired.push_back({sizes[i], rates[i]});
    for (size_t i = paired.size(); i > 1; --i)
        std::swap(paired[i - 1],
                  paired[static_cast<size_t>(random.below(static_cast<int32_t>(i)))]);
    return paired;
}

std::string inSetting(const ModuleDriver& driver) {
    return "in a " + std::to_string(driver.blockSize()) + "-sample block at " +
           shortNumber(driver.sampleRate()) + " Hz";
}

// Signals a control input meets in a patch: steps, short pulses and a ramp across blocks.
void changingSignals(CheckContext& context, ModuleDriver& driver,
                     const std::vector<int32_t>& inputs, Random& random) {
    const int32_t frames = driver.blockSize();
    for (int32_t step = 0; step < 12; ++step) {
        for (size_t n = 0; n < inputs.size(); ++n) {
            float* block = driver.block(inputs[n]);
            const int32_t shape = static_cast<int32_t>(n + static_cast<size_t>(step / 4)) % 3;
            for (int32_t i = 0; i < frames; ++i) {
                if (shape == 0)
                    block[i] = step % 2 ? 1.0f : 0.0f;
                else if (shape == 1)
                    block[i] = step % 3 == 0 && i < 1 + frames / 8 ? 10.0f : -0.5f;
                else
                    block[i] = -1.0f + 2.0f * static_cast<float>(step * frames + i) /
                                           static_cast<float>(12 * frames);
            }
            if (random.chance(10))
                block[0] = 0.2f; // exactly at the threshold
        }
        runBlock(context, driver, inSetting(driver) + " with changing inputs");
    }
}

const float hostileValues[] = {std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(),
                               1e-40f,
                               -1e-40f,
                               FLT_MAX,
                               -FLT_MAX};

void hostileSamples(CheckContext& context, ModuleDriver& driver,
                    const std::vector<int32_t>& inputs) {
    for (const float value : hostileValues) {
        fillInputs(driver, inputs, value);
        runBlock(context, driver, inSetting(driver) + " with every input at " + sampleText(value));
        fillInputs(driver, inputs, 0.0f);
        runBlock(context, driver, inSetting(driver) + " after inputs at " + sampleText(value));
    }
}

// The numbers of "range LOW,HIGH", if the text says so.
bool rangeOf(const PinInfo& pin, long& low, long& high) {
    if (!pin.extraText)
        return false;
    return std::sscanf(pin.extraText->c_str(), "range %ld,%ld", &low, &high) == 2;
}

std::vector<int32_t> testValues(const PinInfo& pin) {
    if (pin.datatype == DtBool)
        return {0, 1, 0};
    const bool wide = pin.datatype == DtInt32;
    std::vector<int32_t> values = {wide ? INT32_MIN : -32768, wide ? INT32_MAX : 32767, -1, 0};
    long low = 0, high = 0;
    if (rangeOf(pin, low, high))
        for (const long value : {low, high, low - 1, high + 1})
            if (value >= values[0] && value <= values[1])
                values.push_back(static_cast<int32_t>(value));
    return values;
}

void parameterEnds(CheckContext& context, ModuleDriver& driver,
                   const std::vector<int32_t>& inputs) {
    for (size_t i = 0; i < driver.pins().size(); ++i) {
        const PinInfo& pin = driver.pins()[i];
        const bool number =
            pin.datatype == DtInt16 || pin.datatype == DtInt32 || pin.datatype == DtBool;
        if (!number || !pin.isInput() || !pin.variable)
            continue;
        const int32_t original = need(context, defaultValue(pin), "reading a default");
        for (const int32_t value : testValues(pin)) {
            const auto index = static_cast<int32_t>(i);
            need(context, driver.setParameter(index, value), "setting a parameter");
            const std::string where =
                "with parameter '" + pin.name + "' at " + std::to_string(value);
            for (const float level : {1.0f, 0.0f, 1.0f, 0.0f}) {
                fillInputs(driver, inputs, level);
                runBlock(context, driver, where);
            }
        }
        need(context, driver.setParameter(static_cast<int32_t>(i), original),
             "setting a parameter back to its default");
    }
}

void oddTexts(CheckContext& context, ModuleDriver& driver, const std::vector<int32_t>& inputs) {
    for (size_t i = 0; i < driver.pins().size(); ++i) {
        const PinInfo& pin = driver.pins()[i];
        if (pin.datatype != DtText || !pin.isInput())
            continue;
        const auto index = static_cast<int32_t>(i);
        const std::string original = driver.text(index);
        const struct {
            std::string text;
            TextStyle style;
            const char* what;
        } texts[] = {{"", TextStyle::Terminated, "an empty text"},
                     {std::string(399, 'k'), TextStyle::Terminated, "a 399-character text"},
                     {"unterminated", TextStyle::Repeated, "a full buffer without a terminator"},
                     {std::string(1000, 'b'), TextStyle::Brimful, "a text longer than its buffer"},
                     {original, TextStyle::Terminated, "its earlier text again"}};
        for (const auto& text : texts) {
            driver.setText(index, text.text);
            driver.textStyle = text.style;
            need(context, driver.pinStatus(index, 1), "telling a text pin's change");
            driver.textStyle = TextStyle::Terminated;
            const std::string where = "after giving '" + pin.name + "' " + text.what;
            requireSoundOutput(context, driver, where);
            for (const float level : {1.0f, 0.0f}) {
                fillInputs(driver, inputs, level);
                runBlock(context, driver, where);
            }
        }
    }
}

} // namespace

void checkBlocks(CheckContext& context) {
    const ModuleFile file = loadModule(context);
    const auto driver = openInstance(context, file);
    const std::vector<int32_t> inputs = sampleInputs(*driver);
    giveFiles(context, *driver);
    for (const Setting& setting : settings(context.random())) {
        need(context, driver->setSampleRate(setting.rate), "setting the sample rate");
        need(context, driver->setBlockSize(setting.frames), "setting the block size");
        changingSignals(context, *driver, inputs, context.random());
        hostileSamples(context, *driver, inputs);
    }
    need(context, driver->setSampleRate(44100.0f), "setting the sample rate");
    need(context, driver->setBlockSize(64), "setting the block size");
    parameterEnds(context, *driver, inputs);
    oddTexts(context, *driver, inputs);
    guardedBlocks(context, file);
}

namespace {

// What the module sent, into the notes it started and ended. The times do not matter here.
void follow(NoteTracker& notes, const std::vector<ModuleMidi>& sent) {
    for (const ModuleMidi& m : sent)
        notes.take(0.0, m.message);
}

// "C4 on channel 1", once for each channel and pitch that still sounds, in that order.
std::vector<std::string> soundingNames(const NoteTracker& notes) {
    std::set<std::pair<int, int>> keys;
    for (const Note& note : notes.sounding())
        keys.insert({note.channel, note.pitch});
    std::vector<std::string> names;
    names.reserve(keys.size());
    for (const auto& [channel, pitch] : keys)
        names.push_back(noteName(pitch & 0x7F) + " on channel " + std::to_string(channel + 1));
    return names;
}

} // namespace

void checkHangingNotes(CheckContext& context) {
    const ModuleFile file = loadModule(context);
    const auto driver = openInstance(context, file);
    const std::vector<int32_t> inputs = sampleInputs(*driver);
    Random& random = context.random();
    giveFiles(context, *driver);
    // one end silences a key however often it was struck
    NoteTracker notes({/*silentNotes=*/false, /*endsEveryNote=*/true, /*keepsEnded=*/false});
    // Each input pulses with a period and phase of its own, and every input ends low.
    std::vector<int32_t> periods, phases;
    for (size_t n = 0; n < inputs.size(); ++n) {
        periods.push_back(random.between(2, 5));
        phases.push_back(random.below(periods.back()));
    }
    for (int32_t step = 0; step < 48; ++step) {
        for (size_t n = 0; n < inputs.size(); ++n) {
            const bool high = (step + phases[n]) % periods[n] == 0 && step < 44;
            std::fill_n(driver->block(inputs[n]), BlockCapacity, high ? 1.0f : 0.0f);
        }
        if (step % 8 == 0 && step < 40) {
            const int32_t note = random.between(36, 84);
            need(context, driver->midi(packMidi(MidiNoteOn, note, 100)), "sending a NOTE_ON");
            need(context, driver->midi(packMidi(MidiNoteOff, note, 0)), "sending a NOTE_OFF");
        }
        need(context, driver->runBlock(0), "running a block");
        follow(notes, driver->sent());
        requireSoundOutput(context, *driver, "in a block with pulses on every input");
    }
    need(context, driver->close(), "closing");
    follow(notes, driver->sent());
    const std::vector<std::string> names = soundingNames(notes);
    if (names.empty())
        return;
    std::string list;
    for (size_t i = 0; i < names.size() && i < 8; ++i)
        list += (i ? ", " : "") + names[i];
    if (names.size() > 8)
        list += ", ...";
    context.warn(std::to_string(names.size()) + (names.size() == 1 ? " note was" : " notes were") +
                 " still sounding when the instance closed: " + list);
}
