#include "properties.h"

#include <cstdio>

namespace {

// The name "KAVELTRUM" and every text of the about text below are kept byte for byte as they
// are, odd spellings and uneven spacing included: hosts and users see them, and the name is the
// module's identifier too.

char nameBuffer[NameBufferSize];
char aboutText[AboutTextSize];

// Credits at the head of the about text. The label and maker lines bring their own indent and
// line break; the project has no web address.
const char* const releaseLine = "KAVELTRUM 1.0.0, note row recorder and player";
const char* const labelLine = "   records the notes you play, plays them back one per gate\n";
const char* const makerLine = "   made by the KAVELTRUM developers\n";
const char* const webLine = "";

// The help lines, each closed by a blank and a line break.
const char* const helpLines[] = {
    " Inputs:  Input keep activity with over 2 Volts = >2",
    "              Input that want only short triggers   = ^2",
    " MIDI IN -> gets its NOTE_ON recorded to OUTFILE",
    " REC        -> recording                            (>2)",
    " PLAY      -> play recorded MIDI IN from row       (>2)",
    " RETURN  -> play again from first note           (^2)",
    " GATE      -> play next recorded in row            (^2",
    " RELOAD   -> takes the record from OUTFILE to row (^2)",
    " OUTFILE -> Name the FILE for the record",
    " loopit   -> play again and again",
    " from.. -> select first note in row",
    " ..to   -> select  last note in row ( 0 = to last)",
    " next noteoff -> note length legato triggered by gate",
    "-> 0 = without NOTE_OFF  1 = imidiatly",
    "-> 2 = with next 3 = overnext ...",
    " velocity -> play note with that volume level",
    "Outputs:",
    "plays the notes of row -> MIDI OUT",
};

// Appends to the about text, never past its end; the text stays terminated.
class AboutWriter {
  public:
    AboutWriter() { aboutText[0] = '\0'; }
    void line(const char* text) { append("%s \n", text); }
    void raw(const char* text) { append("%s", text); }

  private:
    void append(const char* format, const char* text) {
        if (length >= AboutTextSize - 1)
            return;
        const int written = std::snprintf(aboutText + length, AboutTextSize - length, format, text);
        if (written > 0)
            length += written < AboutTextSize - length ? written : AboutTextSize - 1 - length;
    }
    int length = 0;
};

void composeAbout() {
    AboutWriter about;
    about.line(releaseLine);
    about.raw("\n");
    about.raw(labelLine);
    about.raw("\n");
    about.raw(makerLine);
    about.raw("\n");
    about.line(webLine);
    about.line(nameBuffer);
    about.raw("\n");
    about.line("\n");
    for (const char* help : helpLines)
        about.line(help);
}

} // namespace

int32_t fillModuleProperties(int32_t moduleIndex, ModuleProperties* props) noexcept {
    if (!props)
        return 0;
    props->interfaceVersion = InterfaceVersion;
    if (moduleIndex != 0)
        return 0;
    std::snprintf(nameBuffer, sizeof nameBuffer, "%s", "KAVELTRUM");
    composeAbout();
    props->name = nameBuffer;
    props->identifier = nameBuffer;
    props->about = aboutText;
    return 1;
}

const char* moduleName() noexcept {
    return nameBuffer;
}
