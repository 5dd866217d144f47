// Standard MIDI Files for the command-line tools: read every channel message of a file with its
// time, and write a list of timed messages as a one-track file.
#pragma once

#include "abi.h"
#include "result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One channel message (status 0x80..0xEF and its one or two data bytes) and when it happens.
struct TimedMessage {
    double seconds = 0.0;           // from the start of the file
    uint64_t tick = 0;              // in the file's resolution; set by the reader only
    std::array<uint8_t, 3> bytes{}; // unused bytes are 0
    uint8_t size = 0;               // 2 (program change, channel pressure) or 3

    // As one packed word, for the MIDI vocabulary the tools share with the host.
    [[nodiscard]] int32_t packed() const { return packMidi(bytes[0], bytes[1], bytes[2]); }
};

// What the reader found: every track merged in time order. Equal times keep the earlier track
// first, then the order within the track.
struct MidiSequence {
    int format = 0;          // 0 or 1
    int trackCount = 0;      //
    int ticksPerQuarter = 0; // 0 when the file counts time in SMPTE frames
    std::vector<TimedMessage> messages;
};

// The length of a channel message with this status byte: 2, 3, or 0 for any other byte.
int channelMessageSize(uint8_t status);

// Whether a file image begins as a Standard MIDI File does: "MThd", or a RIFF file of kind RMID.
bool looksLikeMidi(const uint8_t* data, size_t size);

// Reads a format 0 or 1 file, bare or RIFF-wrapped (RMID). A failure is one line naming the file
// and the fault.
Result<MidiSequence> readMidiFile(const std::string& path);

// The same for a file image in memory; the error line does not name a file.
Result<MidiSequence> parseMidi(const uint8_t* data, size_t size);

// A tempo meta event: from `tick` on, a quarter note lasts `microseconds`.
struct TempoChange {
    uint64_t tick;
    uint32_t microseconds;
};

// Takes one message of a walk; false stops it.
using MessageTaker = std::function<bool(const TimedMessage&)>;

// A file image checked whole, whose messages are then handed over one at a time, in the order
// and with the times parseMidi gives them. A file of one track is not held as messages but read
// again: a file of millions of notes stays out of memory (scripts/bench-tool.sh, list and
// record). A file of more tracks is merged as parseMidi merges it.
class MidiReading {
  public:
    // Fails as parseMidi fails, with the same line, before any message is handed over.
    static Result<MidiReading> of(std::vector<uint8_t> bytes);
    // The file at `path`, read as readMidiFile reads it; the failure names the file.
    static Result<MidiReading> ofFile(const std::string& path);

    [[nodiscard]] size_t messageCount() const { return count; }
    [[nodiscard]] double lastSeconds() const { return last; } // 0 without messages
    // Hands every message to `take` until it says stop; false when it did.
    [[nodiscard]] bool forEach(const MessageTaker& take) const;

  private:
    MidiReading() = default;

    std::vector<uint8_t> image;
    size_t trackBegin = 0, trackEnd = 0; // of the one track's events, in the image
    std::vector<TempoChange> tempos;     // in tick order
    int ticksPerQuarter = 0;
    double ticksPerSecond = 0.0;
    std::optional<MidiSequence> merged; // a file of several tracks, read whole
    size_t count = 0;
    double last = 0.0;
};

// The resolution of the files we write.
constexpr int kWriteTicksPerQuarter = 480;

// A format 0 file built message by message, as encodeMidi builds it at once: a long run keeps
// the few bytes of each message instead of the message (scripts/bench-tool.sh, play --out).
class MidiEncoder {
  public:
    // `expected` messages are made room for.
    explicit MidiEncoder(double bpm, size_t expected = 0);
    // Messages come in time order; after a failure the rest are only counted.
    void add(const TimedMessage& message);
    // The image, or the first failure in the line encodeMidi gives. Once only.
    Result<std::vector<uint8_t>> finish();

  private:
    std::vector<uint8_t> file;
    double ticksPerSecond = 0.0;
    double lastTick = 0.0;
    size_t count = 0;
    std::string failure; // empty while all is well
};

// The image of a format 0 file of `messages` (in time order, times in seconds) with one tempo,
// `bpm`. A message earlier than the one before it is written at the same tick as that one.
Result<std::vector<uint8_t>> encodeMidi(const std::vector<TimedMessage>& messages, double bpm);

// Encodes and writes the file whole: a file already at `path` is replaced only by a complete new
// one, and kept as it was on any failure, which the error then tells in one line.
Status writeMidiFile(const std::string& path, const std::vector<TimedMessage>& messages,
                     double bpm);
