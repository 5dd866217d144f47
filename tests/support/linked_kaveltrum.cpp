#include "support/linked_kaveltrum.h"

#include "module.h"

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

Setup opened(int32_t pinCount, bool withCallback) {
    Setup setup;
    setup.pinCount = pinCount;
    setup.withCallback = withCallback;
    return setup;
}

} // namespace

LinkedKaveltrum::LinkedKaveltrum(int32_t pinCount, bool withCallback)
    : LinkedKaveltrum(opened(pinCount, withCallback)) {}

// Some tests need a process in which nobody asked for the properties yet, so the instance is
// made without asking.
LinkedKaveltrum::LinkedKaveltrum(Setup setup)
    : Instance(ModuleEntries{getModuleProperties, makeModule}, setup) {
    diagnose(0);
}
