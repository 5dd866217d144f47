// Checks that no recorded note is lost. Before each MIDI message reaches the module, the
// fuzzer notes whether the recorder will take it (a NOTE_ON while the shared flag says
// recording and the record file is open) and for which file. Once every instance is closed,
// each such file must hold what it held before its first note, followed by exactly the notes
// taken, in order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

class RecordedNotes {
  public:
    void clear() { files.clear(); }
    // Call just before the message is delivered `count` times in a row.
    void beforeMidi(int32_t message, int count = 1);
    // The fuzzer rewrote a file: its contents can no longer be predicted.
    void rewritten(const char* name);
    // Call after every instance is closed; aborts on a lost or stray note.
    void check() const;

  private:
    struct File {
        std::string name;     // a name that reaches it
        std::string before;   // its contents before the first note
        std::string expected; // the notes taken since
        bool predictable = true;
    };
    std::map<std::pair<uint64_t, uint64_t>, File> files; // by device and inode
};
