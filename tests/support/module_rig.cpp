#include "support/module_rig.h"

#include "module.h"
#include "support/table_module.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

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

std::unique_ptr<ModuleDriver> kaveltrumDriver(int32_t pinCount, bool withCallback) {
    MakeOptions options;
    options.withCallback = withCallback;
    options.askProperties = false; // some tests need a process in which nobody asked yet
    return linkedDriver({getModuleProperties, makeModule}, options, pinCount);
}

namespace {

void expectOk(const Status& status) {
    EXPECT_TRUE(status.ok()) << status.error();
}

std::unique_ptr<ModuleDriver> openedKaveltrum(int32_t pinCount, bool withCallback) {
    std::unique_ptr<ModuleDriver> driver = kaveltrumDriver(pinCount, withCallback);
    expectOk(driver->learnPins());
    expectOk(driver->wirePins());
    EXPECT_TRUE(driver->open().ok());
    return driver;
}

} // namespace

ModuleRig::ModuleRig(int32_t pinCount, bool withCallback)
    : driver(openedKaveltrum(pinCount, withCallback)), host(*driver), record(host.record()) {
    diagnose(false);
}

void ModuleRig::close() {
    if (host.record()) {
        EXPECT_TRUE(host.close().ok());
    }
    record = nullptr;
}

void ModuleRig::set(int32_t pin, float level) {
    std::fill(host.block(pin), host.block(pin) + BlockCapacity, level);
}

void ModuleRig::param(int32_t pin, int16_t value) {
    expectOk(host.setParameter(pin, value));
}

void ModuleRig::diagnose(bool on) {
    expectOk(host.setParameter(7, on ? 1 : 0));
}

void ModuleRig::detach(int32_t pin) {
    float* none = nullptr;
    std::memcpy(host.pins()[static_cast<size_t>(pin)].variable, &none, sizeof none);
}

void ModuleRig::loadRow(const std::string& path, const std::vector<uint8_t>& bytes) {
    writeBytes(path, bytes);
    outFile(path);
}

void ModuleRig::outFile(const std::string& name) {
    host.setText(6, name);
    pinStatus(6, 1);
}

void ModuleRig::pinStatus(int32_t pin, int32_t status) {
    expectOk(host.pinStatus(pin, status));
}

void ModuleRig::midi(int32_t message) {
    expectOk(host.midi(message));
}

void ModuleRig::block(int32_t start) {
    expectOk(host.runBlock(start));
}

void ModuleRig::pulse() {
    set(4, 1.0f);
    block();
    set(4, 0.0f);
    block();
}

std::vector<int32_t> ModuleRig::sent() const {
    std::vector<int32_t> messages;
    for (const ModuleMidi& m : host.sent()) {
        EXPECT_EQ(m.pin, 13);
        messages.push_back(m.message);
    }
    return messages;
}
