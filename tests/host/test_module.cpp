// A small module for testing the host. It has a pin of each kind the host handles, and it sends
// everything it observes out through its MIDI output, where the host records it:
//   0xF3 on open: block size (low and high seven bits), stamped with the sample rate
//   0xF0 a failed check of the host's answers: data1 is the check's number
//   0xB0 one character of the NAME text: data1 its position, data2 the character; 0xBF ends the
//        text with its length in data1. Sent on open and for every status change of NAME.
//   a block whose IN is high: NOTE_ON with note = level, velocity = switch, then 0xA0 with spare
//   a block whose AUX is high: NOTE_OFF with note = level
//   each MIDI message that arrives, echoed, stamped with clock + time delta
//   0xFC on close
// Built twice: the refusing variant gives no properties and makes no instance.
#include "module_base.h"

#include <cstring>
#include <iterator>

namespace {

enum Pin : int32_t { MidiIn, In, Level, Switch, Name, MidiOut, Aux, Spare, PinTotal };

constexpr int32_t TextCapacity = 16; // small, so that the host's bound shows
constexpr int32_t FaultStatus = 0xF0;

bool isHigh(const float* block) {
    return block && block[0] > 0.2f;
}

class TestModule : public SEModule_base {
  public:
    using SEModule_base::SEModule_base;

    bool getPinDescription(int32_t index, PinDescription* description) override {
        const PinDescription table[PinTotal] = {
            {nullptr, DirIn, DtMidi, "MIDI In", nullptr, nullptr, 0, 0},
            {&in, DirIn, DtSamples, "IN", "0", nullptr, 0, 0},
            {&level, DirIn, DtInt16, "level", "100", "range 0,127", 0, 0},
            {&flag, DirSetting, DtBool, "switch", "true", nullptr, 0, 0},
            {&nameWord, DirIn, DtText, "NAME", "start.txt", "txt", PinFlagFileName, 0},
            {nullptr, DirOut, DtMidi, "MIDI Out", nullptr, nullptr, 0, 0},
            {nullptr, DirIn, DtSamples, "AUX", nullptr, nullptr, 0, 0},
            {&spare, DirIn, DtInt16, "spare", nullptr, "range 0,20", 0, 0},
        };
        if (index < 0 || index >= PinTotal)
            return false;
        *description = table[index];
        return true;
    }

    void open() override {
        SEModule_base::open();
        setSubProcess({&TestModule::processBlock, {0, 0, 0}});
        send(packMidi(0xF3, blockSize & 0x7F, blockSize >> 7 & 0x7F),
             static_cast<int32_t>(sampleRate));
        checkHost();
        reportText();
    }

    void close() override { send(packMidi(0xFC, 0, 0), sampleClock()); }

    void onPinStatusChange(SEPin* pin) override {
        if (pin->pinIndex == Name && pin->status == 1)
            reportText();
    }

    void onMidiData(int32_t timeDelta, int32_t message, int32_t) override {
        send(message, sampleClock() + timeDelta);
    }

  private:
    static void SE_ABI processBlock(void* instance, int32_t start, int32_t frames) {
        static_cast<TestModule*>(instance)->process(start, frames);
    }

    void process(int32_t start, int32_t frames) {
        if (start != 0 || frames != blockSize)
            fault(20);
        const int32_t clock = sampleClock();
        if (isHigh(in) && in[frames - 1] > 0.2f) {
            send(packMidi(MidiNoteOn, level & 0x7F, flag ? 1 : 0), clock);
            send(packMidi(0xA0, spare & 0x7F, 0), clock);
        }
        SEPin* aux = pin(Aux);
        if (aux && isHigh(aux->inlineValue.samples))
            send(packMidi(MidiNoteOff, level & 0x7F, 0), clock);
    }

    // The host's answers that a module relies on, each with its number.
    void checkHost() {
        char buffer[8] = "xxxxxxx";
        const bool checks[] = {
            callHost(HostPinCount) == PinTotal,
            callHost(HostPinBuffer, 99) == 0,
            callHost(HostPinBuffer, -1) == 0,
            callHost(HostPinBuffer, MidiIn) == 0,
            callHost(HostPinBuffer, In) == reinterpret_cast<intptr_t>(in),
            pin(Aux) && pin(Aux)->inlineValue.samples != nullptr,
            callHost(99) == 0,
            (callHost(HostPinText, Name, 0, buffer), buffer[0] == 'x'),
            (callHost(HostPinText, Name, 8, nullptr), true),
            (callHost(HostPinText, 99, 8, buffer), buffer[0] == '\0'),
        };
        for (int32_t n = 0; n < static_cast<int32_t>(std::size(checks)); ++n)
            if (!checks[n])
                fault(n);
    }

    void reportText() {
        char text[TextCapacity];
        std::memset(text, 'x', sizeof text); // a missing terminator shows as length 16
        callHost(HostPinText, Name, TextCapacity, text);
        size_t length = 0;
        while (length < sizeof text && text[length] != '\0')
            ++length;
        for (size_t i = 0; i < length; ++i)
            send(packMidi(0xB0, static_cast<int32_t>(i), text[i] & 0x7F), 0);
        send(packMidi(0xBF, static_cast<int32_t>(length), 0), 0);
    }

    void fault(int32_t check) { send(packMidi(FaultStatus, check, 0), 0); }

    void send(int32_t message, int32_t timeStamp) {
        if (SEPin* out = pin(MidiOut))
            out->sendMidi(timeStamp, message);
    }

    // pin variables, written by the host
    float* in = nullptr;
    int16_t level = 0;
    uint8_t flag = 0;
    intptr_t nameWord = 0;
    int16_t spare = 0;
};

} // namespace

SE_EXPORT int32_t SE_ABI getModuleProperties(int32_t moduleIndex, ModuleProperties* props) {
    if (!props)
        return 0;
    props->interfaceVersion = InterfaceVersion;
#if defined(KV_REFUSING_MODULE)
    (void)moduleIndex;
    return 0;
#else
    if (moduleIndex != 0)
        return 0;
    props->name = "HOSTTEST";
    props->identifier = "HOSTTEST id";
    props->about = "A module for testing the host.\n";
    return 1;
#endif
}

SE_EXPORT PluginRecord* SE_ABI makeModule(int32_t moduleIndex, int32_t selector,
                                          HostCallback callback, intptr_t hostHandle) {
#if defined(KV_REFUSING_MODULE)
    (void)moduleIndex, (void)selector, (void)callback, (void)hostHandle;
    return nullptr;
#else
    if (moduleIndex != 0 || selector != 1)
        return nullptr;
    return (new TestModule(callback, hostHandle))->pluginRecord();
#endif
}
