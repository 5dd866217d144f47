#include "tool.h"

#include <iostream>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#if defined(_WIN32)
    // MIDI files come through standard input byte for byte.
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    const std::vector<std::string> words(argv + 1, argv + argc);
    return runTool(words, std::cin, std::cout, std::cerr);
}
