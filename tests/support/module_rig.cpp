#include "support/module_rig.h"

#include "module.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// The row, the play state and the record file are process-wide, as they are in a loaded library.
// Every test starts from the state the library has when it is loaded, whatever ran before it.
class FreshRowStateForEachTest : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        RowState& state = rowState();
        closeRecordFile(state);
        delete[] state.row;
        state = RowState{};
    }
};

const bool freshRowStates = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new FreshRowStateForEachTest);
    return true;
}();

} // namespace

PluginRecord* makeKaveltrum(HostCallback callback, intptr_t hostHandle) {
    return makeModule(0, 1, callback, hostHandle);
}

ModuleRig::ModuleRig(int32_t pinCount, bool withCallback) {
    host.pinCount = pinCount;
    record = makeKaveltrum(withCallback ? FakeHost::callback : nullptr, host.handle());
    describe();
    record->dispatcher(record, OpOpen, 0, 0, nullptr, 0.0f);
    diagnose(false);
}

ModuleRig::~ModuleRig() {
    close();
}

void ModuleRig::close() {
    if (record)
        record->dispatcher(record, OpClose, 0, 0, nullptr, 0.0f);
    record = nullptr;
}

// Learns where each pin's value lives, hands out sample blocks and writes the defaults.
void ModuleRig::describe() {
    for (int32_t i = 0; i < 14; ++i) {
        const PinDescription d = askDescription(record, i);
        variables[static_cast<size_t>(i)] = d.variableAddress;
        if (!d.variableAddress)
            continue;
        if (d.datatype == DtSamples)
            *static_cast<float**>(d.variableAddress) = blocks[static_cast<size_t>(i)].data();
        if (d.datatype == DtInt16)
            *static_cast<int16_t*>(d.variableAddress) =
                static_cast<int16_t>(d.defaultText ? std::atoi(d.defaultText) : 0);
        if (d.datatype == DtBool)
            *static_cast<uint8_t*>(d.variableAddress) =
                d.defaultText && std::strcmp(d.defaultText, "true") == 0;
    }
}

void ModuleRig::set(int32_t pin, float level) {
    blocks[static_cast<size_t>(pin)].fill(level);
}

void ModuleRig::param(int32_t pin, int16_t value) {
    *static_cast<int16_t*>(variables[static_cast<size_t>(pin)]) = value;
}

void ModuleRig::diagnose(bool on) {
    *static_cast<uint8_t*>(variables[7]) = on ? 1 : 0;
}

void ModuleRig::detach(int32_t pin) {
    *static_cast<float**>(variables[static_cast<size_t>(pin)]) = nullptr;
}

void ModuleRig::loadRow(const std::string& path, const std::vector<uint8_t>& bytes) {
    writeBytes(path, bytes);
    outFile(path);
}

void ModuleRig::outFile(const std::string& name) {
    host.pinText = name;
    pinStatus(6, 1);
}

void ModuleRig::pinStatus(int32_t pin, int32_t status) {
    HostEvent event{};
    event.kind = EventPinStatus;
    event.value = status;
    event.target = pin;
    record->event(record->instance, &event);
}

void ModuleRig::midi(int32_t message) {
    HostEvent event{};
    event.kind = EventMidi;
    event.value = message;
    record->event(record->instance, &event);
}

void ModuleRig::block(int32_t start) {
    record->subProcess(record->instance, start, 64 - start);
    host.clock += 64;
}

void ModuleRig::pulse() {
    set(4, 1.0f);
    block();
    set(4, 0.0f);
    block();
}

std::vector<int32_t> ModuleRig::sent() const {
    std::vector<int32_t> messages;
    for (const SentMidi& m : host.sentMidi()) {
        EXPECT_EQ(m.pin, 13);
        messages.push_back(m.message);
    }
    return messages;
}

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "scratch";
    for (char& c : name)
        if (c == '/')
            c = '_';
    folder = (fs::temp_directory_path() / ("kaveltrum-" + name)).string();
    fs::remove_all(folder);
    fs::create_directories(folder);
    previous = fs::current_path().string();
    fs::current_path(folder);
    std::remove(logFilePath().c_str());
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::current_path(previous, ignored);
    fs::remove_all(folder, ignored);
}

std::string ScratchFolder::path(const std::string& name) const {
    return (fs::path(folder) / name).string();
}

std::string logFilePath() {
#if defined(_WIN32)
    return "D:\\DIAGNOSE.TXT";
#else
    return (fs::current_path() / "DIAGNOSE.TXT").string();
#endif
}
