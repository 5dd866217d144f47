// Recording one NOTE_ON (a MIDI event while REC is high) against the one byte it writes.
#include "host_events.h"
#include "hosted_module.h"
#include "note_append.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

void BM_RecordNote(benchmark::State& state) {
    const std::string path = scratchPath("take.brumo");
    std::remove(path.c_str());
    long long recorded = 0;
    {
        HostedModule module;
        module.outFile(path); // no file yet: an empty row, and the record file opened
        module.set("REC", 1.0f);
        module.block();
        HostEvent event = midiEvent(packMidi(MidiNoteOn, 60, 100));
        PluginRecord* record = module.record;
        for (auto _ : state)
            record->event(record->instance, &event);
        recorded = static_cast<long long>(state.iterations());
    } // closing the instance writes out the notes still buffered
    state.SetItemsProcessed(state.iterations());
    if (fileSize(path) != recorded)
        state.SkipWithError("not every note reached the record file");
    std::remove(path.c_str());
}
BENCHMARK(BM_RecordNote);

// The floor: the very write the recorder makes for a note, on the same kind of stream.
void BM_BareAppend(benchmark::State& state) {
    const std::string path = scratchPath("bare.brumo");
    std::remove(path.c_str());
    std::FILE* file = std::fopen(path.c_str(), "a+b");
    if (!file) {
        state.SkipWithError("could not open a file");
        return;
    }
    for (auto _ : state)
        appendNote(file, 60);
    std::fclose(file);
    state.SetItemsProcessed(state.iterations());
    std::remove(path.c_str());
}
BENCHMARK(BM_BareAppend);

} // namespace

BENCHMARK_MAIN();
