// kaveltrum-manual FOLDER VERSION [SECONDS]: writes kaveltrum-host.1 and kaveltrum-host.bash
// into FOLDER. SECONDS since 1970 date the page (the last commit's time, so that the same sources
// make the same page); without them the page carries no date.
#include "manual.h"
#include "safe_file.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

// The last second of the year 9999: a date of four digits.
constexpr uint64_t LastSecond = 253402300799ULL;

bool readSeconds(const std::string& text, uint64_t& seconds) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    seconds = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 && seconds <= LastSecond;
}

Status write(const std::string& path, const std::string& text) {
    return writeFileWhole(path, std::vector<uint8_t>(text.begin(), text.end()));
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.size() < 2 || words.size() > 3) {
        std::cerr << "usage: kaveltrum-manual FOLDER VERSION [SECONDS]\n";
        return 2;
    }
    ManualFacts facts{words[1], ""};
    uint64_t seconds = 0;
    if (words.size() == 3) {
        if (!readSeconds(words[2], seconds)) {
            std::cerr << "kaveltrum-manual: '" << words[2]
                      << "' is no time in seconds since 1970 up to the year 9999\n";
            return 2;
        }
        facts.day = dayOf(seconds);
    }
    for (const auto& [name, text] : {std::pair{"/kaveltrum-host.1", manualPage(facts)},
                                     std::pair{"/kaveltrum-host.bash", bashCompletion(facts)}})
        if (Status written = write(words[0] + name, text); !written) {
            std::cerr << "kaveltrum-manual: " << written.error() << "\n";
            return 1;
        }
    return 0;
}
