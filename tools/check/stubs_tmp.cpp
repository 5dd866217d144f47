#include "checks.h"
#include <csignal>
#include <thread>
void checkExports(CheckContext&) {}
void checkMakeModule(CheckContext& c) {
    c.fail("stub");
}
void checkPinDescriptions(CheckContext&) {
    std::raise(SIGSEGV);
}
void checkOpenClose(CheckContext&) {
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}
void checkEvents(CheckContext& c) {
    c.warn("a warning");
}
void checkHostMistakes(CheckContext&) {}
void checkBlocks(CheckContext&) {}
void checkHangingNotes(CheckContext&) {}
void checkRealTime(CheckContext&) {}
