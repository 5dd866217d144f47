// The host's audio thread: one call per period runs the module's blocks, hands it the MIDI that
// arrived at the frames it arrived, and writes what it sends at the frame of the block that sent
// it. Nothing here knows JACK; the JACK client, the tests and the benchmark all feed it periods.
//
// A period allocates nothing, takes no lock, prints nothing and makes no system call of ours
// (the module's own file work happens where the module does it). Everything it needs is made
// with the engine, before the audio starts.
#pragma once

#include "block_split.h"
#include "driver.h"
#include "live_controls.h"
#include "result.h"
#include "spsc_ring.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

// A message that arrived on the MIDI input; longer ones (system exclusive) are not the module's.
struct LiveMidi {
    uint32_t frame; // within the period
    uint32_t size;  // 1..3
    uint8_t bytes[3];
};

// Where the engine writes its MIDI, in the order of the frames.
class MidiSink {
  public:
    virtual bool write(uint32_t frame, const uint8_t* bytes, uint32_t size) noexcept = 0;

  protected:
    ~MidiSink() = default;
};

struct LiveSettings {
    ControlSettings controls;
    int32_t blockSize = 64;
    int64_t stopAfter = -1; // frames, or -1 for no end
    // the module's loop parameters, for following its position
    bool loop = true;
    int32_t from = 0, to = 0;
};

// What the main thread shows, written by the audio thread after every period.
struct LiveStatus {
    std::atomic<int64_t> frames{0};
    std::atomic<uint64_t> notesPlayed{0}; // NOTE_ONs the module sent
    std::atomic<int32_t> lastNote{-1};
    std::atomic<uint32_t> position{0}; // in the row, as the module's own is followed
    std::atomic<bool> rec{false}, play{false};
    std::atomic<bool> clockRunning{false};
    std::atomic<uint64_t> bpmMilli{0}; // the measured MIDI clock's tempo, times 1000
    std::atomic<uint64_t> lost{0};     // messages the output had no room for
    std::atomic<bool> stopped{false};  // the run has ended its notes
    std::atomic<uint32_t> periodsStopped{0};
};

class LiveEngine {
  public:
    // The engine of an open instance whose pins the driver has learned. The driver must outlive
    // it, and nobody else may call into the instance while periods run.
    static Result<std::unique_ptr<LiveEngine>> make(ModuleDriver& driver,
                                                    const LiveSettings& settings);

    // One period of `frames` frames; `in` holds what arrived in it, by frame. `start` is the
    // period's first frame counted from the first period, where the server knows it: after
    // cycles the engine missed, the clock catches up with the server's time instead of falling
    // behind it.
    void period(uint32_t frames, const LiveMidi* in, size_t count, MidiSink& out,
                int64_t start = -1) noexcept;

    // ---- From the main thread
    bool press(Key key) {
        const bool pushed = keys.push(key);
        called.store(true, std::memory_order_release);
        return pushed;
    }
    void requestStop() {
        stopWanted.store(true, std::memory_order_release);
        called.store(true, std::memory_order_release);
    }
    void setRowLength(uint32_t notes) { rowLength.store(notes, std::memory_order_relaxed); }
    const LiveStatus& status() const { return shown; }

  private:
    enum Input { Rec, Play, Return, Gate, Reload, InputCount };
    LiveEngine(ModuleDriver& driver, const LiveSettings& settings);

    void hand(const LiveMidi& message, uint32_t at, MidiSink& out) noexcept;
    void fullPeriod(uint32_t frames, const LiveMidi* in, size_t count, MidiSink& out) noexcept;
    void steadyPeriod(uint32_t frames, MidiSink& out) noexcept;
    void changingPeriod(uint32_t frames, const LiveMidi* in, size_t count, MidiSink& out) noexcept;
    // The controls' levels for the stretch at `at`, in the inputs' blocks from `offset` on.
    Levels applyLevels(uint32_t at, uint32_t offset) noexcept;
    void moduleBlock(const Stretch& stretch, bool returned, MidiSink& out) noexcept;
    void tellBlockSize(int32_t frames) noexcept;
    void passOn(uint32_t at, MidiSink& out) noexcept; // what the module sent in the block
    void passOnSince(int64_t first, uint32_t frames, MidiSink& out) noexcept;
    void wholePeriod(uint32_t frames, MidiSink& out) noexcept;
    void edgePeriod(uint32_t frames, uint32_t edge, MidiSink& out) noexcept;
    void quietBlocks(uint32_t frames, MidiSink& out) noexcept;
    void learnPeriod(uint32_t frames) noexcept;
    void settle() noexcept;
    void setInputs(Levels now, uint32_t offset) noexcept;
    void setInput(int input, bool high, uint32_t from) noexcept;
    void sent(int32_t message, uint32_t at, MidiSink& out) noexcept;
    void endSounding(uint32_t at, MidiSink& out) noexcept;
    void emit(uint32_t at, int32_t message, MidiSink& out) noexcept;
    void follow() noexcept;
    void publish() noexcept;
    void publishChanges() noexcept;

    ModuleDriver& driver;
    LiveSettings settings;
    Controls controls;
    float* blocks[InputCount] = {};
    // Each input's block holds levels[input] from levelFrom[input] to its end, and every one of
    // them holds its level from uniformFrom on; levelBits are the levels as Levels holds them.
    bool levels[InputCount] = {};
    uint32_t levelFrom[InputCount] = {};
    uint32_t uniformFrom = 0;
    unsigned levelBits = 0;
    unsigned headed = 0; // the inputs whose blocks hold another level before levelFrom
    std::vector<float> levelBlocks[2]; // a block of each level, low and high
    int32_t toldBlockSize;
    // Periods of wholeFrames are wholeBlocks blocks of the engine's block size; periods of
    // quietFrames (0: none) are that and the module was told that size and RETURN is low.
    uint32_t wholeFrames = 0, quietFrames = 0;
    int32_t wholeBlocks = 0;
    int64_t clockGap;  // the shortest stretch between two edges of the internal clock
    int64_t clock = 0; // frames since the start
    // A period ending by quietUntil (never after stopAt) in which nothing arrives needs no look
    // at the controls: the inputs keep the levels they had at levelsAt.
    int64_t levelsAt = 0;
    int64_t quietUntil = std::numeric_limits<int64_t>::min();
    int64_t stopAt;
    bool ended = false;
    uint32_t position = 0;
    uint32_t followedLength = 0; // the row's length when the position was last followed
    uint64_t notesPlayed = 0;
    int32_t lastNote = -1;
    uint64_t lost = 0;
    bool unshown = true;            // the status has changed beyond the clock and the position
    uint8_t sounding[16][128] = {}; // notes the module started and nobody has ended, by channel

    SpscRing<Key, 64> keys;
    std::atomic<bool> stopWanted{false};
    std::atomic<bool> called{false}; // a key or a stop since the audio thread last looked
    std::atomic<uint32_t> rowLength{0};
    LiveStatus shown;
};
