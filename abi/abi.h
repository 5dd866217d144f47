// The host-visible records and opcodes of a module file.
//
// Everything the host and a module exchange is defined here and nowhere else: the two exported
// entry points, the 48-byte plug-in record with its three entries, the host callback and its
// opcodes, events, pin descriptions and the packed MIDI word. The host side (host/) includes
// this header alone.
//
// The interface is written for 32-bit addresses. Words that hold an address are pointer-sized
// here, so the same code also builds as a 64-bit library for development; on a 32-bit target
// every record has exactly the layout of the interface, which the assertions at the end check.
//
// How to read the notes above each item:
//   [caller]   who calls it.
//   [state]    when, in the life of one instance: made (makeModule has returned its record),
//              open (dispatcher opcode 0 has run) or closed (opcode 1 has returned; the record
//              and the instance are gone, and nothing may be called on them).
//   [lifetime] who owns what a pointer points to, and how long it stays valid.
//
// Threads. A module starts no threads and takes no locks. Its state may be shared by all its
// instances in the process, so it relies on the host making every call into the library (the
// exports, the three entries of every record) one at a time, for all instances together, and
// it calls the host back only from inside such a call, on that call's thread. Our host makes
// every call from the one thread that drives the instance.
#pragma once

#include <cstddef>
#include <cstdint>

// Every function that crosses between host and module uses this calling convention.
#if defined(_WIN32) && !defined(_WIN64)
#define SE_ABI __cdecl
#else
#define SE_ABI
#endif

// Marks the two exports of a module file.
#if defined(_WIN32)
#define SE_EXPORT extern "C" __declspec(dllexport)
#else
#define SE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

struct PluginRecord;
struct HostEvent;

// ---- The host callback --------------------------------------------------------------------

// The host's service function, handed to makeModule.
// [caller]   the module, from inside a call the host made into it (our host reports any other
//            request as the module's mistake), on that call's thread.
// [state]    made or open. Each opcode below says when it is asked.
// The module passes its own record first, always 0.0 as the float, and 0 / null for the
// arguments an opcode does not use. An instance made with a null callback asks for nothing;
// every answer then counts as 0.
typedef intptr_t(SE_ABI* HostCallback)(PluginRecord* record, int32_t opcode, int32_t index,
                                       int32_t value, void* pointer, float opt);

enum HostOpcode : int32_t {
    // Result: the host's current sample clock. KAVELTRUM asks it in blocks, to stamp the MIDI
    // it sends.
    HostSampleClock = 3,
    // A MIDI message leaves through an output pin; result not read. KAVELTRUM sends it in
    // blocks. index: the pin; value: the packed message; pointer: the time stamp (the sample
    // clock) as a pointer-sized integer, not an address.
    HostSendMidi = 4,
    // Result: the address of the pin's block of float samples. Asked while opening, for each
    // sample pin without a variable of its own (KAVELTRUM has none). Our host keeps each block
    // in place, at a fixed capacity, for as long as the instance lives.
    HostPinBuffer = 7,
    // Result: the number of pins the instance has; 0 or less means no pin array. Asked once
    // while opening.
    HostPinCount = 14,
    // The host writes the pin's current text into the module's buffer, zero-terminated and
    // within the capacity; result not read. KAVELTRUM asks it while it handles a status event
    // of OUTFILE. index: the pin; value: the buffer's capacity in bytes; pointer: the buffer,
    // which belongs to the module and need stay valid only during the call.
    HostPinText = 16,
    // The host takes the sub-process routine from the record again (offset 24); result not
    // read. Sent when the module installs a new block routine, which KAVELTRUM does while
    // opening.
    HostSubProcessChanged = 22,
};

// ---- The plug-in record and its entries ---------------------------------------------------

// Requests from the host: the record, then the same arguments as the host callback.
// [caller]   the host, on its thread, one call at a time.
// [state]    made, open; each opcode below says when. A record whose magic is wrong, or that
//            names no instance, is answered with 0.
typedef intptr_t(SE_ABI* DispatcherEntry)(PluginRecord* record, int32_t opcode, int32_t index,
                                          int32_t value, void* pointer, float opt);

// Events from the host: the instance (record offset 12, not the record) and an event.
// [caller]   the host, on its thread, one call at a time.
// [state]    open. A host sends no event before open, nor one for a pin outside the pin array;
//            the module ignores a pin status event for a pin it has no record of.
// [lifetime] the event belongs to the host and is valid only during the call.
typedef void(SE_ABI* EventEntry)(void* instance, HostEvent* event);

// One block of samples: the instance, then the block's first sample within the pins' sample
// blocks. Our host also passes the block's length, which modules may ignore.
// [caller]   the host, once per block, on its thread, one call at a time.
// [state]    made: the record holds a routine that does nothing; open: the routine the module
//            installed while opening (announced with HostSubProcessChanged).
// [lifetime] the sample blocks belong to the host. Our host writes each sample pin's block
//            address into the pin's variable before opening and never moves the blocks.
typedef void(SE_ABI* SubProcessRoutine)(void* instance, int32_t startPosition, int32_t frames);

// The routine an EventCall event carries, owned by the host.
// [caller]   the module, while it handles that event, with the instance as the only argument.
typedef void(SE_ABI* EventRoutine)(void* instance);

constexpr int32_t PluginMagic = 0x5345504C; // bytes in memory: 'L' 'P' 'E' 'S'
constexpr int32_t PluginVersion = 1;

// The record through which the host drives one instance.
// [lifetime] owned by the module and held inside the instance, from makeModule until
//            dispatcher opcode 1 returns. The host keeps its address, reaches the instance
//            only through the three entries and must not touch the record after closing it.
struct PluginRecord {
    int32_t magic;       // PluginMagic
    int32_t version;     // PluginVersion
    intptr_t hostHandle; // makeModule's last argument, for the host; the module never reads it
    void* instance;      // the first argument of the event entry and of the sub-process routine
    int32_t reserved0;   // 0
    DispatcherEntry dispatcher;
    SubProcessRoutine subProcess; // read again by the host on HostSubProcessChanged
    EventEntry event;
    int32_t reserved[4]; // 0
};

// Any other opcode, negative ones included, does nothing and is answered with 0.
enum DispatchOpcode : int32_t {
    // Builds the pin array (asking HostPinCount, and HostPinBuffer for sample pins without a
    // variable) and installs the block routine; result 0. Sent once, to a made instance (a
    // second open builds the pins anew). Our host first learns the pins, writes their
    // variables and tells the rate and block size.
    OpOpen = 0,
    // Destroys the instance; result 1. May be sent to a made or an open instance. The record
    // and every pointer into the instance are gone once this returns.
    OpClose = 1,
    // opt: the sample rate; result 0. Made or open, at any time.
    OpSetSampleRate = 2,
    // value: the block size in samples; result 0. Made or open, at any time.
    OpSetBlockSize = 3,
    // index: the pin; pointer: a PinDescription the host owns and has cleared, valid during
    // the call. Result 1 when the pin is described, else 0. Made or open.
    OpGetPinDescription = 6,
    // index: a count, handed on when above 0 (onRequest8, then onRequest8Count); result 0.
    OpRequest8 = 8,
    // value, index and pointer, handed on in that order (onRequest12); result 0.
    OpRequest12 = 12,
    // Result: the address of the library's one SubProcessInfo, filled for the asking instance
    // and valid until the next opcode 13 from any instance. Made or open.
    OpSubProcessInfo = 13,
};

// ---- Events -------------------------------------------------------------------------------

// Any other kind is ignored.
enum EventKind : int32_t {
    EventPinStatus = 0, // a pin's status changed; a status of 1 is seen during this event only
    EventMidi = 2,      // a MIDI message arrived at the instance
    EventCall = 21,     // the module calls the EventRoutine the event carries
};

// What the host hands the event entry.
// [lifetime] owned by the host; valid only during the event call.
struct HostEvent {
    int32_t timeDelta; // EventMidi: first argument of onMidiData
    int32_t kind;      // an EventKind
    int32_t value;     // EventPinStatus: new status; EventMidi: packed message
    uint16_t extra;    // EventMidi: third argument of onMidiData
    uint16_t unused;   // not read
    intptr_t target;   // EventPinStatus: pin index; EventCall: an EventRoutine
};

// ---- Sub-process selection ----------------------------------------------------------------

// The routine an instance runs per block, as the host sees it through opcode 13.
// [lifetime] held inside the instance, valid until dispatcher opcode 1.
struct SubProcessSelection {
    SubProcessRoutine routine;
    int32_t words[3]; // 0, 0, 0 in our module
};

// Filled by opcode 13.
// [lifetime] one record for the whole library, owned by it; every opcode 13 request, from any
//            instance, overwrites it.
struct SubProcessInfo {
    int32_t one;  // 1
    int32_t size; // size of the selection in bytes, 16
    SubProcessSelection* selection;
    int32_t zero; // 0
};

// ---- Pins ---------------------------------------------------------------------------------

enum PinDirection : int32_t {
    DirIn = 0,
    DirOut = 1,
    DirSetting = 3, // a switch of the instance that the user sets and the module reads
};

// What a pin's variable holds.
enum PinDatatype : int32_t {
    DtInt16 = 0,   // a 16-bit signed integer
    DtText = 1,    // nothing the module reads: the text comes with HostPinText
    DtMidi = 2,    // nothing: MIDI comes as events and leaves with HostSendMidi
    DtBool = 4,    // one byte, 0 false, anything else true
    DtSamples = 5, // the address of the pin's block of float samples
    DtFloat = 6,   // a 32-bit float
    DtInt32 = 8,   // a 32-bit signed integer
};

enum PinFlag : int32_t {
    PinFlagRepeat = 8,          // on the last description: the pins beyond it repeat its datatype
    PinFlagFileName = 16,       // a text pin naming a file; extraText is its extension
    PinFlagNoRecord = 0x400,    // the description gets no pin record of the instance...
    PinFlagKeepRecord = 0x8000, // ...unless this flag is set too
};

// One pin, as the module describes it (opcode 6, and the module itself while opening).
// [lifetime] the record belongs to whoever asks, who clears it first; the module fills only
//            the words that apply. The variable lies inside the instance and is valid until
//            dispatcher opcode 1; the texts belong to the module and stay valid while the
//            library is loaded (our host copies them at once).
struct PinDescription {
    void* variableAddress;   // where the host writes the pin's value, or null
    int32_t direction;       // a PinDirection
    int32_t datatype;        // a PinDatatype
    const char* pinName;     // zero-terminated 8-bit text
    const char* defaultText; // the default as text, such as "100" or "true", or null
    const char* extraText;   // a range such as "range 0,127", or a file extension, or null
    int32_t pinFlags;        // PinFlag bits
    int32_t reserved;        // 0
};

// ---- MIDI ---------------------------------------------------------------------------------

// Status bytes of the messages a note is made of, on the first channel; add the channel's
// number less one for the others.
constexpr int32_t MidiNoteOff = 0x80;
constexpr int32_t MidiNoteOn = 0x90;

// A packed message: status in bits 0-7, first data byte in 8-15, second in 16-23.
constexpr int32_t packMidi(int32_t status, int32_t data1, int32_t data2) {
    return status | data1 << 8 | data2 << 16;
}
constexpr int32_t midiStatus(int32_t message) {
    return message & 0xFF;
}
constexpr int32_t midiData1(int32_t message) {
    return message >> 8 & 0xFF;
}
constexpr int32_t midiData2(int32_t message) {
    return message >> 16 & 0xFF;
}
// The kind of a channel message without its channel: MidiNoteOn for a NOTE_ON on any channel.
constexpr int32_t midiKind(int32_t message) {
    return message & 0xF0;
}
constexpr int32_t midiChannel(int32_t message) { // 0 for the first channel
    return message & 0x0F;
}
// A NOTE_ON with velocity 0 ends its note, as keyboards send it in place of a NOTE_OFF.
constexpr bool isNoteStart(int32_t message) {
    return midiKind(message) == MidiNoteOn && midiData2(message) != 0;
}
constexpr bool isNoteEnd(int32_t message) {
    return midiKind(message) == MidiNoteOff ||
           (midiKind(message) == MidiNoteOn && midiData2(message) == 0);
}

// ---- Module properties and the two exports ------------------------------------------------

constexpr int32_t InterfaceVersion = 2230;

// What a module tells the host about itself.
// [lifetime] the record belongs to the host and need stay valid only during the call. The
//            texts are the library's own buffers, valid while the library stays loaded; every
//            later call for module 0 composes them afresh in the same place.
struct ModuleProperties {
    const char* name;         // zero-terminated 8-bit text
    const char* identifier;   // the name again: it also serves as the identifier
    const char* about;        // the help text, zero-terminated, up to 1000 bytes with it
    int32_t word3;            // not written by the module: left as the host passed it
    int32_t word4;            // not written by the module: left as the host passed it
    int32_t interfaceVersion; // InterfaceVersion
};

// Export "getModuleProperties": writes interfaceVersion whatever the index; for module 0 also
// the three texts, and returns 1; for any other index writes nothing more and returns 0.
// [caller]   the host, on its thread, one call at a time (the texts are unlocked and shared).
//            Our host asks before it makes an instance, and whenever it shows the properties.
// [state]    any time the library is loaded; it is about no instance.
typedef int32_t(SE_ABI* GetModulePropertiesFn)(int32_t moduleIndex, ModuleProperties* props);

// Export "makeModule": makes one instance and returns its record; null unless moduleIndex is 0
// and selector is 1, or when no memory can be had. The library holds one module, number 0.
// [caller]   the host, on its thread, one call at a time, any number of times.
// [lifetime] the instance keeps hostCallback (which may be null: the instance then has no host
//            services) and calls it until dispatcher opcode 1; hostHandle goes into the
//            record for the host's own use. The record lives until dispatcher opcode 1.
typedef PluginRecord*(SE_ABI* MakeModuleFn)(int32_t moduleIndex, int32_t selector,
                                            HostCallback hostCallback, intptr_t hostHandle);

// ---- The layout the host relies on --------------------------------------------------------

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(PluginRecord) == 48, "plug-in record");
static_assert(offsetof(PluginRecord, magic) == 0, "");
static_assert(offsetof(PluginRecord, version) == 4, "");
static_assert(offsetof(PluginRecord, hostHandle) == 8, "");
static_assert(offsetof(PluginRecord, instance) == 12, "");
static_assert(offsetof(PluginRecord, reserved0) == 16, "");
static_assert(offsetof(PluginRecord, dispatcher) == 20, "");
static_assert(offsetof(PluginRecord, subProcess) == 24, "");
static_assert(offsetof(PluginRecord, event) == 28, "");
static_assert(offsetof(PluginRecord, reserved) == 32, "");

static_assert(sizeof(HostEvent) == 20, "host event");
static_assert(offsetof(HostEvent, timeDelta) == 0, "");
static_assert(offsetof(HostEvent, kind) == 4, "");
static_assert(offsetof(HostEvent, value) == 8, "");
static_assert(offsetof(HostEvent, extra) == 12, "");
static_assert(offsetof(HostEvent, target) == 16, "");

static_assert(sizeof(SubProcessSelection) == 16, "sub-process selection");
static_assert(offsetof(SubProcessSelection, routine) == 0, "");
static_assert(offsetof(SubProcessSelection, words) == 4, "");

static_assert(sizeof(SubProcessInfo) == 16, "sub-process info");
static_assert(offsetof(SubProcessInfo, one) == 0, "");
static_assert(offsetof(SubProcessInfo, size) == 4, "");
static_assert(offsetof(SubProcessInfo, selection) == 8, "");
static_assert(offsetof(SubProcessInfo, zero) == 12, "");

static_assert(sizeof(PinDescription) == 32, "pin description");
static_assert(offsetof(PinDescription, variableAddress) == 0, "");
static_assert(offsetof(PinDescription, direction) == 4, "");
static_assert(offsetof(PinDescription, datatype) == 8, "");
static_assert(offsetof(PinDescription, pinName) == 12, "");
static_assert(offsetof(PinDescription, defaultText) == 16, "");
static_assert(offsetof(PinDescription, extraText) == 20, "");
static_assert(offsetof(PinDescription, pinFlags) == 24, "");
static_assert(offsetof(PinDescription, reserved) == 28, "");

static_assert(sizeof(ModuleProperties) == 24, "module properties");
static_assert(offsetof(ModuleProperties, name) == 0, "");
static_assert(offsetof(ModuleProperties, identifier) == 4, "");
static_assert(offsetof(ModuleProperties, about) == 8, "");
static_assert(offsetof(ModuleProperties, interfaceVersion) == 20, "");
#endif
