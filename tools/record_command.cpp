// record IN.mid ROW: feeds a MIDI file to the module with REC high, so that its own recorder
// appends the notes to the row.
#include "host_instance.h"
#include "midi_file.h"
#include "tool.h"

#include <cmath>
#include <filesystem>

namespace {

int32_t packed(const TimedMessage& m) {
    return m.bytes[0] | m.bytes[1] << 8 | (m.size == 3 ? m.bytes[2] << 16 : 0);
}

uintmax_t sizeOf(const std::string& path) {
    std::error_code missing;
    const uintmax_t size = std::filesystem::file_size(path, missing);
    return missing ? 0 : size;
}

// Every message goes to the module before the block in which its time falls, with its offset
// into that block.
Status feed(HostInstance& instance, const std::vector<TimedMessage>& messages, double rate) {
    if (Status rec = instance.setLevel("REC", 1.0f); !rec)
        return rec;
    if (Status first = instance.runBlocks(1); !first) // REC is seen at a block's start
        return first;
    size_t next = 0;
    while (next < messages.size()) {
        const int64_t start = instance.clock();
        const int64_t end = start + instance.blockSize();
        for (; next < messages.size(); ++next) {
            const int64_t at = std::llround(messages[next].seconds * rate);
            if (at >= end)
                break;
            const int64_t offset = at > start ? at - start : 0;
            if (Status sent =
                    instance.sendMidi(packed(messages[next]), static_cast<int32_t>(offset));
                !sent)
                return sent;
        }
        if (Status ran = instance.runBlocks(1); !ran)
            return ran;
    }
    return {};
}

} // namespace

Status recordRow(const CommandLine& line, const std::string& modulePath, std::ostream& out) {
    const std::string& midiPath = line.operands[0];
    const std::string& rowPath = line.operands[1];
    Result<long> blockSize = wholeNumber(line, "--block-size", 64, 1, MaxBlockSize);
    if (!blockSize)
        return Failure{blockSize.error()};
    Result<double> rate = positiveNumber(line, "--sample-rate", 44100.0, 768000.0);
    if (!rate)
        return Failure{rate.error()};
    Result<MidiSequence> sequence = readMidiFile(midiPath);
    if (!sequence)
        return Failure{sequence.error()};
    if (Status place = checkWritablePlace(rowPath, "row file"); !place)
        return place;

    Result<std::unique_ptr<HostInstance>> instance = startInstance(modulePath, *rate, *blockSize);
    if (!instance)
        return Failure{instance.error()};
    const uintmax_t before = sizeOf(rowPath);
    if (Status set = (*instance)->setParameter("on D: DIAGNOSE.TXT", 0); !set)
        return set;
    if (Status named = (*instance)->setText("OUTFILE", rowPath); !named)
        return named;
    if (Status fed = feed(**instance, sequence->messages, *rate); !fed)
        return fed;
    if (Status closed = (*instance)->close(); !closed) // the module writes out what it recorded
        return closed;
    if (!std::filesystem::exists(rowPath))
        return Failure{rowPath + ": the module could not create the row file"};
    const uintmax_t after = sizeOf(rowPath);
    out << "recorded " << (after - before) << (after - before == 1 ? " note" : " notes") << " from "
        << midiPath << " into " << rowPath << ", which now holds " << after << "\n";
    return {};
}
