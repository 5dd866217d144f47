#include "support/fake_host.h"

#include <algorithm>
#include <cstring>

intptr_t SE_ABI FakeHost::callback(PluginRecord* record, int32_t opcode, int32_t index,
                                   int32_t value, void* pointer, float) {
    auto* host = reinterpret_cast<FakeHost*>(record->hostHandle);
    HostRequest request{record, opcode, index, value, pointer};
    host->requests.push_back(request);
    return host->answer(request);
}

intptr_t FakeHost::answer(const HostRequest& request) {
    switch (request.opcode) {
    case HostSampleClock:
        return clock;
    case HostPinCount:
        return pinCount;
    case HostPinBuffer:
        return reinterpret_cast<intptr_t>(block(request.index));
    case HostPinText: {
        auto* buffer = static_cast<char*>(request.pointer);
        const size_t capacity = static_cast<size_t>(request.value);
        if (!buffer || capacity == 0)
            return 0;
        if (!terminateText) {
            for (size_t i = 0; i < capacity; ++i)
                buffer[i] = pinText.empty() ? 'x' : pinText[i % pinText.size()];
            return 0;
        }
        const size_t length = std::min(pinText.size(), capacity - 1);
        std::memcpy(buffer, pinText.data(), length);
        buffer[length] = '\0';
        return 0;
    }
    default:
        return 0;
    }
}

int FakeHost::countOf(int32_t opcode) const {
    return static_cast<int>(
        std::count_if(requests.begin(), requests.end(),
                      [&](const HostRequest& r) { return r.opcode == opcode; }));
}

std::vector<SentMidi> FakeHost::sentMidi() const {
    std::vector<SentMidi> sent;
    for (const HostRequest& r : requests)
        if (r.opcode == HostSendMidi)
            sent.push_back(
                {r.index, r.value, static_cast<int32_t>(reinterpret_cast<intptr_t>(r.pointer))});
    return sent;
}

float* FakeHost::block(int32_t pin) {
    if (pin < 0)
        return nullptr;
    if (blocks.size() <= static_cast<size_t>(pin))
        blocks.resize(static_cast<size_t>(pin) + 1);
    if (blocks[static_cast<size_t>(pin)].empty())
        blocks[static_cast<size_t>(pin)].assign(64, 0.0f);
    return blocks[static_cast<size_t>(pin)].data();
}

PinDescription askDescription(PluginRecord* record, int32_t index, intptr_t* result) {
    PinDescription description;
    std::memset(&description, 0, sizeof description);
    const intptr_t answer =
        record->dispatcher(record, OpGetPinDescription, index, 0, &description, 0.0f);
    if (result)
        *result = answer;
    return description;
}
