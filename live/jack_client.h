// Our host as a JACK client: two MIDI ports, and a process callback that is the host's audio
// thread and runs one period of the engine. It never starts a server.
#pragma once

#include "live_engine.h"
#include "result.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;
struct JackLibrary;

class JackClient {
  public:
    // Opens a client named `name` (JACK renames it when the name is taken) with its ports
    // midi_in and midi_out, not yet active.
    static Result<std::unique_ptr<JackClient>> open(const std::string& name);
    ~JackClient(); // deactivates and closes
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    std::string name() const; // as JACK gave it
    double sampleRate() const;
    uint32_t periodFrames() const;

    // Fails naming the first port that does not exist or cannot be connected that way: inputs
    // must be MIDI outputs of other clients, outputs MIDI inputs.
    Status checkPorts(const std::vector<std::string>& inputs,
                      const std::vector<std::string>& outputs) const;
    // Activates the client with the engine's periods held back until go().
    Status activate(LiveEngine& live);
    Status connect(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);
    void go() { running.store(true, std::memory_order_release); }
    void deactivate();

    bool shutDown() const { return serverGone.load(std::memory_order_acquire); }
    uint64_t xruns() const { return xrunCount.load(std::memory_order_relaxed); }

  private:
    JackClient() = default;
    static int process(uint32_t frames, void* self) noexcept;
    static int xrun(void* self) noexcept;
    static void shutdown(void* self) noexcept;

    static constexpr size_t MostEvents = 1024; // a period's incoming messages beyond are dropped
    const JackLibrary* jack = nullptr;
    jack_client_t* client = nullptr;
    jack_port_t* in = nullptr;
    jack_port_t* out = nullptr;
    LiveEngine* engine = nullptr;
    bool active = false;
    LiveMidi events[MostEvents] = {};
    std::atomic<bool> running{false};
    bool started = false;   // the first period has run
    uint32_t lastStart = 0; // the server's frame time of the last period
    int64_t elapsed = 0;    // frames from the first period to the last, past the 32-bit wrap
    std::atomic<bool> serverGone{false};
    std::atomic<uint64_t> xrunCount{0};
};
