// kaveltrum-host live on a real JACK server (scripts/with-jack.sh starts one for this program):
// our probe sends it control changes, notes and clocks and reads what comes back.
#include "probe.h"
#include "support/files.h"
#include "support/tool_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// kaveltrum-host live as a child process, its output in files of the scratch folder.
class Child {
  public:
    Child(std::vector<std::string> args, const std::string& tag, const char* server = nullptr)
        : outPath(tag + ".out"), errPath(tag + ".err") {
        args.insert(args.begin(), {KV_TOOL, "live"});
        pid = fork();
        if (pid == 0) {
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int none = ::open("/dev/null", O_RDONLY);
            dup2(out, 1);
            dup2(err, 2);
            dup2(none, 0); // not a terminal: no keys, no status line
            if (server)
                setenv("JACK_DEFAULT_SERVER", server, 1);
            std::vector<char*> argv;
            argv.reserve(args.size() + 1);
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Child() {
        if (pid > 0 && status < 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    void signal(int number) { kill(pid, number); }
    // The exit status, or -1 when it has not ended within `seconds`.
    int wait(double seconds = 15) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (status < 0 && std::chrono::steady_clock::now() < end) {
            int raw = 0;
            if (waitpid(pid, &raw, WNOHANG) == pid)
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status;
    }
    [[nodiscard]] std::string out() const { return readText(outPath); }
    [[nodiscard]] std::string err() const { return readText(errPath); }

  private:
    std::string outPath, errPath;
    pid_t pid = -1;
    int status = -1;
};

bool waitUntil(const std::function<bool()>& done, double seconds = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

constexpr double ClockSpacing = 918.75; // frames between MIDI clocks at 120 BPM and 44100 Hz

class LiveOnJack : public testing::Test {
  protected:
    void SetUp() override {
        probe = Probe::open("kvprobe");
        ASSERT_TRUE(probe) << "no JACK server; run this through scripts/with-jack.sh";
    }

    // live with the probe connected both ways; returns once the connections are made.
    std::unique_ptr<Child> startLive(std::vector<std::string> args) {
        args.insert(args.end(), {"--connect-in", probe->sendPort(), "--connect-out",
                                 probe->receivePort(), "--name", "kvlive"});
        auto child = std::make_unique<Child>(args, "live");
        EXPECT_TRUE(waitUntil([&] { return probe->connected(); })) << child->err();
        EXPECT_TRUE(waitUntil([&] { return contains(child->out(), "live as JACK client"); }));
        return child;
    }

    // START, then `count` clocks from `first`; the clocks as they were actually sent.
    std::vector<int64_t> sendClocks(int64_t start, int64_t first, int count) {
        EXPECT_TRUE(probe->send(start, {0xFA}));
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(probe->send(first + static_cast<int64_t>(i * ClockSpacing), {0xF8}));
        waitUntil([&] { return probe->sent().size() == static_cast<size_t>(count) + 1; });
        std::vector<int64_t> clocks;
        for (const ProbeMessage& m : probe->sent())
            if (m.bytes[0] == 0xF8)
                clocks.push_back(m.frame);
        return clocks;
    }

    [[nodiscard]] std::vector<ProbeMessage> noteOns() const {
        std::vector<ProbeMessage> ons;
        for (const ProbeMessage& m : probe->received())
            if (m.noteOn())
                ons.push_back(m);
        return ons;
    }

    // A server that missed cycles (a busy machine, without real-time scheduling) moves messages
    // by whole periods, as many as the machine's load decides: the bounds in frames are asserted
    // in a run without xruns, and otherwise only reported.
    [[nodiscard]] bool calm() const { return probe->xruns() == 0; }
    [[nodiscard]] std::string xrunNote() const {
        return calm() ? "" : " (" + std::to_string(probe->xruns()) + " xruns)";
    }

    const Scratch scratch;
    std::unique_ptr<Probe> probe;
};

// A server that misses cycles drops the MIDI of those cycles: what was waited for in vain fails
// the test in a calm run, and otherwise skips it, saying why.
#define KV_ARRIVED_OR_SKIP(arrived, what)                                                          \
    do {                                                                                           \
        if (!(arrived)) {                                                                          \
            ASSERT_FALSE(calm()) << (what) << " never came back";                                  \
            GTEST_SKIP() << (what) << " never came back: the server missed " << probe->xruns()     \
                         << " cycles, and their MIDI with them";                                   \
        }                                                                                          \
    } while (false)

TEST_F(LiveOnJack, ATakeRecordedWithRecIsInTheRowByteForByte) {
    std::unique_ptr<Child> live = startLive({"take.brumo", "--clock", "midi", "--rec-cc", "64"});
    const std::vector<uint8_t> take{48, 55, 60, 64, 67, 72, 76, 79, 84, 127, 0};
    int64_t at = probe->now() + int64_t{4} * probe->periodFrames();
    probe->send(at, {0xB0, 64, 127});
    for (uint8_t note : take) {
        at += 700;
        probe->send(at, {0x90, note, 100});
        probe->send(at + 300, {0x80, note, 0});
        probe->send(at + 350, {0xB1, 1, 50}); // another controller reaches the module, unrecorded
    }
    probe->send(at + 1000, {0xB0, 64, 0});
    ASSERT_TRUE(waitUntil([&] { return probe->sent().size() == 2 + 3 * take.size(); }));
    // in the row at once, as REC fell
    KV_ARRIVED_OR_SKIP(waitUntil([&] { return readBytes("take.brumo") == take; }), "the take");
    live->signal(SIGINT);
    EXPECT_EQ(live->wait(), 0) << live->err();
    EXPECT_EQ(readBytes("take.brumo"), take);
    EXPECT_TRUE(contains(live->out(), "11 notes recorded, 0 notes played")) << live->out();
}

TEST_F(LiveOnJack, WithTheMidiClockTheRowComesBackOneNotePerSixClocks) {
    const std::vector<uint8_t> row{60, 62, 64, 65, 67, 69, 71, 72};
    writeBytes("row.brumo", row);
    std::unique_ptr<Child> live = startLive({"row.brumo", "--clock", "midi"});
    const int64_t start = probe->now() + int64_t{4} * probe->periodFrames();
    const std::vector<int64_t> clocks = sendClocks(start, start + 3000, 6 * 24);
    KV_ARRIVED_OR_SKIP(waitUntil([&] { return noteOns().size() >= 24; }), "24 notes");
    const std::vector<ProbeMessage> ons = noteOns();
    int64_t largest = 0;
    size_t inTime = 0;
    for (size_t i = 0; i < 24; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ons[i].bytes[1], row[i % row.size()]);
        const int64_t offset = ons[i].frame - clocks[i * 6];
        largest = std::max(largest, offset);
        inTime += offset >= 0 && offset < probe->periodFrames();
    }
    std::cout << "largest offset between a clock and its note: " << largest << " frames"
              << xrunNote() << "\n";
    std::cout << inTime << " of 24 notes within a period of their clock\n";
    if (calm()) {
        EXPECT_EQ(inTime, 24u);
    }
    live->signal(SIGTERM);
    EXPECT_EQ(live->wait(), 0) << live->err();
}

TEST_F(LiveOnJack, TheInternalClockSpacesNotesBy5512Or5513Frames) {
    writeBytes("row.brumo", {60, 64, 67});
    std::unique_ptr<Child> live = startLive({"row.brumo", "--seconds", "3"});
    EXPECT_EQ(live->wait(), 0) << live->err();
    const std::vector<ProbeMessage> ons = noteOns();
    ASSERT_GE(ons.size(), calm() ? 20u : 2u);
    std::set<int64_t> spacings;
    for (size_t i = 1; i < ons.size(); ++i)
        spacings.insert(ons[i].frame - ons[i - 1].frame);
    std::string seen;
    for (int64_t s : spacings)
        seen += std::to_string(s) + " ";
    std::cout << "frame spacing of the internal clock's notes: " << seen << xrunNote() << "\n";
    if (calm()) {
        EXPECT_EQ(seen, "5512 5513 ");
        EXPECT_TRUE(contains(live->out(),
                             "0 notes recorded, " + std::to_string(ons.size()) + " notes played"))
            << live->out();
    }
}

// The NOTE_OFFs that end `ons` among the messages after `from`.
void expectEnded(const std::vector<ProbeMessage>& ons, const std::vector<ProbeMessage>& all,
                 int64_t from) {
    std::multiset<int> sounding;
    for (const ProbeMessage& on : ons)
        sounding.insert(on.bytes[1]);
    for (const ProbeMessage& m : all)
        if (m.noteOff() && m.frame >= from && sounding.count(m.bytes[1]))
            sounding.erase(sounding.find(m.bytes[1]));
    EXPECT_TRUE(sounding.empty()) << sounding.size() << " notes were left sounding";
}

TEST_F(LiveOnJack, StopEndsEverySoundingNote) {
    writeBytes("row.brumo", {60, 62, 64, 65});
    std::unique_ptr<Child> live = startLive({"row.brumo", "--clock", "midi", "--noteoff", "0"});
    const int64_t start = probe->now() + int64_t{4} * probe->periodFrames();
    const std::vector<int64_t> clocks = sendClocks(start, start + 1000, 6 * 3);
    KV_ARRIVED_OR_SKIP(waitUntil([&] { return noteOns().size() == 3; }), "3 notes");
    const int64_t stop = clocks.back() + 2000;
    probe->send(stop, {0xFC});
    KV_ARRIVED_OR_SKIP(waitUntil([&] { return probe->received().size() >= 6; }), "their ends");
    expectEnded(noteOns(), probe->received(), stop);
    live->signal(SIGINT);
    EXPECT_EQ(live->wait(), 0) << live->err();
}

TEST_F(LiveOnJack, SigintEndsEverySoundingNoteAndSilencesTheChannel) {
    writeBytes("row.brumo", {60, 62, 64, 65});
    std::unique_ptr<Child> live = startLive({"row.brumo", "--noteoff", "0"});
    KV_ARRIVED_OR_SKIP(waitUntil([&] { return noteOns().size() >= 3; }), "3 notes");
    const int64_t asked = probe->now();
    live->signal(SIGINT);
    EXPECT_EQ(live->wait(), 0) << live->err();
    const std::vector<ProbeMessage> all = probe->received();
    expectEnded(noteOns(), all, 0);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().bytes[0], 0xB0);
    EXPECT_EQ(all.back().bytes[1], 123);
    EXPECT_GE(all.back().frame, asked - probe->periodFrames());
    EXPECT_TRUE(contains(live->out(), "0 notes recorded, ")) << live->out();
}

TEST_F(LiveOnJack, ASecondClientOfTheSameNameIsRenamedAndWorks) {
    Child first({"one.brumo", "--name", "kvtwin"}, "first");
    ASSERT_TRUE(waitUntil([&] { return contains(first.out(), "live as JACK client kvtwin "); }))
        << first.err();
    Child second({"two.brumo", "--name", "kvtwin", "--seconds", "0.5"}, "second");
    EXPECT_EQ(second.wait(), 0) << second.err();
    EXPECT_TRUE(contains(second.out(), "live as JACK client kvtwin-")) << second.out();
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(), 0) << first.err();
}

TEST_F(LiveOnJack, NamedPortsThatDoNotExistAreRefusedBeforeAnythingPlays) {
    Child live({"row.brumo", "--connect-in", "nobody:out"}, "live");
    EXPECT_EQ(live.wait(), 1);
    EXPECT_EQ(lines(live.err()),
              std::vector<std::string>{"kaveltrum-host: no JACK port named 'nobody:out' (jack_lsp "
                                       "lists them)"});
    EXPECT_EQ(live.out(), "");
    Child wrongWay({"row.brumo", "--connect-out", probe->sendPort()}, "wrong");
    EXPECT_EQ(wrongWay.wait(), 1);
    EXPECT_TRUE(contains(wrongWay.err(), "is not a MIDI input")) << wrongWay.err();
}

TEST(LiveWithoutJack, SaysInOneLineThatItNeedsARunningServer) {
    const Scratch scratch;
    const std::string server = "kaveltrum-none-" + std::to_string(getpid());
    Child live({"row.brumo"}, "live", server.c_str());
    EXPECT_EQ(live.wait(), 1);
    EXPECT_EQ(lines(live.err()),
              std::vector<std::string>{"kaveltrum-host: no JACK server is running; live needs a "
                                       "running JACK server: jackd, or PipeWire's JACK"});
}

} // namespace
