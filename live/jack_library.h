// The JACK library, opened when `live` first needs it instead of linked into the tool: every
// other command starts without loading it and its own dependencies (a millisecond of each
// start), and the tool runs on a machine without JACK, where `live` says what is missing.
#pragma once

#include "result.h"

#include <jack/jack.h>
#include <jack/midiport.h>

// Each entry is the library's function of the same name with `jack_` before it.
#define KAVELTRUM_JACK_ENTRIES(X)                                                                  \
    X(activate)                                                                                    \
    X(client_close)                                                                                \
    X(client_open)                                                                                 \
    X(connect)                                                                                     \
    X(deactivate)                                                                                  \
    X(get_buffer_size)                                                                             \
    X(get_client_name)                                                                             \
    X(get_sample_rate)                                                                             \
    X(last_frame_time)                                                                             \
    X(midi_clear_buffer)                                                                           \
    X(midi_event_get)                                                                              \
    X(midi_event_write)                                                                            \
    X(midi_get_event_count)                                                                        \
    X(on_shutdown)                                                                                 \
    X(port_by_name)                                                                                \
    X(port_flags)                                                                                  \
    X(port_get_buffer)                                                                             \
    X(port_name)                                                                                   \
    X(port_register)                                                                               \
    X(port_type)                                                                                   \
    X(set_error_function)                                                                          \
    X(set_info_function)                                                                           \
    X(set_process_callback)                                                                        \
    X(set_xrun_callback)

struct JackLibrary {
#define KAVELTRUM_JACK_ENTRY(name) decltype(&jack_##name) name = nullptr;
    KAVELTRUM_JACK_ENTRIES(KAVELTRUM_JACK_ENTRY)
#undef KAVELTRUM_JACK_ENTRY
};

// The library that JACK's servers, jackd and PipeWire's, both install.
inline constexpr const char* JackLibraryFile = "libjack.so.0";

// Opens `file` and finds every entry; fails in one line naming the library or the entry it
// lacks. The library stays loaded for the rest of the run.
Result<JackLibrary> openJackLibrary(const char* file);

// JackLibraryFile, opened on the first call; later calls answer the same.
const Result<JackLibrary>& jackLibrary();
