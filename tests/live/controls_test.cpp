// What control changes, transport and keys do to the module's five control inputs, block by
// block.
#include "live_controls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One step of a case: a message (or a key), then the levels of the next block.
struct Step {
    std::vector<uint8_t> message; // empty: a key
    Key key;
    Taken taken;
    const char* levels; // "RPTGL" for REC, PLAY, RETURN, GATE, RELOAD high; '-' low
};

std::string shown(const Levels& l) {
    std::string s = "-----";
    s[0] = l.rec() ? 'R' : '-';
    s[1] = l.play() ? 'P' : '-';
    s[2] = l.ret() ? 'T' : '-';
    s[3] = l.gate() ? 'G' : '-';
    s[4] = l.reload() ? 'L' : '-';
    return s;
}

void run(Controls& controls, const std::vector<Step>& steps) {
    int64_t frame = 3000; // where the internal clock is low, for the whole case
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i);
        const Step& step = steps[i];
        if (step.message.empty())
            controls.key(step.key);
        else
            EXPECT_EQ(controls.take(step.message.data(), step.message.size(), frame), step.taken);
        EXPECT_EQ(shown(controls.levelsFor(frame)), step.levels);
        frame += 64;
    }
}

ControlSettings midiClock() {
    ControlSettings s;
    s.clock = ClockSource::Midi;
    return s;
}

const std::vector<uint8_t> Start{0xFA}, Continue{0xFB}, Stop{0xFC}, Tick{0xF8};
const std::vector<uint8_t> NoteOn{0x90, 60, 100};
std::vector<uint8_t> cc(uint8_t channel, uint8_t number, uint8_t value) {
    return {static_cast<uint8_t>(0xB0 | channel), number, value};
}

TEST(Controls, InternalClockPlaysFromTheStartAndPassesEveryOtherMessage) {
    Controls controls(ControlSettings{});
    run(controls,
        {
            {NoteOn, Key::Rec, Taken::Module, "-P---"},
            {cc(0, 64, 127), Key::Rec, Taken::Module, "-P---"}, // no control is 64
            {Start, Key::Rec, Taken::Used, "-P---"}, // not our transport, not the module's
            {Tick, Key::Rec, Taken::Used, "-P---"},
            {Stop, Key::Rec, Taken::Used, "-P---"},
        });
}

TEST(Controls, ControlChangesSteerTheirInputsOnAnyChannelAtSixtyFour) {
    ControlSettings s;
    s.recCc = 64;
    s.playCc = 20;
    s.returnCc = 21;
    s.reloadCc = 22;
    Controls controls(s);
    run(controls, {
                      {cc(0, 20, 64), Key::Rec, Taken::Used, "-P---"}, // PLAY starts low
                      {cc(15, 64, 127), Key::Rec, Taken::Used, "RP---"},
                      {cc(3, 64, 64), Key::Rec, Taken::Used, "RP---"},
                      {cc(3, 64, 63), Key::Rec, Taken::Used, "-P--L"}, // REC falls: one reload
                      {cc(0, 20, 63), Key::Rec, Taken::Used, "-----"},
                      {cc(0, 21, 100), Key::Rec, Taken::Used, "--T--"},
                      {NoteOn, Key::Rec, Taken::Module, "--T--"}, // held while the pedal is
                      {cc(0, 21, 0), Key::Rec, Taken::Used, "-----"},
                      {cc(9, 22, 127), Key::Rec, Taken::Used, "----L"},
                      {cc(9, 22, 1), Key::Rec, Taken::Used, "-----"},
                      {cc(0, 23, 127), Key::Rec, Taken::Module, "-----"}, // not ours
                      {{0xC0, 20}, Key::Rec, Taken::Module, "-----"}, // a program change, not a CC
                  });
    // Before any control change, PLAY is low with --play-cc
    ControlSettings playCc;
    playCc.playCc = 1;
    Controls waiting(playCc);
    EXPECT_FALSE(waiting.levelsFor(10).play());
}

TEST(Controls, MidiTransportRaisesPlayAndReturnAndStopEndsTheNotes) {
    Controls controls(midiClock());
    run(controls, {
                      {Tick, Key::Rec, Taken::Used, "-----"},     // stopped: waiting
                      {Start, Key::Rec, Taken::Used, "-PT--"},    // RETURN for one block
                      {NoteOn, Key::Rec, Taken::Module, "-P---"}, // START's first clock is late
                      {Tick, Key::Rec, Taken::Used, "-P-G-"},
                      {Tick, Key::Rec, Taken::Used, "-P-G-"},
                      {Tick, Key::Rec, Taken::Used, "-P-G-"},
                      {Tick, Key::Rec, Taken::Used, "-P---"},
                      {Stop, Key::Rec, Taken::Stopped, "-----"},
                      {Tick, Key::Rec, Taken::Used, "-----"},
                      {Continue, Key::Rec, Taken::Used, "-P---"}, // no RETURN
                      {Tick, Key::Rec, Taken::Used, "-P-G-"},
                  });
}

TEST(Controls, PlayCcSteersPlayWithTheMidiClockToo) {
    ControlSettings s = midiClock();
    s.playCc = 7;
    Controls controls(s);
    run(controls, {
                      {Start, Key::Rec, Taken::Used, "-PT--"},
                      {cc(2, 7, 0), Key::Rec, Taken::Used, "-----"},
                      {cc(2, 7, 127), Key::Rec, Taken::Used, "-P---"},
                  });
}

TEST(Controls, KeysToggleAndPulse) {
    ControlSettings s;
    s.recHeld = true;
    Controls controls(s);
    run(controls, {
                      {{}, Key::Return, Taken::Module, "RPT--"},
                      {{}, Key::Reload, Taken::Module, "RP--L"},
                      {{}, Key::Play, Taken::Module, "R----"},
                      {{}, Key::Rec, Taken::Module, "----L"}, // the take is reloaded
                      {{}, Key::Play, Taken::Module, "-P---"},
                      {{}, Key::Rec, Taken::Module, "RP---"},
                  });
}

} // namespace
