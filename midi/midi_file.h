// Standard MIDI Files for the command-line tools: read every channel message of a file with its
// time, and write a list of timed messages as a one-track file.
#pragma once

#include "abi.h"
#include "result.h"

#include <array>
#include <cstddef>
#include <cstdint>
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

// The resolution of the files we write.
constexpr int kWriteTicksPerQuarter = 480;

// The image of a format 0 file of `messages` (in time order, times in seconds) with one tempo,
// `bpm`. A message earlier than the one before it is written at the same tick as that one.
Result<std::vector<uint8_t>> encodeMidi(const std::vector<TimedMessage>& messages, double bpm);

// Encodes and writes the file whole: a file already at `path` is replaced only by a complete new
// one, and kept as it was on any failure, which the error then tells in one line.
Status writeMidiFile(const std::string& path, const std::vector<TimedMessage>& messages,
                     double bpm);
