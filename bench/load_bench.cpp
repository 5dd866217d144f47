// Loading the row (RELOAD high for a block) against the file operations a load cannot avoid.
#include "hosted_module.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

std::string rowFile(long size) {
    std::string path = scratchPath("row-" + std::to_string(size) + ".brumo");
    if (fileSize(path) != size)
        writeRowFile(path, size);
    return path;
}

// Each block with RELOAD high is one load: the record stream is closed, the file read into
// the row in one piece and opened again for appending.
void BM_LoadRow(benchmark::State& state) {
    const long size = static_cast<long>(state.range(0));
    const std::string path = rowFile(size);
    HostedModule module;
    module.outFile(path);
    float* reload = module.input("RELOAD");
    reload[0] = 1.0f;
    for (auto _ : state)
        module.block();
    state.SetBytesProcessed(state.iterations() * size);
    if (fileSize(path) != size)
        state.SkipWithError("the row file changed");
}
BENCHMARK(BM_LoadRow)->Arg(1024)->Arg(65536)->Arg(1048576);

// The floor: open for reading, take the length, read it all, close, open for appending, close.
void BM_BareFileLoad(benchmark::State& state) {
    const long size = static_cast<long>(state.range(0));
    const std::string path = rowFile(size);
    std::vector<unsigned char> buffer(static_cast<size_t>(size));
    size_t lastRead = 0;
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "r+b");
        if (!file)
            break;
        std::fseek(file, 0, SEEK_END);
        const long length = std::ftell(file);
        std::fseek(file, 0, SEEK_SET);
        lastRead = std::fread(buffer.data(), 1, static_cast<size_t>(length), file);
        std::fclose(file);
        std::FILE* append = std::fopen(path.c_str(), "a+b");
        if (append)
            std::fclose(append);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * size);
    if (lastRead != static_cast<size_t>(size))
        state.SkipWithError("the row file could not be read");
}
BENCHMARK(BM_BareFileLoad)->Arg(1024)->Arg(65536)->Arg(1048576);

} // namespace
