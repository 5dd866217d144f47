// live ROW: the module played in real time on JACK, from a keyboard, clocked by a tempo or by
// MIDI clock. The command reads and checks its options and the row here; the session, the
// JACK client and the audio thread are in live/.
#include "commands.h"
#include "module_instance.h"
#include "option_values.h"
#include "play_settings.h"
#include "row_files.h"
#include "run_limits.h"
#include "safe_file.h"

#if defined(KAVELTRUM_HAS_JACK)
#include "live_session.h"
#endif

#include <filesystem>

namespace {

#if defined(KAVELTRUM_HAS_JACK)

const char* const AboutLive =
    "The module plays in real time as a JACK client named kaveltrum (or --name), with the MIDI\n"
    "ports midi_in and midi_out; the row file ROW is its OUTFILE. The period is cut into blocks\n"
    "of --block-size samples; every message reaches the module at its block, and what it sends\n"
    "leaves at the frame of the block that sent it. Needs a running JACK server (jackd, or\n"
    "PipeWire's JACK); it never starts one.\n"
    "GATE: --clock internal rises once per sixteenth note at --bpm, high for half of it;\n"
    "--clock midi rises at every sixth MIDI clock from START or CONTINUE, falls three later.\n"
    "PLAY is high from the start with the internal clock; with the MIDI clock START raises it\n"
    "(and RETURN), CONTINUE raises it, STOP lowers it and ends the sounding notes. A control\n"
    "change steers its input on any channel, 64 and above high; it does not reach the module.\n"
    "When REC falls, RELOAD rises for one block, so a take is in the row at once.\n"
    "On a terminal: r REC on/off, p PLAY on/off, Enter RETURN, l RELOAD, q quit, and a status\n"
    "line. It ends on q, SIGINT, SIGTERM or after --seconds, ending every sounding note.\n";

#else

const char* const AboutLive =
    "live playing on Windows happens in the host itself; this build has no JACK\n";

#endif

#if defined(KAVELTRUM_HAS_JACK)

Result<int> controlNumber(const CommandLine& line, const std::string& option) {
    Result<long> number = wholeNumber(line, option, -1, 0, 127);
    if (!number)
        return number.failure();
    return static_cast<int>(*number);
}

// The options that need neither JACK nor the module.
Status readLive(const CommandLine& line, SessionSettings& s) {
    LiveSettings& live = s.live;
    const std::string clock = line.has("--clock") ? line.value("--clock") : "internal";
    if (clock != "internal" && clock != "midi")
        return Failure{"--clock: '" + clock + "' is neither internal nor midi"};
    live.controls.clock = clock == "midi" ? ClockSource::Midi : ClockSource::Internal;
    Result<double> bpm = realNumber(line, "--bpm", 120.0, 4.0, 1000.0);
    if (!bpm)
        return bpm.failure();
    live.controls.bpm = *bpm;
    live.controls.recHeld = line.has("--rec");
    int* const numbers[] = {&live.controls.recCc, &live.controls.playCc, &live.controls.returnCc,
                            &live.controls.reloadCc};
    const char* const options[] = {"--rec-cc", "--play-cc", "--return-cc", "--reload-cc"};
    for (size_t i = 0; i < 4; ++i) {
        Result<int> number = controlNumber(line, options[i]);
        if (!number)
            return number.failure();
        *numbers[i] = *number;
    }
    Result<long> blockSize = blockSizeOption(line);
    if (!blockSize)
        return blockSize.failure();
    live.blockSize = static_cast<int32_t>(*blockSize);
    if (line.has("--seconds")) {
        Result<double> seconds = positiveNumber(line, "--seconds", 0.0, LongestRunSeconds);
        if (!seconds)
            return seconds.failure();
        s.seconds = *seconds;
    }
    if (line.has("--name"))
        s.clientName = line.value("--name");
    s.connectIn = line.list("--connect-in");
    s.connectOut = line.list("--connect-out");
    return {};
}

// The row as play and record take it: a name the module can open, a regular file or a new name
// in a folder that takes files, and no MIDI file unless --raw.
Status checkRow(const CommandLine& line, const std::string& rowPath) {
    if (Status name = checkRowName(rowPath); !name)
        return name;
    std::error_code missing;
    if (std::filesystem::exists(rowPath, missing)) {
        if (Result<uint64_t> length = rowLength(rowPath); !length)
            return length.failure();
        if (!line.has("--raw") && beginsAsMidi(rowPath))
            return Failure{rowPath + ": is a MIDI file, not a row; 'record' makes a row of it "
                                     "and 'list' shows its notes (--raw takes its bytes anyway)"};
    }
    return checkOutput(rowPath, "row file");
}

// The module's parameters as play sets them, the row named through OUTFILE, and one block with
// every input low, which arms the player for the first gate.
Status configure(HostInstance& instance, const CommandLine& line, const std::string& rowPath,
                 LiveSettings& live) {
    PlaySettings parameters{};
    parameters.diagnose = line.has("--diagnose");
    if (Status read = readParameters(line, instance.pins(), parameters); !read)
        return read;
    for (const auto& [pin, value] : parameters.parameters) {
        if (Status set = instance.setParameter(pin, value); !set)
            return set;
        if (pin == "loopit")
            live.loop = value == 1;
        else if (pin == "from..")
            live.from = value;
        else if (pin == "..to")
            live.to = value;
    }
    if (Status named = instance.setText("OUTFILE", rowPath); !named)
        return named;
    Status armed = instance.runBlocks(1);
    instance.clearSentMidi();
    return armed;
}

int live(const CommandLine& line, Console& console) {
    Result<std::string> module = modulePathFor(line);
    if (!module)
        return console.finish(module.failure());
    const std::string& rowPath = line.operands[0];
    SessionSettings s;
    s.rowPath = rowPath;
    if (Status read = readLive(line, s); !read)
        return console.finish(read);
    if (Status row = checkRow(line, rowPath); !row)
        return console.finish(row);
    const long blockSize = s.live.blockSize;
    const PrepareInstance prepare =
        [&](double rate, LiveSettings& settings) -> Result<std::unique_ptr<HostInstance>> {
        Result<std::unique_ptr<HostInstance>> instance = startInstance(*module, rate, blockSize);
        if (!instance)
            return instance;
        if (Status set = configure(**instance, line, rowPath, settings); !set)
            return set.failure();
        return instance;
    };
    std::string error;
    const int status = runLiveSession(s, prepare, console.out, console.err, error);
    if (!error.empty())
        return console.finish(Failure{error});
    return status;
}

#else

// The line its help begins with, too.
int live(const CommandLine&, Console& console) {
    console.err << console.errorStart << AboutLive;
    return 2;
}

#endif

} // namespace

CommandSpec liveCommand() {
    return {
        "live",
        "ROW",
        "play the module in real time on JACK, from a keyboard or MIDI clock",
        "ROW [--clock internal|midi] [--bpm BPM] [--rec] [--rec-cc N]\n"
        "       [--play-cc N] [--return-cc N] [--reload-cc N] [--connect-in PORT]...\n"
        "       [--connect-out PORT]... [--name NAME] [--seconds S] [--loop 0|1] [--from N]\n"
        "       [--to N] [--noteoff N] [--velocity V] [--block-size N] [--diagnose] [--raw]",
        1,
        1,
        AboutLive,
        joined(
            {{{"--clock", "internal|midi", "what raises GATE: a tempo, or MIDI clock (internal)"},
              {"--bpm", "BPM", "tempo of the internal clock in quarter notes per minute (120)"},
              {"--rec", nullptr, "REC high throughout: every NOTE_ON is recorded into ROW"},
              {"--rec-cc", "N", "control change N steers REC"},
              {"--play-cc", "N", "control change N steers PLAY (then it starts low)"},
              {"--return-cc", "N", "control change N steers RETURN"},
              {"--reload-cc", "N", "control change N steers RELOAD"},
              {"--connect-in", "PORT", "connect this MIDI output to midi_in (again for more)",
               nullptr, true},
              {"--connect-out", "PORT", "connect midi_out to this MIDI input (again for more)",
               nullptr, true},
              {"--name", "NAME", "the JACK client's name (kaveltrum)"},
              {"--seconds", "S", "stop after S seconds"}},
             parameterSpecs(),
             {blockSizeSpec(),
              diagnoseSpec(),
              {"--raw", nullptr, "take a row that begins as a MIDI file does, byte by byte"}}}),
        live};
}
