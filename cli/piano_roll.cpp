#include "piano_roll.h"

#include "note_names.h"
#include "note_tracker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Layout, in pixels.
constexpr double Left = 48, Right = 16, Top = 28, GateStrip = 14, Axis = 20;
constexpr double ShortestBar = 1.5;
constexpr double PixelsPerSecond = 200; // a sixteenth at 120 BPM is 25 px wide
constexpr double NarrowestRoll = 800, WidestRoll = 16000;
constexpr double LabelSpacing = 48;  // time labels at least this far apart
constexpr double RepeatNames = 1200; // the Cs are named again this far apart

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // control characters are not allowed in XML, and a file name need not be UTF-8
            out += static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x80
                       ? '?'
                       : c;
        }
    }
    return out;
}

// One bar per NOTE_ON, a silent one too, in the order they were sent; each NOTE_OFF ends the
// earliest note of its pitch that still sounds, as the player's ring ends them, and what still
// sounds at the end lasts to the end.
std::vector<Note> barsOf(const PianoRoll& roll) {
    NoteTracker tracker({/*silentNotes=*/true, /*endsEveryNote=*/false, /*keepsEnded=*/true});
    for (const TimedMessage& m : roll.messages)
        tracker.take(m.seconds, m.packed());
    tracker.finish(roll.end);
    return tracker.ended();
}

struct Frame {
    int low, high;          // the notes of the lowest and highest row
    double rowHeight;       // per semitone
    double pixelsPerSecond; //
    double width, height;   // of the whole picture

    [[nodiscard]] double x(double seconds) const { return Left + seconds * pixelsPerSecond; }
    [[nodiscard]] double y(int note) const { return Top + (high - note) * rowHeight; }
    [[nodiscard]] double rollBottom() const { return y(low - 1); }
};

Frame frameFor(const PianoRoll& roll, const std::vector<Note>& bars) {
    Frame f{};
    int lowest = 60, highest = 71;
    if (!bars.empty()) {
        lowest = highest = bars.front().pitch;
        for (const Note& bar : bars) {
            lowest = std::min<int>(lowest, bar.pitch);
            highest = std::max<int>(highest, bar.pitch);
        }
    }
    f.low = lowest / 12 * 12; // whole octaves, from a C
    f.high = std::min(highest / 12 * 12 + 11, 127);
    const int rows = f.high - f.low + 1;
    f.rowHeight = std::clamp(480.0 / rows, 4.0, 12.0);
    const double seconds = std::max(roll.end, 0.001);
    f.pixelsPerSecond = std::max(PixelsPerSecond, NarrowestRoll / seconds);
    f.pixelsPerSecond = std::min(f.pixelsPerSecond, WidestRoll / seconds);
    f.width = std::ceil(Left + seconds * f.pixelsPerSecond + Right);
    f.height = std::ceil(Top + rows * f.rowHeight + GateStrip + Axis);
    return f;
}

void drawKeys(std::string& svg, const Frame& f) {
    static const bool black[12] = {0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0};
    const double right = f.width - Right;
    for (int note = f.low; note <= f.high; ++note) {
        if (black[note % 12])
            svg += "<rect x=\"" + number(Left) + "\" y=\"" + number(f.y(note)) + "\" width=\"" +
                   number(right - Left) + "\" height=\"" + number(f.rowHeight) +
                   "\" fill=\"#eef0f4\"/>\n";
        if (note % 12 == 0) {
            const double bottom = f.y(note) + f.rowHeight;
            svg += "<line x1=\"" + number(Left) + "\" y1=\"" + number(bottom) + "\" x2=\"" +
                   number(right) + "\" y2=\"" + number(bottom) + "\" stroke=\"#b8bcc8\"/>\n";
        }
    }
}

// Every C is named at the left; where the rows are tall enough, every other white key too, in
// grey. A wide roll names its Cs again further on, so that they are never out of sight.
void drawNoteNames(std::string& svg, const Frame& f) {
    static const bool white[12] = {1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1};
    const double right = f.width - Right;
    for (int note = f.low; note <= f.high; ++note) {
        const double baseline = f.y(note) + f.rowHeight - 1;
        if (note % 12 != 0) {
            if (white[note % 12] && f.rowHeight >= 10)
                svg += "<text x=\"" + number(Left - 6) + "\" y=\"" + number(baseline) +
                       "\" text-anchor=\"end\" fill=\"#9aa0ac\">" + noteName(note) + "</text>\n";
            continue;
        }
        svg += "<text x=\"" + number(Left - 6) + "\" y=\"" + number(baseline) +
               "\" text-anchor=\"end\">" + noteName(note) + "</text>\n";
        for (double x = Left + RepeatNames; x < right - 30; x += RepeatNames)
            svg += "<text x=\"" + number(x + 3) + "\" y=\"" + number(baseline) +
                   "\" fill=\"#9aa0ac\">" + noteName(note) + "</text>\n";
    }
}

// A thin line at every beat; a label in seconds at every few beats, far enough apart to read.
void drawBeats(std::string& svg, const Frame& f, const PianoRoll& roll, double seconds) {
    const double beat = 60.0 / roll.bpm;
    const double beatWidth = beat * f.pixelsPerSecond;
    const long labelEvery = std::max(1L, static_cast<long>(std::ceil(LabelSpacing / beatWidth)));
    const double axis = f.rollBottom() + GateStrip;
    for (long i = 0; static_cast<double>(i) * beat <= seconds + 1e-9; ++i) {
        const double at = static_cast<double>(i) * beat;
        const std::string x = number(f.x(at));
        svg += "<line class=\"beat\" x1=\"" + x + "\" y1=\"" + number(Top) + "\" x2=\"" + x +
               "\" y2=\"" + number(axis + 4) + "\" stroke=\"#d4d7de\"/>\n";
        if (i % labelEvery == 0)
            svg += "<text x=\"" + x + "\" y=\"" + number(axis + 15) + "\" text-anchor=\"middle\">" +
                   number(at) + " s</text>\n";
    }
}

// Gates closer than a few pixels would only blur into each other: then one band stands for them.
void drawGates(std::string& svg, const Frame& f, const PianoRoll& roll) {
    const std::string y = number(f.rollBottom() + 4);
    if (roll.gates.empty())
        return;
    const double spacing =
        roll.gates.size() > 1 ? (roll.gates[1] - roll.gates[0]) * f.pixelsPerSecond : Left;
    if (spacing < 3) {
        const double from = f.x(roll.gates.front());
        const double to = f.x(roll.gates.back() + roll.gateLength);
        svg += "<rect class=\"gates\" x=\"" + number(from) + "\" y=\"" + y + "\" width=\"" +
               number(std::max(to - from, 1.0)) + "\" height=\"6\" fill=\"#7a8090\"><title>" +
               std::to_string(roll.gates.size()) + " gates</title></rect>\n";
        return;
    }
    const std::string width = number(std::max(1.0, roll.gateLength * f.pixelsPerSecond));
    for (const double rise : roll.gates)
        svg += "<rect class=\"gate\" x=\"" + number(f.x(rise)) + "\" y=\"" + y + "\" width=\"" +
               width + "\" height=\"6\" fill=\"#7a8090\"/>\n";
}

// Louder notes are darker: velocity 0 is a pale blue, 127 a deep one.
std::string shade(int velocity) {
    const int lightness = 82 - velocity * 52 / 127;
    return "hsl(212,70%," + std::to_string(lightness) + "%)";
}

void drawNotes(std::string& svg, const Frame& f, const std::vector<Note>& bars) {
    for (const Note& bar : bars) {
        const double length = std::max(bar.end - bar.start, 0.0);
        const double width = std::max(length * f.pixelsPerSecond, ShortestBar);
        svg += "<rect class=\"note\" x=\"" + number(f.x(bar.start)) + "\" y=\"" +
               number(f.y(bar.pitch) + 0.5) + "\" width=\"" + number(width) + "\" height=\"" +
               number(f.rowHeight - 1) + "\" fill=\"" + shade(bar.velocity) +
               "\" stroke=\"hsl(212,70%,25%)\" stroke-width=\"0.5\"><title>" + noteName(bar.pitch) +
               ", " + number(bar.start) + " s, " + number(length) + " s long, velocity " +
               std::to_string(int{bar.velocity}) + "</title></rect>\n";
    }
}

} // namespace

std::string pianoRollSvg(const PianoRoll& roll) {
    const std::vector<Note> bars = barsOf(roll);
    const Frame f = frameFor(roll, bars);
    const std::string width = number(f.width), height = number(f.height);
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height +
                      "\" font-family=\"sans-serif\" font-size=\"10\" fill=\"#333\">\n"
                      "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
                      "<text x=\"" +
                      number(Left) + "\" y=\"16\" font-size=\"12\">" + escaped(roll.title) +
                      "</text>\n";
    drawKeys(svg, f);
    drawBeats(svg, f, roll, std::max(roll.end, 0.0));
    svg += "<rect x=\"" + number(Left) + "\" y=\"" + number(Top) + "\" width=\"" +
           number(f.width - Right - Left) + "\" height=\"" + number(f.rollBottom() - Top) +
           "\" fill=\"none\" stroke=\"#b8bcc8\"/>\n";
    drawNoteNames(svg, f);
    drawGates(svg, f, roll);
    drawNotes(svg, f, bars);
    return svg + "</svg>\n";
}
