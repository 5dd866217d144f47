// One period of the live host, through the engine the live command runs on its audio thread,
// without a server: a 256-frame period at 44100 Hz in blocks of 64, a row loaded, PLAY high and
// the internal clock at 120 BPM; what it writes is collected as the JACK client's buffer would
// take it. Against four of the module's own idle blocks (BM_ProcessBlockIdle x 4).
#include "hosted_module.h"
#include "live_clock.h"
#include "live_engine.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr uint32_t PeriodFrames = 256;

// Keeps the period's messages in storage of its own, as a MIDI port buffer does.
class PeriodBuffer final : public MidiSink {
  public:
    bool write(uint32_t frame, const uint8_t* bytes, uint32_t size) noexcept override {
        if (count == Capacity)
            return false;
        Kept& k = kept[count++];
        k.frame = frame;
        k.size = size;
        for (uint32_t i = 0; i < size; ++i)
            k.bytes[i] = bytes[i];
        return true;
    }
    void clear() { count = 0; }
    [[nodiscard]] size_t size() const { return count; }

  private:
    struct Kept {
        uint32_t frame, size;
        uint8_t bytes[3];
    };
    static constexpr size_t Capacity = 64;
    Kept kept[Capacity] = {};
    size_t count = 0;
};

// The module as both benchmarks play it: a row of 256 notes looped, each note ended by the next
// gate, what it sends kept for the caller.
void playRow(HostedModule& module, const std::string& name) {
    const std::string path = scratchPath(name);
    if (!writeRowFile(path, 256))
        giveUp("cannot write " + path);
    module.outFile(path);
    module.param("loopit", 1);
    module.param("next noteoff", 1);
    module.driver->keepSent = true;
}

void BM_LivePeriod(benchmark::State& state) {
    HostedModule module;
    playRow(module, "live.brumo"); // the engine writes out what the module sends
    module.block();                // GATE low arms the first note
    LiveSettings settings;
    settings.controls.sampleRate = 44100.0;
    Result<std::unique_ptr<LiveEngine>> made = LiveEngine::make(*module.driver, settings);
    if (!made)
        giveUp(made.error());
    LiveEngine& engine = **made;
    PeriodBuffer buffer;
    long long written = 0;
    for (auto _ : state) {
        buffer.clear();
        engine.period(PeriodFrames, nullptr, 0, buffer);
        written += static_cast<long long>(buffer.size());
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.iterations() > 100 && written == 0)
        state.SkipWithError("the periods played nothing");
}
BENCHMARK(BM_LivePeriod);

// One call of the block routine in the floor's schedule: where the block starts and GATE's
// level there.
struct FloorStretch {
    int32_t offset, length;
    float gate;
};

// The periods of BM_LivePeriod as the module alone sees them: blocks of 64 from each period's
// start, a block cut in two where the clock moves GATE. The gate pattern repeats after 11025
// periods (two sixteenths of 5512.5 frames against periods of 256).
struct FloorSchedule {
    std::vector<FloorStretch> stretches;
    std::vector<uint8_t> perPeriod; // how many stretches each period holds
};

FloorSchedule floorSchedule(uint32_t periods) {
    const InternalClock clock(44100.0, 120.0);
    FloorSchedule schedule;
    for (int64_t start = 0; start < static_cast<int64_t>(periods) * PeriodFrames;
         start += PeriodFrames) {
        uint8_t count = 0;
        for (int64_t block = start; block < start + PeriodFrames; block += 64) {
            int64_t at = block;
            while (at < block + 64) {
                const int64_t end = std::min(clock.nextEdgeAfter(at), block + 64);
                schedule.stretches.push_back({static_cast<int32_t>(at - block),
                                              static_cast<int32_t>(end - at),
                                              clock.highAt(at) ? 1.0f : 0.0f});
                ++count;
                at = end;
            }
        }
        schedule.perPeriod.push_back(count);
    }
    return schedule;
}

// The floor of BM_LivePeriod: the same frames and GATE levels through the module alone, with
// what it sends collected by the driver and dropped once per period. No host can do less.
void BM_LivePeriodModuleOnly(benchmark::State& state) {
    HostedModule module;
    playRow(module, "floor.brumo");
    module.driver->reserveSent(1024);
    module.block();
    module.set("PLAY", 1.0f);
    float* gate = module.input("GATE");
    ModuleDriver& driver = *module.driver;
    PluginRecord* record = module.record;
    const FloorSchedule schedule = floorSchedule(11025);
    const FloorStretch* stretch = schedule.stretches.data();
    size_t period = 0;
    const long long sentBefore = module.midiSent();
    for (auto _ : state) {
        for (uint8_t i = schedule.perPeriod[period]; i > 0; --i, ++stretch) {
            gate[stretch->offset] = stretch->gate;
            record->subProcess(record->instance, stretch->offset, stretch->length);
        }
        if (!driver.sent().empty())
            driver.clearSent();
        if (++period == schedule.perPeriod.size()) {
            period = 0;
            stretch = schedule.stretches.data();
        }
    }
    state.SetItemsProcessed(state.iterations());
    if (state.iterations() > 100 && module.midiSent() == sentBefore)
        state.SkipWithError("the periods played nothing");
}
BENCHMARK(BM_LivePeriodModuleOnly);

} // namespace
