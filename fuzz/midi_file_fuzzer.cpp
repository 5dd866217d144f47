// The MIDI file reader on any bytes at all: it must refuse what it cannot read with one line, and
// whatever it accepts must be channel messages in time order that the writer can write again and
// the reader read back as the same messages.
#include "midi_file.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "kaveltrum-midi-fuzz: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

void checkMessages(const MidiSequence& sequence) {
    double seconds = 0.0;
    uint64_t tick = 0;
    for (const TimedMessage& message : sequence.messages) {
        if (message.size != channelMessageSize(message.bytes[0]))
            fail("a message whose size is not that of its status byte");
        for (int i = 1; i < 3; ++i)
            if (message.bytes[i] >= 0x80 || (i >= message.size && message.bytes[i] != 0))
                fail("a message with a data byte above 0x7F or a byte beyond its size");
        if (!std::isfinite(message.seconds) || message.seconds < seconds || message.tick < tick)
            fail("messages out of time order, or a time that is no number");
        seconds = message.seconds;
        tick = message.tick;
    }
}

// What the writer makes of the messages reads back as the same messages.
void checkRewritten(const MidiSequence& sequence) {
    Result<std::vector<uint8_t>> image = encodeMidi(sequence.messages, 120.0);
    if (!image) // a gap between two messages too long for one delta: refused, in one line
        return;
    Result<MidiSequence> again = parseMidi(image->data(), image->size());
    if (!again)
        fail("the reader refuses a file the writer made");
    if (again->messages.size() != sequence.messages.size())
        fail("a rewritten file holds another number of messages");
    for (size_t i = 0; i < sequence.messages.size(); ++i)
        if (again->messages[i].bytes != sequence.messages[i].bytes)
            fail("a rewritten file holds other messages, or in another order");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Result<MidiSequence> sequence = parseMidi(data, size);
    if (!sequence) {
        if (sequence.error().empty() || sequence.error().find('\n') != std::string::npos)
            fail("a refusal that is not one line");
        return 0;
    }
    if (sequence->format != 0 && sequence->format != 1)
        fail("a format other than 0 or 1 was accepted");
    if (sequence->trackCount < 1 || (sequence->format == 0 && sequence->trackCount != 1))
        fail("a track count the format does not allow was accepted");
    checkMessages(*sequence);
    checkRewritten(*sequence);
    return 0;
}
