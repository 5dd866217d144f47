#include "child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
    int read = -1, write = -1;
    ~Pipe() {
        if (read >= 0)
            close(read);
        if (write >= 0)
            close(write);
    }
};

int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Reads until the child closes its end or the deadline passes; false on the deadline.
bool readUntilClosed(int fd, Clock::time_point deadline, std::string& output) {
    char chunk[4096];
    for (;;) {
        pollfd wait{fd, POLLIN, 0};
        const int ready = poll(&wait, 1, millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        output.append(chunk, static_cast<size_t>(got));
    }
}

// Waits for the child to end, until the deadline; false if it is still running then.
bool reap(pid_t pid, Clock::time_point deadline, int& status) {
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return true;
        if (done < 0 && errno != EINTR)
            return true; // nothing left to wait for
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// This process's environment with `added` over it; the pointers live as long as `added` and
// the environment.
std::vector<char*> environmentWith(const std::vector<std::string>& added) {
    std::vector<char*> variables;
    for (char** variable = environ; *variable; ++variable) {
        const char* equals = std::strchr(*variable, '=');
        const size_t nameLength = equals ? static_cast<size_t>(equals - *variable) + 1 : 0;
        bool replaced = false;
        for (const std::string& given : added)
            replaced = replaced ||
                       (nameLength && given.compare(0, nameLength, *variable, nameLength) == 0);
        if (!replaced)
            variables.push_back(*variable);
    }
    for (const std::string& given : added)
        variables.push_back(const_cast<char*>(given.c_str()));
    variables.push_back(nullptr);
    return variables;
}

} // namespace

ChildRun runChild(const std::string& program, const std::vector<std::string>& arguments,
                  double seconds, ChildOutput output, const std::vector<std::string>& environment) {
    ChildRun run;
    Pipe pipe;
    const bool keep = output != ChildOutput::Discard;
    int ends[2];
    if (keep && pipe2(ends, O_CLOEXEC) != 0) {
        run.why = std::string("no pipe: ") + std::strerror(errno);
        return run;
    }
    if (keep) {
        pipe.read = ends[0];
        pipe.write = ends[1];
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (keep)
        posix_spawn_file_actions_adddup2(&actions, pipe.write, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (output == ChildOutput::KeepWithErrors)
        posix_spawn_file_actions_adddup2(&actions, pipe.write, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    std::vector<char*> variables = environmentWith(environment);
    pid_t pid = 0;
    const int failed =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), variables.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        run.why = program + ": " + std::strerror(failed);
        return run;
    }
    if (keep) {
        close(pipe.write);
        pipe.write = -1;
    }

    const auto deadline =
        Clock::now() + std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
    int status = 0;
    const bool read = !keep || readUntilClosed(pipe.read, deadline, run.output);
    if (!read || !reap(pid, deadline, status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        run.end = ChildRun::End::TimedOut;
        return run;
    }
    if (WIFSIGNALED(status)) {
        run.end = ChildRun::End::Crashed;
        run.code = static_cast<unsigned long>(WTERMSIG(status));
    } else {
        run.end = ChildRun::End::Exited;
        run.code = static_cast<unsigned long>(WEXITSTATUS(status));
    }
    return run;
}

std::string crashName(unsigned long code) {
    static const struct {
        int number;
        const char* name;
    } names[] = {{SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
                 {SIGILL, "SIGILL"},   {SIGABRT, "SIGABRT"}, {SIGTRAP, "SIGTRAP"},
                 {SIGSYS, "SIGSYS"},   {SIGKILL, "SIGKILL"}, {SIGTERM, "SIGTERM"},
                 {SIGPIPE, "SIGPIPE"}, {SIGXCPU, "SIGXCPU"}, {SIGXFSZ, "SIGXFSZ"}};
    for (const auto& entry : names)
        if (static_cast<unsigned long>(entry.number) == code)
            return entry.name;
    return "signal " + std::to_string(code);
}

std::string ownProgram() {
    return "/proc/self/exe";
}

void dieQuietlyOnCrash() {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}
