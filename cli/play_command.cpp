// play ROW: the module plays the row, one note per GATE pulse, into printed lines and a MIDI file.
#include "commands.h"
#include "gate_schedule.h"
#include "midi_file.h"
#include "module_instance.h"
#include "note_names.h"
#include "note_tracker.h"
#include "option_values.h"
#include "piano_roll.h"
#include "play_settings.h"
#include "row_files.h"
#include "run_limits.h"
#include "safe_file.h"
#include "text_line.h"
#include "texts.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

Status configure(HostInstance& instance, const PlaySettings& s, const std::string& row) {
    for (const auto& [pin, value] : s.parameters)
        if (Status set = instance.setParameter(pin, value); !set)
            return set;
    if (Status named = instance.setText("OUTFILE", row); !named)
        return named;
    return instance.setLevel("PLAY", 1.0f);
}

// What the module sent, timed from the first gate. The messages themselves are kept only for
// the lines and the picture; the MIDI file takes their bytes and the tracker the sounding notes
// as they come, so a run of millions of notes holds a few bytes for each (scripts/bench-tool.sh).
struct Played {
    bool keep = true;                   // messages kept
    std::vector<TimedMessage> messages; //
    std::optional<MidiEncoder> file;    // with --out
    NoteTracker tracker;
    uint64_t count = 0; // messages sent
    uint64_t notes = 0; // NOTE_ONs among them
    int64_t origin = 0; // the clock at the first gate

    void take(const TimedMessage& message) {
        ++count;
        notes += midiKind(message.packed()) == MidiNoteOn;
        tracker.take(message.seconds, message.packed());
        if (file)
            file->add(message);
        if (keep)
            messages.push_back(message);
    }
};

// The module stamps its messages with the low 32 bits of the sample clock; a stamp is placed
// within the block that was just run, which puts it right however long the run.
TimedMessage timed(const ModuleMidi& sent, int64_t blockStart, int64_t origin, double rate) {
    const int32_t since = static_cast<int32_t>(static_cast<uint32_t>(sent.timeStamp) -
                                               static_cast<uint32_t>(blockStart));
    TimedMessage message;
    message.seconds = static_cast<double>(std::max<int64_t>(blockStart + since - origin, 0)) / rate;
    message.size = 3;
    message.bytes = {static_cast<uint8_t>(midiStatus(sent.message)),
                     static_cast<uint8_t>(midiData1(sent.message)),
                     static_cast<uint8_t>(midiData2(sent.message))};
    return message;
}

void collect(HostInstance& instance, int64_t blockStart, double rate, Played& played) {
    for (const ModuleMidi& sent : instance.sentMidi())
        played.take(timed(sent, blockStart, played.origin, rate));
    instance.clearSentMidi();
}

// One gate per sixteenth note, high for the first half of it. A first block with GATE low arms
// the player, so that the first gate plays. The blocks that share a level run together, and what
// they sent is collected after them.
Status runGates(HostInstance& instance, const PlaySettings& s, Progress& progress, Played& played) {
    Result<int32_t> gatePin = instance.findPin("GATE");
    if (!gatePin)
        return Failure{gatePin.error()};
    if (Status armed = instance.runBlocks(1); !armed)
        return armed;
    played.origin = instance.clock();
    const auto expected = static_cast<size_t>(s.gates) * 2; // a NOTE_ON and a NOTE_OFF each
    played.keep = !s.quiet || !s.svg.empty();
    if (played.keep)
        played.messages.reserve(expected);
    if (!s.out.empty())
        played.file.emplace(s.bpm, expected);
    const GateSchedule gate(s.sampleRate * sixteenthSeconds(s.bpm), s.gates,
                            static_cast<int32_t>(s.blockSize));
    progress.start("playing", static_cast<double>(s.gates) * sixteenthSeconds(s.bpm));
    for (int64_t at = 0; !gate.over(at); at = instance.clock() - played.origin) {
        const GateSchedule::Stretch stretch = gate.stretchAt(at);
        if (Status set = instance.setLevel(*gatePin, stretch.high ? 1.0f : 0.0f); !set)
            return set;
        const int64_t blockStart = instance.clock();
        if (Status ran = instance.runBlocks(static_cast<int32_t>(stretch.blocks)); !ran)
            return ran;
        collect(instance, blockStart, s.sampleRate, played);
        progress.update(static_cast<double>(at) / s.sampleRate, played.notes);
    }
    progress.finish(played.notes);
    return {};
}

void printMessage(std::ostream& out, TextLine& line, const TimedMessage& m) {
    const bool on = midiKind(m.packed()) == MidiNoteOn;
    line.seconds(m.seconds, 9)
        .text(" s  ")
        .padded(on ? "NOTE_ON" : "NOTE_OFF", 8)
        .text("  ")
        .padded(noteNameText(m.bytes[1]), 4)
        .text("  velocity ")
        .number(m.bytes[2])
        .text('\n')
        .writeTo(out);
}

// Ends every note still sounding at `end`, lowest first, so the file leaves no note hanging.
std::vector<TimedMessage> endSounding(NoteTracker& tracker, double end) {
    std::vector<Note> sounding = tracker.finish(end);
    std::stable_sort(sounding.begin(), sounding.end(), [](const Note& a, const Note& b) {
        return a.pitch != b.pitch ? a.pitch < b.pitch : a.channel < b.channel;
    });
    std::vector<TimedMessage> endings;
    endings.reserve(sounding.size());
    for (const Note& note : sounding)
        endings.push_back(
            {end, 0, {static_cast<uint8_t>(MidiNoteOff | note.channel), note.pitch, 64}, 3});
    return endings;
}

// The module's log has a fixed place on Windows, D:\DIAGNOSE.TXT; elsewhere it lies in the
// working folder.
bool hasDriveD() {
#if defined(_WIN32)
    return GetDriveTypeA("D:\\") != DRIVE_NO_ROOT_DIR;
#else
    return true;
#endif
}

// The piano roll of what was played; the gates as the host sent them, one every sixteenth.
Status drawRoll(std::ostream& out, const std::vector<TimedMessage>& messages, double end,
                const PlaySettings& s, const std::string& rowPath) {
    PianoRoll roll;
    roll.title = std::filesystem::path(rowPath).filename().string() + ", " +
                 std::to_string(s.gates) + " gates at " + shortNumber(s.bpm) + " BPM";
    roll.messages = messages;
    roll.bpm = s.bpm;
    roll.end = end;
    roll.gateLength = sixteenthSeconds(s.bpm) / 2.0;
    for (long gate = 0; gate < s.gates; ++gate)
        roll.gates.push_back(static_cast<double>(gate) * sixteenthSeconds(s.bpm));
    const std::string svg = pianoRollSvg(roll);
    if (Status written = writeFileWhole(s.svg, std::vector<uint8_t>(svg.begin(), svg.end()));
        !written)
        return written;
    const auto notes = std::count_if(messages.begin(), messages.end(), [](const TimedMessage& m) {
        return midiKind(m.packed()) == MidiNoteOn;
    });
    out << "wrote " << s.svg << " (" << notes << (notes == 1 ? " note, " : " notes, ") << s.gates
        << (s.gates == 1 ? " gate)\n" : " gates)\n");
    return {};
}

Status report(std::ostream& out, const HostInstance& instance, Played& played,
              const PlaySettings& s, const std::string& rowPath) {
    TextLine line;
    for (const TimedMessage& m : played.messages) {
        if (s.quiet)
            break;
        printMessage(out, line, m);
        if (!out)
            return outputStatus(out);
    }
    const double end = static_cast<double>(instance.clock() - played.origin) / s.sampleRate;
    char summary[96];
    std::snprintf(summary, sizeof summary, "sent %llu messages, %llu of them NOTE_ONs, in %.3f s\n",
                  static_cast<unsigned long long>(played.count),
                  static_cast<unsigned long long>(played.notes), end);
    out << summary;
    const std::vector<TimedMessage> endings = endSounding(played.tracker, end);
    if (!endings.empty()) {
        const bool one = endings.size() == 1;
        char when[32];
        std::snprintf(when, sizeof when, "%.3f s", end);
        out << endings.size() << (one ? " note was" : " notes were")
            << " still sounding at the end, " << when
            << (s.out.empty() && s.svg.empty() ? ""
                : one                          ? "; the files end it there"
                                               : "; the files end them there")
            << "\n";
    }
    for (const TimedMessage& ending : endings)
        played.take(ending);
    if (!s.svg.empty())
        if (Status drawn = drawRoll(out, played.messages, end, s, rowPath); !drawn)
            return drawn;
    if (!played.file)
        return {};
    Result<std::vector<uint8_t>> bytes = played.file->finish();
    if (!bytes)
        return Failure{s.out + ": " + bytes.error()};
    if (Status written = writeFileWhole(s.out, *bytes); !written)
        return written;
    out << "wrote " << s.out << " (" << played.count << " messages)\n";
    return {};
}

// Checks everything that can be checked before the module touches a file.
Status checkFiles(const std::string& rowPath, const PlaySettings& s) {
    if (Status name = checkRowName(rowPath); !name)
        return name;
    if (!s.out.empty())
        if (Status place = checkOutput(s.out, "MIDI file"); !place)
            return place;
    if (!s.svg.empty())
        if (Status place = checkOutput(s.svg, "picture"); !place)
            return place;
    const double seconds = static_cast<double>(s.gates) * sixteenthSeconds(s.bpm);
    if (seconds > LongestRunSeconds)
        return Failure{"the run would last " + lengthInTime(seconds) +
                       ", over 24 hours; give fewer gates or a faster tempo"};
    return checkBlockCount(seconds, s.sampleRate, s.blockSize);
}

Status playRow(const CommandLine& line, const std::string& modulePath, std::ostream& out,
               Progress& progress) {
    const std::string& rowPath = line.operands[0];
    Result<uint64_t> length = rowLength(rowPath);
    if (!length)
        return Failure{length.error()};
    if (Status notMidi = refuseMidiRow(line, rowPath); !notMidi)
        return notMidi;
    Result<PlaySettings> settings = readSettings(line, *length);
    if (!settings)
        return Failure{settings.error()};
    PlaySettings& s = *settings;
    if (Status files = checkFiles(rowPath, s); !files)
        return files;

    Result<std::unique_ptr<HostInstance>> instance =
        startInstance(modulePath, s.sampleRate, s.blockSize);
    if (!instance)
        return Failure{instance.error()};
    // the module's parameters are known once it has described its pins; it has touched no file
    if (Status parameters = readParameters(line, (*instance)->pins(), s); !parameters)
        return parameters;
    if (Status set = configure(**instance, s, rowPath); !set)
        return set;
    if (s.diagnose && !hasDriveD())
        out << "warning: the module writes its log to D:\\DIAGNOSE.TXT, and there is no drive D:\n";
    if (s.sampleRate * sixteenthSeconds(s.bpm) / 2.0 < static_cast<double>(s.blockSize))
        out << "warning: at " << s.bpm
            << " BPM a gate is shorter than a block; gates may be missed\n";
    out << "playing " << rowPath << ": " << *length << " notes, " << s.gates << " gates at "
        << s.bpm << " BPM\n";
    Played played;
    if (Status ran = runGates(**instance, s, progress, played); !ran)
        return ran;
    // A row with notes plays one at the first gate, unless the module could not load it.
    if (*length > 0 && s.gates > 0 && played.notes == 0)
        return Failure{rowPath +
                       ": the module played nothing; it could not open or load the row "
                       "(is it read-only, or too large at " +
                       std::to_string(*length) + " notes?)"};
    return report(out, **instance, played, s, rowPath);
}

int play(const CommandLine& line, Console& console) {
    Result<std::string> module = modulePathFor(line);
    if (!module)
        return console.finish(Failure{module.error()});
    return console.finish(playRow(line, *module, console.out, console.progress));
}

} // namespace

CommandSpec playCommand() {
    return {
        "play",
        "ROW",
        "play a row through the module: messages, MIDI file, picture",
        "ROW [--gates N] [--bpm BPM] [--loop 0|1] [--from N] [--to N]\n"
        "       [--noteoff N] [--velocity V] [--block-size N] [--sample-rate HZ] [--diagnose]\n"
        "       [--out FILE.mid] [--svg FILE.svg] [--quiet] [--raw]",
        1,
        1,
        "The module plays the row file ROW: PLAY is held high and GATE rises once per "
        "sixteenth\nnote, high for half of it. Prints every message the module sends.\n",
        joined({{{"--gates", "N", "how many gates (the row's length)"},
                 {"--bpm", "BPM", "tempo in quarter notes per minute (120)"}},
                parameterSpecs(),
                {blockSizeSpec(),
                 sampleRateSpec(),
                 diagnoseSpec(),
                 {"--out", "FILE.mid", "write what was played as a MIDI file (also -o FILE.mid)",
                  "-o"},
                 {"--svg", "FILE.svg", "draw what was played as a piano roll"},
                 {"--quiet", nullptr, "print only the summary, not every message"},
                 {"--raw", nullptr, "play a file that begins as a MIDI file does, byte by byte"}}}),
        play};
}
