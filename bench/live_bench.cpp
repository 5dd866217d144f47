// One period of the live host, through the engine the live command runs on its audio thread,
// without a server: a 256-frame period at 44100 Hz in blocks of 64, a row loaded, PLAY high and
// the internal clock at 120 BPM; what it writes is collected as the JACK client's buffer would
// take it. Against four of the module's own idle blocks (BM_ProcessBlockIdle x 4).
#include "hosted_module.h"
#include "live_engine.h"

#include <benchmark/benchmark.h>

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

void BM_LivePeriod(benchmark::State& state) {
    HostedModule module;
    const std::string path = scratchPath("live.brumo");
    if (!writeRowFile(path, 256))
        giveUp("cannot write " + path);
    module.outFile(path);
    module.param("loopit", 1);
    module.param("next noteoff", 1);
    module.driver->keepSent = true; // the engine writes out what the module sends
    module.block();                 // GATE low arms the first note
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

} // namespace
