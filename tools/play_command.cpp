// play ROW: the module plays the row, one note per GATE pulse, into printed lines and a MIDI file.
#include "host_instance.h"
#include "midi_file.h"
#include "note_names.h"
#include "piano_roll.h"
#include "tool.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

struct PlaySettings {
    long gates;
    double bpm;
    long loop, from, to, noteOff, velocity;
    long blockSize;
    double sampleRate;
    bool diagnose, quiet;
    std::string out, svg;
};

constexpr double LongestRunSeconds = 24 * 3600.0;

// Reads every option, with the pins' own defaults where the user gave none.
Result<PlaySettings> readSettings(const CommandLine& line, size_t rowLength) {
    PlaySettings s{};
    const struct {
        const char* option;
        long* value;
        long fallback, low, high;
    } numbers[] = {
        {"--gates", &s.gates, static_cast<long>(rowLength), 0, 1000000},
        {"--loop", &s.loop, 1, 0, 1},
        {"--from", &s.from, 0, 0, 2000},
        {"--to", &s.to, 0, 0, 2000},
        {"--noteoff", &s.noteOff, 1, 0, 20},
        {"--velocity", &s.velocity, 100, 0, 127},
        {"--block-size", &s.blockSize, 64, 1, MaxBlockSize},
    };
    for (const auto& n : numbers) {
        Result<long> value = wholeNumber(line, n.option, n.fallback, n.low, n.high);
        if (!value)
            return Failure{value.error()};
        *n.value = *value;
    }
    Result<double> bpm = positiveNumber(line, "--bpm", 120.0, 1000.0);
    if (!bpm)
        return Failure{bpm.error()};
    Result<double> rate = positiveNumber(line, "--sample-rate", 44100.0, 768000.0);
    if (!rate)
        return Failure{rate.error()};
    s.bpm = *bpm;
    s.sampleRate = *rate;
    s.diagnose = line.has("--diagnose");
    s.quiet = line.has("--quiet");
    if (line.has("--out"))
        s.out = line.values.at("--out");
    if (line.has("--svg"))
        s.svg = line.values.at("--svg");
    return s;
}

Status configure(HostInstance& instance, const PlaySettings& s, const std::string& row) {
    const std::pair<const char*, long> parameters[] = {
        {"loopit", s.loop},          {"from..", s.from},       {"..to", s.to},
        {"next noteoff", s.noteOff}, {"velocity", s.velocity}, {"on D: DIAGNOSE.TXT", s.diagnose},
    };
    for (const auto& [pin, value] : parameters)
        if (Status set = instance.setParameter(pin, static_cast<int32_t>(value)); !set)
            return set;
    if (Status named = instance.setText("OUTFILE", row); !named)
        return named;
    return instance.setLevel("PLAY", 1.0f);
}

// One gate per sixteenth note, high for the first half of it. GATE is read once per block, at
// its first sample. A first block with GATE low arms the player, so that the first gate plays;
// returns the clock at which the gates begin.
Result<int64_t> runGates(HostInstance& instance, const PlaySettings& s) {
    if (Status armed = instance.runBlocks(1); !armed)
        return Failure{armed.error()};
    const int64_t origin = instance.clock();
    const double period = s.sampleRate * 60.0 / s.bpm / 4.0;
    const double gates = period * static_cast<double>(s.gates);
    while (static_cast<double>(instance.clock() - origin) < gates + s.blockSize) {
        const double at = static_cast<double>(instance.clock() - origin);
        const bool high = at < gates && std::fmod(at, period) < period / 2.0;
        if (Status set = instance.setLevel("GATE", high ? 1.0f : 0.0f); !set)
            return Failure{set.error()};
        if (Status ran = instance.runBlocks(1); !ran)
            return Failure{ran.error()};
    }
    return origin;
}

// Times count from the first gate.
TimedMessage timed(const ModuleMidi& sent, int64_t origin, double sampleRate) {
    TimedMessage message;
    message.seconds = std::max<int64_t>(sent.timeStamp - origin, 0) / sampleRate;
    message.size = 3;
    message.bytes = {static_cast<uint8_t>(sent.message), static_cast<uint8_t>(sent.message >> 8),
                     static_cast<uint8_t>(sent.message >> 16)};
    return message;
}

void printMessage(std::ostream& out, const TimedMessage& m) {
    const bool on = (m.bytes[0] & 0xF0) == 0x90;
    char line[96];
    std::snprintf(line, sizeof line, "%9.3f s  %-8s  %-4s  velocity %d\n", m.seconds,
                  on ? "NOTE_ON" : "NOTE_OFF", noteName(m.bytes[1]).c_str(), m.bytes[2]);
    out << line;
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

std::string number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

size_t countNotes(const std::vector<TimedMessage>& messages) {
    return static_cast<size_t>(std::count_if(messages.begin(), messages.end(), [](const auto& m) {
        return (m.bytes[0] & 0xF0) == 0x90;
    }));
}

// Ends every note still sounding at `end`, so the file leaves no note hanging.
std::vector<TimedMessage> endSounding(const std::vector<TimedMessage>& messages, double end) {
    std::map<int, int> sounding;
    for (const TimedMessage& m : messages) {
        const bool on = (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0;
        int& count = sounding[m.bytes[1]];
        count = on ? count + 1 : count > 0 ? count - 1 : 0;
    }
    std::vector<TimedMessage> endings;
    for (const auto& [note, count] : sounding)
        for (int i = 0; i < count; ++i)
            endings.push_back({end, 0, {0x80, static_cast<uint8_t>(note), 64}, 3});
    return endings;
}

// The piano roll of what was played; the gates as the host sent them, one every sixteenth.
Status drawRoll(std::ostream& out, const std::vector<TimedMessage>& messages, double end,
                const PlaySettings& s, const std::string& rowPath) {
    PianoRoll roll;
    roll.title = std::filesystem::path(rowPath).filename().string() + ", " +
                 std::to_string(s.gates) + " gates at " + number(s.bpm) + " BPM";
    roll.messages = messages;
    roll.bpm = s.bpm;
    roll.end = end;
    roll.gateLength = 7.5 / s.bpm;
    for (long gate = 0; gate < s.gates; ++gate)
        roll.gates.push_back(static_cast<double>(gate) * 15.0 / s.bpm);
    const std::string svg = pianoRollSvg(roll);
    if (Status written = storeRow(s.svg, std::vector<uint8_t>(svg.begin(), svg.end())); !written)
        return written;
    out << "wrote " << s.svg << " (" << countNotes(messages) << " notes)\n";
    return {};
}

Status report(std::ostream& out, const HostInstance& instance, int64_t origin,
              const PlaySettings& s, const std::string& rowPath) {
    std::vector<TimedMessage> messages;
    for (const ModuleMidi& sent : instance.sentMidi()) {
        messages.push_back(timed(sent, origin, s.sampleRate));
        if (!s.quiet)
            printMessage(out, messages.back());
    }
    const double end = static_cast<double>(instance.clock() - origin) / s.sampleRate;
    char summary[96];
    std::snprintf(summary, sizeof summary, "sent %zu messages, %zu of them NOTE_ONs, in %.3f s\n",
                  messages.size(), countNotes(messages), end);
    out << summary;
    const std::vector<TimedMessage> endings = endSounding(messages, end);
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
    messages.insert(messages.end(), endings.begin(), endings.end());
    if (!s.svg.empty())
        if (Status drawn = drawRoll(out, messages, end, s, rowPath); !drawn)
            return drawn;
    if (s.out.empty())
        return {};
    if (Status written = writeMidiFile(s.out, messages, s.bpm); !written)
        return written;
    out << "wrote " << s.out << " (" << messages.size() << " messages)\n";
    return {};
}

} // namespace

Status playRow(const CommandLine& line, const std::string& modulePath, std::ostream& out) {
    const std::string& rowPath = line.operands[0];
    Result<std::vector<uint8_t>> row = readRowFile(rowPath);
    if (!row)
        return Failure{row.error()};
    if (Status notMidi = refuseMidiRow(line, rowPath, *row); !notMidi)
        return notMidi;
    Result<PlaySettings> settings = readSettings(line, row->size());
    if (!settings)
        return Failure{settings.error()};
    const PlaySettings& s = *settings;
    if (!s.out.empty())
        if (Status place = checkWritablePlace(s.out, "MIDI file"); !place)
            return place;
    if (!s.svg.empty())
        if (Status place = checkWritablePlace(s.svg, "picture"); !place)
            return place;
    const double seconds = static_cast<double>(s.gates) * 15.0 / s.bpm;
    if (seconds > LongestRunSeconds)
        return Failure{"the run would last over 24 hours; give fewer gates or a faster tempo"};

    Result<std::unique_ptr<HostInstance>> instance =
        startInstance(modulePath, s.sampleRate, s.blockSize);
    if (!instance)
        return Failure{instance.error()};
    if (Status set = configure(**instance, s, rowPath); !set)
        return set;
    if (s.diagnose && !hasDriveD())
        out << "warning: the module writes its log to D:\\DIAGNOSE.TXT, and there is no drive D:\n";
    if (s.sampleRate * 7.5 / s.bpm < static_cast<double>(s.blockSize))
        out << "warning: at " << s.bpm
            << " BPM a gate is shorter than a block; gates may be missed\n";
    out << "playing " << rowPath << ": " << row->size() << " notes, " << s.gates << " gates at "
        << s.bpm << " BPM\n";
    Result<int64_t> origin = runGates(**instance, s);
    if (!origin)
        return Failure{origin.error()};
    return report(out, **instance, *origin, s, rowPath);
}
