#include "tool.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    return runTool(words, std::cout, std::cerr);
}
