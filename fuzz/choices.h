// The values the fuzzer's host passes: ordinary ones and the odd ones a careless host or patch
// produces, each drawn from the fuzz input.
#pragma once

#include "abi.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

// One entry of a table.
template <typename T, size_t N> const T& pick(FuzzedDataProvider& in, const T (&table)[N]) {
    return table[in.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

int32_t anyInt32(FuzzedDataProvider& in);
int16_t anyInt16(FuzzedDataProvider& in); // a parameter value
float anyLevel(FuzzedDataProvider& in);   // an input sample, or a request's float
int32_t anyPinCount(FuzzedDataProvider& in);
int32_t anyMidi(FuzzedDataProvider& in); // a packed message, not always a valid one

// An event of any kind; a routine to call is only ever the fuzzer's own, or null.
HostEvent anyOtherEvent(FuzzedDataProvider& in);
