// Every dispatcher opcode from -1000 to 1000 with odd indices, values, floats and pointers.
// Open (0) and close (1) change the instance's life; the lifecycle tests take them on purpose.
#include "validator.h"

#include <array>
#include <cstring>
#include <limits>

namespace validator {
namespace {

constexpr int32_t Smallest = std::numeric_limits<int32_t>::min();
constexpr int32_t Largest = std::numeric_limits<int32_t>::max();

const int32_t indices[] = {Smallest, -1, 0, 1, 6, 13, 14, Largest};
const int32_t values[] = {Smallest, -1, 0, 1, 400, Largest};
const float floats[] = {0.0f,
                        -1.0f,
                        std::numeric_limits<float>::quiet_NaN(),
                        std::numeric_limits<float>::infinity(),
                        1e38f,
                        std::numeric_limits<float>::denorm_min()};

bool allZero(const uint8_t* bytes, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// Sends every opcode but 0 and 1 and checks each answer: 0 for everything but a pin description
// of a described pin (1, filled into the first 32 bytes of the buffer) and opcode 13 (the
// sub-process record). No other opcode writes into the buffer it is given. Returns the number
// of requests sent.
int sweep(RawHost& raw) {
    alignas(8) std::array<uint8_t, 256> buffer{};
    int sent = 0;
    for (int32_t opcode = -1000; opcode <= 1000; ++opcode) {
        if (opcode == OpOpen || opcode == OpClose)
            continue;
        for (int32_t index : indices)
            for (int32_t value : values)
                for (bool withBuffer : {false, true}) {
                    buffer.fill(0);
                    void* pointer = withBuffer ? buffer.data() : nullptr;
                    const float opt = floats[sent % std::size(floats)];
                    const intptr_t answer = raw.dispatch(opcode, index, value, pointer, opt);
                    ++sent;
                    const std::string where =
                        "opcode " + std::to_string(opcode) + ", index " + std::to_string(index) +
                        ", value " + std::to_string(value) + (withBuffer ? ", buffer" : ", null");
                    if (opcode == OpSubProcessInfo) {
                        const auto* info = reinterpret_cast<const SubProcessInfo*>(answer);
                        if (!info || info->one != 1 ||
                            info->size != static_cast<int32_t>(sizeof(SubProcessSelection)) ||
                            info->zero != 0 || !info->selection ||
                            info->selection->routine != raw.record()->subProcess) {
                            ADD_FAILURE() << where << ": not this instance's sub-process record";
                            return sent;
                        }
                    } else if (opcode == OpGetPinDescription && withBuffer && index >= 0 &&
                               index < PinCount) {
                        PinDescription description;
                        std::memcpy(&description, buffer.data(), sizeof description);
                        if (answer != 1 || !description.pinName ||
                            std::strcmp(description.pinName, pinNames[index]) != 0 ||
                            !allZero(buffer.data(), sizeof description, buffer.size())) {
                            ADD_FAILURE() << where << ": not the pin's description";
                            return sent;
                        }
                    } else if (answer != 0 || !allZero(buffer.data(), 0, buffer.size())) {
                        ADD_FAILURE()
                            << where << ": answered " << answer << " or wrote into the buffer";
                        return sent;
                    }
                }
    }
    return sent;
}

// The sweep on an opened instance that has a row loaded and a record file open, and on one not
// yet opened. Afterwards both record and play as before.
TEST(ValidatorDispatcher, EveryOpcodeWithOddArguments) {
    Scratch scratch;
    for (bool openFirst : {true, false}) {
        SCOPED_TRACE(openFirst ? "opened" : "not yet opened");
        const std::string row = scratch.file(openFirst ? "opened.brumo" : "unopened.brumo");
        writeBytes(row, {60, 62, 64, 65});
        RawHost raw;
        // Opens the instance with the row loaded, one note played and one recorded.
        const auto start = [&] {
            raw.open();
            raw.param(LoopIt, 0);
            raw.text(row);
            raw.set(Play, 1.0f);
            raw.set(Rec, 1.0f);
            raw.block();
            raw.pulse();
            raw.midi(noteOn(70));
        };
        if (openFirst)
            start();
        EXPECT_EQ(sweep(raw), 1999 * 8 * 6 * 2);
        if (!openFirst)
            start();
        raw.midi(noteOn(71));
        raw.set(Rec, 0.0f);
        raw.reload();
        for (int i = 0; i < 5; ++i)
            raw.pulse();
        EXPECT_EQ(notesPlayed(raw.sent), std::vector<int>({60, 62, 64, 65, 70, 71}));
        raw.close();
        EXPECT_EQ(readBytes(row), std::vector<uint8_t>({60, 62, 64, 65, 70, 71}));
    }
}

} // namespace
} // namespace validator
