// Standard MIDI Files through files on disk, as the tools use them: hand-built images read back,
// malformed ones rejected with one line, and what the writer makes read by us and by mido.
#include "midi_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// --- file images ---

Bytes chunk(const char* id, const Bytes& body) {
    auto n = static_cast<uint32_t>(body.size());
    return Bytes(id, id + 4) +
           Bytes{uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)} + body;
}

Bytes header(int format, int tracks, int division = 96) {
    return chunk("MThd", {0, uint8_t(format), uint8_t(tracks >> 8), uint8_t(tracks),
                          uint8_t(division >> 8), uint8_t(division)});
}

// A track chunk: the events (delta times included) and an end-of-track event.
Bytes track(const Bytes& events) {
    return chunk("MTrk", events + Bytes{0x00, 0xFF, 0x2F, 0x00});
}

// A RIFF MIDI file: little-endian chunks, each padded to an even length, around `inner`.
Bytes riffChunk(const char* id, const Bytes& body) {
    auto n = static_cast<uint32_t>(body.size());
    Bytes out = Bytes(id, id + 4) +
                Bytes{uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)} + body;
    if (n % 2)
        out.push_back(0);
    return out;
}
Bytes rmid(const Bytes& chunks) {
    return riffChunk("RIFF", Bytes{'R', 'M', 'I', 'D'} + chunks);
}

Bytes tempo(uint32_t microseconds) {
    return {0xFF,
            0x51,
            0x03,
            uint8_t(microseconds >> 16),
            uint8_t(microseconds >> 8),
            uint8_t(microseconds)};
}

struct Expected {
    uint64_t tick;
    double seconds;
    Bytes bytes;
};

Bytes bytesOf(const TimedMessage& message) {
    return Bytes(message.bytes.begin(), message.bytes.begin() + message.size);
}

TimedMessage message(double seconds, Bytes bytes) {
    TimedMessage out;
    out.seconds = seconds;
    out.size = static_cast<uint8_t>(bytes.size());
    for (size_t i = 0; i < bytes.size() && i < 3; ++i)
        out.bytes[i] = bytes[i];
    return out;
}

// Every test gets its own files in the temporary folder, removed at the end.
class MidiFile : public ::testing::Test {
  protected:
    std::string path(const std::string& name = "") {
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::path file =
            std::filesystem::temp_directory_path() /
            ("kv_midi_" + test + "_" + std::to_string(paths.size()) + name + ".mid");
        paths.push_back(file.string());
        return paths.back();
    }
    std::string file(const Bytes& image) {
        std::string name = path();
        FILE* out = std::fopen(name.c_str(), "wb");
        EXPECT_NE(out, nullptr);
        if (out != nullptr) {
            if (!image.empty())
                std::fwrite(image.data(), 1, image.size(), out);
            std::fclose(out);
        }
        return name;
    }
    void TearDown() override {
        for (const std::string& name : paths)
            std::remove(name.c_str());
    }
    std::vector<std::string> paths;
};

// The messages a walk hands over, stopping after `most` of them.
std::vector<TimedMessage> walked(const MidiReading& reading, size_t most = SIZE_MAX) {
    std::vector<TimedMessage> messages;
    const bool whole = reading.forEach([&](const TimedMessage& m) {
        messages.push_back(m);
        return messages.size() < most;
    });
    EXPECT_EQ(whole, messages.size() < most);
    return messages;
}

// A reading of the file hands over exactly what parsing it whole gives, and stops when told.
void expectSameWalk(const std::string& path, const MidiSequence& sequence) {
    const Result<MidiReading> reading = MidiReading::ofFile(path);
    ASSERT_TRUE(reading) << reading.error();
    const std::vector<TimedMessage>& all = sequence.messages;
    EXPECT_EQ(reading->messageCount(), all.size());
    EXPECT_EQ(reading->lastSeconds(), all.empty() ? 0.0 : all.back().seconds);
    const std::vector<TimedMessage> messages = walked(*reading);
    ASSERT_EQ(messages.size(), all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(messages[i].tick, all[i].tick) << "message " << i;
        EXPECT_EQ(messages[i].seconds, all[i].seconds) << "message " << i;
        EXPECT_EQ(messages[i].bytes, all[i].bytes) << "message " << i;
        EXPECT_EQ(messages[i].size, all[i].size) << "message " << i;
    }
    if (all.size() > 1) {
        EXPECT_EQ(walked(*reading, 1).size(), 1u);
    }
}

void expectOneLine(const std::string& error) {
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

// --- reading ---

TEST_F(MidiFile, ReadsHandBuiltFiles) {
    struct Case {
        const char* name;
        Bytes image;
        int ticksPerQuarter;
        std::vector<Expected> messages;
    };
    const Case cases[] = {
        {"running status, also for two-byte messages",
         header(0, 1) +
             track({0x00, 0x90, 0x3C, 0x64, 0x60, 0x3E, 0x64, 0x00, 0x3C, 0x00, 0x60, 0x80,
                    0x3E, 0x40, 0x00, 0xC1, 0x05, 0x10, 0x07, 0x00, 0xE0, 0x00, 0x40}),
         96,
         {{0, 0.0, {0x90, 0x3C, 0x64}},
          {96, 0.5, {0x90, 0x3E, 0x64}},
          {96, 0.5, {0x90, 0x3C, 0x00}},
          {192, 1.0, {0x80, 0x3E, 0x40}},
          {192, 1.0, {0xC1, 0x05}},
          {208, 1.0 + 16 / 192.0, {0xC1, 0x07}},
          {208, 1.0 + 16 / 192.0, {0xE0, 0x00, 0x40}}}},
        {"meta and system-exclusive events skipped by their length, running status kept",
         header(0, 1) +
             track({0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x03, 'a',  0x90, 'c',  0x00, 0xF0,
                    0x03, 0x7E, 0x7F, 0xF7, 0x00, 0xF7, 0x02, 0xF3, 0x01, 0x30, 0x3E, 0x64}),
         96,
         {{0, 0.0, {0x90, 0x3C, 0x64}}, {48, 0.25, {0x90, 0x3E, 0x64}}}},
        {"tempo changes in track 1 time the other tracks",
         header(1, 3) + track(Bytes{0x00} + tempo(1000000) + Bytes{0x81, 0x40} + tempo(250000)) +
             track({0x60, 0x90, 0x3C, 0x64, 0x81, 0x40, 0x80, 0x3C, 0x00}) +
             track({0x81, 0x40, 0xD0, 0x10}),
         96,
         {{96, 1.0, {0x90, 0x3C, 0x64}},
          {192, 2.0, {0xD0, 0x10}},
          {288, 2.25, {0x80, 0x3C, 0x00}}}},
        {"a tempo change within the one track, after a message at its tick",
         header(0, 1) + track(Bytes{0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00, 0x00} +
                              tempo(250000) + Bytes{0x60, 0x90, 0x3E, 0x64}),
         96,
         {{0, 0.0, {0x90, 0x3C, 0x64}},
          {96, 0.5, {0x80, 0x3C, 0x00}},
          {192, 0.75, {0x90, 0x3E, 0x64}}}},
        {"a tempo change in a later track applies to earlier ones",
         header(1, 2) + track({0x81, 0x40, 0x90, 0x3C, 0x64}) + track(Bytes{0x60} + tempo(1000000)),
         96,
         {{192, 0.5 + 1.0, {0x90, 0x3C, 0x64}}}},
        {"merging: equal times keep track order, then file order",
         header(1, 3) +
             track({0x00, 0x90, 0x01, 0x01, 0x00, 0x90, 0x02, 0x01, 0x0A, 0x90, 0x05, 0x01}) +
             track({0x00, 0x91, 0x03, 0x01, 0x05, 0x91, 0x04, 0x01}) +
             track({0x0A, 0x92, 0x06, 0x01}),
         96,
         {{0, 0.0, {0x90, 0x01, 0x01}},
          {0, 0.0, {0x90, 0x02, 0x01}},
          {0, 0.0, {0x91, 0x03, 0x01}},
          {5, 5 / 192.0, {0x91, 0x04, 0x01}},
          {10, 10 / 192.0, {0x90, 0x05, 0x01}},
          {10, 10 / 192.0, {0x92, 0x06, 0x01}}}},
        {"SMPTE time: 25 frames of 40 ticks, tempo ignored",
         header(0, 1, 0xE728) + track(Bytes{0x00} + tempo(1000000) +
                                      Bytes{0x87, 0x68, 0x90, 0x3C, 0x64, 0x64, 0x80, 0x3C, 0x00}),
         0,
         {{1000, 1.0, {0x90, 0x3C, 0x64}}, {1100, 1.1, {0x80, 0x3C, 0x00}}}},
        {"29.97 frames of 2 ticks",
         header(0, 1, 0xE302) + track({0x81, 0x3B, 0x90, 0x3C, 0x64}),
         0,
         {{187, 187 / (2 * 30000.0 / 1001.0), {0x90, 0x3C, 0x64}}}},
        {"longer header and unknown chunks skipped",
         chunk("MThd", {0, 1, 0, 1, 0, 96, 0xAA, 0xBB}) + chunk("XFIH", {0x90, 0x3C, 0x64}) +
             track({0x00, 0xB0, 0x07, 0x64}) + Bytes{'j', 'u', 'n', 'k'},
         96,
         {{0, 0.0, {0xB0, 0x07, 0x64}}}},
        {"end of track ends the track; no end of track, the chunk's end does",
         header(1, 2) + chunk("MTrk", {0x00, 0xA0, 0x3C, 0x10, 0x00, 0xFF, 0x2F, 0x00, 0x05}) +
             chunk("MTrk", {0x00, 0xA1, 0x3D, 0x11}),
         96,
         {{0, 0.0, {0xA0, 0x3C, 0x10}}, {0, 0.0, {0xA1, 0x3D, 0x11}}}},
        {"RIFF-wrapped, after a chunk of odd length",
         rmid(riffChunk("LIST", {1, 2, 3}) +
              riffChunk("data", header(0, 1) + track({0x00, 0x90, 0x3C, 0x64}))),
         96,
         {{0, 0.0, {0x90, 0x3C, 0x64}}}},
        {"the longest delta time",
         header(0, 1) + track({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x64}),
         96,
         {{0x0FFFFFFF, 0x0FFFFFFF / 192.0, {0x90, 0x3C, 0x64}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = file(c.image);
        const Result<MidiSequence> read = readMidiFile(name);
        ASSERT_TRUE(read) << read.error();
        const MidiSequence& sequence = *read;
        expectSameWalk(name, sequence);
        EXPECT_EQ(sequence.ticksPerQuarter, c.ticksPerQuarter);
        ASSERT_EQ(sequence.messages.size(), c.messages.size());
        for (size_t i = 0; i < c.messages.size(); ++i) {
            const TimedMessage& got = sequence.messages[i];
            EXPECT_EQ(got.tick, c.messages[i].tick) << "message " << i;
            EXPECT_NEAR(got.seconds, c.messages[i].seconds, 1e-9) << "message " << i;
            EXPECT_EQ(bytesOf(got), c.messages[i].bytes) << "message " << i;
        }
    }
}

TEST_F(MidiFile, RejectsMalformedFilesWithOneLine) {
    const Bytes note = {0x00, 0x90, 0x3C, 0x64};
    struct Case {
        Bytes image;
        const char* error;
    };
    const Case cases[] = {
        {{}, "not a MIDI file"},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'M', 'T', 'h', 'd'}, "not a MIDI file"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1}, "cut short in the header"},
        {rmid(riffChunk("LIST", {1, 2})), "without a data chunk"},
        {rmid(Bytes{'d', 'a', 't', 'a', 9, 0, 0, 0}), "runs past the end"},
        {rmid(riffChunk("data", {'M', 'T', 'h', 'd'})), "cut short in the header"},
        {chunk("MThd", {0, 0, 0, 1}) + track(note), "header chunk of 4 bytes"},
        {Bytes{'M', 'T', 'h', 'd', 0, 0, 1, 0, 0, 0, 0, 1, 0, 96} + track(note), "runs past"},
        {header(2, 1) + track(note), "format 2"},
        {header(3, 1) + track(note), "unknown format 3"},
        {header(1, 0), "no tracks"},
        {header(0, 2) + track(note) + track(note), "format 0 with 2 tracks"},
        {header(0, 1, 0) + track(note), "0 ticks per quarter note"},
        {header(0, 1, 0xE928) + track(note), "23 frames per second"},
        {header(0, 1, 0xE700) + track(note), "0 ticks per frame"},
        {header(1, 2) + track(note), "ends after 1 of 2 tracks"},
        {header(1, 2) + track(note) + Bytes{'M', 'T', 'r'}, "ends after 1 of 2 tracks"},
        {header(0, 1) + Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 9} + note, "runs past the end"},
        {header(0, 1) + Bytes{'M', 'T', 'r', 'k', 0xFF, 0xFF, 0xFF, 0xFF} + note, "runs past"},
        {header(0, 1) + track({0x00, 0x3C, 0x64}), "data byte 0x3C with no running status"},
        {header(0, 1) + track({0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64}),
         "longer than 4 bytes"},
        {header(0, 1) + chunk("MTrk", note + Bytes{0x81}), "cut short in a variable-length"},
        {header(0, 1) + chunk("MTrk", {0x00, 0x90, 0x3C}), "cut short in an event"},
        {header(0, 1) + chunk("MTrk", {0x00}), "cut short in an event"},
        {header(0, 1) + chunk("MTrk", {0x00, 0xFF}), "cut short in an event"},
        {header(0, 1) + chunk("MTrk", {0x00, 0xFF, 0x01, 0x05, 'a'}), "cut short in an event"},
        {header(0, 1) + chunk("MTrk", {0x00, 0xF0, 0x81}), "cut short in a variable-length"},
        {header(0, 1) + chunk("MTrk", {0x00, 0xF0, 0x04, 0x01, 0xF7}), "cut short in an event"},
        {header(0, 1) + track({0x00, 0xF8}), "0xF8 not allowed"},
        {header(0, 1) + track({0x00, 0x90, 0x3C, 0x80, 0x3C}), "0x80 inside a 0x90 message"},
        {header(0, 1) + track({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}), "tempo event of 2 bytes"},
        {header(0, 1) + track(Bytes{0x00} + tempo(0)), "tempo of 0 microseconds"},
        {header(1, 2) + track(note) + track({0x00, 0xF4}), "track 2: status byte 0xF4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        std::string name = file(c.image);
        const Result<MidiSequence> read = readMidiFile(name);
        EXPECT_FALSE(read);
        EXPECT_NE(read.error().find(c.error), std::string::npos) << read.error();
        EXPECT_EQ(read.error().rfind(name + ": ", 0), 0u) << read.error();
        expectOneLine(read.error());
        const Result<MidiReading> reading = MidiReading::ofFile(name);
        EXPECT_FALSE(reading);
        EXPECT_EQ(reading.error(), read.error());
    }
}

TEST_F(MidiFile, ReportsFilesThatCannotBeRead) {
    const std::string folder = std::filesystem::temp_directory_path().string();
    const std::string huge = path("huge.mid"); // beyond any real song: not read in
    const std::string missing = path("missing");
    std::ofstream(huge, std::ios::binary).write("MThd", 4);
    std::filesystem::resize_file(huge, (16u << 20) + 1);
    // The whole line: the path once, then the reason.
    const struct {
        std::string name, line;
    } cases[] = {
        {missing, missing + ": no such file"},
        {folder, folder + ": is a folder, not a MIDI file"},
        {huge, huge + ": larger than 16777216 bytes"},
        {"", "no file name given"},
    };
    for (const auto& c : cases) {
        const Result<MidiSequence> read = readMidiFile(c.name);
        EXPECT_FALSE(read);
        EXPECT_EQ(read.error(), c.line);
    }
}

// A small file using every kind of event; any prefix of it is a file cut short.
Bytes everyKindOfEvent() {
    return header(1, 2) +
           track(Bytes{0x00} + tempo(400000) + Bytes{0x00, 0xFF, 0x03, 0x02, 'h', 'i'}) +
           track({0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x3C,
                  0x00, 0x00, 0xF0, 0x02, 0x7E, 0xF7, 0x10, 0xE0, 0x00, 0x40});
}

TEST_F(MidiFile, EveryCutIsReported) {
    const Bytes whole = everyKindOfEvent();
    const Result<MidiSequence> read = readMidiFile(file(whole));
    ASSERT_TRUE(read) << read.error();
    ASSERT_EQ(read->messages.size(), 4u);
    EXPECT_NEAR(read->messages[3].seconds, (480 + 16) / 96.0 * 0.4, 1e-9);

    for (size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
        const Result<MidiSequence> cut = readMidiFile(
            file(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length))));
        EXPECT_FALSE(cut);
        expectOneLine(cut.error());
    }
}

// Changed bytes anywhere either fail with one line or give messages a module can take.
TEST(MidiParse, CorruptedFilesGiveAnErrorOrSoundMessages) {
    const Bytes whole = everyKindOfEvent();
    for (size_t at = 0; at < whole.size(); ++at) {
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0x80}, uint8_t{0xFF},
                              uint8_t(whole[at] ^ 0x40)}) {
            Bytes image = whole;
            image[at] = value;
            const Result<MidiSequence> sequence = parseMidi(image.data(), image.size());
            if (!sequence) {
                expectOneLine(sequence.error());
                continue;
            }
            double last = 0.0;
            for (const TimedMessage& m : sequence->messages) {
                ASSERT_EQ(m.size, channelMessageSize(m.bytes[0])) << "byte " << at;
                for (int i = 1; i < m.size; ++i)
                    EXPECT_LT(m.bytes[i], 0x80) << "byte " << at;
                EXPECT_TRUE(std::isfinite(m.seconds) && m.seconds >= last) << "byte " << at;
                last = m.seconds;
            }
        }
    }
}

// --- writing ---

TEST_F(MidiFile, WritesAFormat0FileWithTempoAndEndOfTrack) {
    const std::vector<TimedMessage> messages = {message(0.0, {0x90, 0x3C, 0x64}),
                                                message(0.5, {0x80, 0x3C, 0x40}),
                                                message(0.5, {0xC0, 0x05})};
    std::string name = path();
    const Status written = writeMidiFile(name, messages, 120.0);
    ASSERT_TRUE(written) << written.error();

    const Bytes expected = Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0} +
                           Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 23} +
                           Bytes{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20} +
                           Bytes{0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40} +
                           Bytes{0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00};
    Bytes image(expected.size() + 1);
    FILE* in = std::fopen(name.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    image.resize(std::fread(image.data(), 1, image.size(), in));
    std::fclose(in);
    EXPECT_EQ(image, expected);
}

TEST_F(MidiFile, RoundTripKeepsMessagesAndTimesWithinATick) {
    const std::vector<TimedMessage> messages = {
        message(0.0, {0x90, 0x3C, 0x64}),    message(0.001, {0xC5, 0x7F}),
        message(0.3333, {0xB0, 0x07, 0x00}), message(1.25, {0xD3, 0x40}),
        message(1.2501, {0xE0, 0x7F, 0x7F}), message(7.77, {0x8F, 0x3C, 0x00}),
        message(61.0, {0xA2, 0x01, 0x02}),   message(3600.5, {0x90, 0x00, 0x00})};
    for (double bpm : {120.0, 60.0, 137.5, 93.7, 250.0, 4.0}) {
        SCOPED_TRACE(bpm);
        std::string name = path();
        const Status written = writeMidiFile(name, messages, bpm);
        ASSERT_TRUE(written) << written.error();
        const Result<MidiSequence> read = readMidiFile(name);
        ASSERT_TRUE(read) << read.error();
        const MidiSequence& sequence = *read;
        EXPECT_EQ(sequence.format, 0);
        EXPECT_EQ(sequence.ticksPerQuarter, kWriteTicksPerQuarter);
        ASSERT_EQ(sequence.messages.size(), messages.size());
        const double tick = 60.0 / bpm / kWriteTicksPerQuarter;
        for (size_t i = 0; i < messages.size(); ++i) {
            EXPECT_EQ(bytesOf(sequence.messages[i]), bytesOf(messages[i])) << "message " << i;
            EXPECT_NEAR(sequence.messages[i].seconds, messages[i].seconds, tick * 0.5001)
                << "message " << i;
        }
    }
}

TEST_F(MidiFile, WrittenTimesNeverGoBackwards) {
    const std::vector<TimedMessage> messages = {
        message(1.0, {0x90, 0x3C, 0x64}), message(0.5, {0x90, 0x3D, 0x64}),
        message(-2.0, {0x90, 0x3E, 0x64}), message(1.0, {0x90, 0x3F, 0x64}),
        message(2.0, {0x90, 0x40, 0x64})};
    std::string name = path();
    const Status written = writeMidiFile(name, messages, 120.0);
    ASSERT_TRUE(written) << written.error();
    const Result<MidiSequence> read = readMidiFile(name);
    ASSERT_TRUE(read) << read.error();
    std::vector<uint64_t> ticks;
    Bytes notes;
    for (const TimedMessage& m : read->messages) {
        ticks.push_back(m.tick);
        notes.push_back(m.bytes[1]);
    }
    EXPECT_EQ(ticks, (std::vector<uint64_t>{960, 960, 960, 960, 1920}));
    EXPECT_EQ(notes, (Bytes{0x3C, 0x3D, 0x3E, 0x3F, 0x40}));
}

TEST_F(MidiFile, RefusesWhatItCannotWriteAndLeavesNoFile) {
    const TimedMessage note = message(0.0, {0x90, 0x3C, 0x64});
    struct Case {
        double bpm;
        TimedMessage message;
        const char* error;
    };
    const Case cases[] = {
        {0.0, note, "tempo of 0 BPM"},
        {-120.0, note, "tempo of -120 BPM"},
        {std::nan(""), note, "BPM cannot be written"},
        {HUGE_VAL, note, "BPM cannot be written"},
        {3.0, note, "tempo of 3 BPM"},
        {120.0, message(0.0, {0x3C, 0x64, 0x00}), "0x3C is not a channel message status"},
        {120.0, message(0.0, {0xF0, 0x7E, 0xF7}), "0xF0 is not a channel message status"},
        {120.0, message(0.0, {0xC0, 0x05, 0x00}), "3 bytes, a 0xC0 message has 2"},
        {120.0, message(0.0, {0x90, 0x3C}), "2 bytes, a 0x90 message has 3"},
        {120.0, message(0.0, {0x90, 0x80, 0x64}), "data byte 0x80"},
        {120.0, message(std::nan(""), {0x90, 0x3C, 0x64}), "time is not a number"},
        {120.0, message(1e9, {0x90, 0x3C, 0x64}), "s is too far from the one before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        std::string name = path();
        const Status written = writeMidiFile(name, {note, c.message}, c.bpm);
        EXPECT_FALSE(written);
        EXPECT_NE(written.error().find(c.error), std::string::npos) << written.error();
        expectOneLine(written.error());
        EXPECT_FALSE(std::filesystem::exists(name));
    }
}

TEST_F(MidiFile, ReportsAFolderThatDoesNotExist) {
    std::string name =
        (std::filesystem::temp_directory_path() / "kv_no_such_folder" / "out.mid").string();
    const Status written = writeMidiFile(name, {message(0.0, {0x90, 0x3C, 0x64})}, 120.0);
    EXPECT_EQ(written.error().rfind(name + ": the folder", 0), 0u) << written.error();
    EXPECT_NE(written.error().find("does not exist"), std::string::npos) << written.error();
    expectOneLine(written.error());
}

#ifdef KV_CHECK_MIDI_SCRIPT
// mido, a reader that is not ours, sees the same messages at the same times.
TEST_F(MidiFile, MidoReadsWhatWeWrite) {
    const char* python = "/usr/bin/python3";
    if (!std::filesystem::exists(python))
        GTEST_SKIP() << python << " is not installed";
    const double bpm = 93.7;
    const std::vector<TimedMessage> messages = {
        message(0.0, {0x90, 0x3C, 0x64}), message(0.25, {0xC3, 0x11}),
        message(0.75, {0x80, 0x3C, 0x40}), message(0.75, {0x91, 0x40, 0x7F}),
        message(2.123, {0x81, 0x40, 0x00})};
    std::string name = path();
    const Status written = writeMidiFile(name, messages, bpm);
    ASSERT_TRUE(written) << written.error();

    std::string command = std::string(python) + " '" KV_CHECK_MIDI_SCRIPT "' '" + name + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr)
        lines.emplace_back(line);
    ASSERT_EQ(pclose(pipe), 0) << "mido could not read " << name;

    ASSERT_EQ(lines.size(), messages.size() + 1);
    EXPECT_EQ(lines[0], "type 0 ticks 480\n");
    const double tick = 60.0 / bpm / kWriteTicksPerQuarter;
    for (size_t i = 0; i < messages.size(); ++i) {
        double seconds = -1.0;
        char hex[16] = {};
        ASSERT_EQ(std::sscanf(lines[i + 1].c_str(), "%lf %15[0-9A-F ]", &seconds, hex), 2);
        std::string expected;
        for (int b = 0; b < messages[i].size; ++b) {
            char text[4];
            std::snprintf(text, sizeof text, b == 0 ? "%02X" : " %02X", messages[i].bytes[b]);
            expected += text;
        }
        EXPECT_EQ(std::string(hex), expected) << lines[i + 1];
        EXPECT_NEAR(seconds, messages[i].seconds, tick * 0.5001) << lines[i + 1];
    }
}
#endif

} // namespace
