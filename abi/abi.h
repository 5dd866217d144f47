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

// The host's service function, handed to makeModule. The module passes its own record first,
// always 0.0 as the float, and 0 / null for arguments an opcode does not use. Called from
// whatever thread the host called into the module on.
typedef intptr_t(SE_ABI* HostCallback)(PluginRecord* record, int32_t opcode, int32_t index,
                                       int32_t value, void* pointer, float opt);

enum HostOpcode : int32_t {
    HostSampleClock = 3,        // result: the current sample clock
    HostSendMidi = 4,           // index: pin, value: packed message, pointer: time stamp
    HostPinBuffer = 7,          // index: pin; result: address of the pin's float block
    HostPinCount = 14,          // result: number of pins; 0 or less means none
    HostPinText = 16,           // index: pin, value: capacity, pointer: buffer to fill
    HostSubProcessChanged = 22, // take the sub-process routine from the record again
};

// ---- The plug-in record and its entries ---------------------------------------------------

// Requests from the host: the record, then the same arguments as the host callback.
typedef intptr_t(SE_ABI* DispatcherEntry)(PluginRecord* record, int32_t opcode, int32_t index,
                                          int32_t value, void* pointer, float opt);

// Events from the host: the instance (record offset 12) and an event the host owns for the
// duration of the call.
typedef void(SE_ABI* EventEntry)(void* instance, HostEvent* event);

// One block of samples: the instance, then the block's first sample within the pins' sample
// blocks. The host also passes the block's length, which modules may ignore.
typedef void(SE_ABI* SubProcessRoutine)(void* instance, int32_t startPosition, int32_t frames);

// The routine an EventCall event carries: called with the instance as its only argument.
typedef void(SE_ABI* EventRoutine)(void* instance);

constexpr int32_t PluginMagic = 0x5345504C; // bytes in memory: 'L' 'P' 'E' 'S'
constexpr int32_t PluginVersion = 1;

// Lives inside the instance, from makeModule until dispatcher opcode 1. The host keeps its
// address and reaches the instance only through the three entries; the module never reads
// hostHandle.
struct PluginRecord {
    int32_t magic;
    int32_t version;
    intptr_t hostHandle;
    void* instance;
    int32_t reserved0;
    DispatcherEntry dispatcher;
    SubProcessRoutine subProcess;
    EventEntry event;
    int32_t reserved[4];
};

enum DispatchOpcode : int32_t {
    OpOpen = 0,
    OpClose = 1, // the record is gone once this returns
    OpSetSampleRate = 2,
    OpSetBlockSize = 3,
    OpGetPinDescription = 6,
    OpRequest8 = 8,
    OpRequest12 = 12,
    OpSubProcessInfo = 13, // result: address of a SubProcessInfo
};

// ---- Events -------------------------------------------------------------------------------

enum EventKind : int32_t {
    EventPinStatus = 0,
    EventMidi = 2,
    EventCall = 21,
};

// Owned by the host; valid only during the event call.
struct HostEvent {
    int32_t timeDelta; // EventMidi: first argument of onMidiData
    int32_t kind;      // an EventKind
    int32_t value;     // EventPinStatus: new status; EventMidi: packed message
    uint16_t extra;    // EventMidi: third argument of onMidiData
    uint16_t unused;
    intptr_t target; // EventPinStatus: pin index; EventCall: an EventRoutine
};

// ---- Sub-process selection ----------------------------------------------------------------

// The routine an instance runs per block, as the host sees it through opcode 13.
struct SubProcessSelection {
    SubProcessRoutine routine;
    int32_t words[3];
};

// Filled by opcode 13; one record for the whole library, overwritten by every such request.
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
    DirSetting = 3,
};

enum PinDatatype : int32_t {
    DtInt16 = 0,
    DtText = 1,
    DtMidi = 2,
    DtBool = 4,
    DtSamples = 5,
    DtFloat = 6,
    DtInt32 = 8,
};

enum PinFlag : int32_t {
    PinFlagRepeat = 8,
    PinFlagFileName = 16,
    PinFlagNoRecord = 0x400,
    PinFlagKeepRecord = 0x8000,
};

// Cleared by whoever asks (opcode 6), filled by the module. The texts belong to the module
// and stay valid while the library is loaded.
struct PinDescription {
    void* variableAddress;   // where the host writes the pin's value, or null
    int32_t direction;       // a PinDirection
    int32_t datatype;        // a PinDatatype
    const char* pinName;     //
    const char* defaultText; // the default as text, or null
    const char* extraText;   // a range such as "range 0,127", or a file extension
    int32_t pinFlags;        // PinFlag bits
    int32_t reserved;
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

// Owned by the host. The module writes words 0, 1, 2 and 5; the texts stay valid while the
// library is loaded.
struct ModuleProperties {
    const char* name;
    const char* identifier;
    const char* about;
    int32_t word3;
    int32_t word4;
    int32_t interfaceVersion;
};

typedef int32_t(SE_ABI* GetModulePropertiesFn)(int32_t moduleIndex, ModuleProperties* props);
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
