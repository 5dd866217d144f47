// Reading walks the chunks with a bounds check before every byte. Any fault, in reading or
// writing, is thrown as a Fault carrying one line of text and becomes a Failure where the public
// functions return.
#include "midi_file.h"
#include "read_file.h"
#include "safe_file.h"
#include "texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <tuple>
#include <utility>

namespace {

constexpr size_t kMaxFileSize = size_t{16} << 20; // far beyond any real song, safe on 32 bits
constexpr uint32_t kDefaultTempo = 500000;        // microseconds per quarter note: 120 BPM
constexpr uint32_t kMaxDelta = 0x0FFFFFFF;        // the most a 4-byte quantity holds

struct Fault {
    std::string what;
};

uint32_t bigEndian(const uint8_t* p, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | p[i];
    return value;
}

std::string hexByte(uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// The seconds of ticks taken in time order: the tempo changes up to a tick are walked once.
class TempoClock {
  public:
    TempoClock(const std::vector<TempoChange>& tempos, int ticksPerQuarter, double ticksPerSecond)
        : tempos(tempos), ticksPerQuarter(ticksPerQuarter), ticksPerSecond(ticksPerSecond),
          perTick(ticksPerQuarter != 0 ? secondsPerTick(kDefaultTempo) : 0.0) {}

    double at(uint64_t tick) {
        if (ticksPerQuarter == 0) // frame time does not follow tempo changes
            return static_cast<double>(tick) / ticksPerSecond;
        for (; next < tempos.size() && tempos[next].tick <= tick; ++next) {
            fromSeconds += static_cast<double>(tempos[next].tick - fromTick) * perTick;
            fromTick = tempos[next].tick;
            perTick = secondsPerTick(tempos[next].microseconds);
        }
        return fromSeconds + static_cast<double>(tick - fromTick) * perTick;
    }

  private:
    [[nodiscard]] double secondsPerTick(uint32_t tempo) const {
        return tempo / 1e6 / ticksPerQuarter;
    }

    const std::vector<TempoChange>& tempos; // in tick order
    int ticksPerQuarter;
    double ticksPerSecond;
    uint64_t fromTick = 0;
    double fromSeconds = 0.0;
    double perTick;
    size_t next = 0;
};

// What a first pass over an image found, for walking a file of one track again.
struct TrackLayout {
    size_t begin = 0, end = 0; // of the track's events, in the image
    size_t messages = 0;       // channel messages in all tracks
    uint64_t lastTick = 0;     // of the last of them
};

// One pass over a file image. Tracks append their channel messages and tempo changes in the order
// the tracks come; timing and merging happen once all are read.
class Parser {
  public:
    Parser(const uint8_t* data, size_t size) : data(data), size(size) {}

    MidiSequence parse() {
        MidiSequence sequence;
        store = &sequence.messages;
        walkChunks(sequence);
        // One track, or tracks one after the other, are in order already; a large file is most
        // often one track, and sorting it would copy it twice.
        const auto earlier = [](const TimedMessage& a, const TimedMessage& b) {
            return a.tick < b.tick;
        };
        if (!std::is_sorted(sequence.messages.begin(), sequence.messages.end(), earlier))
            std::stable_sort(sequence.messages.begin(), sequence.messages.end(), earlier);
        assignSeconds(sequence);
        return sequence;
    }

    // Checks the whole image as parse() does, but only counts its messages.
    TrackLayout check(MidiSequence& sequence) {
        store = nullptr;
        walkChunks(sequence);
        layout.messages = counted;
        std::stable_sort(
            tempos.begin(), tempos.end(),
            [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
        return layout;
    }
    [[nodiscard]] const std::vector<TempoChange>& tempoChanges() const { return tempos; }
    [[nodiscard]] double frameTicksPerSecond() const { return ticksPerSecond; }
    [[nodiscard]] int quarterTicks() const { return ticksPerQuarter; }

    // Hands the messages of a checked track to `take`, timed by `clock`, until it says stop.
    bool walkTrack(size_t begin, size_t end, TempoClock& clock, const MessageTaker& take) {
        taker = &take;
        tempoClock = &clock;
        collectTempos = false;
        readTrack(begin, end, 1);
        return !stopped;
    }

  private:
    void walkChunks(MidiSequence& sequence) {
        readHeader(sequence);
        // A channel message takes three bytes or more, with its time and running status; room
        // for them all at once spares a large file its copies while it is read.
        if (store)
            store->reserve(size / 3);
        size_t pos = headerEnd;
        for (int track = 1; track <= sequence.trackCount;) {
            if (size - pos < 8)
                fail("ends after " + std::to_string(track - 1) + " of " +
                     std::to_string(sequence.trackCount) + " tracks");
            uint32_t length = bigEndian(data + pos + 4, 4);
            if (length > size - pos - 8)
                fail("chunk at byte " + std::to_string(pos) + " runs past the end of the file");
            if (std::memcmp(data + pos, "MTrk", 4) == 0) {
                layout.begin = pos + 8;
                layout.end = pos + 8 + length;
                readTrack(layout.begin, layout.end, track++);
            }
            pos += 8 + length; // other chunks are skipped
        }
    }

    // Each channel message read: kept, counted or handed over.
    void take(TimedMessage message) {
        if (store) {
            store->push_back(message);
            return;
        }
        ++counted;
        layout.lastTick = std::max(layout.lastTick, message.tick);
        if (taker) {
            message.seconds = tempoClock->at(message.tick);
            stopped = !(*taker)(message);
        }
    }

  private:
    [[noreturn]] static void fail(const std::string& what) { throw Fault{what}; }
    [[noreturn]] void failInTrack(const std::string& what, size_t at) const {
        fail("track " + std::to_string(track) + ": " + what + " at byte " + std::to_string(at));
    }

    void readHeader(MidiSequence& sequence) {
        if (size < 4 || std::memcmp(data, "MThd", 4) != 0)
            fail("not a MIDI file (no MThd header)");
        if (size < 14)
            fail("cut short in the header");
        uint32_t length = bigEndian(data + 4, 4);
        if (length < 6)
            fail("header chunk of " + std::to_string(length) + " bytes, needs 6");
        if (length > size - 8)
            fail("header chunk runs past the end of the file");
        headerEnd = 8 + size_t{length};

        sequence.format = static_cast<int>(bigEndian(data + 8, 2));
        sequence.trackCount = static_cast<int>(bigEndian(data + 10, 2));
        if (sequence.format == 2)
            fail("format 2 (independent sequences) is not supported");
        if (sequence.format > 2)
            fail("unknown format " + std::to_string(sequence.format));
        if (sequence.trackCount == 0)
            fail("the header declares no tracks");
        if (sequence.format == 0 && sequence.trackCount != 1)
            fail("format 0 with " + std::to_string(sequence.trackCount) + " tracks, needs 1");
        readDivision(data[12], data[13]);
        sequence.ticksPerQuarter = ticksPerQuarter;
    }

    // Either ticks per quarter note, or (top bit set) minus the SMPTE frame rate and ticks per
    // frame. Frame time does not follow tempo changes.
    void readDivision(uint8_t high, uint8_t low) {
        if (high < 0x80) {
            ticksPerQuarter = high << 8 | low;
            if (ticksPerQuarter == 0)
                fail("time division of 0 ticks per quarter note");
            return;
        }
        int framesPerSecond = 256 - high;
        if (framesPerSecond != 24 && framesPerSecond != 25 && framesPerSecond != 29 &&
            framesPerSecond != 30)
            fail("SMPTE time division with " + std::to_string(framesPerSecond) +
                 " frames per second (24, 25, 29 or 30 expected)");
        if (low == 0)
            fail("SMPTE time division of 0 ticks per frame");
        double rate = framesPerSecond == 29 ? 30000.0 / 1001.0 : framesPerSecond;
        ticksPerSecond = rate * low;
    }

    uint32_t readQuantity(size_t& pos, size_t end) const {
        size_t start = pos;
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            if (pos >= end)
                failInTrack("cut short in a variable-length quantity", start);
            uint8_t byte = data[pos++];
            value = value << 7 | (byte & 0x7F);
            if (byte < 0x80)
                return value;
        }
        failInTrack("variable-length quantity longer than 4 bytes", start);
    }

    void need(size_t pos, size_t end, size_t count, size_t eventStart) const {
        if (count > end - pos)
            failInTrack("cut short in an event", eventStart);
    }

    // Running status carries across meta and system-exclusive events: they hold no channel data,
    // and files written that way are common.
    void readTrack(size_t pos, size_t end, int number) {
        track = number;
        uint64_t tick = 0;
        uint8_t running = 0;
        while (pos < end && !stopped) {
            tick += readQuantity(pos, end);
            size_t start = pos;
            need(pos, end, 1, start);
            uint8_t status = data[pos];
            if (status >= 0x80)
                ++pos;
            else if (running != 0)
                status = running;
            else
                failInTrack("data byte " + hexByte(status) + " with no running status", start);

            if (status < 0xF0) {
                take(readChannelMessage(status, pos, end, start, tick));
                running = status;
            } else if (status == 0xFF) {
                need(pos, end, 1, start);
                uint8_t type = data[pos++];
                uint32_t length = readQuantity(pos, end);
                need(pos, end, length, start);
                if (type == 0x2F)
                    return; // end of track: whatever follows in the chunk is not part of it
                if (type == 0x51 && collectTempos)
                    tempos.push_back({tick, readTempo(pos, length, start)});
                pos += length;
            } else if (status == 0xF0 || status == 0xF7) {
                uint32_t length = readQuantity(pos, end);
                need(pos, end, length, start);
                pos += length;
            } else {
                failInTrack("status byte " + hexByte(status) + " not allowed in a file", start);
            }
        }
    }

    TimedMessage readChannelMessage(uint8_t status, size_t& pos, size_t end, size_t start,
                                    uint64_t tick) const {
        TimedMessage message;
        message.tick = tick;
        message.size = static_cast<uint8_t>(channelMessageSize(status));
        message.bytes[0] = status;
        need(pos, end, message.size - 1u, start);
        for (int i = 1; i < message.size; ++i) {
            uint8_t byte = data[pos++];
            if (byte >= 0x80)
                failInTrack("status byte " + hexByte(byte) + " inside a " + hexByte(status) +
                                " message",
                            start);
            message.bytes[i] = byte;
        }
        return message;
    }

    [[nodiscard]] uint32_t readTempo(size_t pos, uint32_t length, size_t start) const {
        if (length != 3)
            failInTrack("tempo event of " + std::to_string(length) + " bytes, needs 3", start);
        uint32_t microseconds = bigEndian(data + pos, 3);
        if (microseconds == 0)
            failInTrack("tempo of 0 microseconds per quarter note", start);
        return microseconds;
    }

    // Messages are in tick order; walk them and the tempo changes together.
    void assignSeconds(MidiSequence& sequence) {
        std::stable_sort(
            tempos.begin(), tempos.end(),
            [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
        TempoClock clock(tempos, ticksPerQuarter, ticksPerSecond);
        for (TimedMessage& message : sequence.messages)
            message.seconds = clock.at(message.tick);
    }

    const uint8_t* data;
    size_t size;
    size_t headerEnd = 0;
    int ticksPerQuarter = 0;     // or, for SMPTE time, 0 and
    double ticksPerSecond = 0.0; // this
    int track = 0;               // 1-based, for error lines
    std::vector<TempoChange> tempos;
    bool collectTempos = true;

    // where the channel messages go: into `store`, or counted and, with a taker, handed over
    std::vector<TimedMessage>* store = nullptr;
    size_t counted = 0;
    TrackLayout layout; // the last track read
    const MessageTaker* taker = nullptr;
    TempoClock* tempoClock = nullptr;
    bool stopped = false; // the taker said stop
};

// The whole file, or a Fault saying why not. It is looked at before it is opened, so that a FIFO
// cannot make the reader wait.
std::vector<uint8_t> loadFile(const std::string& path) {
    if (path.empty())
        throw Fault{"no file name given"};
    if (Status input = checkInputKind(path, "MIDI file"); !input)
        throw Fault{input.error()};
    Result<std::vector<uint8_t>> bytes = readWholeFile(path, kMaxFileSize);
    if (!bytes)
        throw Fault{bytes.error()};
    return std::move(*bytes);
}

// --- writing ---

void putBigEndian(std::vector<uint8_t>& out, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void putQuantity(std::vector<uint8_t>& out, uint32_t value) {
    int groups = 1;
    while (groups < 4 && value >> (7 * groups) != 0)
        ++groups;
    for (int i = groups - 1; i >= 0; --i)
        out.push_back(static_cast<uint8_t>((value >> (7 * i) & 0x7F) | (i > 0 ? 0x80 : 0)));
}

// The line starts with the message's place, made only for a message at fault.
void checkMessage(const TimedMessage& message, size_t index) {
    const auto which = [index] { return "message " + std::to_string(index + 1) + ": "; };
    uint8_t status = message.bytes[0];
    int size = channelMessageSize(status);
    if (size == 0)
        throw Fault{which() + hexByte(status) + " is not a channel message status"};
    if (message.size != size)
        throw Fault{which() + std::to_string(message.size) + " bytes, a " + hexByte(status) +
                    " message has " + std::to_string(size)};
    for (int i = 1; i < size; ++i)
        if (message.bytes[i] >= 0x80)
            throw Fault{which() + "data byte " + hexByte(message.bytes[i]) + " above 0x7F"};
    if (!std::isfinite(message.seconds))
        throw Fault{which() + "time is not a number"};
}

// The file's header and the start of its one track, whose length is filled in at the end.
constexpr size_t kTrackStart = 22;

std::vector<uint8_t> encode(const std::vector<TimedMessage>& messages, double bpm) {
    MidiEncoder encoder(bpm, messages.size());
    for (const TimedMessage& message : messages)
        encoder.add(message);
    Result<std::vector<uint8_t>> file = encoder.finish();
    if (!file)
        throw Fault{file.error()};
    return std::move(*file);
}

// A RIFF-wrapped file ("RIFF", length, "RMID") carries the Standard MIDI File in its "data"
// chunk. Chunks are little-endian and padded to an even length.
std::pair<const uint8_t*, size_t> unwrapRiff(const uint8_t* data, size_t size) {
    auto littleEndian = [](const uint8_t* p) {
        return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    };
    size_t pos = 12;
    while (size - pos >= 8) {
        const uint32_t length = littleEndian(data + pos + 4);
        if (length > size - pos - 8)
            throw Fault{"RIFF chunk at byte " + std::to_string(pos) + " runs past the end"};
        if (std::memcmp(data + pos, "data", 4) == 0)
            return {data + pos + 8, length};
        pos += 8 + size_t{length} + (length & 1);
        if (pos > size)
            break;
    }
    throw Fault{"RIFF MIDI file without a data chunk"};
}

bool isRiffMidi(const uint8_t* data, size_t size) {
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "RMID", 4) == 0;
}

// Turns whatever `work` throws into a Failure of one line, prefixed with `where` when given.
template <class Work> auto caught(const std::string& where, Work work) -> decltype(work()) {
    const std::string prefix = where.empty() ? where : where + ": ";
    try {
        return work();
    } catch (const Fault& fault) {
        return ::Failure{prefix + fault.what};
    } catch (const std::bad_alloc&) {
        return ::Failure{prefix + "out of memory"};
    }
}

} // namespace

int channelMessageSize(uint8_t status) {
    if (status < 0x80 || status >= 0xF0)
        return 0;
    uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

bool looksLikeMidi(const uint8_t* data, size_t size) {
    return (size >= 4 && std::memcmp(data, "MThd", 4) == 0) || isRiffMidi(data, size);
}

Result<MidiSequence> parseMidi(const uint8_t* data, size_t size) {
    return caught("", [&]() -> Result<MidiSequence> {
        if (data == nullptr)
            size = 0;
        if (isRiffMidi(data, size)) {
            const auto [inner, length] = unwrapRiff(data, size);
            return Parser(inner, length).parse();
        }
        return Parser(data, size).parse();
    });
}

Result<MidiSequence> readMidiFile(const std::string& path) {
    return caught(path, [&]() -> Result<MidiSequence> {
        const std::vector<uint8_t> bytes = loadFile(path);
        Result<MidiSequence> sequence = parseMidi(bytes.data(), bytes.size());
        if (!sequence)
            throw Fault{sequence.error()};
        return sequence;
    });
}

Result<MidiReading> MidiReading::of(std::vector<uint8_t> bytes) {
    return caught("", [&]() -> Result<MidiReading> {
        MidiReading reading;
        reading.image = std::move(bytes);
        const uint8_t* data = reading.image.data();
        size_t size = reading.image.size();
        if (isRiffMidi(data, size))
            std::tie(data, size) = unwrapRiff(data, size);
        Parser parser(data, size);
        MidiSequence header;
        const TrackLayout layout = parser.check(header);
        reading.count = layout.messages;
        if (header.trackCount != 1) {
            reading.merged = Parser(data, size).parse();
            reading.last = reading.count ? reading.merged->messages.back().seconds : 0.0;
            return reading;
        }
        const auto offset = static_cast<size_t>(data - reading.image.data());
        reading.trackBegin = offset + layout.begin;
        reading.trackEnd = offset + layout.end;
        reading.tempos = parser.tempoChanges();
        reading.ticksPerQuarter = parser.quarterTicks();
        reading.ticksPerSecond = parser.frameTicksPerSecond();
        TempoClock clock(reading.tempos, reading.ticksPerQuarter, reading.ticksPerSecond);
        reading.last = reading.count ? clock.at(layout.lastTick) : 0.0;
        return reading;
    });
}

Result<MidiReading> MidiReading::ofFile(const std::string& path) {
    return caught(path, [&]() -> Result<MidiReading> {
        Result<MidiReading> reading = of(loadFile(path));
        if (!reading)
            throw Fault{reading.error()};
        return reading;
    });
}

bool MidiReading::forEach(const MessageTaker& take) const {
    if (merged) {
        for (const TimedMessage& message : merged->messages)
            if (!take(message))
                return false;
        return true;
    }
    TempoClock clock(tempos, ticksPerQuarter, ticksPerSecond);
    Parser parser(image.data(), image.size());
    return parser.walkTrack(trackBegin, trackEnd, clock, take);
}

MidiEncoder::MidiEncoder(double bpm, size_t expected) {
    const double tempo = std::isfinite(bpm) && bpm > 0.0 ? std::round(60e6 / bpm) : 0.0;
    if (!(tempo >= 1.0 && tempo <= 0xFFFFFF)) {
        failure = "tempo of " + shortNumber(bpm) + " BPM cannot be written";
        return;
    }
    ticksPerSecond = kWriteTicksPerQuarter * 1e6 / tempo;
    file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
    // at most a 4-byte time and 3 bytes a message, and the track's first and last events
    file.reserve(kTrackStart + 7 + expected * 7 + 4);
    putBigEndian(file, kWriteTicksPerQuarter, 2);
    file.insert(file.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
    file.insert(file.end(), {0x00, 0xFF, 0x51, 0x03});
    putBigEndian(file, static_cast<uint32_t>(tempo), 3);
}

void MidiEncoder::add(const TimedMessage& message) {
    const size_t index = count++;
    if (!failure.empty())
        return;
    try {
        checkMessage(message, index);
    } catch (const Fault& fault) {
        failure = fault.what;
        return;
    }
    const double tick = std::max(lastTick, std::round(message.seconds * ticksPerSecond));
    if (tick - lastTick > kMaxDelta) {
        failure = "message " + std::to_string(index + 1) + ": " + shortNumber(message.seconds) +
                  " s is too far from the one before";
        return;
    }
    putQuantity(file, static_cast<uint32_t>(tick - lastTick));
    file.insert(file.end(), message.bytes.begin(), message.bytes.begin() + message.size);
    lastTick = tick;
}

Result<std::vector<uint8_t>> MidiEncoder::finish() {
    if (!failure.empty())
        return Failure{failure};
    file.insert(file.end(), {0x00, 0xFF, 0x2F, 0x00});
    const auto length = static_cast<uint32_t>(file.size() - kTrackStart);
    for (int i = 0; i < 4; ++i)
        file[kTrackStart - 4 + static_cast<size_t>(i)] =
            static_cast<uint8_t>(length >> (24 - 8 * i));
    failure = "the file was taken already";
    return std::move(file);
}

Result<std::vector<uint8_t>> encodeMidi(const std::vector<TimedMessage>& messages, double bpm) {
    return caught("", [&]() -> Result<std::vector<uint8_t>> { return encode(messages, bpm); });
}

Status writeMidiFile(const std::string& path, const std::vector<TimedMessage>& messages,
                     double bpm) {
    Result<std::vector<uint8_t>> bytes = encodeMidi(messages, bpm);
    if (!bytes)
        return Failure{path + ": " + bytes.error()};
    return writeFileWhole(path, *bytes);
}
