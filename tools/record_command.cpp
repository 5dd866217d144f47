// record IN.mid ROW: feeds a MIDI file to the module with REC high, so that its own recorder
// appends the notes to the row.
#include "host_instance.h"
#include "midi_file.h"
#include "tool.h"

#include <cmath>
#include <cstdio>
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
        const std::string name = path + ".new" + std::to_string(attempt);
        std::error_code failed; // a name that cannot be looked at fails when recorded into
        if (!std::filesystem::exists(name, failed) || failed)
            return name;
    }
}

Status checkRowTarget(const CommandLine& line, const std::string& midiPath,
                      const std::string& rowPath) {
    if (midiPath != "-" && sameFile(midiPath, rowPath))
        return Failure{midiPath + " and " + rowPath +
                       " are the same file; give the row a file of its own"};
    if (line.has("--new"))
        return {};
    std::error_code missing;
    if (!std::filesystem::is_regular_file(rowPath, missing))
        return {};
    Result<std::vector<uint8_t>> row = readRowFile(rowPath);
    if (row && looksLikeMidi(row->data(), row->size()))
        return Failure{rowPath + ": is a MIDI file, not a row; the notes are not appended to it"};
    return {};
}

// Feeds the messages to a fresh instance whose recorder appends to `target`.
Status recordInto(const std::string& target, const std::string& modulePath, double rate,
                  long blockSize, const std::vector<TimedMessage>& messages) {
    Result<std::unique_ptr<HostInstance>> instance = startInstance(modulePath, rate, blockSize);
    if (!instance)
        return Failure{instance.error()};
    if (Status set = (*instance)->setParameter("on D: DIAGNOSE.TXT", 0); !set)
        return set;
    if (Status named = (*instance)->setText("OUTFILE", target); !named)
        return named;
    if (Status fed = feed(**instance, messages, rate); !fed)
        return fed;
    if (Status closed = (*instance)->close(); !closed) // the module writes out what it recorded
        return closed;
    if (!std::filesystem::exists(target))
        return Failure{target + ": the module could not create the row file"};
    return {};
}

} // namespace

Status recordRow(const CommandLine& line, const std::string& modulePath, std::istream& in,
                 std::ostream& out) {
    const std::string& midiPath = line.operands[0];
    const std::string& rowPath = line.operands[1];
    Result<long> blockSize = wholeNumber(line, "--block-size", 64, 1, MaxBlockSize);
    if (!blockSize)
        return Failure{blockSize.error()};
    Result<double> rate = positiveNumber(line, "--sample-rate", 44100.0, 768000.0);
    if (!rate)
        return Failure{rate.error()};
    if (Status target = checkRowTarget(line, midiPath, rowPath); !target)
        return target;
    Result<MidiSequence> sequence = readMidiInput(midiPath, in);
    if (!sequence)
        return Failure{sequence.error()};
    if (Status place = checkWritablePlace(rowPath, "row file"); !place)
        return place;

    const bool fresh = line.has("--new") || !std::filesystem::exists(rowPath);
    const std::string target = line.has("--new") ? freshNameBeside(rowPath) : rowPath;
    const uintmax_t before = sizeOf(target);
    Status recorded = recordInto(target, modulePath, *rate, *blockSize, sequence->messages);
    if (recorded && target != rowPath) {
        std::error_code failed;
        std::filesystem::rename(target, rowPath, failed);
        if (failed)
            recorded = Failure{rowPath + ": could not be replaced (" + failed.message() + ")"};
    }
    if (!recorded) {
        if (target != rowPath)
            std::remove(target.c_str());
        return recorded;
    }
    const uintmax_t after = sizeOf(rowPath);
    const uintmax_t added = after - before;
    if (fresh)
        out << "made " << rowPath << " with " << added << (added == 1 ? " note" : " notes") << "\n";
    else
        out << "appended " << added << (added == 1 ? " note" : " notes") << " to " << rowPath
            << ", which now holds " << after << "\n";
    return {};
}
