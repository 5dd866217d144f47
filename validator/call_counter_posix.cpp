// The calls of a module counted by the interposing library, which the parent preloads into the
// child of the check that counts them.
#include "call_counter.h"

#include "call_counts.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

constexpr const char* InterposeLibrary = "kaveltrum-interpose.so";

template <class Fn> Fn exported(const char* name) {
    void* found = dlsym(RTLD_DEFAULT, name);
    Fn fn = nullptr;
    std::memcpy(&fn, &found, sizeof fn);
    return fn;
}

class PreloadedCounter : public CallCounter {
  public:
    bool find() {
        countCalls = exported<CountCallsFn>(KAVELTRUM_COUNT_CALLS);
        countedFunctions = exported<CountedFunctionsFn>(KAVELTRUM_COUNTED_FUNCTIONS);
        countedName = exported<CountedNameFn>(KAVELTRUM_COUNTED_NAME);
        callCount = exported<CallCountFn>(KAVELTRUM_CALL_COUNT);
        return countCalls && countedFunctions && countedName && callCount;
    }
    void count(bool on) override { countCalls(on ? 1 : 0); }
    [[nodiscard]] size_t functions() const override {
        const int total = countedFunctions();
        return total > 0 ? static_cast<size_t>(total) : 0;
    }
    [[nodiscard]] std::string name(size_t function) const override {
        return countedName(static_cast<int>(function));
    }
    void read(std::vector<unsigned long long>& calls) const override {
        calls.resize(functions());
        for (size_t i = 0; i < calls.size(); ++i)
            calls[i] = callCount(static_cast<int>(i));
    }

  private:
    CountCallsFn countCalls = nullptr;
    CountedFunctionsFn countedFunctions = nullptr;
    CountedNameFn countedName = nullptr;
    CallCountFn callCount = nullptr;
};

} // namespace

std::unique_ptr<CallCounter> CallCounter::attach(const ModuleFile&, std::string& why) {
    auto counter = std::make_unique<PreloadedCounter>();
    if (counter->find())
        return counter;
#if defined(__SANITIZE_ADDRESS__)
    why = "the calls cannot be counted in a build with the address sanitizer, which must be the "
          "first library loaded";
#else
    why = std::string("the calls cannot be counted: ") + InterposeLibrary +
          " is not preloaded (it belongs beside the tool)";
#endif
    return nullptr;
}

std::vector<std::string> childEnvironment(const std::string& check) {
#if defined(__SANITIZE_ADDRESS__)
    static_cast<void>(check);
    return {};
#else
    if (check != RealtimeSafetyCheck)
        return {};
    const Result<std::string> library = besideExecutable(InterposeLibrary);
    if (!library || access(library->c_str(), R_OK) != 0)
        return {};
    const char* earlier = std::getenv("LD_PRELOAD");
    return {"LD_PRELOAD=" + *library + (earlier && *earlier ? std::string(":") + earlier : "")};
#endif
}
