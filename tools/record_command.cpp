// record IN.mid ROW: feeds a MIDI file to the module with REC high, so that its own recorder
// appends the notes to the row. The module appends silently, as a module must; the tool compares
// what the row gained with the notes it sent and tells when any were lost.
#include "host_instance.h"
#include "midi_file.h"
#include "tool.h"

#include <cmath>
#include <filesystem>

namespace {

int32_t packed(const TimedMessage& m) {
    return m.bytes[0] | m.bytes[1] << 8 | (m.size == 3 ? m.bytes[2] << 16 : 0);
}

// The module records a NOTE_ON that starts a note; one of velocity 0 ends a note instead.
bool startsNote(const TimedMessage& m) {
    return (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0;
}

// The row's length in notes; a row not there yet holds none.
uint64_t notesIn(const std::string& path) {
    std::error_code missing;
    const uintmax_t size = std::filesystem::file_size(path, missing);
    return missing ? 0 : static_cast<uint64_t>(size);
}

// Every message goes to the module before the block in which its time falls, with its offset
// into that block. Returns the number of notes sent while REC was high.
Result<uint64_t> feed(HostInstance& instance, const std::vector<TimedMessage>& messages,
                      double rate, Progress& progress) {
    if (Status rec = instance.setLevel("REC", 1.0f); !rec)
        return Failure{rec.error()};
    if (Status first = instance.runBlocks(1); !first) // REC is seen at a block's start
        return Failure{first.error()};
    const int64_t origin = instance.clock();
    progress.start("recording", messages.empty() ? 0.0 : messages.back().seconds);
    uint64_t notes = 0;
    size_t next = 0;
    while (next < messages.size()) {
        const int64_t start = instance.clock();
        const int64_t end = start + instance.blockSize();
        for (; next < messages.size(); ++next) {
            const int64_t at = origin + std::llround(messages[next].seconds * rate);
            if (at >= end)
                break;
            const int64_t offset = at > start ? at - start : 0;
            if (Status sent =
                    instance.sendMidi(packed(messages[next]), static_cast<int32_t>(offset));
                !sent)
                return Failure{sent.error()};
            notes += startsNote(messages[next]);
        }
        if (Status ran = instance.runBlocks(1); !ran)
            return Failure{ran.error()};
        progress.update(static_cast<double>(start - origin) / rate, notes);
    }
    progress.finish(notes);
    return notes;
}

// The run must end within a day of simulated time, like play's.
Status checkLength(const std::string& midiPath, const MidiSequence& sequence, double rate,
                   long blockSize) {
    const double seconds = sequence.messages.empty() ? 0.0 : sequence.messages.back().seconds;
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

} // namespace

Status recordRow(const CommandLine& line, const std::string& modulePath, std::ostream& out,
                 Progress& progress) {
    const std::string& midiPath = line.operands[0];
    const std::string& rowPath = line.operands[1];
    Result<long> blockSize = blockSizeOption(line);
    if (!blockSize)
        return Failure{blockSize.error()};
    Result<double> rate = sampleRateOption(line);
    if (!rate)
        return Failure{rate.error()};
    MidiSequence sequence;
    std::string error;
    if (!readMidiFile(midiPath, sequence, error))
        return Failure{error};
    if (Status length = checkLength(midiPath, sequence, *rate, *blockSize); !length)
        return length;
    if (Status name = checkRowName(rowPath); !name)
        return name;
    if (Status place = checkOutput(rowPath, "row file"); !place)
        return place;

    Result<std::unique_ptr<HostInstance>> instance = startInstance(modulePath, *rate, *blockSize);
    if (!instance)
        return Failure{instance.error()};
    const uint64_t before = notesIn(rowPath);
    if (Status set = (*instance)->setParameter("on D: DIAGNOSE.TXT", 0); !set)
        return set;
    if (Status named = (*instance)->setText("OUTFILE", rowPath); !named)
        return named;
    Result<uint64_t> sent = feed(**instance, sequence.messages, *rate, progress);
    if (!sent)
        return Failure{sent.error()};
    if (Status closed = (*instance)->close(); !closed) // the module writes out what it recorded
        return closed;
    if (Status input = checkInput(rowPath, "row file"); !input)
        return Failure{rowPath + ": the module could not create the row file"};
    if (Status stored = checkStored(rowPath, before, *sent); !stored)
        return stored;
    const uint64_t after = notesIn(rowPath);
    out << "recorded " << *sent << (*sent == 1 ? " note" : " notes") << " from " << midiPath
        << " into " << rowPath << ", which now holds " << after << "\n";
    return {};
}
