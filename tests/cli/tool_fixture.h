// kaveltrum-host run in-process, on files in a folder of the test's own, with the module file
// that lies beside the test program.
#pragma once

#include "midi_file.h"
#include "read_file.h"
#include "scratch_folder.h"
#include "support/files.h"
#include "support/tool_run.h"
#include "tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

// Each test works in a scratch folder of its own, named for it, removed when the test ends.
class Tool : public testing::Test {
  protected:
    ScratchFolder scratch{
        "kaveltrum-tool-" +
        std::string(testing::UnitTest::GetInstance()->current_test_info()->name())};
    std::filesystem::path folder = scratch.path();

    [[nodiscard]] std::string file(const std::string& name) const {
        return (folder / name).string();
    }
    // Writes the file; the path it answers may be used or not.
    std::string row(const std::string& name, const std::vector<uint8_t>& notes) {
        writeBytes(file(name), notes);
        return file(name);
    }
    // A MIDI file of these messages, one every `step` seconds.
    [[nodiscard]] std::string midi(const std::string& name,
                                   const std::vector<std::vector<uint8_t>>& played,
                                   double step = 0.1) const {
        std::vector<TimedMessage> messages;
        double at = 0.0;
        for (const std::vector<uint8_t>& bytes : played) {
            TimedMessage m{at += step, 0, {}, static_cast<uint8_t>(bytes.size())};
            std::copy(bytes.begin(), bytes.end(), m.bytes.begin());
            messages.push_back(m);
        }
        const Status written = writeMidiFile(file(name), messages, 120.0);
        EXPECT_TRUE(written) << written.error();
        return file(name);
    }
    // What is in the folder, by name: a run must leave no temporary file behind.
    [[nodiscard]] std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }
    static ToolRun run(const std::vector<std::string>& words, ProgressSettings progress = {}) {
        return run(words, "", progress);
    }
    // `input` is what the tool finds on its standard input.
    static ToolRun run(const std::vector<std::string>& words, const std::string& input,
                       ProgressSettings progress = {}) {
        std::istringstream in(input);
        std::ostringstream out, err;
        const int status = runTool(words, in, out, err, progress);
        return {status, out.str(), err.str()};
    }
};

inline MidiSequence readBack(const std::string& path) {
    Result<MidiSequence> sequence = readMidiFile(path);
    EXPECT_TRUE(sequence) << sequence.error();
    return sequence ? *sequence : MidiSequence{};
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
