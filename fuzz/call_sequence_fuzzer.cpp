// libFuzzer target: each input is a sequence of host actions against KAVELTRUM, decoded with
// FuzzedDataProvider and carried out through the two exports and the plug-in record, as a
// host would: making and opening instances, requests with any opcode, pin status changes,
// MIDI, blocks with odd input levels, parameter values, OUTFILE texts and row files on disk.
// The host callback (fuzz_host.cpp) checks every request; the sanitizers check the rest.
#include "choices.h"
#include "fuzz_host.h"
#include "host_events.h"
#include "module.h"
#include "recorded_notes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int MaxActions = 1000;
constexpr int MaxBurstNotes = 20000; // per input, so that every input runs in well under a second
constexpr size_t MaxTextLength = 1500;
constexpr size_t ZeroBufferSize = 256; // large enough for any record a request points at

// Made per process. Each input runs with it as the working directory, where the module's log
// and every relative record file name land; libFuzzer's own files stay where it was started.
std::string scratchFolder;
std::string startFolder;
RecordedNotes recordedNotes;
int burstNotesLeft = 0;

const char* const outFileNames[] = {
    "row.brumo",    "take2.brumo", "sub/row.brumo", "sub", ".", "", "missing/row.brumo",
    "DIAGNOSE.TXT", // the record file and the log in one
};
const char* const rowFileNames[] = {"row.brumo", "take2.brumo", "sub/row.brumo", "DIAGNOSE.TXT"};

enum class Action : uint8_t {
    Properties,
    Make,
    Open,
    Describe,
    Dispatch,
    PinStatus,
    Midi,
    OtherEvent,
    Block,
    Param,
    Diagnose,
    OutFile,
    RowFile,
    Clock,
    Close,
    FileFault,
    kMaxValue = FileFault
};

// Any text without a '/', so that every file the module creates stays in the scratch folder.
std::string anyText(FuzzedDataProvider& in) {
    std::string text;
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: {
        const auto length = in.ConsumeIntegralInRange<size_t>(0, MaxTextLength);
        text.assign(length, in.ConsumeIntegralInRange('0', 'z'));
        break;
    }
    case 1:
        text = in.ConsumeRandomLengthString(MaxTextLength);
        break;
    case 2:
        return scratchFolder + "/row.brumo"; // absolute
    default:
        return pick(in, outFileNames);
    }
    for (char& c : text)
        if (c == '/')
            c = '_';
    return text;
}

void writeFile(const char* name, const std::string& bytes) {
    recordedNotes.rewritten(name);
    if (std::FILE* file = std::fopen(name, "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

// Row files: a few bytes from the input, or a long row around the sizes where the row buffer
// is kept or replaced.
void writeRowFile(FuzzedDataProvider& in) {
    const char* name = pick(in, rowFileNames);
    if (in.ConsumeIntegralInRange(0, 15) != 0) {
        writeFile(name, in.ConsumeRandomLengthString(512));
        return;
    }
    const size_t sizes[] = {65535, 65536, 65537, 131072, 140000};
    std::string bytes(pick(in, sizes), '\0');
    const uint8_t step = in.ConsumeIntegral<uint8_t>();
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * step);
    writeFile(name, bytes);
}

// The same event `count` times; the host owns each copy for the call only.
void sendEvent(HostedInstance& instance, const HostEvent& event, int count = 1) {
    if (event.kind == EventMidi)
        recordedNotes.beforeMidi(event.value, count);
    for (int i = 0; i < count; ++i)
        fuzzHost().event(instance, event);
}

void pinStatus(HostedInstance& instance, int32_t pin, int32_t status) {
    sendEvent(instance, pinStatusEvent(pin, status));
}

// One block: each input keeps its level, takes a new one, or is unwired or rewired; then the
// routine in the record runs from a start position inside the host's blocks.
void runBlock(FuzzedDataProvider& in, FuzzHost& host, HostedInstance& instance) {
    for (int32_t pin = PinRec; pin <= PinReload; ++pin) {
        auto* variable = static_cast<float**>(instance.variable(pin));
        const bool wired = variable && instance.datatype(pin) == DtSamples;
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0:
            if (wired)
                *variable = nullptr;
            break;
        case 1:
            if (wired)
                *variable = instance.driver->block(pin);
            break;
        case 2:
        case 3:
        case 4: {
            float* block = instance.driver->block(pin);
            std::fill(block, block + BlockLength, anyLevel(in));
            break;
        }
        default:
            break;
        }
    }
    // A start inside the host's blocks; or, once the host has told the module their size, now
    // and then one at or past their end or before them, where every input must read as low.
    const bool outside = instance.toldBlockSize && in.ConsumeIntegralInRange(0, 7) == 0;
    const int32_t outsideStarts[] = {
        instance.blockSize, instance.blockSize + 1, BlockLength, 100000, INT32_MAX, -1, INT32_MIN};
    const int32_t start =
        outside ? pick(in, outsideStarts) : in.ConsumeIntegralInRange(0, BlockLength - 1);
    const uint8_t wasRecording = rowState().recording;
    host.block(instance, start);
    // REC read as low clears the flag; an instance not yet open runs no routine of its own
    if (outside && rowState().recording > wasRecording)
        fail("a block starting outside the host's block read REC");
}

void writeParam(FuzzedDataProvider& in, HostedInstance& instance) {
    const auto pin = in.ConsumeIntegralInRange<int32_t>(0, DescribedPins - 1);
    void* variable = instance.variable(pin);
    if (!variable)
        return;
    switch (instance.datatype(pin)) {
    case DtInt16:
        *static_cast<int16_t*>(variable) = anyInt16(in);
        break;
    case DtBool:
        *static_cast<uint8_t*>(variable) = in.ConsumeIntegral<uint8_t>();
        break;
    default:
        break; // sample blocks are wired in runBlock; texts come by request
    }
}

void checkProperties(FuzzedDataProvider& in) {
    const int32_t index = in.ConsumeBool() ? 0 : anyInt32(in);
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        getModuleProperties(index, nullptr);
        return;
    }
    ModuleProperties props{};
    props.word3 = 0x33;
    props.word4 = 0x44;
    const int32_t result = getModuleProperties(index, &props);
    if (props.interfaceVersion != InterfaceVersion || props.word3 != 0x33 || props.word4 != 0x44)
        fail("getModuleProperties wrote the wrong words");
    if (result != (index == 0 ? 1 : 0))
        fail("getModuleProperties answered the wrong module indices");
    if (index == 0 &&
        (!props.name || std::strcmp(props.name, "KAVELTRUM") != 0 ||
         props.identifier != props.name || !props.about || std::strlen(props.about) >= 1000))
        fail("getModuleProperties gave a wrong name or about text");
    if (index != 0 && (props.name || props.identifier || props.about))
        fail("getModuleProperties filled the record for a module it does not have");
}

void makeInstance(FuzzedDataProvider& in, FuzzHost& host, size_t slot) {
    const int32_t moduleIndex = in.ConsumeIntegralInRange(0, 7) ? 0 : anyInt32(in);
    const int32_t selector = in.ConsumeIntegralInRange(0, 7) ? 1 : anyInt32(in);
    const bool withCallback = in.ConsumeIntegralInRange(0, 7) != 0;
    const int32_t pinCount = anyPinCount(in);
    const bool describe = in.ConsumeIntegralInRange(0, 3) != 0;
    const bool open = in.ConsumeIntegralInRange(0, 3) != 0;
    const bool tellBlockSize = in.ConsumeIntegralInRange(0, 3) != 0;
    if (!host.make(slot, moduleIndex, selector, withCallback, pinCount))
        return;
    if (tellBlockSize)
        host.dispatch(slot, OpSetBlockSize, 0, BlockLength, nullptr, 0.0f);
    if (describe)
        host.describe(slot);
    if (open)
        host.dispatch(slot, OpOpen, 0, 0, nullptr, 0.0f);
}

void request(FuzzedDataProvider& in, FuzzHost& host, size_t slot) {
    alignas(16) static unsigned char zeroed[ZeroBufferSize];
    std::memset(zeroed, 0, sizeof zeroed);
    const int32_t opcode =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(-1, 16) : in.ConsumeIntegral<int32_t>();
    const int32_t index =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 20) : in.ConsumeIntegral<int32_t>();
    // The host's blocks hold BlockLength samples: it never tells the module they hold more.
    const int32_t value =
        opcode == OpSetBlockSize ? std::min(anyInt32(in), BlockLength) : anyInt32(in);
    void* pointer = in.ConsumeBool() ? zeroed : nullptr;
    host.dispatch(slot, opcode, index, value, pointer, anyLevel(in));
}

// What a user's file system does to a record file behind the module's back: makes it
// read-only, replaces it with another file between loads, or puts a folder in its place.
void fileFault(FuzzedDataProvider& in) {
    const char* name = pick(in, rowFileNames);
    recordedNotes.rewritten(name);
    std::error_code ignored;
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        fs::permissions(
            name, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read, ignored);
        break;
    case 1:
        writeFile("replacement.tmp", in.ConsumeRandomLengthString(64));
        std::rename("replacement.tmp", name);
        break;
    default:
        fs::remove(name, ignored);
        fs::create_directory(name, ignored);
        break;
    }
}

void changeOutFile(FuzzedDataProvider& in, HostedInstance& instance) {
    instance.driver->setText(PinOutFile, anyText(in));
    instance.driver->textStyle =
        in.ConsumeIntegralInRange(0, 3) != 0 ? TextStyle::Terminated : TextStyle::Repeated;
    const int32_t statuses[] = {1, 1, 1, 0, 2, -1};
    pinStatus(instance, PinOutFile, pick(in, statuses));
}

void act(FuzzedDataProvider& in, FuzzHost& host) {
    const Action action = in.ConsumeEnum<Action>();
    const auto slot = in.ConsumeIntegralInRange<size_t>(0, MaxInstances - 1);
    if (action == Action::Properties)
        return checkProperties(in);
    if (action == Action::Make)
        return makeInstance(in, host, slot);
    if (action == Action::Clock) {
        host.clock = in.ConsumeIntegral<int32_t>();
        return;
    }
    HostedInstance* instance = host.at(slot);
    if (!instance)
        return;
    switch (action) {
    case Action::Open:
        if (in.ConsumeBool())
            instance->driver->answerPinCount(anyPinCount(in));
        host.dispatch(slot, OpOpen, 0, 0, nullptr, 0.0f);
        break;
    case Action::Describe:
        host.describe(slot);
        break;
    case Action::Dispatch:
        request(in, host, slot);
        break;
    case Action::PinStatus: {
        const int32_t statuses[] = {1, 0, 2, -1};
        const int32_t pin =
            in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 20) : in.ConsumeIntegral<int32_t>();
        pinStatus(*instance, pin, in.ConsumeBool() ? pick(in, statuses) : anyInt32(in));
        break;
    }
    case Action::Midi: {
        const int32_t message = anyMidi(in);
        const int32_t timeDelta = in.ConsumeIntegral<int32_t>();
        const HostEvent event = midiEvent(message, timeDelta, in.ConsumeIntegral<uint16_t>());
        // now and then a burst, more notes than the recorder holds back at once
        int count = in.ConsumeIntegralInRange(0, 15) ? 1 : in.ConsumeIntegralInRange(1, 9000);
        if (count > 1) {
            count = std::min(count, std::max(burstNotesLeft, 1));
            burstNotesLeft -= count;
        }
        sendEvent(*instance, event, count);
        break;
    }
    case Action::OtherEvent:
        sendEvent(*instance, anyOtherEvent(in));
        break;
    case Action::Block:
        runBlock(in, host, *instance);
        break;
    case Action::Param:
        writeParam(in, *instance);
        break;
    case Action::Diagnose:
        if (auto* diagnose = static_cast<uint8_t*>(instance->variable(PinDiagnose)))
            *diagnose = in.ConsumeBool() ? 1 : 0;
        break;
    case Action::OutFile:
        changeOutFile(in, *instance);
        break;
    case Action::RowFile:
        writeRowFile(in);
        break;
    case Action::Close:
        host.dispatch(slot, OpClose, 0, 0, nullptr, 0.0f);
        break;
    case Action::FileFault:
        fileFault(in);
        break;
    default:
        break;
    }
}

// Every input starts as if the library had just been loaded, in an empty scratch folder, so
// that a crash reproduces from its input alone.
void startFresh() {
    recordedNotes.clear();
    burstNotesLeft = MaxBurstNotes;
    std::error_code ignored;
    const fs::path sub = fs::path(scratchFolder) / "sub";
    for (const fs::path& folder : {fs::path(scratchFolder), sub})
        for (const auto& entry : fs::directory_iterator(folder, ignored))
            if (entry.path() != sub)
                fs::remove_all(entry.path(), ignored);
}

// What a fresh library has; the row, which outlives every instance, goes with the rest.
void forgetRowState() {
    RowState& state = rowState();
    delete[] state.row;
    state = RowState{};
}

void removeScratchFolder() {
    std::error_code ignored;
    fs::remove_all(scratchFolder, ignored);
}

void enter(const std::string& folder) {
    if (chdir(folder.c_str()) != 0)
        fail("cannot change the working directory");
}

// A crash is written out while its input runs, inside the scratch folder: unless told
// otherwise, libFuzzer puts it in the folder it was started from.
void keepCrashesInStartFolder(int* argc, char*** argv) {
    static std::vector<char*> arguments(*argv, *argv + *argc);
    for (const char* argument : arguments)
        if (std::strncmp(argument, "-artifact_prefix=", 17) == 0 ||
            std::strncmp(argument, "-exact_artifact_path=", 21) == 0)
            return;
    static std::string prefix = "-artifact_prefix=" + startFolder + "/";
    arguments.push_back(prefix.data());
    arguments.push_back(nullptr);
    *argv = arguments.data();
    *argc += 1;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startFolder = fs::current_path().string();
    std::string folder = (fs::temp_directory_path() / "kaveltrum-fuzz-XXXXXX").string();
    if (!mkdtemp(folder.data()))
        fail("cannot make the scratch folder");
    scratchFolder = folder;
    fs::create_directory(fs::path(folder) / "sub");
    std::atexit(removeScratchFolder);
    keepCrashesInStartFolder(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    enter(scratchFolder);
    startFresh();
    FuzzedDataProvider in(data, size);
    FuzzHost& host = fuzzHost();
    host.clock = 0;
    for (int step = 0; step < MaxActions && in.remaining_bytes() > 0; ++step)
        act(in, host);
    host.closeAll();
    if (rowState().recordFileStatus == 0 || rowState().recordFile)
        fail("closing every instance left the record file open");
    recordedNotes.check();
    forgetRowState();
    enter(startFolder);
    return 0;
}
