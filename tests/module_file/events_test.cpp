// Events as careless hosts send them: pin status for pins that do not exist, events before open,
// MIDI words of every status byte, kinds the module does not know, and calls of a routine.
#include "validator.h"

#include <limits>

namespace validator {
namespace {

// The routine EventCall events carry: counts its calls and remembers the instance it was given.
int calls = 0;
void* calledWith = nullptr;
void SE_ABI countCall(void* instance) {
    ++calls;
    calledWith = instance;
}

const int32_t statuses[] = {-1, 0, 1, 2, 1000};

// Only a status of 1 on OUTFILE (pin 6) names a record file, and only when the host gave the
// instance that pin. The name changes with every event, so each load would leave a new file.
TEST(ValidatorEvents, PinStatusForEveryIndexAndStatus) {
    Scratch scratch;
    for (int32_t pinCount : {0, 1, 6, 7, 14, 40}) {
        RawHost raw(pinCount);
        raw.open();
        raw.set(Play, 1.0f);
        raw.set(Rec, 1.0f);
        for (int32_t index = -5; index <= 40; ++index)
            for (int32_t status : statuses) {
                SCOPED_TRACE(std::to_string(pinCount) + " pins, event for pin " +
                             std::to_string(index) + " with status " + std::to_string(status));
                const std::string name =
                    scratch.file(std::to_string(pinCount) + "_" + std::to_string(index) + "_" +
                                 std::to_string(status) + ".brumo");
                raw.outFile(name);
                raw.event(pinStatusEvent(index, status));
                raw.pulse();
                EXPECT_EQ(exists(name), index == OutFile && status == 1 && pinCount > 6);
            }
    }
}

// Before open the instance has no pins: pin events, MIDI and blocks do nothing and name no file.
// Afterwards it works as any other.
TEST(ValidatorEvents, EverythingBeforeOpen) {
    Scratch scratch;
    const std::string early = scratch.file("early.brumo");
    calls = 0;
    RawHost raw;
    raw.outFile(early);
    raw.set(Rec, 1.0f);
    raw.set(Play, 1.0f);
    for (int32_t index = -5; index <= 40; ++index)
        for (int32_t status : statuses)
            raw.event(pinStatusEvent(index, status));
    for (int32_t status = 0; status < 256; ++status)
        raw.midi(packMidi(status, 60, 100));
    raw.event(callEvent(countCall));
    for (int32_t kind : {-1, 1, 3, 22, 1000})
        raw.event(HostEvent{0, kind, 1, 0, 0, OutFile});
    raw.block();
    raw.pulse();
    EXPECT_FALSE(exists(early));
    EXPECT_TRUE(raw.sent.empty());
    EXPECT_EQ(calls, 1);

    raw.open();
    const std::string row = scratch.file("row.brumo");
    raw.text(row);
    raw.block();
    raw.midi(noteOn(61));
    raw.midi(noteOn(63));
    raw.set(Rec, 0.0f);
    raw.reload();
    raw.pulse();
    raw.pulse();
    EXPECT_EQ(notesPlayed(raw.sent), std::vector<int>({61, 63}));
}

// Every status byte, with data bytes in and out of range and junk in the top byte. Exactly the
// NOTE_ONs (status 0x90 to 0x9F) record their first data byte; the row they make plays back as
// valid NOTE_ONs. A NOTE_ON of velocity 0 is left out: whether it starts a note is the recorder's
// own decision, not a matter of robustness.
TEST(ValidatorEvents, MidiOfEveryStatusByte) {
    Scratch scratch;
    const std::string row = scratch.file("row.brumo");
    RawHost raw;
    raw.open();
    raw.param(LoopIt, 0);
    raw.param(NextNoteOff, 1);
    raw.text(row);
    raw.set(Rec, 1.0f);
    raw.block();
    const int32_t firsts[] = {0, 1, 60, 127, 128, 200, 255};
    const int32_t seconds[] = {0, 1, 64, 127, 128, 255};
    const int32_t tops[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
    std::vector<uint8_t> expected;
    int n = 0;
    for (int32_t status = 0; status < 256; ++status)
        for (int32_t first : firsts)
            for (int32_t second : seconds) {
                if (midiKind(status) == MidiNoteOn && second == 0)
                    continue;
                const int32_t top = tops[n % 5];
                const auto message =
                    static_cast<int32_t>(static_cast<uint32_t>(packMidi(status, first, second)) |
                                         static_cast<uint32_t>(top) << 24);
                raw.event(midiEvent(message, n * 7919 - 40000, static_cast<uint16_t>(n * 31)));
                if (midiKind(status) == MidiNoteOn)
                    expected.push_back(static_cast<uint8_t>(first));
                ++n;
            }
    raw.set(Rec, 0.0f);
    raw.reload();
    ASSERT_EQ(readBytes(row), expected);

    raw.set(Play, 1.0f);
    raw.block();
    for (size_t i = 0; i < expected.size() + 2; ++i)
        raw.pulse();
    const std::vector<int> played = notesPlayed(raw.sent);
    ASSERT_EQ(played.size(), expected.size());
    for (size_t i = 0; i < played.size(); ++i) {
        if (expected[i] < 128) {
            ASSERT_EQ(played[i], expected[i]) << "note " << i;
        }
    }
}

// Kinds outside pin status, MIDI and call: ignored, whatever the other words say. Read as a pin
// status they would name a file; read as a call they would run the routine; read as MIDI they
// would record a note.
TEST(ValidatorEvents, UnknownKindsAreIgnored) {
    Scratch scratch;
    const std::string row = scratch.file("row.brumo");
    const std::string other = scratch.file("other.brumo");
    RawHost raw;
    raw.open();
    raw.text(row);
    raw.set(Rec, 1.0f);
    raw.block();
    raw.outFile(other);
    const int32_t kinds[] = {-1,
                             1,
                             3,
                             4,
                             20,
                             22,
                             255,
                             1000,
                             std::numeric_limits<int32_t>::min(),
                             std::numeric_limits<int32_t>::max()};
    calls = 0;
    for (int32_t kind : kinds) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        raw.event(HostEvent{0, kind, 1, 0, 0, OutFile});
        raw.event(HostEvent{0, kind, noteOn(60), 0, 0, OutFile});
        raw.event(HostEvent{0, kind, 1, 0, 0, reinterpret_cast<intptr_t>(&countCall)});
        raw.event(HostEvent{0, kind, noteOn(60), 0, 0, reinterpret_cast<intptr_t>(&countCall)});
        raw.block();
    }
    raw.set(Rec, 0.0f);
    raw.reload();
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(exists(other));
    EXPECT_TRUE(readBytes(row).empty());
    EXPECT_TRUE(raw.sent.empty());
}

// EventCall runs the host's routine with the instance, once per event, before and after open;
// a call without a routine does nothing.
TEST(ValidatorEvents, CallRunsTheHostsRoutineWithTheInstance) {
    RawHost raw;
    calls = 0;
    calledWith = nullptr;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (int n = 0; n < 1000; ++n)
            raw.event(callEvent(countCall));
        raw.event(callEvent(nullptr));
        EXPECT_EQ(calls, 1000 * (round + 1));
        EXPECT_EQ(calledWith, raw.driver().instance());
        raw.open(); // the next round finds the instance opened once more
        raw.block();
    }
}

} // namespace
} // namespace validator
