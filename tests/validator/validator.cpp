#include "validator.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#if defined(_WIN32)
#include <process.h>
#define processId _getpid
#else
#include <unistd.h>
#define processId getpid
#endif

namespace validator {

namespace fs = std::filesystem;

const char* const pinNames[PinCount] = {"MIDI In",  "REC",     "PLAY",    "RETURN",
                                        "GATE",     "RELOAD",  "OUTFILE", "on D: DIAGNOSE.TXT",
                                        "loopit",   "from..",  "..to",    "next noteoff",
                                        "velocity", "MIDI Out"};

namespace {

// The module's state is process-wide: each test loads the module file afresh, as a host that has
// just loaded it, and unloads it at its end, so no test sees what another left behind.
std::optional<ModuleFile>& loadedModule() {
    static std::optional<ModuleFile> file;
    return file;
}

class FreshModuleForEachTest : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override { loadedModule().reset(); }
};

const bool freshModules = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new FreshModuleForEachTest);
    return true;
}();

} // namespace

const ModuleFile& kaveltrum() {
    std::optional<ModuleFile>& file = loadedModule();
    if (file)
        return *file;
    Result<std::string> path = defaultModulePath();
    if (!path)
        throw std::runtime_error(path.error());
    Result<ModuleFile> loaded = ModuleFile::load(*path);
    if (!loaded)
        throw std::runtime_error(loaded.error());
    return file.emplace(*loaded);
}

// ---- Files

Scratch::Scratch() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "kaveltrum-validator-";
    name += test ? std::string(test->test_suite_name()) + "." + test->name() : "scratch";
    name += "-" + std::to_string(processId()); // builds may run the same test side by side
    std::replace(name.begin(), name.end(), '/', '_');
    // A folder an earlier run could not remove is left alone for a new one.
    folder = (fs::temp_directory_path() / name).string();
    std::error_code ignored;
    for (int n = 1; fs::remove_all(folder, ignored), fs::exists(folder, ignored); ++n)
        folder = (fs::temp_directory_path() / (name + "." + std::to_string(n))).string();
    fs::create_directories(folder);
    previous = fs::current_path().string();
    fs::current_path(folder);
}

Scratch::~Scratch() {
    std::error_code ignored;
    fs::current_path(previous, ignored);
    // Read-only files and folders a test left behind go as well.
    for (auto it = fs::recursive_directory_iterator(folder, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder, ignored);
}

std::string Scratch::file(const std::string& name) const {
    return (fs::path(folder) / name).string();
}

bool exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

// ---- What the module sends

testing::AssertionResult validOutput(const std::vector<ModuleMidi>& sent, size_t from) {
    for (size_t i = from; i < sent.size(); ++i) {
        const ModuleMidi& m = sent[i];
        const int32_t status = midiStatus(m.message);
        const bool valid = m.pin == MidiOut && (status == 0x90 || status == 0x80) &&
                           midiData1(m.message) < 128 && midiData2(m.message) < 128 &&
                           (m.message & ~0xFFFFFF) == 0;
        if (!valid) {
            std::ostringstream why;
            why << "message " << i << " is 0x" << std::hex << static_cast<uint32_t>(m.message)
                << std::dec << " through pin " << m.pin;
            return testing::AssertionFailure() << why.str();
        }
    }
    return testing::AssertionSuccess();
}

std::vector<int> notesPlayed(const std::vector<ModuleMidi>& sent, size_t from) {
    std::vector<int> notes;
    for (size_t i = from; i < sent.size(); ++i)
        if (midiStatus(sent[i].message) == 0x90)
            notes.push_back(midiData1(sent[i].message));
    return notes;
}

// ---- Hosted

namespace {

void expectOk(const Status& status) {
    EXPECT_TRUE(status.ok()) << status.error();
}

} // namespace

Hosted::Hosted(InstanceSettings settings) {
    Result<std::unique_ptr<HostInstance>> made = HostInstance::create(kaveltrum(), settings);
    if (!made)
        throw std::runtime_error(made.error());
    instance = std::move(*made);
    expectOk(instance->setParameter(Diagnose, 0));
}

Hosted::~Hosted() {
    if (instance->isOpen())
        close();
}

void Hosted::check() {
    EXPECT_TRUE(validOutput(sent(), checked));
    checked = sent().size();
}

void Hosted::text(const std::string& name) {
    expectOk(instance->setText(OutFile, name));
    check();
}

void Hosted::level(Pin pin, float value) {
    auto own = ownBlocks.find(pin);
    if (own != ownBlocks.end())
        std::fill(own->second.begin(), own->second.end(), value);
    else
        expectOk(instance->setLevel(pin, value));
}

void Hosted::feed(Pin pin, float value) {
    std::vector<float>& block = ownBlocks[pin];
    block.assign(MaxBlockSize, value);
    placeOwnBlocks();
}

void Hosted::placeOwnBlocks() {
    for (auto& [pin, block] : ownBlocks) {
        float* address = block.data();
        std::memcpy(instance->pins()[pin].variable, &address, sizeof address);
    }
}

void Hosted::param(Pin pin, int32_t value) {
    expectOk(instance->setParameter(pin, value));
}

void Hosted::midi(int32_t message) {
    expectOk(instance->sendMidi(message));
    check();
}

void Hosted::run(int32_t blocks) {
    expectOk(instance->runBlocks(blocks));
    check();
}

void Hosted::pulse() {
    level(Gate, 1.0f);
    run();
    level(Gate, 0.0f);
    run();
}

void Hosted::reload() {
    level(Reload, 1.0f);
    run();
    level(Reload, 0.0f);
}

void Hosted::setBlockSize(int32_t frames) {
    expectOk(instance->setBlockSize(frames));
    placeOwnBlocks(); // the host just gave every input its own block again
    check();
}

void Hosted::setSampleRate(float rate) {
    expectOk(instance->setSampleRate(rate));
    check();
}

void Hosted::close() {
    expectOk(instance->close());
    check();
}

// ---- RawHost

HostEvent pinStatusEvent(int32_t index, int32_t status) {
    HostEvent event{};
    event.kind = EventPinStatus;
    event.value = status;
    event.target = index;
    return event;
}

HostEvent midiEvent(int32_t message, int32_t timeDelta, uint16_t extra) {
    HostEvent event{};
    event.timeDelta = timeDelta;
    event.kind = EventMidi;
    event.value = message;
    event.extra = extra;
    return event;
}

HostEvent callEvent(EventRoutine routine) {
    HostEvent event{};
    event.kind = EventCall;
    event.target = reinterpret_cast<intptr_t>(routine);
    return event;
}

RawHost::RawHost(int32_t count) : pinCount(count) {
    record = kaveltrum().makeModule()(0, 1, &RawHost::callback, reinterpret_cast<intptr_t>(this));
    if (!record)
        throw std::runtime_error("the module made no instance");
    instance = record->instance;
    for (int32_t index = 0; index < 64; ++index) {
        PinDescription description;
        std::memset(&description, 0, sizeof description);
        if (dispatch(OpGetPinDescription, index, 0, &description) == 0)
            break;
        descriptions.push_back(description);
    }
    if (descriptions.size() != PinCount)
        throw std::runtime_error("the module does not describe its fourteen pins");
    blocks.resize(PinCount);
    for (int32_t pin = Rec; pin <= Reload; ++pin) {
        blocks[pin].assign(BlockCapacity, 0.0f);
        float* address = blocks[pin].data();
        std::memcpy(variable(static_cast<Pin>(pin)), &address, sizeof address);
    }
    param(LoopIt, 1);
    param(FromNote, 0);
    param(ToNote, 0);
    param(NextNoteOff, 0);
    param(Velocity, 100);
    diagnose(0);
}

RawHost::~RawHost() {
    if (record)
        close();
}

intptr_t SE_ABI RawHost::callback(PluginRecord* record, int32_t opcode, int32_t index,
                                  int32_t value, void* pointer, float) noexcept {
    auto* host = reinterpret_cast<RawHost*>(record ? record->hostHandle : 0);
    return host ? host->answer(record, opcode, index, value, pointer) : 0;
}

intptr_t RawHost::answer(PluginRecord* from, int32_t opcode, int32_t index, int32_t value,
                         void* pointer) {
    if (from != record)
        mistakes.push_back("a request came with a record that is not the instance's");
    switch (opcode) {
    case HostSampleClock:
        return static_cast<int32_t>(clock);
    case HostSendMidi:
        sent.push_back({index, value, static_cast<int32_t>(reinterpret_cast<intptr_t>(pointer))});
        return 0;
    case HostPinBuffer:
        return index >= 0 && index < PinCount && !blocks[index].empty()
                   ? reinterpret_cast<intptr_t>(blocks[index].data())
                   : 0;
    case HostPinCount:
        return pinCount;
    case HostPinText: {
        if (!pointer || value <= 0) {
            mistakes.push_back("HostPinText without a buffer");
            return 0;
        }
        textCapacity = value;
        const std::string text = index == OutFile ? outFileText : std::string();
        const size_t capacity = static_cast<size_t>(value);
        char* buffer = static_cast<char*>(pointer);
        if (careless && text.size() >= capacity) {
            std::memcpy(buffer, text.data(), capacity); // no room left for the terminator
        } else {
            const size_t length = std::min(text.size(), capacity - 1);
            std::memcpy(buffer, text.data(), length);
            buffer[length] = '\0';
        }
        return 0;
    }
    case HostSubProcessChanged:
        return 0;
    default:
        mistakes.push_back("unknown request " + std::to_string(opcode));
        return 0;
    }
}

void RawHost::check() {
    EXPECT_TRUE(validOutput(sent, checked));
    checked = sent.size();
    for (const std::string& mistake : mistakes)
        ADD_FAILURE() << mistake;
    mistakes.clear();
}

intptr_t RawHost::dispatch(int32_t opcode, int32_t index, int32_t value, void* pointer, float opt) {
    const intptr_t result = record->dispatcher(record, opcode, index, value, pointer, opt);
    check();
    return result;
}

void RawHost::open() {
    EXPECT_EQ(dispatch(OpOpen), 0);
}

void RawHost::close() {
    EXPECT_EQ(record->dispatcher(record, OpClose, 0, 0, nullptr, 0.0f), 1);
    record = nullptr;
    check();
}

void RawHost::event(HostEvent event) {
    record->event(instance, &event);
    check();
}

void RawHost::text(const std::string& name) {
    outFileText = name;
    event(pinStatusEvent(OutFile, 1));
}

void RawHost::set(Pin pin, float level) {
    std::fill(blocks[pin].begin(), blocks[pin].end(), level);
}

void RawHost::param(Pin pin, int16_t value) {
    std::memcpy(variable(pin), &value, sizeof value);
}

void RawHost::diagnose(uint8_t value) {
    std::memcpy(variable(Diagnose), &value, sizeof value);
}

// The sub-process routine is read from the record at every block, as the module asks.
void RawHost::block(int32_t start) {
    record->subProcess(instance, start, frames);
    clock += frames;
    check();
}

void RawHost::pulse() {
    set(Gate, 1.0f);
    block();
    set(Gate, 0.0f);
    block();
}

void RawHost::reload() {
    set(Reload, 1.0f);
    block();
    set(Reload, 0.0f);
}

} // namespace validator
