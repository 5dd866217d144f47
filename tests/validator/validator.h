// The validator's tools: the module file loaded as a host loads it, a scratch folder per test,
// and two ways of driving an instance. Both check, after every step, that whatever the module
// sent is a NOTE_ON or NOTE_OFF on channel 1 through MIDI Out.
//
// Hosted goes through our host library, which never makes a mistake. RawHost drives the plug-in
// record with a callback of its own, so a test can make the mistakes real hosts make: events
// before open, any dispatcher opcode, pin events for pins that do not exist, careless texts.
#pragma once

#include "host_instance.h"
#include "module_file.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace validator {

// The module's pins, as it describes them.
enum Pin : int32_t {
    MidiIn = 0,
    Rec,
    Play,
    Return,
    Gate,
    Reload,
    OutFile,
    Diagnose,
    LoopIt,
    FromNote,
    ToNote,
    NextNoteOff,
    Velocity,
    MidiOut,
    PinCount
};

extern const char* const pinNames[PinCount];

// KAVELTRUM.so / KAVELTRUM.sem from beside the test program, loaded once per test program.
const ModuleFile& kaveltrum();

// A folder of its own for the running test under the system's temporary folder; it is also the
// working folder while the test runs, so a native diagnostic log would land in it. Removed with
// everything in it at the end.
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string file(const std::string& name) const;
    const std::string& path() const { return folder; }

  private:
    std::string folder;
    std::string previous;
};

bool exists(const std::string& path);

// ---- What the module sends

constexpr int32_t noteOn(int note, int velocity = 100) {
    return packMidi(0x90, note, velocity);
}
constexpr int32_t noteOff(int note, int velocity = 100) {
    return packMidi(0x80, note, velocity);
}

// Every message from `from` on is a NOTE_ON or NOTE_OFF on channel 1 with both data bytes
// below 128 and nothing above them, sent through MIDI Out.
testing::AssertionResult validOutput(const std::vector<ModuleMidi>& sent, size_t from = 0);

// The note numbers of the NOTE_ONs among `sent`, in order.
std::vector<int> notesPlayed(const std::vector<ModuleMidi>& sent, size_t from = 0);

// ---- Through the host library

// One instance made and opened by kv_host, with the diagnostic log switched off. Every step
// checks the module's output so far; a failing step is reported where it happened.
class Hosted {
  public:
    explicit Hosted(InstanceSettings settings = {});
    ~Hosted();
    Hosted(const Hosted&) = delete;
    Hosted& operator=(const Hosted&) = delete;

    void text(const std::string& name); // OUTFILE, announced as a change
    void level(Pin pin, float value);   // through the host, or into the block `feed` gave
    void param(Pin pin, int32_t value); // an int16 parameter, through the host
    void midi(int32_t message);
    void run(int32_t blocks = 1);
    void pulse();  // a block with GATE high, then one with GATE low
    void reload(); // a block with RELOAD high; RELOAD is low again afterwards
    void setBlockSize(int32_t frames);
    void setSampleRate(float rate);
    void close();

    // Any value at all, NaN and infinities included, on every sample of a sample input: the test
    // gives the input a block of its own and writes its address into the input's variable, as
    // a host does.
    void feed(Pin pin, float value);

    const std::vector<ModuleMidi>& sent() const { return instance->sentMidi(); }
    std::vector<int> played(size_t from = 0) const { return notesPlayed(sent(), from); }

  private:
    void check();
    void placeOwnBlocks();

    std::unique_ptr<HostInstance> instance;
    size_t checked = 0; // messages already checked
    std::map<Pin, std::vector<float>> ownBlocks;
};

// ---- Through the record, with a callback of the test's own

// A HostEvent as the record's event entry takes it.
HostEvent pinStatusEvent(int32_t index, int32_t status);
HostEvent midiEvent(int32_t message, int32_t timeDelta = 0, uint16_t extra = 0);
HostEvent callEvent(EventRoutine routine);

// One instance driven through its plug-in record alone, by a callback of the test's own that
// answers the module's six requests and reports any other as a mistake of the module.
class RawHost {
  public:
    // Makes an instance of module 0 (not yet opened), learns its pins, gives every sample input
    // a block of its own and every parameter its default, except the diagnostic log: off.
    explicit RawHost(int32_t pinCount = PinCount);
    ~RawHost(); // closes the instance if the test did not
    RawHost(const RawHost&) = delete;
    RawHost& operator=(const RawHost&) = delete;

    intptr_t dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void* pointer = nullptr,
                      float opt = 0.0f);
    void open();  // dispatcher opcode 0
    void close(); // dispatcher opcode 1; the record is gone afterwards

    void event(HostEvent event);
    void text(const std::string& name); // OUTFILE, announced with status 1 on pin 6
    void midi(int32_t message) { event(midiEvent(message)); }
    void set(Pin pin, float level); // every sample of the input's block
    void param(Pin pin, int16_t value);
    void diagnose(uint8_t value);
    void block(int32_t start = 0); // one sub-process call of the current block size
    void pulse();
    void reload();

    // ---- The host's side

    // The callback's answer to HostPinCount.
    int32_t pinCount;
    // OUTFILE's text. A careless host fills the whole buffer and leaves out the terminator
    // whenever the text does not fit.
    std::string outFileText;
    bool careless = false;
    int32_t textCapacity = 0; // the capacity the module gave with its last HostPinText
    int32_t frames = 64;      // samples per sub-process call
    std::vector<ModuleMidi> sent;

    PluginRecord* record = nullptr;
    void* instance = nullptr; // the record's instance word, as the host keeps it
    float* input(Pin pin) { return blocks[pin].data(); }

    // Samples per block the callback's blocks hold; the test may give any block size up to it.
    static constexpr int32_t BlockCapacity = 16384;

  private:
    void* variable(Pin pin) const { return descriptions[pin].variableAddress; }
    static intptr_t SE_ABI callback(PluginRecord* record, int32_t opcode, int32_t index,
                                    int32_t value, void* pointer, float opt) noexcept;
    intptr_t answer(PluginRecord* from, int32_t opcode, int32_t index, int32_t value,
                    void* pointer);
    void check();

    std::vector<PinDescription> descriptions;
    std::vector<std::vector<float>> blocks;
    int64_t clock = 0;
    size_t checked = 0;
    std::vector<std::string> mistakes; // requests the module should not have made
};

} // namespace validator
