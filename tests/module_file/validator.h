// The validator's tools: the module file loaded as a host loads it, a scratch folder per test,
// and two ways of driving an instance. Both check, after every step, that whatever the module
// sent is a NOTE_ON or NOTE_OFF on channel 1 through MIDI Out.
//
// Hosted goes through our host library, which never makes a mistake. RawHost drives the plug-in
// record with a callback of its own, so a test can make the mistakes real hosts make: events
// before open, any dispatcher opcode, pin events for pins that do not exist, careless texts.
#pragma once

#include "driver.h"
#include "host_instance.h"
#include "module_file.h"
#include "support/files.h"
#include "support/notes.h"

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

// KAVELTRUM.so / KAVELTRUM.sem from beside the test program, loaded afresh for each test.
const ModuleFile& kaveltrum();

// ---- What the module sends

// Every message from `from` on is a NOTE_ON or NOTE_OFF on channel 1, sent through MIDI Out.
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
    void level(Pin pin, float value);   // any value at all, NaN and infinities included
    void param(Pin pin, int32_t value); // an int16 parameter, through the host
    void midi(int32_t message);
    void run(int32_t blocks = 1);
    void pulse();  // a block with GATE high, then one with GATE low
    void reload(); // a block with RELOAD high; RELOAD is low again afterwards
    void setBlockSize(int32_t frames);
    void setSampleRate(float rate);
    void close();

    const std::vector<ModuleMidi>& sent() const { return instance->sentMidi(); }
    std::vector<int> played(size_t from = 0) const { return notesPlayed(sent(), from); }

  private:
    void check();

    std::unique_ptr<HostInstance> instance;
    size_t checked = 0;          // messages already checked
    std::map<Pin, float> levels; // written into the driver's blocks, kept across block sizes
};

// ---- Through the record, with a callback of the test's own

// A HostEvent as the record's event entry takes it.
HostEvent pinStatusEvent(int32_t index, int32_t status);
HostEvent midiEvent(int32_t message, int32_t timeDelta = 0, uint16_t extra = 0);
HostEvent callEvent(EventRoutine routine);

// One instance driven through the driver's raw calls, so a test can make the mistakes real
// hosts make. After every step it checks what the module sent and reports any request the
// module should not have made.
class RawHost {
  public:
    // Makes an instance of module 0 (not yet opened), learns its pins, gives every sample input
    // its block and every parameter its default, except the diagnostic log: off. `pinCount` is
    // the answer to HostPinCount.
    explicit RawHost(int32_t pinCount = PinCount);
    ~RawHost(); // closes the instance if the test did not
    RawHost(const RawHost&) = delete;
    RawHost& operator=(const RawHost&) = delete;

    intptr_t dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void* pointer = nullptr,
                      float opt = 0.0f);
    void open();  // dispatcher opcode 0
    void close(); // dispatcher opcode 1; the record is gone afterwards

    void event(HostEvent event);
    void outFile(const std::string& name); // OUTFILE's text from now on, not announced
    void text(const std::string& name);    // the same, announced with status 1 on pin 6
    void midi(int32_t message) { event(midiEvent(message)); }
    void set(Pin pin, float level); // every sample of the input's block
    void param(Pin pin, int16_t value);
    void diagnose(uint8_t value);  // any byte, as a host may write it
    void block(int32_t start = 0); // one sub-process call of `frames` samples
    void pulse();
    void reload();

    ModuleDriver& driver() { return *host; }
    float* input(Pin pin) { return host->block(pin); }
    PluginRecord* record() const { return host->record(); }
    int32_t frames = 64; // samples per sub-process call

  private:
    void check();
    std::unique_ptr<ModuleDriver> host;
    size_t checked = 0;

  public:
    const std::vector<ModuleMidi>& sent; // everything the module sent
};

} // namespace validator
