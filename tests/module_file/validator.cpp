#include "validator.h"

#include "midi_check.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

namespace validator {

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

// ---- What the module sends

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

std::vector<int> notesPlayed(const std::vector<ModuleMidi>& sent, size_t from) {
    std::vector<int> notes;
    for (size_t i = from; i < sent.size(); ++i)
        if (midiStatus(sent[i].message) == MidiNoteOn)
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

// Written straight into the driver's block: the careful host refuses levels that are not finite.
void Hosted::level(Pin pin, float value) {
    levels[pin] = value;
    float* samples = instance->moduleDriver().block(pin);
    std::fill(samples, samples + BlockCapacity, value);
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
    for (const auto& [pin, value] : levels) // the host filled its blocks anew
        level(pin, value);
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

namespace {

std::unique_ptr<ModuleDriver> madeDriver() {
    Result<std::unique_ptr<ModuleDriver>> made = ModuleDriver::make(kaveltrum());
    if (!made)
        throw std::runtime_error(made.error());
    return std::move(*made);
}

} // namespace

RawHost::RawHost(int32_t pinCount) : host(madeDriver()), sent(host->sent()) {
    host->answerPinCount(pinCount);
    if (!host->learnPins() || host->pins().size() != PinCount)
        throw std::runtime_error("the module does not describe its fourteen pins");
    if (Status wired = host->wirePins(); !wired)
        throw std::runtime_error(wired.error());
    diagnose(0);
}

RawHost::~RawHost() {
    if (record())
        close();
}

void RawHost::check() {
    EXPECT_TRUE(validOutput(sent, checked));
    checked = sent.size();
    for (const std::string& mistake : host->moduleMistakes())
        ADD_FAILURE() << mistake;
    host->clearMistakes();
}

intptr_t RawHost::dispatch(int32_t opcode, int32_t index, int32_t value, void* pointer, float opt) {
    Result<intptr_t> answer = host->dispatch(opcode, index, value, pointer, opt);
    EXPECT_TRUE(answer.ok()) << answer.error();
    check();
    return answer ? *answer : 0;
}

void RawHost::open() {
    EXPECT_EQ(dispatch(OpOpen), 0);
}

void RawHost::close() {
    EXPECT_EQ(dispatch(OpClose), 1);
}

void RawHost::event(HostEvent event) {
    Status sentEvent = host->event(event);
    EXPECT_TRUE(sentEvent.ok()) << sentEvent.error();
    check();
}

void RawHost::outFile(const std::string& name) {
    host->setText(OutFile, name);
}

void RawHost::text(const std::string& name) {
    outFile(name);
    event(pinStatusEvent(OutFile, 1));
}

void RawHost::set(Pin pin, float level) {
    std::fill(input(pin), input(pin) + BlockCapacity, level);
}

void RawHost::param(Pin pin, int16_t value) {
    Status written = host->setParameter(pin, value);
    EXPECT_TRUE(written.ok()) << written.error();
}

void RawHost::diagnose(uint8_t value) {
    std::memcpy(host->pins()[Diagnose].variable, &value, sizeof value);
}

void RawHost::block(int32_t start) {
    Status ran = host->runBlock(start, frames);
    EXPECT_TRUE(ran.ok()) << ran.error();
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
