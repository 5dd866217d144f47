#include "probe.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cstring>

namespace {

void quiet(const char*) {}

jack_client_t* openClient(const std::string& name) {
    jack_status_t status{};
    return jack_client_open(
        name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
}

} // namespace

std::unique_ptr<Probe> Probe::open(const std::string& name) {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    std::unique_ptr<Probe> probe(new Probe());
    probe->sender = openClient(name + "-send");
    probe->receiver = openClient(name + "-recv");
    if (!probe->sender || !probe->receiver)
        return nullptr;
    probe->out =
        jack_port_register(probe->sender, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    probe->in =
        jack_port_register(probe->receiver, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!probe->out || !probe->in)
        return nullptr;
    jack_set_process_callback(probe->sender, &Probe::processSend, probe.get());
    jack_set_process_callback(probe->receiver, &Probe::processReceive, probe.get());
    jack_set_xrun_callback(probe->receiver, &Probe::xrun, probe.get());
    if (jack_activate(probe->sender) != 0 || jack_activate(probe->receiver) != 0)
        return nullptr;
    return probe;
}

Probe::~Probe() {
    for (jack_client_t* client : {sender, receiver})
        if (client) {
            jack_deactivate(client);
            jack_client_close(client);
        }
}

std::string Probe::sendPort() const {
    return jack_port_name(out);
}

std::string Probe::receivePort() const {
    return jack_port_name(in);
}

bool Probe::connected() const {
    return jack_port_connected(out) > 0 && jack_port_connected(in) > 0;
}

int64_t Probe::now() const {
    return jack_frame_time(sender);
}

uint32_t Probe::periodFrames() const {
    return jack_get_buffer_size(sender);
}

bool Probe::send(int64_t frame, std::vector<uint8_t> bytes) {
    const size_t at = scheduled.load();
    if (at == Capacity || bytes.empty() || bytes.size() > 3)
        return false;
    ProbeMessage& m = schedule[at];
    m.frame = frame;
    m.size = static_cast<uint32_t>(bytes.size());
    std::memcpy(m.bytes, bytes.data(), bytes.size());
    scheduled.store(at + 1, std::memory_order_release);
    return true;
}

std::vector<ProbeMessage> Probe::sent() const {
    return {schedule.get(), schedule.get() + sentCount.load()};
}

std::vector<ProbeMessage> Probe::received() const {
    return {arrived.get(), arrived.get() + arrivedCount.load()};
}

// Messages due in this period go out at their frame; late ones at its start, with the frame
// they actually left at.
int Probe::processSend(uint32_t frames, void* self) noexcept {
    auto& me = *static_cast<Probe*>(self);
    void* buffer = jack_port_get_buffer(me.out, frames);
    jack_midi_clear_buffer(buffer);
    const int64_t start = jack_last_frame_time(me.sender);
    const size_t due = me.scheduled.load(std::memory_order_acquire);
    size_t next = me.sentCount.load(std::memory_order_relaxed);
    for (; next < due && me.schedule[next].frame < start + frames; ++next) {
        ProbeMessage& m = me.schedule[next];
        if (m.frame < start)
            m.frame = start;
        jack_midi_event_write(buffer, static_cast<uint32_t>(m.frame - start), m.bytes, m.size);
    }
    me.sentCount.store(next, std::memory_order_release);
    return 0;
}

int Probe::processReceive(uint32_t frames, void* self) noexcept {
    auto& me = *static_cast<Probe*>(self);
    void* buffer = jack_port_get_buffer(me.in, frames);
    const int64_t start = jack_last_frame_time(me.receiver);
    size_t count = me.arrivedCount.load(std::memory_order_relaxed);
    const uint32_t events = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < events && count < Capacity; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size > 3)
            continue;
        ProbeMessage& m = me.arrived[count++];
        m.frame = start + event.time;
        m.size = static_cast<uint32_t>(event.size);
        std::memcpy(m.bytes, event.buffer, event.size);
    }
    me.arrivedCount.store(count, std::memory_order_release);
    return 0;
}

int Probe::xrun(void* self) noexcept {
    static_cast<Probe*>(self)->xrunCount.fetch_add(1);
    return 0;
}
