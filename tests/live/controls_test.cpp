// What control changes, transport and keys do to the module's five control inputs, block by
// block.
#include "block_split.h"
#include "live_controls.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The controls follow the internal clock from edge to edge as the engine asks for it, stretch by
// stretch; that must agree with the clock's level and next edge at the very frame asked about,
// whatever the tempo, rate, period and block, after a jump ahead (cycles missed) and on a look
// back.
TEST(Controls, FollowTheInternalClockAsItsLevelAtEveryFrameSays) {
    struct Case {
        double rate, bpm;
        uint32_t period, blockSize;
        int64_t jumpEvery; // periods between two jumps of `jump` frames ahead, or 0
        int64_t jump;
    };
    const Case cases[] = {
        {44100, 120, 256, 64, 0, 0},
        {44100, 120, 100, 64, 7, 1},
        {44100, 120, 256, 64, 50, int64_t{5512} * 9},
        {48000, 90, 1024, 37, 0, 0},
        {96000, 137, 64, 256, 13, 10511},
        {22050, 999, 300, 512, 3, int64_t{331} * 2 + 1},
        {44100, 4, 4096, 4096, 0, 0},
        {44100, 120, 7, 1, 0, 0},
        {44100, 300, 1, 1, 0, 0},
        {192000, 41, 2048, 100, 2, 1000003},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.bpm << " BPM, periods of "
                                        << c.period << ", blocks of " << c.blockSize);
        ControlSettings settings;
        settings.sampleRate = c.rate;
        settings.bpm = c.bpm;
        Controls controls(settings);
        const InternalClock clock(c.rate, c.bpm);
        const double sixteenth = c.rate * 15.0 / c.bpm;
        const auto until = static_cast<int64_t>(std::min(sixteenth * 40, 400000.0));
        // the first disagreement of a case says all; the rest of it is not walked
        const auto agrees = [&](int64_t at) {
            const int64_t edge = controls.nextClockEdge(at);
            const bool high = controls.levelsFor(at).gate();
            if (edge == clock.nextEdgeAfter(at) && high == clock.highAt(at))
                return true;
            ADD_FAILURE() << "at " << at << ": edge " << edge << ", " << (high ? "high" : "low");
            return false;
        };
        int64_t start = 0, periods = 0, asked = 0;
        bool agreed = true;
        for (; start < until && agreed; start += c.period) {
            if (c.jumpEvery > 0 && ++periods % c.jumpEvery == 0)
                start += c.jump;
            for (PeriodSplit split(c.period, c.blockSize); !split.done() && agreed; ++asked) {
                const int64_t at = start + split.start();
                agreed = agrees(at);
                split.next(controls.nextClockEdge(at) - start);
            }
        }
        EXPECT_GT(asked, 40);
        for (int64_t at = start; at >= -3 && agreed; at -= 997) // looking back
            agreed = agrees(at);
    }
}

} // namespace
