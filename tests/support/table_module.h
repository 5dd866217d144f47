// A module whose pins come from a table the test gives, and which remembers what it was asked.
#pragma once

#include "module_base.h"
#include "support/instance.h"

#include <memory>
#include <vector>

struct MidiCall {
    int32_t timeDelta;
    int32_t message;
    int32_t extra;
};

class TableModule : public SEModule_base {
  public:
    TableModule(HostCallback callback, intptr_t handle, std::vector<PinDescription> table = {})
        : SEModule_base(callback, handle), table(std::move(table)) {}
    ~TableModule() override { ++destroyed; }

    bool getPinDescription(int32_t index, PinDescription* description) override {
        asked.push_back(index);
        if (index < 0 || static_cast<size_t>(index) >= table.size())
            return false;
        *description = table[static_cast<size_t>(index)];
        return true;
    }
    void onPinStatusChange(SEPin* pin) override { statusSeen.push_back(pin->status); }
    void onMidiData(int32_t t, int32_t m, int32_t e) override { midi.push_back({t, m, e}); }
    void onRequest8() override { calls.push_back(8); }
    void onRequest8Count(int32_t count) override { calls.push_back(1000 + count); }
    void onRequest12(int32_t value, int32_t index, void*) override {
        calls.push_back(12);
        calls.push_back(value);
        calls.push_back(index);
    }

    using SEModule_base::blockSize;
    using SEModule_base::pins;
    using SEModule_base::sampleRate;
    using SEModule_base::subProcess;

    std::vector<PinDescription> table;
    std::vector<int32_t> asked;
    std::vector<int32_t> statusSeen;
    std::vector<MidiCall> midi;
    std::vector<int32_t> calls;
    static inline int destroyed = 0;
};

inline PinDescription pinOf(int32_t datatype, int32_t flags = 0, void* variable = nullptr) {
    PinDescription d{};
    d.variableAddress = variable;
    d.direction = DirIn;
    d.datatype = datatype;
    d.pinName = "pin";
    d.pinFlags = flags;
    return d;
}

// A TableModule made through the driver's makeModule call, as a host makes one: the test's
// table, the host's answer to HostPinCount. Not opened, its pins not learned.
struct TableRig : Instance {
    explicit TableRig(std::vector<PinDescription> table = {}, int32_t pinCount = 0,
                      bool withCallback = true);

    TableModule* module;
};
