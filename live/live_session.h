// A whole live run on JACK: the client opened, the instance made at JACK's rate, the ports
// connected, the keys and the status line on the terminal, and the end, however it comes.
#pragma once

#include "host_instance.h"
#include "live_engine.h"
#include "result.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

struct SessionSettings {
    std::string clientName = "kaveltrum";
    std::vector<std::string> connectIn, connectOut;
    double seconds = 0.0; // 0: until stopped
    std::string rowPath;
    LiveSettings live; // sample rate, loop range and end filled in by the session and `prepare`
};

// Makes, configures and opens the instance at the given rate and fills in the loop parameters
// of the settings; it has run the one block that arms the player.
using PrepareInstance =
    std::function<Result<std::unique_ptr<HostInstance>>(double sampleRate, LiveSettings& live)>;

// Runs the session; returns the exit status: 0 stopped by a key, a signal or the time, 1 when it
// could not start or JACK shut it down. Errors are returned as one line in `error`.
int runLiveSession(SessionSettings settings, const PrepareInstance& prepare, std::ostream& out,
                   std::ostream& err, std::string& error);
