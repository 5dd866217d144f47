// A small module of the host interface for testing `check`: a MIDI input, a sample input IN, a
// parameter "note", a text NAME and a MIDI output. A rise of IN plays "note", a fall ends it;
// a NOTE_ON arriving at MIDI In chooses the next note. Each faulty module derives from it and
// breaks one thing.
#pragma once

#include "module_base.h"

#include <cstring>

class SmallModule : public SEModule_base {
  public:
    enum Pin : int32_t { MidiIn, In, Note, Name, MidiOut, PinTotal };

    using SEModule_base::SEModule_base;

    bool getPinDescription(int32_t index, PinDescription* description) override {
        static const char* const names[PinTotal] = {"MIDI In", "IN", "note", "NAME", "MIDI Out"};
        const PinDescription table[PinTotal] = {
            {nullptr, DirIn, DtMidi, names[MidiIn], nullptr, nullptr, 0, 0},
            {&in, DirIn, DtSamples, names[In], "0", nullptr, 0, 0},
            {&note, DirIn, DtInt16, names[Note], "60", "range 0,127", 0, 0},
            {nullptr, DirIn, DtText, names[Name], "", "txt", PinFlagFileName, 0},
            {nullptr, DirOut, DtMidi, names[MidiOut], nullptr, nullptr, 0, 0},
        };
        if (index < 0 || index >= PinTotal || !description)
            return false;
        *description = table[index];
        return true;
    }

    void open() override {
        SEModule_base::open();
        setSubProcess({&SmallModule::blockEntry, {0, 0, 0}});
    }

    void onPinStatusChange(SEPin* pin) override {
        if (pin->pinIndex == Name && pin->status == 1) {
            char text[400];
            callHost(HostPinText, Name, sizeof text, text);
            text[sizeof text - 1] = '\0';
            nameLength = std::strlen(text);
        }
    }

    void onMidiData(int32_t, int32_t message, int32_t) override {
        if (midiStatus(message) == 0x90 && midiData2(message) > 0)
            next = midiData1(message) & 0x7F;
    }

  protected:
    // One block; a host may pass any start position, so it is checked before use.
    virtual void process(int32_t start, int32_t) {
        if (!in || start < 0 || start >= blockSize)
            return;
        const bool high = in[start] > 0.2f;
        if (high && !wasHigh)
            startNote();
        else if (!high && wasHigh)
            endNote();
        wasHigh = high;
    }

    virtual void startNote() {
        playing = next >= 0 ? next : (note < 0 ? 0 : note > 127 ? 127 : note);
        send(packMidi(0x90, playing, 100));
    }

    virtual void endNote() { send(packMidi(0x80, playing, 0)); }

    void send(int32_t message) {
        if (SEPin* out = pin(MidiOut))
            out->sendMidi(sampleClock(), message);
    }

    // pin variables, written by the host
    float* in = nullptr;
    int16_t note = 60;

    bool wasHigh = false;
    int32_t playing = 0;
    int32_t next = -1;
    size_t nameLength = 0;

  private:
    static void SE_ABI blockEntry(void* instance, int32_t start, int32_t frames) {
        static_cast<SmallModule*>(instance)->process(start, frames);
    }
};

// The two exports of a module file holding one module of class `Module`.
#define SMALL_MODULE_EXPORTS(Module, moduleName)                                                   \
    SE_EXPORT int32_t SE_ABI getModuleProperties(int32_t index, ModuleProperties* props) {         \
        if (!props)                                                                                \
            return 0;                                                                              \
        props->interfaceVersion = InterfaceVersion;                                                \
        if (index != 0)                                                                            \
            return 0;                                                                              \
        props->name = moduleName;                                                                  \
        props->identifier = moduleName;                                                            \
        props->about = "A small module for testing the checker.\n";                                \
        return 1;                                                                                  \
    }                                                                                              \
    SE_EXPORT PluginRecord* SE_ABI makeModule(int32_t index, int32_t selector,                     \
                                              HostCallback callback, intptr_t hostHandle) {        \
        if (index != 0 || selector != 1)                                                           \
            return nullptr;                                                                        \
        auto* made = new (std::nothrow) Module(callback, hostHandle);                              \
        return made ? made->pluginRecord() : nullptr;                                              \
    }
