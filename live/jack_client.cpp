#include "jack_client.h"

#include "jack_library.h"

#include <cerrno>
#include <cstring>

namespace {

// JACK's own messages (that it cannot reach a server, and why) would come before ours; the
// failures we report say all of it in one line.
void quiet(const char*) {}

// The engine's output, written into the period's buffer of midi_out.
class PortSink final : public MidiSink {
  public:
    PortSink(const JackLibrary& jack, void* buffer) : jack(jack), buffer(buffer) {}
    bool write(uint32_t frame, const uint8_t* bytes, uint32_t size) noexcept override {
        return jack.midi_event_write(buffer, frame, bytes, size) == 0;
    }

  private:
    const JackLibrary& jack;
    void* buffer;
};

bool isMidiPort(const JackLibrary& jack, jack_port_t* port) {
    const char* type = jack.port_type(port);
    return type && std::strcmp(type, JACK_DEFAULT_MIDI_TYPE) == 0;
}

} // namespace

Result<std::unique_ptr<JackClient>> JackClient::open(const std::string& name) {
    const Result<JackLibrary>& library = jackLibrary();
    if (!library)
        return Failure{library.error()};
    const JackLibrary& jack = *library;
    jack.set_error_function(quiet);
    jack.set_info_function(quiet);
    jack_status_t status{};
    std::unique_ptr<JackClient> made(new JackClient());
    made->jack = &jack;
    made->client = jack.client_open(name.c_str(), JackNoStartServer, &status);
    if (!made->client) {
        if (status & JackServerFailed)
            return Failure{"no JACK server is running; live needs a running JACK server: "
                           "jackd, or PipeWire's JACK"};
        if (status & JackInvalidOption)
            return Failure{"JACK refused the client name '" + name + "'"};
        return Failure{"JACK would not open a client named '" + name + "'"};
    }
    made->in =
        jack.port_register(made->client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    made->out =
        jack.port_register(made->client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!made->in || !made->out)
        return Failure{"JACK would not make the ports midi_in and midi_out"};
    if (jack.set_process_callback(made->client, &JackClient::process, made.get()) != 0 ||
        jack.set_xrun_callback(made->client, &JackClient::xrun, made.get()) != 0)
        return Failure{"JACK would not take the client's callbacks"};
    jack.on_shutdown(made->client, &JackClient::shutdown, made.get());
    return made;
}

JackClient::~JackClient() {
    if (client) {
        deactivate();
        jack->client_close(client);
    }
}

std::string JackClient::name() const {
    return jack->get_client_name(client);
}

double JackClient::sampleRate() const {
    return static_cast<double>(jack->get_sample_rate(client));
}

uint32_t JackClient::periodFrames() const {
    return jack->get_buffer_size(client);
}

Status JackClient::checkPorts(const std::vector<std::string>& inputs,
                              const std::vector<std::string>& outputs) const {
    const auto check = [this](const std::string& name, unsigned long direction,
                              const char* needed) -> Status {
        jack_port_t* port = jack->port_by_name(client, name.c_str());
        if (!port)
            return Failure{"no JACK port named '" + name + "' (jack_lsp lists them)"};
        if (!isMidiPort(*jack, port) || !(jack->port_flags(port) & direction))
            return Failure{"JACK port '" + name + "' is not a MIDI " + needed};
        return {};
    };
    for (const std::string& name : inputs)
        if (Status found = check(name, JackPortIsOutput, "output, which --connect-in needs");
            !found)
            return found;
    for (const std::string& name : outputs)
        if (Status found = check(name, JackPortIsInput, "input, which --connect-out needs"); !found)
            return found;
    return {};
}

Status JackClient::activate(LiveEngine& live) {
    engine = &live;
    if (jack->activate(client) != 0)
        return Failure{"JACK would not activate the client"};
    active = true;
    return {};
}

Status JackClient::connect(const std::vector<std::string>& inputs,
                           const std::vector<std::string>& outputs) {
    const std::string inName = jack->port_name(in), outName = jack->port_name(out);
    for (const std::string& name : inputs)
        if (int failed = jack->connect(client, name.c_str(), inName.c_str());
            failed != 0 && failed != EEXIST)
            return Failure{"JACK would not connect " + name + " to " + inName};
    for (const std::string& name : outputs)
        if (int failed = jack->connect(client, outName.c_str(), name.c_str());
            failed != 0 && failed != EEXIST)
            return Failure{"JACK would not connect " + outName + " to " + name};
    return {};
}

void JackClient::deactivate() {
    if (active && !shutDown())
        jack->deactivate(client);
    active = false;
}

// The audio thread: what arrived is copied into storage of our own, the engine runs the period.
int JackClient::process(uint32_t frames, void* self) noexcept {
    auto& me = *static_cast<JackClient*>(self);
    void* outBuffer = me.jack->port_get_buffer(me.out, frames);
    me.jack->midi_clear_buffer(outBuffer);
    if (!me.running.load(std::memory_order_acquire))
        return 0;
    void* inBuffer = me.jack->port_get_buffer(me.in, frames);
    const uint32_t arrived = me.jack->midi_get_event_count(inBuffer);
    size_t kept = 0;
    for (uint32_t i = 0; i < arrived && kept < MostEvents; ++i) {
        jack_midi_event_t event;
        if (me.jack->midi_event_get(&event, inBuffer, i) != 0 || event.size < 1 || event.size > 3)
            continue;
        LiveMidi& copy = me.events[kept++];
        copy.frame = event.time;
        copy.size = static_cast<uint32_t>(event.size);
        std::memcpy(copy.bytes, event.buffer, event.size);
    }
    const uint32_t start = me.jack->last_frame_time(me.client);
    if (me.started)
        me.elapsed += static_cast<uint32_t>(start - me.lastStart);
    me.started = true;
    me.lastStart = start;
    PortSink sink(*me.jack, outBuffer);
    me.engine->period(frames, me.events, kept, sink, me.elapsed);
    return 0;
}

int JackClient::xrun(void* self) noexcept {
    static_cast<JackClient*>(self)->xrunCount.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void JackClient::shutdown(void* self) noexcept {
    static_cast<JackClient*>(self)->serverGone.store(true, std::memory_order_release);
}
