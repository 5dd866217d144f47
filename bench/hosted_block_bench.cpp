// One block through the host the tool uses, driven the way `kaveltrum-host play` drives it,
// against the loaded module file: its cost beside the module's own block (BM_ProcessBlockIdle).
#include "host_instance.h"
#include "hosted_module.h"

#include <benchmark/benchmark.h>

namespace {

// Gates as play sends them at 200 BPM, 44.1 kHz and 64-sample blocks: a sixteenth note is about
// 52 blocks, GATE high for the first half of it.
constexpr long BlocksPerGate = 52;

std::unique_ptr<HostInstance> playingInstance(const std::string& row) {
    Result<std::string> path = defaultModulePath();
    if (!path)
        giveUp(path.error());
    Result<ModuleFile> file = ModuleFile::load(*path);
    if (!file)
        giveUp(file.error());
    Result<std::unique_ptr<HostInstance>> made =
        HostInstance::create(*file, {44100.0f, HostedModule::BlockFrames});
    if (!made)
        giveUp(made.error());
    HostInstance& instance = **made;
    for (const Status& set :
         {instance.setParameter("on D: DIAGNOSE.TXT", 0), instance.setParameter("next noteoff", 1),
          instance.setText("OUTFILE", row), instance.setLevel("PLAY", 1.0f), instance.runBlocks(1)})
        if (!set)
            giveUp(set.error());
    return std::move(*made);
}

void BM_HostedBlock(benchmark::State& state) {
    const std::string row = scratchPath("hosted.brumo");
    if (!writeRowFile(row, 256))
        giveUp("cannot write " + row);
    std::unique_ptr<HostInstance> instance = playingInstance(row);
    const int32_t gate = *instance->findPin("GATE");
    long block = 0;
    long long collected = 0;
    bool failed = false;
    for (auto _ : state) {
        const bool high = block++ % BlocksPerGate < BlocksPerGate / 2;
        failed |= !instance->setLevel(gate, high ? 1.0f : 0.0f);
        failed |= !instance->runBlocks(1);
        const std::vector<ModuleMidi>& sent = instance->sentMidi();
        if (!sent.empty()) {
            collected += static_cast<long long>(sent.size());
            benchmark::DoNotOptimize(sent.data());
            instance->clearSentMidi();
        }
    }
    state.SetItemsProcessed(state.iterations());
    if (failed)
        state.SkipWithError("the host refused a step");
    else if (block > BlocksPerGate && collected == 0)
        state.SkipWithError("the gates played nothing");
}
BENCHMARK(BM_HostedBlock);

} // namespace
