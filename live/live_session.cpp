#include "live_session.h"

#include "jack_client.h"
#include "note_names.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t signalled = 0;

void onSignal(int) {
    signalled = 1;
}

// SIGINT and SIGTERM end the run as `q` does, while it lasts.
class SignalWatch {
  public:
    SignalWatch() {
        signalled = 0;
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt);
        sigaction(SIGTERM, &action, &oldTerm);
    }
    ~SignalWatch() {
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

  private:
    struct sigaction oldInt {
    }, oldTerm{};
};

// Standard input a key at a time, without echo, while the run lasts.
class RawTerminal {
  public:
    RawTerminal() {
        if (tcgetattr(STDIN_FILENO, &saved) != 0)
            return;
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        changed = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~RawTerminal() {
        if (changed)
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

  private:
    termios saved{};
    bool changed = false;
};

uint64_t notesIn(const std::string& path) {
    std::error_code missing;
    const uintmax_t size = std::filesystem::file_size(path, missing);
    return missing ? 0 : static_cast<uint64_t>(size);
}

std::string plural(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string statusLine(const LiveStatus& status, const SessionSettings& s, uint64_t rowNotes,
                       uint64_t xruns) {
    const int32_t last = status.lastNote.load();
    std::string clock;
    if (s.live.controls.clock == ClockSource::Internal) {
        char bpm[32];
        std::snprintf(bpm, sizeof bpm, "%g BPM", s.live.controls.bpm);
        clock = bpm;
    } else if (!status.clockRunning.load() || status.bpmMilli.load() == 0) {
        clock = "waiting for MIDI clock";
    } else {
        char bpm[48];
        std::snprintf(bpm, sizeof bpm, "MIDI clock %.1f BPM",
                      static_cast<double>(status.bpmMilli.load()) / 1000.0);
        clock = bpm;
    }
    return "row " + plural(rowNotes, "note", "notes") + ", at " +
           std::to_string(status.position.load()) + "  last " +
           (last < 0 ? std::string("-") : noteNameText(static_cast<uint8_t>(last))) + "  REC " +
           (status.rec.load() ? "on " : "off") + "  PLAY " + (status.play.load() ? "on " : "off") +
           "  " + clock + "  " + plural(xruns, "xrun", "xruns");
}

enum class Ending { Asked, ServerGone };

// Reads the keys that came; false once `q` asks to stop.
bool readKeys(LiveEngine& engine) {
    char keys[32];
    const ssize_t got = read(STDIN_FILENO, keys, sizeof keys);
    for (ssize_t i = 0; i < got; ++i) {
        switch (keys[i]) {
        case 'r':
            engine.press(Key::Rec);
            break;
        case 'p':
            engine.press(Key::Play);
            break;
        case '\n':
        case '\r':
            engine.press(Key::Return);
            break;
        case 'l':
            engine.press(Key::Reload);
            break;
        case 'q':
            return false;
        default:
            break;
        }
    }
    return true;
}

// Waits for the end: a key, a signal, the time or the server; the status line meanwhile.
Ending waitForEnd(LiveEngine& engine, JackClient& jack, const SessionSettings& s, bool keys,
                  bool showStatus, std::ostream& err) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point shown{};
    for (;;) {
        if (jack.shutDown())
            return Ending::ServerGone;
        if (signalled || engine.status().stopped.load(std::memory_order_acquire))
            return Ending::Asked;
        if (keys) {
            pollfd in{STDIN_FILENO, POLLIN, 0};
            if (poll(&in, 1, 20) > 0 && !readKeys(engine))
                return Ending::Asked;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (showStatus && Clock::now() - shown >= std::chrono::milliseconds(100)) {
            shown = Clock::now();
            const uint64_t rowNotes = notesIn(s.rowPath);
            engine.setRowLength(static_cast<uint32_t>(std::min<uint64_t>(rowNotes, UINT32_MAX)));
            err << "\r" << statusLine(engine.status(), s, rowNotes, jack.xruns()) << "\x1b[K"
                << std::flush;
        }
    }
}

// The engine ends its notes in the period after it is asked to; two more periods carry them
// out of the client before it is deactivated. A server that stalls is not waited for long.
void stopPlaying(LiveEngine& engine, JackClient& jack) {
    engine.requestStop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline && !jack.shutDown() &&
           engine.status().periodsStopped.load() < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

} // namespace

int runLiveSession(SessionSettings s, const PrepareInstance& prepare, std::ostream& out,
                   std::ostream& err, std::string& error) {
    Result<std::unique_ptr<JackClient>> jack = JackClient::open(s.clientName);
    if (!jack) {
        error = jack.error();
        return 1;
    }
    JackClient& client = **jack;
    if (Status ports = client.checkPorts(s.connectIn, s.connectOut); !ports) {
        error = ports.error();
        return 1;
    }
    const double rate = client.sampleRate();
    s.live.controls.sampleRate = rate;
    s.live.stopAfter = s.seconds > 0.0 ? static_cast<int64_t>(std::llround(s.seconds * rate)) : -1;
    Result<std::unique_ptr<HostInstance>> instance = prepare(rate, s.live);
    if (!instance) {
        error = instance.error();
        return 1;
    }
    const uint64_t before = notesIn(s.rowPath);
    Result<std::unique_ptr<LiveEngine>> engine =
        LiveEngine::make((*instance)->moduleDriver(), s.live);
    if (!engine) {
        error = engine.error();
        return 1;
    }
    (*engine)->setRowLength(static_cast<uint32_t>(std::min<uint64_t>(before, UINT32_MAX)));
    const SignalWatch signals;
    if (Status active = client.activate(**engine); !active) {
        error = active.error();
        return 1;
    }
    if (Status connected = client.connect(s.connectIn, s.connectOut); !connected) {
        error = connected.error();
        return 1;
    }
    const std::string name = client.name();
    out << "live as JACK client " << name << " (" << name << ":midi_in, " << name
        << ":midi_out) at " << rate << " Hz, " << client.periodFrames()
        << " frames a period: " << s.rowPath << ", " << plural(before, "note", "notes")
        << std::endl;
    client.go();

    const bool keys = isatty(STDIN_FILENO) != 0;
    const bool showStatus = keys && isatty(STDERR_FILENO) != 0;
    Ending ending;
    {
        std::unique_ptr<RawTerminal> raw = keys ? std::make_unique<RawTerminal>() : nullptr;
        ending = waitForEnd(**engine, client, s, keys, showStatus, err);
        if (ending == Ending::Asked)
            stopPlaying(**engine, client);
    }
    if (showStatus)
        err << "\r\x1b[K" << std::flush;
    client.deactivate();
    // Closing the instance puts every recorded note into the row file.
    const Status closed = (*instance)->close();
    const uint64_t xruns = client.xruns();
    const uint64_t lost = (*engine)->status().lost.load();
    jack->reset();
    const uint64_t after = notesIn(s.rowPath);
    out << plural(after >= before ? after - before : 0, "note", "notes") << " recorded, "
        << plural((*engine)->status().notesPlayed.load(), "note", "notes") << " played, "
        << plural(xruns, "xrun", "xruns") << "\n";
    if (lost > 0)
        err << "warning: " << plural(lost, "message", "messages")
            << " found no room in midi_out and were dropped\n";
    if (ending == Ending::ServerGone) {
        error = "the JACK server shut the client down";
        return 1;
    }
    if (!closed) {
        error = closed.error();
        return 1;
    }
    return 0;
}
