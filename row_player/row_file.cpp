// The record file: loading it into the row, naming it through OUTFILE, and the diagnostic log.
#include "module.h"
#include "properties.h"

#include <cstdarg>
#include <cstring>
#include <new>

namespace {

#if defined(_WIN32)
const char* const logPath = "D:\\DIAGNOSE.TXT";
#else
const char* const logPath = "DIAGNOSE.TXT"; // no drive letters: the working directory
#endif

constexpr int32_t LogLineSize = 400;

// The length of an open file, or -1 when it cannot be told.
long fileLength(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long length = std::ftell(file);
    std::rewind(file);
    return length;
}

// Makes room for `length` bytes of row. A buffer that is large enough, and not wastefully
// so, is kept: a RELOAD held high reloads in every block, and reuse keeps that to the I/O.
bool reserveRow(RowState& state, uint32_t length) {
    if (length <= state.rowCapacity && state.rowCapacity <= 2 * uint64_t{length} + 65536)
        return true;
    delete[] state.row;
    state.row = length ? new (std::nothrow) uint8_t[length] : nullptr;
    state.rowCapacity = state.row ? length : 0;
    return state.row || length == 0;
}

// The row outlives every instance, but not the library: it is released when the library is
// unloaded (or the program ends), after the last instance has gone.
struct RowRelease {
    ~RowRelease() {
        RowState& state = rowState();
        delete[] state.row;
        state.row = nullptr;
        state.rowCapacity = 0;
        state.rowLength = 0;
    }
} rowRelease;

// Reads the whole open file into the row with one read. A short read keeps what arrived.
bool loadRow(RowState& state, std::FILE* file) {
    const long length = fileLength(file);
    if (length < 0 || static_cast<unsigned long>(length) > UINT32_MAX ||
        !reserveRow(state, static_cast<uint32_t>(length))) {
        state.rowLength = 0;
        return false;
    }
    const size_t wanted = static_cast<size_t>(length);
    state.rowLength = wanted ? static_cast<uint32_t>(std::fread(state.row, 1, wanted, file)) : 0;
    return true;
}

} // namespace

bool closeRecordFile(RowState& state) noexcept {
    if (state.recordFileStatus != 0)
        return false;
    std::fclose(state.recordFile);
    state.recordFile = nullptr;
    state.recordFileStatus = -1;
    return true;
}

// Closing the append stream first puts every note recorded so far into the file, so the load
// includes them. The row itself only changes when the file could be opened for reading.
void Module::reloadRow() noexcept {
    RowState& state = rowState();
    if (closeRecordFile(state))
        state.rowLength = 0;
    std::FILE* file = std::fopen(state.fileName, "r+b");
    state.recordFileStatus = file ? 0 : -1;
    if (file) {
        const bool loaded = loadRow(state, file);
        std::fclose(file);
        if (loaded)
            writeLogLine("%s itaki= %d\n", moduleName(), static_cast<int>(state.rowLength));
    }
    state.recording = 0;
    state.recordFile = std::fopen(state.fileName, "a+b");
    state.recordFileStatus = state.recordFile ? 0 : -1;
}

// The host reports a change of OUTFILE with status 1; any other status is no new name.
void Module::onPinStatusChange(SEPin*) {
    const SEPin* outFilePin = pin(PinOutFile);
    if (!outFilePin || outFilePin->status != 1)
        return;
    RowState& state = rowState();
    if (hostCallback) {
        callHost(HostPinText, PinOutFile, FileNameSize, state.outFileText);
        state.outFileText[FileNameSize - 1] = '\0';
    }
    writeLogLine("%s %s\n", moduleName(), state.outFileText);
    std::memcpy(state.fileName, state.outFileText, FileNameSize);
    reloadRow();
}

// One event, one line; the log is never left open. A line too long for the buffer is cut
// but keeps its line break.
void Module::writeLogLine(const char* format, ...) noexcept {
    if (!diagnose)
        return;
    char line[LogLineSize];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (length >= LogLineSize)
        line[LogLineSize - 2] = '\n';
    std::FILE* log = std::fopen(logPath, "a+");
    if (!log)
        return;
    std::fputs(line, log);
    std::fclose(log);
}
