#include "console.h"

#include <cerrno>
#include <cstring>

int Console::finish(const Status& done) {
    if (done)
        return 0;
    err << errorStart << done.error() << "\n";
    return 1;
}

Status outputStatus(std::ostream& out) {
    if (out)
        return {};
    const int error = errno;
    return Failure{std::string("standard output: ") +
                   (error != 0 ? std::strerror(error) : "could not be written")};
}
