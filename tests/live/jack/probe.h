// Our small JACK test client: one client that sends scheduled MIDI at chosen frames and one that
// receives, each message kept with its absolute frame. Two clients, so that the chain
// sender -> live -> receiver runs in one cycle and the frames of all three agree.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

struct ProbeMessage {
    int64_t frame; // absolute: JACK's frame time
    uint8_t bytes[3];
    uint32_t size;
    [[nodiscard]] bool noteOn() const {
        return size == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0;
    }
    [[nodiscard]] bool noteOff() const {
        return size == 3 && ((bytes[0] & 0xF0) == 0x80 || ((bytes[0] & 0xF0) == 0x90 && !bytes[2]));
    }
};

class Probe {
  public:
    // Clients `name`-send (port out) and `name`-recv (port in), active; null without a server.
    static std::unique_ptr<Probe> open(const std::string& name);
    ~Probe();

    [[nodiscard]] std::string sendPort() const;    // "name-send:out"
    [[nodiscard]] std::string receivePort() const; // "name-recv:in"
    [[nodiscard]] bool connected() const;          // both ports have a connection
    [[nodiscard]] int64_t now() const;             // JACK's current frame, as estimated
    [[nodiscard]] uint32_t periodFrames() const;

    // Sends a message at an absolute frame; messages must come in the order of their frames.
    // Returns false when the schedule is full.
    bool send(int64_t frame, std::vector<uint8_t> bytes);
    // What was sent, with the frames it actually went out at, and what arrived.
    [[nodiscard]] std::vector<ProbeMessage> sent() const;
    [[nodiscard]] std::vector<ProbeMessage> received() const;
    [[nodiscard]] uint64_t xruns() const { return xrunCount.load(); }

  private:
    static constexpr size_t Capacity = 1 << 14;
    static int processSend(uint32_t frames, void* self) noexcept;
    static int processReceive(uint32_t frames, void* self) noexcept;
    static int xrun(void* self) noexcept;

    jack_client_t* sender = nullptr;
    jack_client_t* receiver = nullptr;
    jack_port_t* out = nullptr;
    jack_port_t* in = nullptr;
    std::unique_ptr<ProbeMessage[]> schedule{new ProbeMessage[Capacity]};
    std::atomic<size_t> scheduled{0}, sentCount{0};
    std::unique_ptr<ProbeMessage[]> arrived{new ProbeMessage[Capacity]};
    std::atomic<size_t> arrivedCount{0};
    std::atomic<uint64_t> xrunCount{0};
};
