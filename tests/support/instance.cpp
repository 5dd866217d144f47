#include "support/instance.h"

#include "midi_check.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <sstream>
#include <stdexcept>

testing::AssertionResult validOutput(const std::vector<ModuleMidi>& sent, size_t from) {
    for (size_t i = from; i < sent.size(); ++i) {
        const ModuleMidi& m = sent[i];
        if (m.pin != MidiOut || !isChannelOneNote(m.message)) {
            std::ostringstream why;
            why << "message " << i << " is 0x" << std::hex << static_cast<uint32_t>(m.message)
                << std::dec << " through pin " << m.pin;
            return testing::AssertionFailure() << why.str();
        }
    }
    return testing::AssertionSuccess();
}

Setup unopened(Setup::Stage stage, bool withCallback, int32_t pinCount) {
    Setup setup;
    setup.stage = stage;
    setup.withCallback = withCallback;
    setup.pinCount = pinCount;
    return setup;
}

Setup told(float sampleRate, int32_t blockSize) {
    Setup setup;
    setup.start = {sampleRate, blockSize, true};
    return setup;
}

namespace {

void expectOk(const Status& status) {
    EXPECT_TRUE(status.ok()) << status.error();
}

MakeOptions makeOptions(const Setup& setup) {
    MakeOptions options;
    options.withCallback = setup.withCallback;
    options.askProperties = setup.askProperties;
    return options;
}

std::unique_ptr<ModuleDriver> made(Result<std::unique_ptr<ModuleDriver>> driver) {
    if (!driver)
        throw std::runtime_error(driver.error());
    return std::move(*driver);
}

} // namespace

Instance::Instance(ModuleEntries entries, Setup setup)
    : driver(made(ModuleDriver::make(entries, makeOptions(setup)))), host(*driver) {
    prepare(setup);
}

Instance::Instance(const ModuleFile& file, Setup setup)
    : driver(made(ModuleDriver::make(file, makeOptions(setup)))), host(*driver) {
    prepare(setup);
}

void Instance::prepare(const Setup& setup) {
    checkNotes = setup.checkNotes;
    host.answerPinCount(setup.pinCount);
    if (!host.usable())
        return; // a record no host may call: the test looks at it through host.record()
    if (setup.stage == Setup::Opened) {
        expectOk(host.start(setup.start));
    } else if (setup.stage == Setup::Wired) {
        expectOk(host.learnPins());
        expectOk(host.wirePins());
    }
    check();
}

Instance::~Instance() {
    if (host.record())
        close();
}

void Instance::check() {
    if (!checkNotes)
        return;
    EXPECT_TRUE(validOutput(host.sent(), checked));
    checked = host.sent().size();
    for (const std::string& mistake : host.moduleMistakes())
        ADD_FAILURE() << mistake;
    host.clearMistakes();
}

intptr_t Instance::dispatch(int32_t opcode, int32_t index, int32_t value, void* pointer,
                            float opt) {
    Result<intptr_t> answer = host.dispatch(opcode, index, value, pointer, opt);
    EXPECT_TRUE(answer.ok()) << answer.error();
    check();
    return answer ? *answer : 0;
}

void Instance::open() {
    EXPECT_EQ(dispatch(OpOpen), 0);
}

void Instance::close() {
    if (host.record()) {
        EXPECT_EQ(dispatch(OpClose), 1);
    }
}

void Instance::set(int32_t pin, float level) {
    std::fill(input(pin), input(pin) + BlockCapacity, level);
}

void Instance::param(int32_t pin, int32_t value) {
    expectOk(host.setParameter(pin, value));
}

void Instance::diagnose(uint8_t value) {
    if (host.pins().size() > Diagnose && host.pins()[Diagnose].variable)
        std::memcpy(host.pins()[Diagnose].variable, &value, sizeof value);
}

void Instance::detach(int32_t pin) {
    float* none = nullptr;
    std::memcpy(host.pins()[static_cast<size_t>(pin)].variable, &none, sizeof none);
}

void Instance::outFile(const std::string& name) {
    host.setText(OutFile, name);
    pinStatus(OutFile, 1);
}

void Instance::loadRow(const std::string& path, const std::vector<uint8_t>& bytes) {
    writeBytes(path, bytes);
    outFile(path);
}

void Instance::pinStatus(int32_t pin, int32_t status) {
    event(pinStatusEvent(pin, status));
}

void Instance::midi(int32_t message) {
    event(midiEvent(message));
}

void Instance::event(HostEvent event) {
    expectOk(host.event(event));
    check();
}

void Instance::block(int32_t start) {
    expectOk(frames ? host.runBlock(start, *frames) : host.runBlock(start));
    check();
}

void Instance::block(int32_t start, int32_t length) {
    expectOk(host.runBlock(start, length));
    check();
}

void Instance::blocks(int32_t count) {
    for (int32_t n = 0; n < count; ++n)
        block();
}

void Instance::pulse() {
    set(Gate, 1.0f);
    block();
    set(Gate, 0.0f);
    block();
}

void Instance::reload() {
    set(Reload, 1.0f);
    block();
    set(Reload, 0.0f);
}

std::vector<int32_t> Instance::sent() const {
    std::vector<int32_t> messages;
    for (const ModuleMidi& m : host.sent()) {
        EXPECT_EQ(m.pin, MidiOut);
        messages.push_back(m.message);
    }
    return messages;
}

std::vector<int> Instance::played(size_t from) const {
    std::vector<int> notes;
    const std::vector<ModuleMidi>& sent = host.sent();
    for (size_t i = from; i < sent.size(); ++i)
        if (midiStatus(sent[i].message) == MidiNoteOn)
            notes.push_back(midiData1(sent[i].message));
    return notes;
}

void Instance::clearSent() {
    host.clearSent();
    checked = 0;
}

// ---- KAVELTRUM's module file

namespace {

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

const ModuleFile& kaveltrumFile() {
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

LoadedKaveltrum::LoadedKaveltrum(Setup setup) : Instance(kaveltrumFile(), setup) {
    diagnose(0);
}
