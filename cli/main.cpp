#include "tool.h"

#include <cstdio>
#include <iostream>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool errorsGoToATerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

} // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    // MIDI files come through standard input byte for byte.
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    // The tool writes only through the C++ streams, which need not wait for C's.
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> words(argv + 1, argv + argc);
    ProgressSettings progress;
    progress.terminal = errorsGoToATerminal();
    return runTool(words, std::cin, std::cout, std::cerr, progress);
}
