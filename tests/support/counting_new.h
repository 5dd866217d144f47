// Counts the heap allocations a piece of code makes. counting_new.cpp replaces the global
// operator new of the program it is built into, so a test program that includes this header
// lists that file among its sources and is a program of its own.
#pragma once

#include <atomic>

namespace counting_new {
extern std::atomic<bool> counting;
extern std::atomic<long> allocations;
} // namespace counting_new

// The number of allocations `run` makes.
template <typename Run> long allocationsDuring(Run run) {
    counting_new::allocations = 0;
    counting_new::counting = true;
    run();
    counting_new::counting = false;
    return counting_new::allocations;
}
