// The few C functions through which the check's child reads what the interposing library
// counted. The child finds them with dlsym(RTLD_DEFAULT): when the library is not preloaded,
// they are not there, and the calls cannot be counted.
#pragma once

extern "C" {

// Counting on (1) or off (0) for the calling thread: only calls made on a thread while its
// counting is on are counted, and a call that the counted function makes itself (malloc inside
// fopen) is not.
typedef void (*CountCallsFn)(int on);
// How many functions are counted; the name and the count so far of each, 0 .. count-1.
typedef int (*CountedFunctionsFn)(void);
typedef const char* (*CountedNameFn)(int function);
typedef unsigned long long (*CallCountFn)(int function);

} // extern "C"

// Their exported names.
#define KAVELTRUM_COUNT_CALLS "kaveltrum_count_calls"
#define KAVELTRUM_COUNTED_FUNCTIONS "kaveltrum_counted_functions"
#define KAVELTRUM_COUNTED_NAME "kaveltrum_counted_name"
#define KAVELTRUM_CALL_COUNT "kaveltrum_call_count"
