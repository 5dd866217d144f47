// The note row recorder and player: its pins, its per-instance variables and the one
// process-wide record of the row, the play position and the record file.
#pragma once

#include "module_base.h"

#include <cstdio>

constexpr int32_t RingSlots = 22;
constexpr int32_t FileNameSize = 400;

// One record for the whole process, shared by every instance: a second instance plays,
// rewinds and records the same row as the first.
struct RowState {
    // the record file, held open for appending between loads
    std::FILE* recordFile = nullptr;
    int32_t recordFileStatus = -1; // 0 = recordFile is open

    // the row: the record file's bytes at the last load, one note each
    uint8_t* row = nullptr;
    uint32_t rowLength = 0;
    uint32_t rowCapacity = 0; // bytes allocated for `row`
    uint32_t position = 0;    // next note to play

    uint8_t gateArmed = 0; // GATE was low since the last note
    uint8_t recording = 0; // REC was high at the last block's start

    int32_t noteOffRing[RingSlots] = {}; // NOTE_OFFs waiting for their gate

    char outFileText[FileNameSize] = {}; // OUTFILE as last fetched from the host
    char fileName[FileNameSize] = {};    // the name the record file is opened under
};

// Inline, with constant initialisation: every block and every note reaches the state without a
// call or a guard.
inline RowState& rowState() noexcept {
    static RowState state;
    return state;
}

// Closes the record file, if it is open, which writes out every note recorded so far.
// Returns whether it was open.
bool closeRecordFile(RowState& state) noexcept;

// Pin indices, in the order the module describes them.
enum ModulePin : int32_t {
    PinMidiIn = 0,
    PinRec,
    PinPlay,
    PinReturn,
    PinGate,
    PinReload,
    PinOutFile,
    PinDiagnose,
    PinLoopIt,
    PinFromNote,
    PinToNote,
    PinNextNoteOff,
    PinVelocity,
    PinMidiOut,
    ModulePinCount
};

class Module final : public SEModule_base {
  public:
    Module(HostCallback callback, intptr_t hostHandle) noexcept
        : SEModule_base(callback, hostHandle) {}
    ~Module() override;

    void onPinStatusChange(SEPin* pin) override;
    void open() override;
    bool getPinDescription(int32_t index, PinDescription* description) override;
    void onMidiData(int32_t timeDelta, int32_t message, int32_t extra) override;

    // One block: reads the control inputs at `start` and plays, records, reloads.
    void processBlock(int32_t start) noexcept;

    // Loads the record file into the row and reopens it for appending.
    void reloadRow() noexcept;

  private:
    // The sub-process routine: one block.
    static void SE_ABI runBlock(void* instance, int32_t start, int32_t frames) noexcept;

    void* pinVariable(int32_t index) noexcept;
    void playNote() noexcept;
    void rearmGate() noexcept;
    void wrapLoop(int32_t from, int32_t to) noexcept;
    void send(int32_t message) noexcept;
    void writeLogLine(const char* format, ...) noexcept;

    // input blocks, written by the host
    float* recIn = nullptr;
    float* playIn = nullptr;
    float* returnIn = nullptr;
    float* gateIn = nullptr;
    float* reloadIn = nullptr;

    // parameters, written by the host
    int16_t loopIt = 0;
    int16_t nextNoteOff = 0;
    int32_t ringIndex = 0; // this instance's slot in the shared note-off ring
    int16_t velocity = 0;
    int16_t fromNote = 0;
    int16_t toNote = 0;
    intptr_t outFile = 0; // the host's own word for the text pin; the text comes by request
    uint8_t diagnose = 0;
};
