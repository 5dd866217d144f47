// The one piece of code that drives a module through its plug-in record.
//
// A ModuleDriver makes one instance through a module's two entries, learns its pins, owns the
// input sample blocks and the texts it hands out, answers every request the module makes of the
// host, and sends requests, events and blocks to the instance. It does what it is told: asked
// for a mistake a careless host makes (an event before open, a pin event for a pin that does not
// exist, any opcode, an unterminated text, a block starting anywhere), it makes it. Only calls
// that would break the host itself are refused: anything after the record is gone, and blocks
// longer than the sample blocks.
//
// Several drivers may live at once; the callback finds its driver through the host handle,
// which is the driver's address, so a driver never moves.
#pragma once

#include "abi.h"
#include "guarded_memory.h"
#include "module_file.h"
#include "pin_table.h"
#include "result.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A MIDI message the module sent through one of its pins.
struct ModuleMidi {
    int32_t pin;
    int32_t message;   // packed
    int32_t timeStamp; // the sample clock the module stamped it with
    int64_t hostClock; // ours when it arrived: the start of the block that sent it
};

// One request the module made through the host callback.
struct HostRequest {
    int32_t opcode;
    int32_t index;
    int32_t value;
    intptr_t pointer;
};

// The entries through which the host calls into a module.
enum class ModuleEntry { Make, Dispatcher, Block, Event };

// "makeModule", "the dispatcher", "the block routine", "the event entry".
const char* entryName(ModuleEntry entry);

// Told of every call the driver makes into the module, and of every request of the module that
// the host answers meanwhile, so that what the module itself does can be told from what the host
// does. Called on the thread that calls the module, around exactly those calls; never throws.
class CallWatcher {
  public:
    virtual ~CallWatcher() = default;
    virtual void entering(ModuleEntry entry) noexcept = 0;
    virtual void left(ModuleEntry entry) noexcept = 0;
    // The host runs from answering() until answered(), inside a call into the module.
    virtual void answering() noexcept {}
    virtual void answered() noexcept {}
};

// How the instance is made.
struct MakeOptions {
    int32_t moduleIndex = 0;
    int32_t selector = 1;
    bool withCallback = true;       // false: makeModule gets a null callback
    bool askProperties = true;      // ask getModuleProperties first, as a host does before placing
    CallWatcher* watcher = nullptr; // becomes the driver's watcher before makeModule is called
    // Every buffer the host hands this instance lies against an inaccessible page on this side
    // (see ModuleDriver::guard); the properties record asked for first does too.
    std::optional<GuardSide> guard;
};

// What a host tells an instance between learning its pins and opening it.
struct StartSettings {
    float sampleRate = 44100.0f;
    int32_t blockSize = 64;
    bool tell = true; // false: the instance keeps the rate and block size it was made with
};

// The answer to one pin description request, and the record the module filled.
struct PinAnswer {
    intptr_t answer = 0;
    PinDescription description{};
};

// How the host writes a pin's text into the module's buffer.
enum class TextStyle {
    Terminated, // cut to the capacity less one, then the terminator
    Brimful,    // a text that does not fit fills the buffer, without a terminator
    Repeated,   // the text, over and over, fills the whole buffer: never a terminator
};

// Sample blocks hold this many samples, so their addresses never change.
constexpr int32_t BlockCapacity = 16384;

class ModuleDriver {
  public:
    // Makes an instance (not yet opened). Fails when the module makes none; a record with the
    // wrong magic or without a dispatcher is kept (record() shows it) but never called.
    static Result<std::unique_ptr<ModuleDriver>> make(const ModuleFile& file,
                                                      MakeOptions options = {});
    static Result<std::unique_ptr<ModuleDriver>> make(ModuleEntries entries,
                                                      MakeOptions options = {});
    ~ModuleDriver(); // closes the instance if it is still there
    ModuleDriver(const ModuleDriver&) = delete;
    ModuleDriver& operator=(const ModuleDriver&) = delete;

    // The record as the module returned it; null once closed. Whether it is sound enough to
    // call (magic and dispatcher) is usable().
    [[nodiscard]] PluginRecord* record() const { return plugin; }
    [[nodiscard]] bool usable() const {
        return plugin && plugin->magic == PluginMagic && plugin->dispatcher;
    }
    [[nodiscard]] void* instance() const { return instanceWord; }

    // ---- Pins
    PinAnswer describePin(int32_t index); // a cleared record, filled by the module
    // Asks for descriptions 0, 1, 2... until one is refused; a module that describes more than
    // MaxPins is reported.
    Status learnPins();
    [[nodiscard]] const std::vector<PinInfo>& pins() const { return pinTable; }
    [[nodiscard]] Result<int32_t>
    findPin(const std::string& name) const; // the first pin of that name
    // Gives every learned sample pin its block (address into the pin's variable), every
    // parameter its default and every text pin its default text.
    Status wirePins();
    // The block answered for `pin`, made on first use; null outside 0..MaxPins-1.
    float* block(int32_t pin);
    // How many samples each block holds: BlockCapacity, or with guard pages the block size.
    [[nodiscard]] int32_t blockCapacity() const { return guard ? guardFrames : BlockCapacity; }
    // Writes an int16, bool, int32 or float value into a learned pin's variable.
    Status setParameter(int32_t index, int32_t value);

    // What every host does between makeModule and the first block: learns the pins, wires them,
    // tells the sample rate and block size, and opens the instance. A failure names the step.
    Status start(StartSettings settings = {});

    // ---- What the host answers
    void setText(int32_t pin, const std::string& text); // answered to HostPinText
    [[nodiscard]] const std::string& text(int32_t pin) const;
    TextStyle textStyle = TextStyle::Terminated; // other styles are a careless host's
    // Overrides the answer to HostPinCount (default: the number of learned pins).
    void answerPinCount(int32_t count) {
        pinCountOverride = count;
        pinCountOverridden = true;
    }
    int64_t clock = 0; // the sample clock; each block advances it by the block size
    // Blocks run the routine the record holds at that moment, as a host may read it, instead
    // of the one HostSubProcessChanged last announced.
    bool routineFromRecord = false;
    // Told of every call into the module while set; it must outlive the calls (and the close
    // that the destructor makes).
    CallWatcher* watcher = nullptr;

    // Guard pages (from MakeOptions::guard): every buffer the host hands the instance lies
    // against a page no one may touch, so that a read or write beyond it faults at once. The
    // sample blocks, made when start() wires the pins, hold exactly the block size start()
    // tells, and longer blocks are refused; each event, and each pin description asked for, is
    // handed over in a guarded record of its own.
    std::optional<GuardSide> guard;

    // ---- Requests and events to the instance
    Result<intptr_t> dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0,
                              void* pointer = nullptr, float opt = 0.0f);
    Result<intptr_t> open();                       // opcode 0
    Result<intptr_t> close();                      // opcode 1; the record is gone afterwards
    Result<intptr_t> setSampleRate(float rate);    // opcode 2
    Result<intptr_t> setBlockSize(int32_t frames); // opcode 3; blocks run this many samples
    [[nodiscard]] float sampleRate() const { return rate; }
    [[nodiscard]] int32_t blockSize() const { return frames; }

    Status event(HostEvent event);
    Status pinStatus(int32_t pin, int32_t status);
    Status midi(int32_t message, int32_t timeDelta = 0, uint16_t extra = 0);
    Status call(EventRoutine called);

    // One call of the sub-process routine the host holds (updated by HostSubProcessChanged) with
    // the block size and any start position, even one outside the blocks: the module is told the
    // block size and must not read beyond it. Refused for a block size beyond the blocks.
    Status runBlock(int32_t start = 0) { return runBlock(start, frames); }
    // The same with a length of its own, which the module is not told of: any length up to the
    // blocks' capacity, 0 and less included. The clock advances by it.
    Status runBlock(int32_t start, int32_t length);
    // `count` blocks in a row from position 0, as runBlock() runs each. A player runs thousands
    // between two changes of its inputs; without a watcher they are checked and marked once, and
    // each costs one call through the routine (bench: BM_HostedBlock, scripts/bench-tool.sh).
    Status runBlocks(int32_t count);
    // The same for a host's audio thread, where every nanosecond counts and nothing can be
    // reported: `length` samples from position `start` of blocks the module has been told the
    // size of with setBlockSize; false when there is no routine to run. Only the routine is
    // called.
    bool runBlockNow(int32_t start, int32_t length) noexcept {
        if (!routine || !plugin)
            return false;
        if (!checkRequests) { // nothing would look at the count of calls under way
            routine(instanceWord, start, length);
        } else {
            ++calling;
            routine(instanceWord, start, length);
            --calling;
        }
        clock += length;
        return true;
    }
    // `count` of them in a row, each `length` samples from position 0; false when there is no
    // routine to run. A live host's quiet period is nothing else: in a loop of its own, what the
    // calls need stays in registers across them (bench: BM_LivePeriod).
    bool runBlocksNow(int32_t count, int32_t length) noexcept;

    // ---- What the module did
    // Messages sent; the storage is kept across clearSent(), so steady collection allocates
    // nothing.
    [[nodiscard]] const std::vector<ModuleMidi>& sent() const { return midiOut; }
    bool keepSent = true; // false: messages are counted only
    [[nodiscard]] long long sentCount() const {
        return midiCount;
    } // every message since the instance was made
    void clearSent() { midiOut.clear(); }
    void reserveSent(size_t messages) { midiOut.reserve(messages); }
    // Whether requests are checked for the mistakes below; off for a benchmark, which calls the
    // record's entries itself.
    bool checkRequests = true;
    // Every request, in order, while `logRequests` is on.
    bool logRequests = true;
    [[nodiscard]] const std::vector<HostRequest>& requests() const { return requestLog; }
    void clearRequests() { requestLog.clear(); }
    [[nodiscard]] int countOf(int32_t opcode) const;
    // Requests no module should make: unknown opcodes, another record, a float other than 0.0,
    // a text without a buffer, any request while the host is not calling into the instance.
    [[nodiscard]] const std::vector<std::string>& moduleMistakes() const { return mistakes; }
    void clearMistakes() { mistakes.clear(); }

  private:
    class Calling;
    ModuleDriver() = default;
    static Result<std::unique_ptr<ModuleDriver>> makeWith(MakeModuleFn make, MakeOptions options,
                                                          const ModuleFile* file);
    static intptr_t SE_ABI callback(PluginRecord* record, int32_t opcode, int32_t index,
                                    int32_t value, void* pointer, float opt) noexcept;
    intptr_t answerNoted(PluginRecord* from, int32_t opcode, int32_t index, int32_t value,
                         void* pointer, float opt) noexcept;
    intptr_t answer(int32_t opcode, int32_t index, int32_t value, void* pointer) noexcept;
    void noteRequest(PluginRecord* from, const HostRequest& request, float opt);
    void checkRequest(PluginRecord* from, int32_t opcode, float opt);
    void keepMidi(int32_t pin, int32_t message, void* timeStamp) noexcept;
    intptr_t answerOther(int32_t opcode, int32_t index, int32_t value, void* pointer);
    intptr_t answerText(int32_t index, int32_t capacity, char* buffer);
    Status checkCallable() const;
    Status refuseBlock(int32_t length) const;
    [[nodiscard]] int32_t pinCountAnswer() const;
    [[nodiscard]] bool hasBlock(int32_t pin) const;
    float* guardedBlock(size_t at);
    template <class Record>
    Record* guardedRecord(std::unique_ptr<GuardedBuffer>& buffer, const char* what);

    std::optional<ModuleFile> file; // keeps the library loaded while the instance lives
    PluginRecord* plugin = nullptr;
    void* instanceWord = nullptr; // the record's instance, as the host keeps it
    SubProcessRoutine routine = nullptr;
    float rate = 44100.0f;
    int32_t frames = 64;
    int32_t pinCountOverride = 0;
    bool pinCountOverridden = false;

    std::vector<PinInfo> pinTable;
    std::vector<std::unique_ptr<float[]>> blocks;              // by pin index, made on first use
    std::vector<std::unique_ptr<GuardedBuffer>> guardedBlocks; // the same, with guard pages
    int32_t guardFrames = 64;                                  // their length
    std::unique_ptr<GuardedBuffer> guardedEvent, guardedPin;   // records handed over guarded
    std::vector<std::string> texts;                            // by pin index

    int calling = 0; // calls into the instance under way; requests outside them are mistakes
    std::vector<ModuleMidi> midiOut;
    long long midiCount = 0;
    std::vector<HostRequest> requestLog;
    std::vector<std::string> mistakes;
};
