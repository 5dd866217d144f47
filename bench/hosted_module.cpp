#include "hosted_module.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

intptr_t SE_ABI BenchHost::callback(PluginRecord* record, int32_t opcode, int32_t, int32_t value,
                                    void* pointer, float) {
    auto* host = reinterpret_cast<BenchHost*>(record->hostHandle);
    switch (opcode) {
    case HostSampleClock:
        return host->clock;
    case HostSendMidi:
        ++host->midiSent;
        return 0;
    case HostPinCount:
        return host->pinCount;
    case HostPinText: {
        auto* buffer = static_cast<char*>(pointer);
        if (!buffer || value <= 0)
            return 0;
        const size_t length = std::min(host->outFileText.size(), static_cast<size_t>(value) - 1);
        std::memcpy(buffer, host->outFileText.data(), length);
        buffer[length] = '\0';
        return 0;
    }
    default:
        return 0; // every input has a variable of its own, so no pin asks for a block
    }
}

HostedModule::HostedModule(bool open) {
    record = makeModule(0, 1, BenchHost::callback, reinterpret_cast<intptr_t>(&host));
    if (!record || !open)
        return;
    describe();
    record->dispatcher(record, OpOpen, 0, 0, nullptr, 0.0f);
    param("on D: DIAGNOSE.TXT", 0);
}

HostedModule::~HostedModule() {
    if (record)
        record->dispatcher(record, OpClose, 0, 0, nullptr, 0.0f);
}

// Learns where each pin's value lives, hands out sample blocks and writes the defaults.
void HostedModule::describe() {
    for (described = 0; described < MaxPins; ++described) {
        PinDescription& d = descriptions[static_cast<size_t>(described)];
        std::memset(&d, 0, sizeof d);
        if (!record->dispatcher(record, OpGetPinDescription, described, 0, &d, 0.0f))
            break;
        if (!d.variableAddress)
            continue;
        if (d.datatype == DtSamples)
            *static_cast<float**>(d.variableAddress) =
                blocks[static_cast<size_t>(described)].data();
        if (d.datatype == DtInt16)
            *static_cast<int16_t*>(d.variableAddress) =
                static_cast<int16_t>(d.defaultText ? std::atoi(d.defaultText) : 0);
        if (d.datatype == DtBool)
            *static_cast<uint8_t*>(d.variableAddress) =
                d.defaultText && std::strcmp(d.defaultText, "true") == 0;
    }
}

int32_t HostedModule::pinNamed(const char* name) const {
    for (int32_t i = 0; i < described; ++i) {
        const PinDescription& d = descriptions[static_cast<size_t>(i)];
        if (d.pinName && std::strcmp(d.pinName, name) == 0)
            return i;
    }
    std::fprintf(stderr, "kaveltrum-bench: the module has no pin \"%s\"\n", name);
    std::abort();
}

float* HostedModule::input(const char* name) {
    return blocks[static_cast<size_t>(pinNamed(name))].data();
}

void HostedModule::set(const char* name, float level) {
    blocks[static_cast<size_t>(pinNamed(name))].fill(level);
}

// Int16 parameters and the bool setting, each written at its own width.
void HostedModule::param(const char* name, int16_t value) {
    const PinDescription& d = descriptions[static_cast<size_t>(pinNamed(name))];
    if (d.datatype == DtInt16)
        *static_cast<int16_t*>(d.variableAddress) = value;
    else if (d.datatype == DtBool)
        *static_cast<uint8_t*>(d.variableAddress) = value ? 1 : 0;
}

void HostedModule::outFile(const std::string& path) {
    host.outFileText = path;
    HostEvent event{};
    event.kind = EventPinStatus;
    event.value = 1;
    event.target = pinNamed("OUTFILE");
    record->event(record->instance, &event);
}

namespace {

struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        const std::string pattern =
            (std::filesystem::temp_directory_path() / "kaveltrum-bench-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!mkdtemp(name.data())) {
            std::perror("kaveltrum-bench: mkdtemp");
            std::exit(1);
        }
        path = name.data();
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

std::string scratchPath(const std::string& name) {
    static ScratchFolder folder;
    return folder.path + "/" + name;
}

bool writeRowFile(const std::string& path, long size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = true;
    for (long i = 0; i < size && written; ++i)
        written = std::fputc(36 + static_cast<int>(i % 48), file) != EOF; // four octaves up from C2
    return std::fclose(file) == 0 && written;
}

long fileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<long>(size);
}
