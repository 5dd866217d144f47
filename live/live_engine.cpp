#include "live_engine.h"

#include "midi_check.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const char* const InputNames[] = {"REC", "PLAY", "RETURN", "GATE", "RELOAD"};

constexpr int32_t AllNotesOff = 123; // the control change that silences a channel

// The bytes a message of this status takes, itself included.
uint32_t messageSize(int32_t status) {
    const int32_t kind = status & 0xF0;
    if (kind == 0xC0 || kind == 0xD0 || status == 0xF1 || status == 0xF3)
        return 2;
    if (kind == 0xF0)
        return status == 0xF2 ? 3 : 1;
    return 3;
}

} // namespace

Result<std::unique_ptr<LiveEngine>> LiveEngine::make(ModuleDriver& driver,
                                                     const LiveSettings& settings) {
    if (settings.blockSize < 1 || settings.blockSize > BlockCapacity)
        return Failure{"the block size must lie between 1 and " + std::to_string(BlockCapacity)};
    if (!driver.usable())
        return Failure{"the instance is not open"};
    std::unique_ptr<LiveEngine> engine(new LiveEngine(driver, settings));
    for (int input = 0; input < InputCount; ++input) {
        Result<int32_t> pin = driver.findPin(InputNames[input]);
        if (!pin)
            return pin.failure();
        engine->blocks[input] = driver.block(*pin);
        if (!engine->blocks[input])
            return Failure{std::string("the module's ") + InputNames[input] + " has no block"};
        std::fill(engine->blocks[input], engine->blocks[input] + settings.blockSize, 0.0f);
    }
    for (bool high : {false, true})
        engine->levelBlocks[high].assign(static_cast<size_t>(settings.blockSize),
                                         high ? 1.0f : 0.0f);
    // The audio thread keeps nothing but the messages sent, in storage made now.
    driver.logRequests = false;
    driver.checkRequests = false;
    driver.keepSent = true;
    driver.reserveSent(1024);
    driver.clearSent();
    return engine;
}

LiveEngine::LiveEngine(ModuleDriver& driver, const LiveSettings& settings)
    : driver(driver), settings(settings), controls(settings.controls),
      toldBlockSize(driver.blockSize()), clockGap(controls.shortestClockGap()),
      stopAt(settings.stopAfter >= 0 ? settings.stopAfter : std::numeric_limits<int64_t>::max()) {}

// The blocks of the inputs are filled only when their levels change, from the stretch that
// changes them on; the next block's first stretch fills their heads too.
inline Levels LiveEngine::applyLevels(uint32_t at, uint32_t offset) noexcept {
    levelsAt = clock + at;
    const Levels now = controls.levelsFor(levelsAt);
    if (now.bits != levelBits || offset < uniformFrom)
        setInputs(now, offset);
    return now;
}

// Most periods: nothing arrives, no key is pressed, no pulse is pending and the clock does not
// move GATE, so the inputs' blocks hold what the last period left in them and the module's
// blocks run back to back; one in ten or so holds one edge of the internal clock.
void LiveEngine::period(uint32_t frames, const LiveMidi* in, size_t count, MidiSink& out,
                        int64_t start) noexcept {
    if (start > clock)
        clock = start;
    if (count == 0 && !called.load(std::memory_order_acquire)) {
        const bool quiet = clock + frames <= quietUntil;
        if (frames == quietFrames) {
            if (quiet) {
                wholePeriod(frames, out);
                return;
            }
            if (quietUntil >= clock && quietUntil < stopAt && frames <= clockGap) {
                edgePeriod(frames, static_cast<uint32_t>(quietUntil - clock), out);
                return;
            }
        } else if (quiet) {
            quietBlocks(frames, out);
            return;
        }
    }
    fullPeriod(frames, in, count, out);
}

// Blocks of the size the module was told fill the period, with nothing to rewind: what they
// send is sorted out afterwards, so that the blocks run in one loop.
inline void LiveEngine::wholePeriod(uint32_t frames, MidiSink& out) noexcept {
    const int64_t first = driver.clock;
    static_cast<void>(driver.runBlocksNow(wholeBlocks, settings.blockSize));
    if (!driver.sent().empty())
        passOnSince(first, frames, out);
    clock += frames;
    publish();
}

// The same but for one edge of the internal clock, `edge` frames in, and no other within the
// period: the block it falls in is cut there and GATE changes from there on. Its head is
// filled as soon as the module has read past it, which leaves every block whole again.
void LiveEngine::edgePeriod(uint32_t frames, uint32_t edge, MidiSink& out) noexcept {
    const auto blockSize = static_cast<uint32_t>(settings.blockSize);
    int32_t before = 0; // whole blocks before the edge's own, walked: a division stalls
    uint32_t offset = edge;
    for (; offset >= blockSize; offset -= blockSize)
        ++before;
    const int64_t first = driver.clock;
    static_cast<void>(driver.runBlocksNow(before, settings.blockSize));
    if (offset > 0)
        static_cast<void>(driver.runBlockNow(0, static_cast<int32_t>(offset)));
    levelsAt = clock + edge;
    const Levels now = controls.levelsFor(levelsAt);
    // in a steady period only GATE moves; anything else goes through all the inputs
    const bool gateAlone = (now.bits ^ levelBits) == Levels::Gate && headed == 0;
    if (gateAlone)
        setInput(Gate, now.gate(), offset);
    else
        setInputs(now, offset);
    static_cast<void>(
        driver.runBlockNow(static_cast<int32_t>(offset), static_cast<int32_t>(blockSize - offset)));
    if (gateAlone) {
        setInput(Gate, now.gate(), 0);
        levelBits = now.bits;
    } else if (offset > 0) {
        setInputs(now, 0);
    }
    static_cast<void>(driver.runBlocksNow(wholeBlocks - before - 1, settings.blockSize));
    if (!driver.sent().empty())
        passOnSince(first, frames, out);
    quietUntil = std::min(controls.nextClockEdge(levelsAt), stopAt);
    settle();
    clock += frames;
    publish();
}

void LiveEngine::quietBlocks(uint32_t frames, MidiSink& out) noexcept {
    learnPeriod(frames);
    const bool returned = (levelBits & Levels::Return) != 0;
    const auto blockSize = static_cast<uint32_t>(settings.blockSize);
    for (uint32_t at = 0; at < frames; at += blockSize) {
        const uint32_t length = std::min(blockSize, frames - at);
        moduleBlock({at, 0, length, length}, returned, out);
    }
    settle();
    clock += frames;
    publish();
}

void LiveEngine::learnPeriod(uint32_t frames) noexcept {
    const auto blockSize = static_cast<uint32_t>(settings.blockSize);
    wholeFrames = frames % blockSize == 0 ? frames : 0;
    wholeBlocks = static_cast<int32_t>(frames / blockSize);
}

// Periods of quietFrames run whole blocks of the size the module was told, nothing to rewind.
void LiveEngine::settle() noexcept {
    const bool fits = toldBlockSize == settings.blockSize && (levelBits & Levels::Return) == 0;
    quietFrames = fits ? wholeFrames : 0;
}

void LiveEngine::fullPeriod(uint32_t frames, const LiveMidi* in, size_t count,
                            MidiSink& out) noexcept {
    learnPeriod(frames);
    if (ended) {
        shown.periodsStopped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // what was pushed before the flag was raised is seen below
    called.exchange(false, std::memory_order_acq_rel);
    for (Key key; keys.pop(key);) {
        controls.key(key);
        unshown = true;
    }
    const bool stopping = stopWanted.load(std::memory_order_acquire) || clock >= stopAt;
    if (stopping)
        controls.stopPlaying();
    if (count == 0 && !stopping && controls.steady())
        steadyPeriod(frames, out);
    else
        changingPeriod(frames, in, count, out);
    unshown |= count > 0 || stopping;
    if (stopping && frames > 0) {
        endSounding(frames - 1, out);
        emit(frames - 1, packMidi(0xB0, AllNotesOff, 0), out);
        ended = true;
    }
    clock += frames;
    publish();
    if (ended)
        shown.stopped.store(true, std::memory_order_release);
    // With no pulse pending and every block uniform, the inputs hold until the clock's edge;
    // not after messages, which may have come after the last block's start.
    const bool holding = !ended && count == 0 && controls.steady() && uniformFrom == 0;
    quietUntil = holding ? std::min(controls.nextClockEdge(levelsAt), stopAt)
                         : std::numeric_limits<int64_t>::min();
    settle();
}

// Nothing arrives and no pulse is pending, so the levels change only where the clock moves
// GATE; they are worked out again there, and where a block's head is left to fill.
void LiveEngine::steadyPeriod(uint32_t frames, MidiSink& out) noexcept {
    Levels now = applyLevels(0, 0);
    int64_t edge = controls.nextClockEdge(clock) - clock; // into the period
    for (PeriodSplit split(frames, static_cast<uint32_t>(settings.blockSize)); !split.done();) {
        const uint32_t at = split.start();
        const bool moved = at >= edge;
        if (moved)
            edge = controls.nextClockEdge(clock + at) - clock;
        const Stretch stretch = split.next(edge);
        if (moved || stretch.offset < uniformFrom)
            now = applyLevels(at, stretch.offset);
        moduleBlock(stretch, now.ret(), out);
    }
}

void LiveEngine::changingPeriod(uint32_t frames, const LiveMidi* in, size_t count,
                                MidiSink& out) noexcept {
    size_t next = 0;
    for (PeriodSplit split(frames, static_cast<uint32_t>(settings.blockSize)); !split.done();) {
        const uint32_t at = split.start();
        for (; next < count && in[next].frame <= at; ++next)
            hand(in[next], at, out);
        const int64_t edge = controls.nextClockEdge(clock + at);
        const int64_t edgeIn =
            edge == std::numeric_limits<int64_t>::max() ? edge : edge - clock; // into the period
        const Stretch stretch = split.next(edgeIn);
        const Levels now = applyLevels(at, stretch.offset);
        moduleBlock(stretch, now.ret(), out);
    }
    for (; next < count; ++next) // after the last block's start: seen by the next period's first
        hand(in[next], std::min(in[next].frame, frames - 1), out);
}

void LiveEngine::hand(const LiveMidi& message, uint32_t at, MidiSink& out) noexcept {
    const uint32_t size = std::min<uint32_t>(message.size, 3);
    switch (controls.take(message.bytes, size, clock + message.frame)) {
    case Taken::Used:
        return;
    case Taken::Stopped:
        endSounding(at, out);
        return;
    case Taken::Module:
        break;
    }
    int32_t packed = 0;
    for (uint32_t i = 0; i < size; ++i)
        packed |= static_cast<int32_t>(message.bytes[i]) << (8 * i);
    if (isValidMidiMessage(packed))
        static_cast<void>(driver.midi(packed));
}

// Samples are copied from a block of the level rather than set one by one: the copy takes a
// fraction of the time, and a GATE edge fills a whole block.
inline void LiveEngine::setInput(int input, bool high, uint32_t from) noexcept {
    float* const block = blocks[input];
    const float* const level = levelBlocks[high].data();
    if (levels[input] != high) {
        std::copy(level + from, level + settings.blockSize, block + from);
        levels[input] = high;
        levelFrom[input] = from;
    } else if (levelFrom[input] > from) { // only the head is left from before
        std::copy(level + from, level + levelFrom[input], block + from);
        levelFrom[input] = from;
    }
}

// Only the inputs whose level changes, or whose block's head is left from before, are touched.
void LiveEngine::setInputs(Levels now, uint32_t offset) noexcept {
    static_assert(Levels::Rec == 1u << Rec && Levels::Play == 1u << Play &&
                      Levels::Return == 1u << Return && Levels::Gate == 1u << Gate &&
                      Levels::Reload == 1u << Reload,
                  "Levels keeps a bit for each input, in the inputs' order");
    unsigned touched = (now.bits ^ levelBits) | headed;
    levelBits = now.bits;
    uint32_t uniform = 0;
    headed = 0;
    for (; touched != 0; touched &= touched - 1) {
        const int input = __builtin_ctz(touched);
        setInput(input, (now.bits >> input & 1u) != 0, offset);
        uniform = std::max(uniform, levelFrom[input]);
        headed |= levelFrom[input] > 0 ? 1u << input : 0u;
    }
    uniformFrom = uniform;
}

// Kept short, so that it is inlined into the loops over a period's blocks; the rare work, a
// new block size or messages to pass on, is done apart.
inline void LiveEngine::moduleBlock(const Stretch& stretch, bool returned, MidiSink& out) noexcept {
    const auto blockLength = static_cast<int32_t>(stretch.blockLength);
    if (blockLength != toldBlockSize)
        tellBlockSize(blockLength);
    driver.runBlockNow(static_cast<int32_t>(stretch.offset), static_cast<int32_t>(stretch.length));
    if (returned)
        position = 0;
    if (!driver.sent().empty())
        passOn(stretch.at, out);
}

void LiveEngine::tellBlockSize(int32_t frames) noexcept {
    static_cast<void>(driver.setBlockSize(frames));
    toldBlockSize = frames;
}

// Each message at the start of the block that sent it, counted from the period's first frame
// on the driver's clock.
void LiveEngine::passOnSince(int64_t first, uint32_t frames, MidiSink& out) noexcept {
    const int64_t last = static_cast<int64_t>(frames) - 1;
    for (const ModuleMidi& message : driver.sent())
        sent(message.message,
             static_cast<uint32_t>(std::clamp(message.hostClock - first, int64_t{0}, last)), out);
    driver.clearSent();
}

void LiveEngine::passOn(uint32_t at, MidiSink& out) noexcept {
    for (const ModuleMidi& message : driver.sent())
        sent(message.message, at, out);
    driver.clearSent();
}

// The module's position, followed from what it does: a note played moves it on, and the loop
// brings it back as the module's own loop does at the end of every block. Looked at after each
// note and whenever the row's length changes, which is as often as it can change.
void LiveEngine::follow() noexcept {
    const uint32_t length = rowLength.load(std::memory_order_relaxed);
    followedLength = length;
    if (!settings.loop)
        return;
    const auto to = static_cast<uint32_t>(settings.to);
    const auto from = static_cast<uint32_t>(settings.from);
    const uint32_t end = settings.to > 0 && to <= length ? to : length;
    if (position >= end)
        position = settings.from > 0 && from < length ? from : 0;
}

void LiveEngine::sent(int32_t message, uint32_t at, MidiSink& out) noexcept {
    const int32_t channel = midiChannel(message);
    const int32_t note = midiData1(message) & 0x7F;
    uint8_t& held = sounding[channel][note];
    if (isNoteStart(message)) {
        held = static_cast<uint8_t>(std::min(held + 1, 255));
        ++notesPlayed;
        unshown = true;
        ++position;
        follow();
        lastNote = note;
    } else if (isNoteEnd(message) && held > 0) {
        --held;
    }
    emit(at, message, out);
}

void LiveEngine::endSounding(uint32_t at, MidiSink& out) noexcept {
    for (int32_t channel = 0; channel < 16; ++channel)
        for (int32_t note = 0; note < 128; ++note)
            for (uint8_t& held = sounding[channel][note]; held > 0; --held)
                emit(at, packMidi(MidiNoteOff + channel, note, 64), out);
}

void LiveEngine::emit(uint32_t at, int32_t message, MidiSink& out) noexcept {
    const uint8_t bytes[3] = {static_cast<uint8_t>(midiStatus(message)),
                              static_cast<uint8_t>(midiData1(message)),
                              static_cast<uint8_t>(midiData2(message))};
    if (!out.write(at, bytes, messageSize(bytes[0]))) {
        ++lost;
        unshown = true;
    }
}

// Most periods only move the clock and perhaps the position; the rest is stored again after a
// period in which something arrived, a key was pressed or the module sent a note.
inline void LiveEngine::publish() noexcept {
    shown.frames.store(clock, std::memory_order_relaxed);
    if (rowLength.load(std::memory_order_relaxed) != followedLength)
        follow();
    shown.position.store(position, std::memory_order_relaxed);
    if (unshown)
        publishChanges();
}

void LiveEngine::publishChanges() noexcept {
    constexpr auto relaxed = std::memory_order_relaxed;
    unshown = false;
    shown.notesPlayed.store(notesPlayed, relaxed);
    shown.lastNote.store(lastNote, relaxed);
    shown.rec.store(controls.recording(), relaxed);
    shown.play.store(controls.playing(), relaxed);
    shown.clockRunning.store(controls.midiClock().running(), relaxed);
    if (controls.clockSource() == ClockSource::Midi) {
        const double bpm = controls.midiClock().bpm(settings.controls.sampleRate);
        shown.bpmMilli.store(static_cast<uint64_t>(std::llround(bpm * 1000.0)), relaxed);
    }
    shown.lost.store(lost, relaxed);
}
