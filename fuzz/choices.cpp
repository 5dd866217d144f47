#include "choices.h"

#include "fuzz_host.h"
#include "host_events.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

float bitsAsFloat(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

int32_t anyInt32(FuzzedDataProvider& in) {
    const int32_t table[] = {0, 1, 2, -1, 13, 14, 127, 128, INT32_MAX, INT32_MIN};
    return in.ConsumeBool() ? pick(in, table) : in.ConsumeIntegral<int32_t>();
}

int16_t anyInt16(FuzzedDataProvider& in) {
    const int16_t table[] = {0, 1, 2, 3, -1, 20, 21, 22, 23, 100, 127, 128, 2000, 32767, -32768};
    return in.ConsumeBool() ? pick(in, table) : in.ConsumeIntegral<int16_t>();
}

// Levels around the 0.2 threshold and the ones a careless patch produces.
float anyLevel(FuzzedDataProvider& in) {
    const float table[] = {
        0.0f,
        1.0f,
        0.2f,
        std::nextafter(0.2f, 0.0f),
        std::nextafter(0.2f, 1.0f),
        std::numeric_limits<float>::quiet_NaN(),
        -std::numeric_limits<float>::quiet_NaN(),
        std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(),
        std::numeric_limits<float>::denorm_min(),
        -std::numeric_limits<float>::denorm_min(),
        FLT_MIN / 2,
        FLT_MAX,
        -FLT_MAX,
        -1.0f,
    };
    return in.ConsumeIntegralInRange(0, 3) ? pick(in, table)
                                           : bitsAsFloat(in.ConsumeIntegral<uint32_t>());
}

int32_t anyMidi(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 3) == 0)
        return in.ConsumeIntegral<int32_t>();
    const uint8_t statuses[] = {0x90, 0x80, 0x93, 0x9F, 0xB0, 0xF8};
    const uint32_t status = in.ConsumeBool() ? pick(in, statuses) : in.ConsumeIntegral<uint8_t>();
    const uint32_t note = in.ConsumeIntegral<uint8_t>();
    const uint32_t velocity = in.ConsumeIntegral<uint8_t>();
    const uint32_t top = in.ConsumeIntegralInRange(0, 7) ? 0 : in.ConsumeIntegral<uint8_t>();
    return static_cast<int32_t>(status | note << 8 | velocity << 16 | top << 24);
}

HostEvent anyOtherEvent(FuzzedDataProvider& in) {
    const int32_t kind = in.ConsumeBool() ? EventCall : in.ConsumeIntegral<int32_t>();
    const int32_t timeDelta = in.ConsumeIntegral<int32_t>();
    const int32_t value = in.ConsumeIntegral<int32_t>();
    const uint16_t extra = in.ConsumeIntegral<uint16_t>();
    intptr_t target = in.ConsumeIntegral<int32_t>();
    if (kind == EventCall)
        target = in.ConsumeBool() ? reinterpret_cast<intptr_t>(&FuzzHost::eventRoutine) : 0;
    return anyEvent(kind, timeDelta, value, extra, target);
}

int32_t anyPinCount(FuzzedDataProvider& in) {
    const int32_t table[] = {14, 14, 14, 0, -1, 1, 6, 7, 13, 15, 100, 5000, INT32_MIN};
    return in.ConsumeBool() ? pick(in, table) : in.ConsumeIntegral<int32_t>();
}
