// The processor's floating-point control state: the SSE control register (MXCSR) and, on x86,
// the x87 control word. A module that returns with it changed changes the arithmetic of every
// other module in the host.
#pragma once

#include <cstdint>
#include <string>

struct FpState {
    uint32_t mxcsr = 0;
    uint16_t x87 = 0;
    bool operator==(const FpState& other) const;
    bool operator!=(const FpState& other) const { return !(*this == other); }
};

// Whether this build can read the state at all (x86 and x86-64).
bool canReadFpState();
FpState readFpState();
void writeFpState(const FpState& state);

// The state with flush-to-zero on and rounding toward zero, in both units.
FpState unusualFpState(const FpState& from);

// What differs between two states, in words: "flush-to-zero on (MXCSR 0x1F80 -> 0x9F80)".
// Only the control bits count; the sticky exception flags are the arithmetic's to set.
std::string fpChanges(const FpState& before, const FpState& after);

// Sets a state for as long as it lives, and puts the one before back.
class FpStateScope {
  public:
    explicit FpStateScope(const FpState& state) : saved(readFpState()) { writeFpState(state); }
    ~FpStateScope() { writeFpState(saved); }
    FpStateScope(const FpStateScope&) = delete;
    FpStateScope& operator=(const FpStateScope&) = delete;

  private:
    FpState saved;
};
