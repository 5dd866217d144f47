// The checks of what a host meets first: the two exports, the properties, makeModule and the
// plug-in record it returns, and the pin descriptions.
#include "check_support.h"
#include "guard_checks.h"
#include "texts.h"

#include <cstring>

namespace {

// The host fills the record with this byte: a word that still holds it was not written.
constexpr unsigned char Untouched = 0x5A;

// A record the host hands the module, with guard bytes behind it: a module that writes past the
// record's end writes into them rather than into the host's own data.
template <class Record> struct Guarded {
    Record record;
    unsigned char guard[64];

    explicit Guarded(unsigned char fill) { std::memset(this, fill, sizeof *this); }
    [[nodiscard]] bool intact(unsigned char fill) const {
        for (const unsigned char byte : guard)
            if (byte != fill)
                return false;
        return true;
    }
};

// Asks for the properties of `index` into a record of untouched words, checking its end.
ModuleProperties askProperties(CheckContext& context, GetModulePropertiesFn properties,
                               int32_t index, int32_t& answer) {
    Guarded<ModuleProperties> asked(Untouched);
    answer = properties(index, &asked.record);
    context.require(asked.intact(Untouched), "getModuleProperties(" + std::to_string(index) +
                                                 ") wrote past the end of the " +
                                                 std::to_string(sizeof(ModuleProperties)) +
                                                 "-byte record");
    return asked.record;
}

bool untouched(const void* address) {
    unsigned char bytes[sizeof address];
    std::memcpy(bytes, &address, sizeof address);
    for (const unsigned char byte : bytes)
        if (byte != Untouched)
            return false;
    return true;
}

// The text at `text` if a terminator comes within the bound; fails the check otherwise.
std::string terminatedText(CheckContext& context, const char* text, const std::string& what) {
    context.require(text != nullptr, what + " is missing (a null address)");
    const size_t length = boundedLength(text, MaxModuleText);
    context.require(length < MaxModuleText,
                    what + " has no terminator within " + std::to_string(MaxModuleText) + " bytes");
    return std::string(text, length);
}

} // namespace

void checkExports(CheckContext& context) {
    const ModuleFile file = loadModule(context); // finds both exports by their plain names
    const GetModulePropertiesFn properties = file.entries().properties;

    int32_t answer = 0;
    const ModuleProperties props = askProperties(context, properties, 0, answer);
    context.require(answer == 1,
                    "getModuleProperties(0) answered " + std::to_string(answer) + ", not 1");
    context.require(props.interfaceVersion == InterfaceVersion,
                    "getModuleProperties(0) wrote interface version " +
                        std::to_string(props.interfaceVersion) + ", not " +
                        std::to_string(InterfaceVersion));
    const std::string name = terminatedText(context, props.name, "the module's name");
    context.require(!name.empty(), "the module's name is empty");
    terminatedText(context, props.identifier, "the module's identifier");
    const std::string about = terminatedText(context, props.about, "the about text");

    const ModuleProperties again = askProperties(context, properties, 0, answer);
    context.require(again.about && terminatedText(context, again.about, "the about text") == about,
                    "a second getModuleProperties(0) gave another about text");

    int32_t refused = 0;
    const ModuleProperties none = askProperties(context, properties, 1, refused);
    context.require(refused == 0,
                    "getModuleProperties(1) answered " + std::to_string(refused) + ", not 0");
    context.require(untouched(none.name) && untouched(none.identifier) && untouched(none.about),
                    "getModuleProperties(1) wrote a text address");
    context.require(none.interfaceVersion == InterfaceVersion,
                    "getModuleProperties(1) wrote interface version " +
                        std::to_string(none.interfaceVersion) + ", not " +
                        std::to_string(InterfaceVersion));
}

namespace {

void requireSoundRecord(CheckContext& context, const ModuleDriver& driver, const char* how) {
    const PluginRecord* record = driver.record();
    const std::string made = std::string("the record made ") + how;
    context.require(record->magic == PluginMagic, made + " starts with magic " +
                                                      hex(static_cast<uint32_t>(record->magic)) +
                                                      ", not " + hex(PluginMagic));
    context.require(record->version == PluginVersion,
                    made + " has version " + std::to_string(record->version) + ", not 1");
    context.require(record->hostHandle == reinterpret_cast<intptr_t>(&driver),
                    made + " does not keep the host handle " +
                        hex(static_cast<uint32_t>(reinterpret_cast<intptr_t>(&driver))) +
                        " (it holds " + hex(static_cast<uint32_t>(record->hostHandle)) + ")");
    context.require(record->instance != nullptr, made + " has no instance address");
    context.require(record->dispatcher != nullptr, made + " has no dispatcher entry");
    context.require(record->subProcess != nullptr, made + " has no sub-process routine");
    context.require(record->event != nullptr, made + " has no event entry");
}

} // namespace

void checkMakeModule(CheckContext& context) {
    const ModuleFile file = loadModule(context);
    const struct {
        int32_t index, selector;
    } refused[] = {{1, 1}, {-1, 1}, {0, 0}, {0, 2}, {0, -1}, {7, 3}};
    for (const auto& wrong : refused) {
        MakeOptions options;
        options.moduleIndex = wrong.index;
        options.selector = wrong.selector;
        context.require(!ModuleDriver::make(file, options).ok(),
                        "makeModule(" + std::to_string(wrong.index) + ", " +
                            std::to_string(wrong.selector) + ") made an instance");
    }

    const auto made = need(context, ModuleDriver::make(file), "makeModule(0, 1)");
    requireSoundRecord(context, *made, "by makeModule(0, 1)");

    // Without a callback the instance has no host services, and still works.
    MakeOptions alone;
    alone.withCallback = false;
    const auto lonely =
        need(context, ModuleDriver::make(file, alone), "makeModule(0, 1) with a null callback");
    requireSoundRecord(context, *lonely, "with a null callback");
    need(context, lonely->learnPins(), "learning the pins of an instance without a callback");
    need(context, lonely->open(), "opening an instance without a callback");
    need(context, lonely->runBlock(0), "running a block without a callback");
    const auto closed = need(context, lonely->close(), "closing an instance without a callback");
    context.require(closed == 1, "closing an instance without a callback answered " +
                                     std::to_string(closed) + ", not 1");
}

namespace {

bool knownDirection(int32_t direction) {
    return direction == DirIn || direction == DirOut || direction == DirSetting;
}

// A pin description with its texts read, for comparing two answers.
struct Described {
    intptr_t answer;
    void* variable;
    int32_t direction, datatype, flags;
    std::string name;
    std::string defaultText, extraText; // "(none)" for a null address
};

Described describe(CheckContext& context, ModuleDriver& driver, int32_t index) {
    Guarded<PinDescription> asked(0); // cleared, as whoever asks clears it
    const intptr_t answer =
        need(context, driver.dispatch(OpGetPinDescription, index, 0, &asked.record),
             "asking for a pin description");
    const PinDescription& d = asked.record;
    const std::string pin = "pin description " + std::to_string(index);
    context.require(asked.intact(0), pin + " was written past the end of the " +
                                         std::to_string(sizeof(PinDescription)) + "-byte record");
    if (answer == 0)
        return {0, nullptr, 0, 0, 0, {}, {}, {}};
    context.require(knownDirection(d.direction),
                    pin + " has the unknown direction " + std::to_string(d.direction));
    context.require(d.datatype >= 0 && d.datatype <= DtInt32,
                    pin + " has the unknown datatype " + std::to_string(d.datatype));
    Described found{answer,      d.variableAddress,
                    d.direction, d.datatype,
                    d.pinFlags,  terminatedText(context, d.pinName, pin + "'s name"),
                    "(none)",    "(none)"};
    if (d.defaultText)
        found.defaultText = terminatedText(context, d.defaultText, pin + "'s default text");
    if (d.extraText)
        found.extraText = terminatedText(context, d.extraText, pin + "'s extra text");
    return found;
}

bool same(const Described& a, const Described& b) {
    return a.answer == b.answer && a.variable == b.variable && a.direction == b.direction &&
           a.datatype == b.datatype && a.flags == b.flags && a.name == b.name &&
           a.defaultText == b.defaultText && a.extraText == b.extraText;
}

std::vector<Described> describeAll(CheckContext& context, ModuleDriver& driver) {
    std::vector<Described> pins;
    for (int32_t index = 0;; ++index) {
        context.require(index < MaxPins, "the module described " + std::to_string(MaxPins) +
                                             " pins without refusing one (it never refuses)");
        Described pin = describe(context, driver, index);
        if (pin.answer == 0)
            return pins;
        pins.push_back(std::move(pin));
    }
}

} // namespace

void checkPinDescriptions(CheckContext& context) {
    const ModuleFile file = loadModule(context);
    const auto driver = makeInstance(context, file);
    const std::vector<Described> pins = describeAll(context, *driver);
    for (size_t i = 0; i + 1 < pins.size(); ++i)
        context.require(!(pins[i].flags & PinFlagRepeat),
                        "pin description " + std::to_string(i) +
                            " has the repeat flag but is not the last one");
    const std::vector<Described> again = describeAll(context, *driver);
    context.require(again.size() == pins.size(),
                    "asked again, the module described " + std::to_string(again.size()) +
                        " pins instead of " + std::to_string(pins.size()));
    for (size_t i = 0; i < pins.size(); ++i)
        context.require(same(pins[i], again[i]), "asked again, pin description " +
                                                     std::to_string(i) + " ('" + pins[i].name +
                                                     "') came out different");
    for (const int32_t index : {-1, -2, -1000, INT32_MIN})
        context.require(driver->describePin(index).answer == 0,
                        "pin description " + std::to_string(index) + " was answered");
    requireSoundOutput(context, *driver, "while describing the pins");
    guardedPinDescriptions(context, file);
}
