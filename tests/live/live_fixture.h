// The loaded module file under the live engine, fed periods as JACK would feed them, and what
// it wrote collected with the absolute frame of each message.
#pragma once

#include "host_instance.h"
#include "live_engine.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

struct Written {
    int64_t frame; // from the start
    uint8_t bytes[3];
    uint32_t size;
    [[nodiscard]] bool noteOn() const {
        return size == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0;
    }
    [[nodiscard]] bool noteOff() const { return size == 3 && (bytes[0] & 0xF0) == 0x80; }
};

class CollectingSink final : public MidiSink {
  public:
    bool write(uint32_t frame, const uint8_t* bytes, uint32_t size) noexcept override {
        if (frame < lastFrame || frame >= periodFrames || size > 3 || count == Capacity)
            return false; // as JACK refuses them
        lastFrame = frame;
        Written& w = kept[count++];
        w.frame = periodStart + frame;
        w.size = size;
        for (uint32_t i = 0; i < 3; ++i)
            w.bytes[i] = i < size ? bytes[i] : 0;
        return true;
    }
    void startPeriod(int64_t start, uint32_t frames) {
        periodStart = start;
        periodFrames = frames;
        lastFrame = 0;
    }
    [[nodiscard]] std::vector<Written> all() const { return {kept, kept + count}; }
    [[nodiscard]] size_t size() const { return count; }

  private:
    static constexpr size_t Capacity = 4096;
    Written kept[Capacity] = {};
    size_t count = 0;
    int64_t periodStart = 0;
    uint32_t periodFrames = 0, lastFrame = 0;
};

// A message to feed, at a frame from the start.
struct Timed {
    int64_t frame;
    std::vector<uint8_t> bytes;
};

class LiveRun {
  public:
    // An instance at `rate` with `noteOff` as its "next noteoff", the row at `rowPath`, one
    // arming block run; the engine on it.
    LiveRun(const std::string& rowPath, LiveSettings settings, int32_t noteOff = 0,
            double rate = 44100.0) {
        Result<std::string> path = defaultModulePath();
        EXPECT_TRUE(path) << path.error();
        Result<ModuleFile> file = ModuleFile::load(*path);
        EXPECT_TRUE(file) << file.error();
        Result<std::unique_ptr<HostInstance>> made = HostInstance::create(
            *file, {static_cast<float>(rate), std::min(settings.blockSize, 64)});
        EXPECT_TRUE(made) << made.error();
        instance = std::move(*made);
        for (const Status& set : {instance->setParameter("on D: DIAGNOSE.TXT", 0),
                                  instance->setParameter("next noteoff", noteOff),
                                  instance->setText("OUTFILE", rowPath), instance->runBlocks(1)})
            EXPECT_TRUE(set) << set.error();
        settings.controls.sampleRate = rate;
        Result<std::unique_ptr<LiveEngine>> built =
            LiveEngine::make(instance->moduleDriver(), settings);
        EXPECT_TRUE(built) << built.error();
        engine = std::move(*built);
    }

    // Periods of `frames` until `until` frames from the start, with the messages that fall in
    // them.
    void runUntil(int64_t until, uint32_t frames, const std::vector<Timed>& messages = {}) {
        while (clock < until) {
            LiveMidi in[64];
            size_t count = 0;
            for (; next < messages.size() && messages[next].frame < clock + frames; ++next) {
                LiveMidi& m = in[count++];
                m.frame = static_cast<uint32_t>(messages[next].frame - clock);
                m.size = static_cast<uint32_t>(messages[next].bytes.size());
                for (size_t i = 0; i < m.size; ++i)
                    m.bytes[i] = messages[next].bytes[i];
            }
            sink.startPeriod(clock, frames);
            engine->period(frames, in, count, sink);
            clock += frames;
        }
        next = 0;
    }

    [[nodiscard]] std::vector<Written> noteOns() const {
        std::vector<Written> ons;
        for (const Written& w : sink.all())
            if (w.noteOn())
                ons.push_back(w);
        return ons;
    }

    std::unique_ptr<HostInstance> instance;
    std::unique_ptr<LiveEngine> engine;
    CollectingSink sink;
    int64_t clock = 0;

  private:
    size_t next = 0;
};
