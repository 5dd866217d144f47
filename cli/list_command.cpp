// list IN.mid: the NOTE_ONs of a MIDI file, in the order record feeds them to the module.
#include "commands.h"
#include "midi_input.h"
#include "note_names.h"
#include "text_line.h"

namespace {

Status listMidi(const CommandLine& line, std::istream& in, std::ostream& out) {
    Result<MidiReading> reading = readMidiInput(line.operands[0], in);
    if (!reading)
        return reading.failure();
    size_t count = 0;
    TextLine text;
    const bool plain = line.has("--plain");
    static_cast<void>(reading->forEach([&](const TimedMessage& m) { // never stopped
        if (!isNoteStart(m.packed())) // the recorder keeps only NOTE_ONs that start a note
            return true;
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
        return true;
    }));
    if (plain)
        out << "\n";
    else
        out << count << (count == 1 ? " NOTE_ON" : " NOTE_ONs") << "\n";
    return {};
}

int list(const CommandLine& line, Console& console) {
    return console.finish(listMidi(line, console.in, console.out));
}

} // namespace

CommandSpec listCommand() {
    return {"list",
            "IN.mid",
            "list the notes of a MIDI file as record records them",
            "IN.mid [--plain]",
            1,
            1,
            "Lists the NOTE_ONs of the MIDI file IN.mid (- for standard input) in the order "
            "record\nrecords them: time, channel, note and velocity, then their count.\n",
            {{"--plain", nullptr, "the notes as one line of names, the form write reads"}},
            list};
}
