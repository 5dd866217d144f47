#include "command_table.h"
#include "manual.h"

#include <sstream>

namespace {

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

// One word of a usage form: placeholders (ROW, FILE.mid) in italics, what is typed as it stands
// (--bpm, internal, 0) in bold, and the brackets, bars and dots around them plain.
std::string styledWord(const std::string& word) {
    const size_t first = word.find_first_not_of('[');
    if (first == std::string::npos)
        return roffText(word);
    size_t last = word.size();
    while (last > first && (word[last - 1] == ']' || word[last - 1] == '.'))
        --last;
    std::string styled = word.substr(0, first);
    size_t start = first;
    while (start < last) {
        const size_t bar = std::min(word.find('|', start), last);
        const std::string part = word.substr(start, bar - start);
        if (!part.empty())
            styled += (isUpper(part[0]) ? "\\fI" : "\\fB") + roffText(part) + "\\fR";
        if (bar < last)
            styled += '|';
        start = bar + 1;
    }
    return styled + word.substr(last);
}

// The words of a usage form, styled; within brackets they are parted by spaces that do not
// break, so that a line ends between the options, never inside one.
std::string styled(const std::string& words) {
    std::istringstream in(words);
    std::string out;
    int depth = 0;
    for (std::string word; in >> word;) {
        if (!out.empty())
            out += depth > 0 ? "\\ " : " ";
        out += styledWord(word);
        for (const char c : word)
            depth += c == '[' ? 1 : c == ']' ? -1 : 0;
    }
    return !out.empty() && (out[0] == '.' || out[0] == '\'') ? "\\&" + out : out;
}

// The forms of a command's usage: the synopsis's first line and each line that begins the
// command again start a form; the other lines carry on the one before.
std::vector<std::string> usageForms(const CommandSpec& command) {
    const std::string again = std::string("kaveltrum-host ") + command.name + " ";
    std::vector<std::string> forms{""};
    std::istringstream in(command.synopsis);
    for (std::string line; std::getline(in, line);) {
        const size_t text = line.find_first_not_of(' ');
        if (text == std::string::npos)
            continue;
        if (line.compare(text, again.size(), again) == 0)
            forms.push_back(line.substr(text + again.size()));
        else
            forms.back() += (forms.back().empty() ? "" : " ") + line.substr(text);
    }
    return forms;
}

std::string usage(const CommandSpec& command) {
    std::string out;
    for (const std::string& form : usageForms(command))
        out += ".SY \"kaveltrum\\-host " + std::string(command.name) + "\"\n" + styled(form) +
               "\n.YS\n";
    return out;
}

std::string optionTag(const OptionSpec& option) {
    std::string value;
    if (option.value)
        value = std::string(" ") + option.value + (option.many ? "..." : "");
    std::string tag = styled(option.name + value);
    if (option.shortName)
        tag += ", " + styled(option.shortName + value);
    return tag;
}

// Text as lines of a paragraph: each line ended, none empty (an empty line would space it).
std::string paragraph(const std::string& text) {
    std::istringstream in(roffText(text));
    std::string out;
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            out += line + "\n";
    return out;
}

std::string optionList(const std::vector<OptionSpec>& options) {
    std::string out;
    for (const OptionSpec& option : options)
        out += ".TP\n" + optionTag(option) + "\n" + paragraph(option.help);
    return out;
}

std::string header(const ManualFacts& facts) {
    return ".\\\" The manual of kaveltrum-host, made from its command table by kaveltrum-manual.\n"
           ".TH KAVELTRUM\\-HOST 1 \"" +
           facts.day + "\" \"kaveltrum\\-host " + roffText(facts.version) +
           "\" \"User Commands\"\n"
           ".\\\" Options and their values are printed as they are typed: no word is hyphenated.\n"
           ".nr HY 0\n"
           ".ad l\n"
           ".SH NAME\n"
           "kaveltrum\\-host \\- record, show and play note rows through the KAVELTRUM module, "
           "and check module files\n"
           ".SH SYNOPSIS\n"
           ".SY kaveltrum\\-host\n" +
           styled("[--module FILE] COMMAND ...") +
           "\n.YS\n"
           ".SY \"kaveltrum\\-host help\"\n" +
           styled("COMMAND") +
           "\n.YS\n"
           ".SY kaveltrum\\-host\n" +
           styled("COMMAND --help") +
           "\n.YS\n"
           ".SY kaveltrum\\-host\n" +
           styled("--version") + "\n.YS\n";
}

std::string description() {
    std::string out =
        ".SH DESCRIPTION\n"
        ".B kaveltrum\\-host\n"
        "loads a module file by its two exports and drives it as the synthesis host does. It\n"
        "makes and shows row files, plays them through the module into messages, a MIDI file\n"
        "and a piano roll, records MIDI files into them, plays the module in real time on JACK,\n"
        "and checks any module file of the host interface. Its commands:\n";
    for (const CommandSpec& command : commandTable())
        if (!command.hidden)
            out += ".TP\n" + styled(std::string(command.name) + " " + command.operands) + "\n" +
                   paragraph(command.summary);
    return out + ".PP\n"
                 "Options take \\fB\\-\\-name\\fR \\fIvalue\\fR or "
                 "\\fB\\-\\-name\\fR=\\fIvalue\\fR, before or after the command;\n"
                 "\\fB\\-\\-\\fR ends them. Bad input gets one line on standard error, before "
                 "any file is touched.\n";
}

std::string commands() {
    std::string out = ".SH COMMANDS\n";
    for (const CommandSpec& command : commandTable()) {
        if (command.hidden)
            continue;
        out += ".SS " + std::string(command.name) + "\n" + usage(command) + ".PP\n" +
               paragraph(command.about) + optionList(command.options);
        if (command.takesModule)
            out += optionList({commonOptions().front()});
    }
    return out;
}

std::string footer() {
    return ".SH \"COMMON OPTIONS\"\n" + optionList(commonOptions()) +
           ".SH \"EXIT STATUS\"\n"
           ".TP\n.B 0\nthe command did what was asked\n"
           ".TP\n.B 1\nit failed: a file could not be read or written, a note was lost, a check "
           "failed\n"
           ".TP\n.B 2\nthe command line was wrong, or (for \\fBcheck\\fR) the module could not be "
           "loaded\n"
           ".SH FILES\n"
           ".TP\n.I KAVELTRUM.so\n"
           "the module file loaded without \\fB\\-\\-module\\fR: the one in the folder of the "
           "program\n"
           ".TP\n.I DIAGNOSE.TXT\n"
           "the module's diagnostic log with \\fB\\-\\-diagnose\\fR, in the working folder\n"
           ".SH \"SEE ALSO\"\n"
           ".BR jackd (1),\n"
           ".BR jack_lsp (1)\n";
}

} // namespace

std::string manualPage(const ManualFacts& facts) {
    return header(facts) + description() + commands() + footer();
}
