// One block through the record's sub-process routine: the module's playback against the
// routine a fresh instance holds, which does nothing.
#include "hosted_module.h"

#include <benchmark/benchmark.h>

namespace {

constexpr long RowNotes = 256;

// A module with a row of RowNotes notes loaded, PLAY high, the loop on and one slot of
// NOTE_OFFs; GATE and the other inputs low.
struct PlayingModule {
    HostedModule module;
    bool loaded = false;
    explicit PlayingModule(const char* fileName) {
        const std::string path = scratchPath(fileName);
        loaded = writeRowFile(path, RowNotes);
        module.outFile(path);
        module.param("loopit", 1);
        module.param("next noteoff", 1);
        module.block(); // GATE low arms the first note
    }
};

void BM_EmptyRoutine(benchmark::State& state) {
    HostedModule fresh(false); // made, not opened
    PluginRecord* record = fresh.record;
    for (auto _ : state) {
        benchmark::DoNotOptimize(record);
        record->subProcess(record->instance, 0, HostedModule::BlockFrames);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EmptyRoutine);

void BM_ProcessBlockIdle(benchmark::State& state) {
    PlayingModule playing("idle.brumo");
    HostedModule& module = playing.module;
    PluginRecord* record = module.record;
    const long long sentBefore = module.midiSent();
    for (auto _ : state) {
        benchmark::DoNotOptimize(record);
        record->subProcess(record->instance, 0, HostedModule::BlockFrames);
    }
    state.SetItemsProcessed(state.iterations());
    if (!playing.loaded)
        state.SkipWithError("could not write the row file");
    else if (module.midiSent() != sentBefore)
        state.SkipWithError("an idle block sent MIDI");
}
BENCHMARK(BM_ProcessBlockIdle);

// Every block either plays the next note (GATE high) or ends it (GATE low).
void BM_ProcessBlockNote(benchmark::State& state) {
    PlayingModule playing("note.brumo");
    HostedModule& module = playing.module;
    module.set("PLAY", 1.0f);
    PluginRecord* record = module.record;
    float* gate = module.input("GATE");
    const long long sentBefore = module.midiSent();
    float level = 1.0f;
    for (auto _ : state) {
        gate[0] = level;
        level = 1.0f - level;
        benchmark::DoNotOptimize(record);
        record->subProcess(record->instance, 0, HostedModule::BlockFrames);
    }
    state.SetItemsProcessed(state.iterations());
    if (!playing.loaded)
        state.SkipWithError("could not write the row file");
    else if (module.midiSent() - sentBefore != static_cast<long long>(state.iterations()))
        state.SkipWithError("not every block sent a message");
}
BENCHMARK(BM_ProcessBlockNote);

} // namespace
