#include "driver.h"

#include "host_events.h"
#include "running_entry.h"

#include <algorithm>
#include <cstring>

const char* entryName(ModuleEntry entry) {
    switch (entry) {
    case ModuleEntry::Make:
        return "makeModule";
    case ModuleEntry::Dispatcher:
        return "the dispatcher";
    case ModuleEntry::Block:
        return "the block routine";
    case ModuleEntry::Event:
        return "the event entry";
    }
    return "an entry";
}

// Counts a call into the instance while it lasts, and tells the watcher of it. Every call into
// the module is made inside one of these, and nothing else is.
class ModuleDriver::Calling {
  public:
    Calling(ModuleDriver& driver, ModuleEntry entry) : driver(driver), entry(entry) {
        ++driver.calling;
        if (driver.watcher)
            driver.watcher->entering(entry);
    }
    ~Calling() {
        if (driver.watcher)
            driver.watcher->left(entry);
        --driver.calling;
    }
    Calling(const Calling&) = delete;
    Calling& operator=(const Calling&) = delete;

  private:
    ModuleDriver& driver;
    ModuleEntry entry;
};

// The host answering a request of the module, told to the watcher.
class Answering {
  public:
    explicit Answering(CallWatcher* watcher) : watcher(watcher) {
        if (watcher)
            watcher->answering();
    }
    ~Answering() {
        if (watcher)
            watcher->answered();
    }
    Answering(const Answering&) = delete;
    Answering& operator=(const Answering&) = delete;

  private:
    CallWatcher* watcher;
};

// ---- Making an instance --------------------------------------------------------------------

namespace {

// What the module answers is not needed here: whoever shows the properties asks for them and
// reports a failure.
void askProperties(ModuleEntries entries, const MakeOptions& options) {
    if (!entries.properties)
        return;
    ModuleProperties props{};
    std::unique_ptr<GuardedBuffer> guarded;
    if (options.guard)
        guarded = GuardedBuffer::make(sizeof props, *options.guard, "the properties record");
    const RunningEntry running("getModuleProperties");
    entries.properties(options.moduleIndex,
                       guarded ? static_cast<ModuleProperties*>(guarded->data()) : &props);
}

} // namespace

Result<std::unique_ptr<ModuleDriver>> ModuleDriver::make(const ModuleFile& file,
                                                         MakeOptions options) {
    // A module may rely on being asked before it is placed. What it answers is not needed here:
    // whoever shows the properties asks for them and reports a failure.
    if (options.askProperties && options.guard)
        askProperties(file.entries(), options); // into a guarded record
    else if (options.askProperties)
        static_cast<void>(file.properties());
    return makeWith(file.makeModule(), options, &file);
}

Result<std::unique_ptr<ModuleDriver>> ModuleDriver::make(ModuleEntries entries,
                                                         MakeOptions options) {
    if (!entries.make)
        return Failure{"the module has no makeModule entry"};
    if (options.askProperties)
        askProperties(entries, options);
    return makeWith(entries.make, options, nullptr);
}

Result<std::unique_ptr<ModuleDriver>> ModuleDriver::makeWith(MakeModuleFn make, MakeOptions options,
                                                             const ModuleFile* file) {
    std::unique_ptr<ModuleDriver> driver(new ModuleDriver());
    if (file)
        driver->file = *file;
    driver->guard = options.guard;
    driver->midiOut.reserve(1024);
    driver->requestLog.reserve(1024);
    driver->watcher = options.watcher;
    const Calling making(*driver, ModuleEntry::Make);
    const RunningEntry running("makeModule");
    PluginRecord* made = make(options.moduleIndex, options.selector,
                              options.withCallback ? &ModuleDriver::callback : nullptr,
                              reinterpret_cast<intptr_t>(driver.get()));
    if (!made)
        return Failure{"the module made no instance of module " +
                       std::to_string(options.moduleIndex) + " with selector " +
                       std::to_string(options.selector)};
    driver->plugin = made;
    if (driver->usable()) {
        driver->instanceWord = made->instance;
        driver->routine = made->subProcess;
    }
    return driver;
}

ModuleDriver::~ModuleDriver() {
    if (usable())
        static_cast<void>(close()); // nobody is left to tell of a failure
}

Status ModuleDriver::checkCallable() const {
    if (!plugin)
        return Failure{"the instance is closed"};
    if (!usable())
        return Failure{"the module's record is not a plug-in record"};
    return {};
}

// ---- Pins ----------------------------------------------------------------------------------

PinAnswer ModuleDriver::describePin(int32_t index) {
    PinAnswer asked;
    std::memset(&asked.description, 0, sizeof asked.description);
    PinDescription* record =
        guard ? guardedRecord<PinDescription>(guardedPin, "the pin description record") : nullptr;
    if (!record)
        record = &asked.description;
    if (Result<intptr_t> answer = dispatch(OpGetPinDescription, index, 0, record))
        asked.answer = *answer;
    asked.description = *record;
    return asked;
}

// One record of the host's, cleared, in a buffer of its own against a guard page; made on first
// use. Null when the system gives no such memory: the caller hands over its own record then.
template <class Record>
Record* ModuleDriver::guardedRecord(std::unique_ptr<GuardedBuffer>& buffer, const char* what) {
    if (!buffer)
        buffer = GuardedBuffer::make(sizeof(Record), *guard, what);
    if (!buffer)
        return nullptr;
    std::memset(buffer->data(), 0, sizeof(Record));
    return static_cast<Record*>(buffer->data());
}

Status ModuleDriver::learnPins() {
    if (Status callable = checkCallable(); !callable)
        return callable;
    std::vector<PinInfo> learned;
    for (int32_t index = 0;; ++index) {
        const PinAnswer asked = describePin(index);
        if (asked.answer == 0)
            break;
        if (index == MaxPins)
            return Failure{"the module describes more than " + std::to_string(MaxPins) + " pins"};
        learned.push_back(pinInfoOf(asked.description));
    }
    pinTable = std::move(learned);
    return {};
}

Result<int32_t> ModuleDriver::findPin(const std::string& name) const {
    for (size_t i = 0; i < pinTable.size(); ++i)
        if (pinTable[i].name == name)
            return static_cast<int32_t>(i);
    return Failure{"the module has no pin named '" + name + "'"};
}

float* ModuleDriver::block(int32_t pin) {
    if (pin < 0 || pin >= MaxPins)
        return nullptr;
    const auto at = static_cast<size_t>(pin);
    if (guard)
        if (float* guarded = guardedBlock(at))
            return guarded;
    if (blocks.size() <= at)
        blocks.resize(at + 1);
    if (!blocks[at]) {
        blocks[at].reset(new float[BlockCapacity]);
        std::fill(blocks[at].get(), blocks[at].get() + BlockCapacity, 0.0f);
    }
    return blocks[at].get();
}

float* ModuleDriver::guardedBlock(size_t at) {
    if (guardedBlocks.size() <= at)
        guardedBlocks.resize(at + 1);
    if (!guardedBlocks[at]) {
        const std::string name = at < pinTable.size() ? " (" + pinTable[at].name + ")" : "";
        guardedBlocks[at] =
            GuardedBuffer::make(static_cast<size_t>(guardFrames) * sizeof(float), *guard,
                                "the sample block of pin " + std::to_string(at) + name +
                                    " at block size " + std::to_string(guardFrames));
    }
    return guardedBlocks[at] ? static_cast<float*>(guardedBlocks[at]->data()) : nullptr;
}

Status ModuleDriver::wirePins() {
    Status outcome;
    for (size_t i = 0; i < pinTable.size(); ++i) {
        const PinInfo& pin = pinTable[i];
        const auto index = static_cast<int32_t>(i);
        if (pin.datatype == DtText && pin.defaultText)
            setText(index, *pin.defaultText);
        if (!pin.variable)
            continue;
        if (pin.datatype == DtSamples) {
            float* address = block(index);
            std::memcpy(pin.variable, &address, sizeof address);
        } else if (pin.isParameter() && pin.isInput()) {
            Result<int32_t> value = defaultValue(pin);
            if (!value && outcome)
                outcome = value.failure();
            if (!value)
                continue;
            if (Status written = setParameter(index, *value); !written && outcome)
                outcome = written;
        }
    }
    return outcome;
}

Status ModuleDriver::setParameter(int32_t index, int32_t value) {
    if (index < 0 || static_cast<size_t>(index) >= pinTable.size())
        return Failure{"pin " + std::to_string(index) + " does not exist; the module has " +
                       std::to_string(pinTable.size()) + " pins"};
    const PinInfo& pin = pinTable[static_cast<size_t>(index)];
    if (!pin.variable)
        return Failure{"pin '" + pin.name + "' has no variable to write"};
    if (Status fits = checkParameter(pin, value); !fits)
        return fits;
    switch (pin.datatype) {
    case DtInt16: {
        const auto v = static_cast<int16_t>(value);
        std::memcpy(pin.variable, &v, sizeof v);
        return {};
    }
    case DtBool: {
        const auto v = static_cast<uint8_t>(value);
        std::memcpy(pin.variable, &v, sizeof v);
        return {};
    }
    case DtInt32:
        std::memcpy(pin.variable, &value, sizeof value);
        return {};
    case DtFloat: {
        const auto v = static_cast<float>(value);
        std::memcpy(pin.variable, &v, sizeof v);
        return {};
    }
    default:
        return Failure{"pin '" + pin.name + "' holds no number"};
    }
}

void ModuleDriver::setText(int32_t pin, const std::string& text) {
    if (pin < 0 || pin >= MaxPins)
        return;
    const auto at = static_cast<size_t>(pin);
    if (texts.size() <= at)
        texts.resize(at + 1);
    texts[at] = text;
}

const std::string& ModuleDriver::text(int32_t pin) const {
    static const std::string none;
    const bool known = pin >= 0 && static_cast<size_t>(pin) < texts.size();
    return known ? texts[static_cast<size_t>(pin)] : none;
}

// ---- The host callback: every request a module makes is answered here ----------------------

// The requests a block makes cost a counter, a compare and a return; the log and the checks,
// when on, and the rarer requests are calls of their own. Nothing may unwind into the module.
intptr_t SE_ABI ModuleDriver::callback(PluginRecord* record, int32_t opcode, int32_t index,
                                       int32_t value, void* pointer, float opt) noexcept {
    if (!record || !record->hostHandle)
        return 0; // no way to tell whose request it is
    auto* driver = reinterpret_cast<ModuleDriver*>(record->hostHandle);
    const Answering answering(driver->watcher);
    if (driver->logRequests || driver->checkRequests)
        return driver->answerNoted(record, opcode, index, value, pointer, opt);
    return driver->answer(opcode, index, value, pointer);
}

intptr_t ModuleDriver::answerNoted(PluginRecord* from, int32_t opcode, int32_t index, int32_t value,
                                   void* pointer, float opt) noexcept {
    try {
        noteRequest(from, {opcode, index, value, reinterpret_cast<intptr_t>(pointer)}, opt);
    } catch (...) {
        // a request the log had no room for is still answered
    }
    return answer(opcode, index, value, pointer);
}

intptr_t ModuleDriver::answer(int32_t opcode, int32_t index, int32_t value,
                              void* pointer) noexcept {
    if (opcode == HostSampleClock)
        return static_cast<int32_t>(static_cast<uint32_t>(clock));
    if (opcode == HostSendMidi) {
        ++midiCount;
        if (keepSent)
            keepMidi(index, value, pointer);
        return 0;
    }
    try {
        return answerOther(opcode, index, value, pointer);
    } catch (...) {
        return 0;
    }
}

void ModuleDriver::noteRequest(PluginRecord* from, const HostRequest& request, float opt) {
    if (logRequests)
        requestLog.push_back(request);
    if (checkRequests)
        checkRequest(from, request.opcode, opt);
}

void ModuleDriver::checkRequest(PluginRecord* from, int32_t opcode, float opt) {
    const char* why = nullptr;
    if (plugin && from != plugin)
        why = " came with a record that is not the instance's";
    else if (calling == 0)
        why = " came while the host was not calling the instance";
    else if (opt != 0.0f)
        why = " came with a float other than 0.0";
    if (why)
        mistakes.push_back("request " + std::to_string(opcode) + why);
}

void ModuleDriver::keepMidi(int32_t pin, int32_t message, void* timeStamp) noexcept {
    try {
        midiOut.push_back(
            {pin, message, static_cast<int32_t>(reinterpret_cast<intptr_t>(timeStamp)), clock});
    } catch (...) {
        // out of memory: the message is counted but not kept
    }
}

intptr_t ModuleDriver::answerOther(int32_t opcode, int32_t index, int32_t value, void* pointer) {
    switch (opcode) {
    case HostPinBuffer:
        return reinterpret_cast<intptr_t>(hasBlock(index) ? block(index) : nullptr);
    case HostPinCount:
        return pinCountAnswer();
    case HostPinText:
        return answerText(index, value, static_cast<char*>(pointer));
    case HostSubProcessChanged:
        if (usable())
            routine = plugin->subProcess;
        return 0;
    default:
        mistakes.push_back("unknown request " + std::to_string(opcode));
        return 0;
    }
}

intptr_t ModuleDriver::answerText(int32_t index, int32_t capacity, char* buffer) {
    if (!buffer || capacity <= 0) {
        mistakes.emplace_back("a pin text request without a buffer");
        return 0;
    }
    const std::string& given = text(index);
    const auto room = static_cast<size_t>(capacity);
    if (textStyle == TextStyle::Repeated) {
        for (size_t i = 0; i < room; ++i)
            buffer[i] = given.empty() ? 'x' : given[i % given.size()];
        return 0;
    }
    if (textStyle == TextStyle::Brimful && given.size() >= room) {
        std::memcpy(buffer, given.data(), room);
        return 0;
    }
    const size_t length = std::min(given.size(), room - 1);
    std::memcpy(buffer, given.data(), length);
    buffer[length] = '\0';
    return 0;
}

int32_t ModuleDriver::pinCountAnswer() const {
    return pinCountOverridden ? pinCountOverride : static_cast<int32_t>(pinTable.size());
}

// Learned sample pins have a block, and so has every pin the module has beyond its
// descriptions (a repeated last description).
bool ModuleDriver::hasBlock(int32_t pin) const {
    if (pin < 0 || pin >= std::min(std::max(pinCountAnswer(), 0), MaxPins))
        return false;
    const auto at = static_cast<size_t>(pin);
    return at >= pinTable.size() || pinTable[at].datatype == DtSamples;
}

int ModuleDriver::countOf(int32_t opcode) const {
    return static_cast<int>(
        std::count_if(requestLog.begin(), requestLog.end(),
                      [opcode](const HostRequest& r) { return r.opcode == opcode; }));
}

// ---- Requests, events and blocks -----------------------------------------------------------

Result<intptr_t> ModuleDriver::dispatch(int32_t opcode, int32_t index, int32_t value, void* pointer,
                                        float opt) {
    if (Status callable = checkCallable(); !callable)
        return callable.failure();
    PluginRecord* record = plugin;
    if (opcode == OpClose) { // the record is gone once this returns
        plugin = nullptr;
        instanceWord = nullptr;
        routine = nullptr;
    }
    const Calling calling(*this, ModuleEntry::Dispatcher);
    const RunningEntry running("the dispatcher", opcode);
    return record->dispatcher(record, opcode, index, value, pointer, opt);
}

Result<intptr_t> ModuleDriver::open() {
    return dispatch(OpOpen);
}

Status ModuleDriver::start(StartSettings settings) {
    const auto step = [](const char* doing, const std::string& error) -> Status {
        return Failure{std::string(doing) + ": " + error};
    };
    if (Status learned = learnPins(); !learned)
        return step("learning the pins", learned.error());
    if (guard && settings.blockSize >= 1 && settings.blockSize <= BlockCapacity)
        guardFrames = settings.blockSize;
    if (Status wired = wirePins(); !wired)
        return step("wiring the pins", wired.error());
    if (settings.tell) {
        if (Result<intptr_t> told = setSampleRate(settings.sampleRate); !told)
            return step("setting the sample rate", told.error());
        if (Result<intptr_t> told = setBlockSize(settings.blockSize); !told)
            return step("setting the block size", told.error());
    }
    if (Result<intptr_t> opened = open(); !opened)
        return step("opening", opened.error());
    return {};
}

Result<intptr_t> ModuleDriver::close() {
    return dispatch(OpClose);
}

Result<intptr_t> ModuleDriver::setSampleRate(float newRate) {
    Result<intptr_t> answer = dispatch(OpSetSampleRate, 0, 0, nullptr, newRate);
    if (answer)
        rate = newRate;
    return answer;
}

Result<intptr_t> ModuleDriver::setBlockSize(int32_t newFrames) {
    Result<intptr_t> answer = dispatch(OpSetBlockSize, 0, newFrames);
    if (answer)
        frames = newFrames;
    return answer;
}

Status ModuleDriver::event(HostEvent event) {
    if (Status callable = checkCallable(); !callable)
        return callable;
    if (!plugin->event)
        return Failure{"the module's record has no event entry"};
    HostEvent* record =
        guard ? guardedRecord<HostEvent>(guardedEvent, "the event record") : nullptr;
    if (record)
        *record = event;
    const Calling calling(*this, ModuleEntry::Event);
    const RunningEntry running("the event entry");
    plugin->event(instanceWord, record ? record : &event);
    return {};
}

Status ModuleDriver::pinStatus(int32_t pin, int32_t status) {
    return event(pinStatusEvent(pin, status));
}

Status ModuleDriver::midi(int32_t message, int32_t timeDelta, uint16_t extra) {
    return event(midiEvent(message, timeDelta, extra));
}

Status ModuleDriver::call(EventRoutine called) {
    return event(callEvent(called));
}

Status ModuleDriver::runBlock(int32_t start, int32_t length) {
    const SubProcessRoutine current = routineFromRecord && usable() ? plugin->subProcess : routine;
    if (!usable() || length > blockCapacity() || !current)
        return refuseBlock(length);
    const Calling calling(*this, ModuleEntry::Block);
    const RunningEntry running("the block routine");
    current(instanceWord, start, length);
    clock += std::max(length, 0);
    return {};
}

Status ModuleDriver::runBlocks(int32_t count) {
    if (watcher || routineFromRecord) { // each block told, or its routine read, on its own
        for (int32_t n = 0; n < count; ++n)
            if (Status ran = runBlock(); !ran)
                return ran;
        return {};
    }
    if (count <= 0)
        return {};
    if (!usable() || frames > blockCapacity() || !routine)
        return refuseBlock(frames);
    const Calling calling(*this, ModuleEntry::Block);
    const RunningEntry running("the block routine");
    const int64_t advance = std::max(frames, 0);
    for (int32_t n = 0; n < count; ++n) {
        if (!routine) // a block may change the routine, to none at all
            return refuseBlock(frames);
        routine(instanceWord, 0, frames);
        clock += advance;
    }
    return {};
}

bool ModuleDriver::runBlocksNow(int32_t count, int32_t length) noexcept {
    if (!plugin || checkRequests) {
        for (int32_t n = 0; n < count; ++n)
            if (!runBlockNow(0, length))
                return false;
        return true;
    }
    for (; count > 0; --count) {
        const SubProcessRoutine current = routine; // a block may change it
        if (!current)
            return false;
        current(instanceWord, 0, length);
        clock += length;
    }
    return true;
}

Status ModuleDriver::refuseBlock(int32_t length) const {
    if (!usable())
        return checkCallable();
    if (length > blockCapacity())
        return Failure{"a block of " + std::to_string(length) + " samples does not fit the " +
                       std::to_string(blockCapacity()) + "-sample blocks"};
    return Failure{"the module has no sub-process routine"};
}
