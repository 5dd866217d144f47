#include "jack_library.h"

#include <dlfcn.h>

#include <string>

namespace {

// The address dlsym gives, as the entry's own type.
template <typename Entry> bool find(void* library, const char* name, Entry& entry) {
    void* found = dlsym(library, name);
    entry = reinterpret_cast<Entry>(found);
    return found != nullptr;
}

} // namespace

Result<JackLibrary> openJackLibrary(const char* file) {
    void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return Failure{std::string("live needs the JACK library ") + file +
                       ", which is not installed: install JACK (jackd2) or PipeWire's JACK"};
    JackLibrary jack;
#define KAVELTRUM_JACK_ENTRY(name)                                                                 \
    if (!find(library, "jack_" #name, jack.name)) {                                                \
        dlclose(library);                                                                          \
        return Failure{std::string("the JACK library ") + file + " has no jack_" #name};           \
    }
    KAVELTRUM_JACK_ENTRIES(KAVELTRUM_JACK_ENTRY)
#undef KAVELTRUM_JACK_ENTRY
    return jack;
}

const Result<JackLibrary>& jackLibrary() {
    static const Result<JackLibrary> opened = openJackLibrary(JackLibraryFile);
    return opened;
}
