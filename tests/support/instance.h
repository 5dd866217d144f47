// The one way the tests get an instance: a module made through its two entries by the host's
// driver, as a host makes it, whether the entries are linked into the test program or found in
// a loaded module file. The named kinds below only choose the entries and the setup.
//
// After every step the instance checks what the module did, so a fault is reported where it
// happened: no request the driver counts as a module's mistake, and, for KAVELTRUM, every
// message sent a NOTE_ON or NOTE_OFF on channel 1 through MIDI Out.
#pragma once

#include "driver.h"
#include "host_events.h"
#include "module_file.h"
#include "support/files.h"
#include "support/notes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// KAVELTRUM's pins, in the order it describes them.
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

// How the instance is made and prepared.
struct Setup {
    int32_t pinCount = PinCount; // the host's answer to HostPinCount
    bool withCallback = true;    // false: makeModule gets a null callback
    bool askProperties = false;  // ask getModuleProperties before making, as a host does first
    enum Stage { Made, Wired, Opened } stage = Opened; // Wired: pins learned and wired only
    // What the host tells before opening; by default the instance keeps the rate and block size
    // it was made with.
    StartSettings start{44100.0f, 64, false};
    bool checkNotes = true; // KAVELTRUM's output rule after every step; off for other modules
};

// Made, or made and wired, but not opened.
Setup unopened(Setup::Stage stage = Setup::Wired, bool withCallback = true,
               int32_t pinCount = PinCount);
// Opened after telling the sample rate and block size, as a careful host does.
Setup told(float sampleRate = 44100.0f, int32_t blockSize = 64);

// Every message from `from` on is a NOTE_ON or NOTE_OFF on channel 1, sent through MIDI Out.
testing::AssertionResult validOutput(const std::vector<ModuleMidi>& sent, size_t from = 0);

class Instance {
  public:
    Instance(ModuleEntries entries, Setup setup = {});
    Instance(const ModuleFile& file, Setup setup = {});
    virtual ~Instance(); // closes the instance if the test did not
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // ---- Requests
    intptr_t dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void* pointer = nullptr,
                      float opt = 0.0f);
    void open();  // dispatcher opcode 0
    void close(); // dispatcher opcode 1, if the record is still there

    // ---- Inputs: the pins are KAVELTRUM's unless the module is another
    void set(int32_t pin, float level); // every sample of the input's block
    float* input(int32_t pin) { return host.block(pin); }
    void param(int32_t pin, int32_t value); // an int16 parameter
    void diagnose(uint8_t value);           // any byte into the switch, as a host may write it
    void detach(int32_t pin);               // the host has not written this input's block address
    void outFile(const std::string& name);  // a new OUTFILE text, announced with status 1
    void loadRow(const std::string& path, const std::vector<uint8_t>& bytes); // written, named
    void pinStatus(int32_t pin, int32_t status);
    void midi(int32_t message);
    void event(HostEvent event);

    // ---- Blocks
    // Samples per sub-process call: the block size the driver told, unless a test gives a
    // length of its own, which the module is not told of.
    std::optional<int32_t> frames;
    void block(int32_t start = 0);
    void block(int32_t start, int32_t length); // any length, which the module is not told
    void blocks(int32_t count);                // `count` blocks from sample 0
    void pulse();  // one GATE pulse: a block with GATE high, then one with GATE low
    void reload(); // a block with RELOAD high; RELOAD is low again afterwards

    // ---- What the module sent through MIDI Out, in order
    [[nodiscard]] std::vector<int32_t> sent() const;
    [[nodiscard]] std::vector<int> played(size_t from = 0) const; // the notes of the NOTE_ONs
    void clearSent();

    [[nodiscard]] PluginRecord* record() const { return host.record(); }

  private:
    std::unique_ptr<ModuleDriver> driver;
    void prepare(const Setup& setup);
    void check();
    bool checkNotes = true;
    size_t checked = 0; // messages already checked

  public:
    ModuleDriver& host;
};

// ---- KAVELTRUM's module file, from beside the test program

// Loaded afresh for each test, as by a host that has just loaded it, and unloaded at its end, so
// no test sees the process-wide state another left behind.
const ModuleFile& kaveltrumFile();

// An instance of it, with the diagnostic log off.
class LoadedKaveltrum : public Instance {
  public:
    explicit LoadedKaveltrum(Setup setup = {});
};
