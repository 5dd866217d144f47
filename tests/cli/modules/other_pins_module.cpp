// A module with KAVELTRUM's pins for play but defaults and ranges of its own, which tells its
// parameters as notes: at each rise of GATE while PLAY is high it sends a NOTE_ON of note "from.."
// with velocity "velocity", one of note "..to" with velocity 1 + "next noteoff", and one of note
// "loopit" with velocity 1 + the log switch.
#include "small_module.h"

#include <new>

namespace {

class OtherPins : public SEModule_base {
  public:
    enum Pin : int32_t {
        Play,
        Gate,
        Outfile,
        Diagnose,
        Loop,
        From,
        To,
        NoteOff,
        Velocity,
        Out,
        Total
    };

    using SEModule_base::SEModule_base;

    bool getPinDescription(int32_t index, PinDescription* description) override {
        const PinDescription table[Total] = {
            {&play, DirIn, DtSamples, "PLAY", "0", nullptr, 0, 0},
            {&gate, DirIn, DtSamples, "GATE", "0", nullptr, 0, 0},
            {nullptr, DirIn, DtText, "OUTFILE", "", "brumo", PinFlagFileName, 0},
            {&diagnose, DirSetting, DtBool, "on D: DIAGNOSE.TXT", "false", nullptr, 0, 0},
            {&loop, DirIn, DtInt16, "loopit", "0", "range 0,1", 0, 0},
            {&from, DirIn, DtInt16, "from..", "5", "range 0,9", 0, 0},
            {&to, DirIn, DtInt16, "..to", "7", "range 0,9", 0, 0},
            {&noteOff, DirIn, DtInt16, "next noteoff", nullptr, "range 0,3", 0, 0},
            {&velocity, DirIn, DtInt16, "velocity", "90", "range 10,100", 0, 0},
            {nullptr, DirOut, DtMidi, "MIDI Out", nullptr, nullptr, 0, 0},
        };
        if (index < 0 || index >= Total || !description)
            return false;
        *description = table[index];
        return true;
    }

    void open() override {
        SEModule_base::open();
        setSubProcess({&OtherPins::blockEntry, {0, 0, 0}});
    }

  private:
    void process(int32_t start) {
        if (!play || !gate || start < 0 || start >= blockSize)
            return;
        const bool high = gate[start] > 0.2f && play[start] > 0.2f;
        if (high && !wasHigh) {
            send(packMidi(0x90, from & 0x7F, velocity & 0x7F));
            send(packMidi(0x90, to & 0x7F, (1 + noteOff) & 0x7F));
            send(packMidi(0x90, loop & 0x7F, 1 + (diagnose ? 1 : 0)));
        }
        wasHigh = high;
    }

    void send(int32_t message) {
        if (SEPin* out = pin(Out))
            out->sendMidi(sampleClock(), message);
    }

    static void SE_ABI blockEntry(void* instance, int32_t start, int32_t) {
        static_cast<OtherPins*>(instance)->process(start);
    }

    // pin variables, written by the host
    float* play = nullptr;
    float* gate = nullptr;
    uint8_t diagnose = 0;
    int16_t loop = 0, from = 0, to = 0, noteOff = 0, velocity = 0;

    bool wasHigh = false;
};

} // namespace

SMALL_MODULE_EXPORTS(OtherPins, "OTHERPINS")
