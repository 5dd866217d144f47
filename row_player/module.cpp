#include "module.h"

namespace {

struct PinEntry {
    const char* name;
    int32_t direction;
    int32_t datatype;
    const char* defaultText;
    const char* extraText;
    int32_t flags;
};

// The pin names, defaults and extra texts are kept byte for byte as they are, odd spellings
// included: hosts and users see them, and our tool finds the pins it sets by their names.
const PinEntry pinTable[ModulePinCount] = {
    {"MIDI In", DirIn, DtMidi, nullptr, nullptr, 0},
    {"REC", DirIn, DtSamples, "0", nullptr, 0},
    {"PLAY", DirIn, DtSamples, "0", nullptr, 0},
    {"RETURN", DirIn, DtSamples, "0", nullptr, 0},
    {"GATE", DirIn, DtSamples, "0", nullptr, 0},
    {"RELOAD", DirIn, DtSamples, "0", nullptr, 0},
    {"OUTFILE", DirIn, DtText, nullptr, "brumo", PinFlagFileName},
    {"on D: DIAGNOSE.TXT", DirSetting, DtBool, "true", nullptr, 0},
    {"loopit", DirIn, DtInt16, "1", "range 0,1", 0},
    {"from..", DirIn, DtInt16, "0", "range 0,2000", 0},
    {"..to", DirIn, DtInt16, "0", "range 0,2000", 0},
    {"next noteoff", DirIn, DtInt16, nullptr, "range 0,20", 0},
    {"velocity", DirIn, DtInt16, "100", "range 0,127", 0},
    {"MIDI Out", DirOut, DtMidi, nullptr, nullptr, 0},
};

} // namespace

// Closing the shared record file writes out any notes still buffered; no instance records
// again until a load reopens it.
Module::~Module() {
    closeRecordFile(rowState());
}

// Opening silences the shared row for every instance until the next load.
void Module::open() {
    rowState().rowLength = 0;
    rowState().position = 0;
    SEModule_base::open();
    setSubProcess({runBlock, {0, 0, 0}});
}

bool Module::getPinDescription(int32_t index, PinDescription* description) {
    if (!description || index < 0 || index >= ModulePinCount)
        return false;
    const PinEntry& entry = pinTable[index];
    description->variableAddress = pinVariable(index);
    description->direction = entry.direction;
    description->datatype = entry.datatype;
    description->pinName = entry.name;
    description->defaultText = entry.defaultText;
    description->extraText = entry.extraText;
    description->pinFlags = entry.flags;
    return true;
}

void* Module::pinVariable(int32_t index) noexcept {
    switch (index) {
    case PinRec:
        return &recIn;
    case PinPlay:
        return &playIn;
    case PinReturn:
        return &returnIn;
    case PinGate:
        return &gateIn;
    case PinReload:
        return &reloadIn;
    case PinOutFile:
        return &outFile;
    case PinDiagnose:
        return &diagnose;
    case PinLoopIt:
        return &loopIt;
    case PinFromNote:
        return &fromNote;
    case PinToNote:
        return &toNote;
    case PinNextNoteOff:
        return &nextNoteOff;
    case PinVelocity:
        return &velocity;
    default:
        return nullptr; // the MIDI pins carry events, not values
    }
}
