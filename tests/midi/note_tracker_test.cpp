// Notes paired from the NOTE_ONs and NOTE_OFFs of a stream, under each of the tracker's rules.
#include "note_tracker.h"

#include "abi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Sent {
    double seconds;
    int32_t message;
};

int32_t on(int pitch, int velocity = 100, int channel = 0) {
    return packMidi(MidiNoteOn | channel, pitch, velocity);
}
int32_t off(int pitch, int channel = 0) {
    return packMidi(MidiNoteOff | channel, pitch, 64);
}

// "#0 ch1 60 v100 1-3": the note's place, channel, pitch, velocity, start and end.
std::string describe(const std::vector<Note>& notes) {
    std::string text;
    for (const Note& n : notes) {
        char line[80];
        std::snprintf(line, sizeof line, "%s#%llu ch%d %d v%d %g-%g", text.empty() ? "" : ", ",
                      static_cast<unsigned long long>(n.number), n.channel + 1, n.pitch, n.velocity,
                      n.start, n.end);
        text += line;
    }
    return text;
}

TEST(NoteTracker, PairsEachEndWithTheEarliestNoteOfItsKey) {
    // each keeps the ended notes, to show them
    const NoteTracker::Rules heard{false, false, true}, drawn{true, false, true},
        keys{false, true, true};
    const struct {
        const char* what;
        NoteTracker::Rules rules;
        std::vector<Sent> sent;
        const char* sounding; // before the end
        const char* notes;    // every note, once the end at 9 ended those still sounding
    } cases[] = {
        {"a note and its end", heard, {{1, on(60)}, {3, off(60)}}, "", "#0 ch1 60 v100 1-3"},
        {"the earliest of a key struck twice ends first",
         heard,
         {{1, on(60, 90)}, {2, on(60, 80)}, {3, off(60)}},
         "#1 ch1 60 v80 2-2",
         "#0 ch1 60 v90 1-3, #1 ch1 60 v80 2-9"},
        {"channels are keys of their own",
         heard,
         {{1, on(60, 100, 0)}, {2, on(60, 100, 3)}, {3, off(60, 3)}},
         "#0 ch1 60 v100 1-1",
         "#0 ch1 60 v100 1-9, #1 ch4 60 v100 2-3"},
        {"a NOTE_ON of velocity 0 ends a note",
         heard,
         {{1, on(62)}, {2, on(62, 0)}},
         "",
         "#0 ch1 62 v100 1-2"},
        {"an end of nothing and other messages pass by",
         heard,
         {{1, off(64)}, {2, packMidi(0xB0, 64, 127)}, {3, on(64)}, {4, packMidi(0xE0, 64, 0)}},
         "#0 ch1 64 v100 3-3",
         "#0 ch1 64 v100 3-9"},
        {"ends in another order than the starts",
         heard,
         {{1, on(60)}, {2, on(67)}, {3, off(67)}, {4, off(60)}},
         "",
         "#0 ch1 60 v100 1-4, #1 ch1 67 v100 2-3"},
        {"drawn: a NOTE_ON of velocity 0 is a silent note",
         drawn,
         {{1, on(62, 0)}, {2, on(62, 0)}, {3, off(62)}},
         "#1 ch1 62 v0 2-2",
         "#0 ch1 62 v0 1-3, #1 ch1 62 v0 2-9"},
        {"by key: one end ends every note of its key",
         keys,
         {{1, on(60)}, {2, on(60)}, {3, on(61)}, {4, off(60)}},
         "#2 ch1 61 v100 3-3",
         "#0 ch1 60 v100 1-4, #1 ch1 60 v100 2-4, #2 ch1 61 v100 3-9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NoteTracker tracker(c.rules);
        for (const Sent& s : c.sent)
            tracker.take(s.seconds, s.message);
        EXPECT_EQ(describe(tracker.sounding()), c.sounding);
        tracker.finish(9);
        EXPECT_EQ(describe(tracker.ended()), c.notes);
        EXPECT_TRUE(tracker.sounding().empty());
    }
}

TEST(NoteTracker, FinishEndsWhatStillSoundsAndKeepsOnlyWhatItIsAskedTo) {
    NoteTracker heard;
    for (const Sent& s : std::vector<Sent>{{1, on(72)}, {2, on(48, 50, 1)}, {3, on(72)}})
        heard.take(s.seconds, s.message);
    EXPECT_EQ(describe(heard.finish(5)),
              "#0 ch1 72 v100 1-5, #1 ch2 48 v50 2-5, #2 ch1 72 v100 3-5");
    EXPECT_EQ(describe(heard.ended()), ""); // ended notes are not kept by default
    EXPECT_EQ(describe(heard.finish(6)), "");

    // slots of ended notes are used again, and the notes keep their places
    NoteTracker kept({false, false, true});
    for (int i = 0; i < 4; ++i) {
        kept.take(i, on(60 + i));
        kept.take(i + 0.5, off(60 + i));
    }
    kept.take(10, on(70));
    EXPECT_EQ(describe(kept.sounding()), "#4 ch1 70 v100 10-10");
    kept.finish(11);
    EXPECT_EQ(describe(kept.ended()), "#0 ch1 60 v100 0-0.5, #1 ch1 61 v100 1-1.5, "
                                      "#2 ch1 62 v100 2-2.5, #3 ch1 63 v100 3-3.5, "
                                      "#4 ch1 70 v100 10-11");
}

} // namespace
