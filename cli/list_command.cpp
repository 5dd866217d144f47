// list IN.mid: the NOTE_ONs of a MIDI file, in the order record feeds them to the module.
#include "midi_file.h"
#include "note_names.h"
#include "text_line.h"
#include "tool.h"

#include <iterator>

Result<MidiSequence> readMidiInput(const std::string& path, std::istream& in) {
    if (path != "-")
        return readMidiFile(path);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    if (in.bad())
        return Failure{"standard input: could not be read"};
    Result<MidiSequence> sequence = parseMidi(bytes.data(), bytes.size());
    if (!sequence)
        return Failure{"standard input: " + sequence.error()};
    return sequence;
}

Status listMidi(const CommandLine& line, std::istream& in, std::ostream& out) {
    Result<MidiSequence> sequence = readMidiInput(line.operands[0], in);
    if (!sequence)
        return Failure{sequence.error()};
    size_t count = 0;
    TextLine text;
    const bool plain = line.has("--plain");
    for (const TimedMessage& m : sequence->messages) {
        if (!isNoteStart(m.packed())) // the recorder keeps only NOTE_ONs that start a note
            continue;
        if (plain)
            text.text(count ? " " : "").text(noteNameText(m.bytes[1]));
        else
            text.seconds(m.seconds, 10)
                .text(" s  channel ")
                .number((m.bytes[0] & 0x0F) + 1, 2)
                .text("  ")
                .padded(noteNameText(m.bytes[1]), 4)
                .text("  velocity ")
                .number(m.bytes[2])
                .text('\n');
        text.writeTo(out);
        ++count;
    }
    if (plain)
        out << "\n";
    else
        out << count << (count == 1 ? " NOTE_ON" : " NOTE_ONs") << "\n";
    return {};
}
