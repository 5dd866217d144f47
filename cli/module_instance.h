// The module file the tool drives, and one instance of it made and opened.
#pragma once

#include "command_line.h"
#include "host_instance.h"

#include <memory>
#include <string>

// The module file of --module, or the one beside the program; it must be a regular file, which is
// checked before the system's loader opens it (a FIFO would block it).
Result<std::string> modulePathFor(const CommandLine& line);

// Loads the module file and makes and opens one instance of it.
Result<std::unique_ptr<HostInstance>> startInstance(const std::string& modulePath, double rate,
                                                    long blockSize);
