// record IN.mid ROW: feeds a MIDI file to the module with REC high, so that its own recorder
// appends the notes to the row. The module appends silently, as a module must; the tool compares
// what the row gained with the notes it sent and tells when any were lost.
#include "commands.h"
#include "midi_input.h"
#include "module_instance.h"
#include "option_values.h"
#include "row_files.h"
#include "run_limits.h"
#include "safe_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

// The row's length in notes; a row not there yet holds none.
uint64_t notesIn(const std::string& path) {
    std::error_code missing;
    const uintmax_t size = std::filesystem::file_size(path, missing);
    return missing ? 0 : static_cast<uint64_t>(size);
}

// Every message goes to the module before the block in which its time falls, with its offset
// into that block. The blocks up to a message run together, and each message's time is worked
// out once: a file of a million notes spans fifty million blocks (scripts/bench-tool.sh).
class Feeder {
  public:
    Feeder(HostInstance& instance, double rate, Progress& progress)
        : instance(instance), rate(rate), progress(progress), blockSize(instance.blockSize()) {}

    // REC is high from the first block on: it is seen at a block's start.
    Status start(double seconds) {
        if (Status rec = instance.setLevel("REC", 1.0f); !rec)
            return rec;
        if (Status first = instance.runBlocks(1); !first)
            return first;
        origin = instance.clock();
        progress.start("recording", seconds);
        return {};
    }

    // Runs the blocks before the one `message` falls in, then hands it to the module.
    bool take(const TimedMessage& message) {
        const int64_t at = origin + std::llround(message.seconds * rate);
        for (int64_t start = instance.clock(); at >= start + blockSize; start = instance.clock()) {
            constexpr int64_t MostBlocks = 4096; // between two looks at the progress line
            const int64_t blocks = std::min((at - start) / blockSize, MostBlocks);
            if (!(outcome = instance.runBlocks(static_cast<int32_t>(blocks))))
                return false;
            progress.update(static_cast<double>(start - origin) / rate, notes);
        }
        const int64_t start = instance.clock();
        const int64_t offset = at > start ? at - start : 0;
        if (!(outcome = instance.sendMidi(message.packed(), static_cast<int32_t>(offset))))
            return false;
        notes += isNoteStart(message.packed()); // what the recorder keeps
        pending = true;
        return true;
    }

    // The block of the last messages runs; returns the number of notes sent while REC was high.
    Result<uint64_t> finish() {
        if (outcome && pending)
            outcome = instance.runBlocks(1);
        if (!outcome)
            return outcome.failure();
        progress.finish(notes);
        return notes;
    }

  private:
    HostInstance& instance;
    double rate;
    Progress& progress;
    int64_t blockSize;
    int64_t origin = 0;
    uint64_t notes = 0;
    bool pending = false; // messages were sent into the block the clock is at
    Status outcome;
};

Result<uint64_t> feed(HostInstance& instance, const MidiReading& reading, double rate,
                      Progress& progress) {
    Feeder feeder(instance, rate, progress);
    if (Status started = feeder.start(reading.lastSeconds()); !started)
        return started.failure();
    // the feeder stops the walk only on a failure of its own, which finish() reports
    static_cast<void>(
        reading.forEach([&feeder](const TimedMessage& message) { return feeder.take(message); }));
    return feeder.finish();
}

// The run must end within a day of simulated time, like play's.
Status checkLength(const std::string& midiPath, const MidiReading& reading, double rate,
                   long blockSize) {
    const double seconds = reading.lastSeconds();
    if (seconds > LongestRunSeconds)
        return Failure{midiPath + ": lasts " + lengthInTime(seconds) +
                       ", over the 24 hours a run may take"};
    return checkBlockCount(seconds, rate, blockSize);
}

Status checkStored(const std::string& rowPath, uint64_t before, uint64_t sent) {
    const uint64_t after = notesIn(rowPath);
    const uint64_t gained = after >= before ? after - before : 0;
    if (gained < sent)
        return Failure{rowPath + ": " + std::to_string(sent - gained) + " of " +
                       std::to_string(sent) + " notes were not stored (disk full?)"};
    if (gained > sent)
        return Failure{rowPath + ": gained " + std::to_string(gained) + " notes where " +
                       std::to_string(sent) + " were sent; was it written to meanwhile?"};
    return {};
}

// Whether two names reach one file, by the file's identity (links and other spellings alike).
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code failed;
    if (std::filesystem::equivalent(a, b, failed))
        return true;
    const auto canonicalA = std::filesystem::weakly_canonical(a, failed);
    const auto canonicalB = std::filesystem::weakly_canonical(b, failed);
    return !failed && canonicalA == canonicalB;
}

// A name beside `path` that no file has yet; with --new the module records into it, and it
// replaces the row only once the recording is complete.
std::string freshNameBeside(const std::string& path) {
    for (int attempt = 0;; ++attempt) {
        std::string name = path + ".new" + std::to_string(attempt);
        std::error_code failed; // a name that cannot be looked at fails when recorded into
        if (!std::filesystem::exists(name, failed) || failed)
            return name;
    }
}

// The row is neither the MIDI file itself nor another MIDI file that notes would be appended to.
Status checkRowTarget(const CommandLine& line, const std::string& midiPath,
                      const std::string& rowPath) {
    if (midiPath != "-" && sameFile(midiPath, rowPath))
        return Failure{midiPath + " and " + rowPath +
                       " are the same file; give the row a file of its own"};
    std::error_code missing;
    if (line.has("--new") || !std::filesystem::is_regular_file(rowPath, missing))
        return {};
    if (beginsAsMidi(rowPath))
        return Failure{rowPath + ": is a MIDI file, not a row; the notes are not appended to it"};
    return {};
}

// The module's recorder appends to `target`, from a fresh instance; then the tool checks that
// every note sent arrived.
Status recordInto(const std::string& target, const std::string& modulePath, double rate,
                  long blockSize, const MidiReading& reading, Progress& progress) {
    Result<std::unique_ptr<HostInstance>> instance = startInstance(modulePath, rate, blockSize);
    if (!instance)
        return Failure{instance.error()};
    const uint64_t before = notesIn(target);
    if (Status set = (*instance)->setParameter("on D: DIAGNOSE.TXT", 0); !set)
        return set;
    if (Status named = (*instance)->setText("OUTFILE", target); !named)
        return named;
    Result<uint64_t> sent = feed(**instance, reading, rate, progress);
    if (!sent)
        return Failure{sent.error()};
    if (Status closed = (*instance)->close(); !closed) // the module writes out what it recorded
        return closed;
    if (Status input = checkInput(target, "row file"); !input)
        return Failure{target + ": the module could not create the row file"};
    return checkStored(target, before, *sent);
}

// With --new the recording goes to a fresh file that then replaces the row; nothing of the old
// row is lost unless the new one is complete.
Status recordAndPlace(const std::string& rowPath, bool replace, const std::string& modulePath,
                      double rate, long blockSize, const MidiReading& reading, Progress& progress) {
    const std::string target = replace ? freshNameBeside(rowPath) : rowPath;
    if (Status name = checkRowName(target); !name)
        return name;
    Status recorded = recordInto(target, modulePath, rate, blockSize, reading, progress);
    if (recorded && replace) {
        // written over the row as every whole file is, so a link keeps naming the row
        Result<std::vector<uint8_t>> notes = readRowFile(target);
        if (!notes)
            recorded = Failure{notes.error()};
        else
            recorded = writeFileWhole(rowPath, *notes);
    }
    if (replace)
        std::remove(target.c_str());
    return recorded;
}

Status recordRow(const CommandLine& line, const std::string& modulePath, std::istream& in,
                 std::ostream& out, Progress& progress) {
    const std::string& midiPath = line.operands[0];
    const std::string& rowPath = line.operands[1];
    Result<long> blockSize = blockSizeOption(line, RecordBlockSize);
    if (!blockSize)
        return Failure{blockSize.error()};
    Result<double> rate = sampleRateOption(line);
    if (!rate)
        return Failure{rate.error()};
    if (Status target = checkRowTarget(line, midiPath, rowPath); !target)
        return target;
    Result<MidiReading> reading = readMidiInput(midiPath, in);
    if (!reading)
        return Failure{reading.error()};
    if (Status length = checkLength(midiPath, *reading, *rate, *blockSize); !length)
        return length;
    if (Status name = checkRowName(rowPath); !name)
        return name;
    if (Status place = checkOutput(rowPath, "row file"); !place)
        return place;

    const bool replace = line.has("--new");
    std::error_code missing;
    const bool fresh = replace || !std::filesystem::exists(rowPath, missing);
    const uint64_t before = replace ? 0 : notesIn(rowPath);
    if (Status recorded =
            recordAndPlace(rowPath, replace, modulePath, *rate, *blockSize, *reading, progress);
        !recorded)
        return recorded;
    const uint64_t after = notesIn(rowPath);
    const uint64_t added = after - before;
    if (fresh)
        out << "made " << rowPath << " with " << added << (added == 1 ? " note" : " notes") << "\n";
    else
        out << "appended " << added << (added == 1 ? " note" : " notes") << " to " << rowPath
            << ", which now holds " << after << "\n";
    return {};
}

int record(const CommandLine& line, Console& console) {
    Result<std::string> module = modulePathFor(line);
    if (!module)
        return console.finish(Failure{module.error()});
    return console.finish(recordRow(line, *module, console.in, console.out, console.progress));
}

} // namespace

CommandSpec recordCommand() {
    return {"record",
            "IN.mid ROW",
            "record the notes of a MIDI file into a row",
            "IN.mid ROW [--new] [--block-size N] [--sample-rate HZ]",
            2,
            2,
            "Feeds every channel message of the MIDI file IN.mid (- for standard input) to the "
            "module\nin time, with REC high: its recorder appends the NOTE_ONs to the row file "
            "ROW, which is\nmade if it does not exist.\n",
            {{"--new", nullptr, "replace an existing ROW with just this recording"},
             recordBlockSizeSpec(),
             sampleRateSpec()},
            record};
}
