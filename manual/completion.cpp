#include "command_table.h"
#include "manual.h"

#include <sstream>

namespace {

std::string quoted(const std::string& word) {
    std::string out = "'";
    for (const char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// What a placeholder of the table stands for, as the completion offers it: "choice A B" for a
// fixed set written A|B, "file" for a file (ROW, MODULE, FILE, or a name with its extension such
// as IN.mid), "text" for anything else (N, BPM, PORT, NOTE), which it cannot guess.
std::string kindOf(const std::string& placeholder) {
    if (placeholder.find('|') != std::string::npos) {
        std::string choices = "choice";
        std::istringstream in(placeholder);
        for (std::string choice; std::getline(in, choice, '|');)
            choices += " " + choice;
        return choices;
    }
    const bool named = placeholder == "ROW" || placeholder == "MODULE" || placeholder == "FILE";
    const bool extended = placeholder.find('.') != std::string::npos && !placeholder.empty() &&
                          placeholder[0] >= 'A' && placeholder[0] <= 'Z';
    return named || extended ? "file" : "text";
}

std::string optionKind(const OptionSpec& option) {
    if (!option.value)
        return "switch";
    return (option.many ? "many " : "") + kindOf(option.value);
}

std::string pattern(const std::string& command, const OptionSpec& option) {
    std::string words = command + ":" + option.name;
    if (option.shortName)
        words += " | " + command + ":" + option.shortName;
    return words;
}

std::string optionWords(const std::vector<OptionSpec>& options) {
    std::string words;
    for (const OptionSpec& option : options) {
        words += (words.empty() ? "" : " ") + std::string(option.name);
        if (option.shortName)
            words += " " + std::string(option.shortName);
    }
    return words;
}

std::vector<const CommandSpec*> shown() {
    std::vector<const CommandSpec*> commands;
    for (const CommandSpec& command : commandTable())
        if (!command.hidden)
            commands.push_back(&command);
    return commands;
}

std::string commandNames() {
    std::string names;
    for (const CommandSpec* command : shown())
        names += (names.empty() ? "" : " ") + std::string(command->name);
    return names;
}

// The options a command takes, the common ones among them; the common ones alone for no command.
std::string optionsFunction() {
    std::vector<OptionSpec> always(commonOptions().begin() + 1, commonOptions().end());
    std::string out = "_kaveltrum_host_options() {\n    case $1 in\n";
    for (const CommandSpec* command : shown()) {
        std::vector<OptionSpec> options = command->options;
        if (command->takesModule)
            options.push_back(commonOptions().front());
        options.insert(options.end(), always.begin(), always.end());
        out +=
            "        " + quoted(command->name) + ") echo " + quoted(optionWords(options)) + " ;;\n";
    }
    return out + "        *) echo " + quoted(optionWords(commonOptions())) + " ;;\n    esac\n}\n\n";
}

// What an option of a command takes: switch, text, file or choice ..., after "many " when it
// takes every word up to the next option. Before the command, the first command's that has it.
std::string kindFunction() {
    std::string out = "_kaveltrum_host_kind() {\n    case $1:$2 in\n";
    for (const OptionSpec& option : commonOptions())
        out += "        " + pattern("*", option) + ") echo " + quoted(optionKind(option)) + " ;;\n";
    for (const CommandSpec* command : shown())
        for (const OptionSpec& option : command->options)
            out += "        " + pattern(command->name, option) + ") echo " +
                   quoted(optionKind(option)) + " ;;\n";
    return out + "        :*)\n"
                 "            local command kind\n"
                 "            for command in $_kaveltrum_host_commands; do\n"
                 "                kind=$(_kaveltrum_host_kind \"$command\" \"$2\")\n"
                 "                [[ -n $kind ]] && echo \"$kind\" && return\n"
                 "            done\n"
                 "            ;;\n"
                 "    esac\n}\n\n";
}

// What the operand at place $2 (from 0) of command $1 takes; a last kind ending in ... repeats.
std::string operandFunction() {
    std::string out = "_kaveltrum_host_operand() {\n    local -a kinds=()\n    case $1 in\n";
    for (const CommandSpec* command : shown()) {
        std::string kinds;
        std::istringstream in(command->operands);
        for (std::string word; in >> word;) {
            const bool repeats = word.size() > 3 && word.compare(word.size() - 3, 3, "...") == 0;
            const std::string kind = kindOf(repeats ? word.substr(0, word.size() - 3) : word);
            kinds += " " + quoted(repeats ? kind + "..." : kind);
        }
        out += "        " + quoted(command->name) + ") kinds=(" +
               kinds.substr(kinds.empty() ? 0 : 1) + ") ;;\n";
    }
    return out + "    esac\n"
                 "    local kind=${kinds[$2]}\n"
                 "    if [[ -z $kind && ${#kinds[@]} -gt 0 && ${kinds[-1]} == *... ]]; then\n"
                 "        kind=${kinds[-1]}\n"
                 "    fi\n"
                 "    echo \"${kind%...}\"\n"
                 "}\n\n";
}

// The part that reads the words typed so far; the same for every table.
const char* const Completer = R"bash(# The words of kind $1 that begin with $2.
_kaveltrum_host_reply() {
    case $1 in
        file)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$2")
            ;;
        choice\ *) mapfile -t COMPREPLY < <(compgen -W "${1#choice }" -- "$2") ;;
        *) COMPREPLY=() ;;
    esac
}

# Reads the words before the cursor as the tool's parser does: options before or after the
# command, a value after each option that takes one (bash parts --name=value at the '='), a
# list option's values up to the next option, -- ending the options, and `help COMMAND`.
_kaveltrum_host() {
    local cur=${COMP_WORDS[COMP_CWORD]} command='' helped='' ended='' pending='' list=''
    local operands=0 word kind i
    COMPREPLY=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $pending ]]; then
            [[ $word == = ]] || pending=''
        elif [[ -z $ended && $word == -- ]]; then
            ended=1 list=''
        elif [[ -z $ended && $word == -[!0-9]* ]]; then
            kind=$(_kaveltrum_host_kind "$command" "${word%%=*}")
            list=''
            if [[ $word != *=* ]]; then
                case $kind in
                    many\ *) list=${kind#many } ;;
                    switch | '') ;;
                    *) pending=$kind ;;
                esac
            fi
        elif [[ -n $list ]]; then
            :
        elif [[ -z $command && -z $helped && $word == help ]]; then
            helped=1
        elif [[ -z $command ]]; then
            command=$word
        else
            ((operands++))
        fi
    done
    if [[ -n $pending ]]; then
        [[ $cur == = ]] && cur=''
        _kaveltrum_host_reply "$pending" "$cur"
    elif [[ -z $ended && $cur == --*=* ]]; then
        kind=$(_kaveltrum_host_kind "$command" "${cur%%=*}")
        _kaveltrum_host_reply "${kind#many }" "${cur#*=}"
        COMPREPLY=("${COMPREPLY[@]/#/${cur%%=*}=}")
    elif [[ -z $ended && $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_kaveltrum_host_options "$command")" -- "$cur")
    elif [[ -n $list ]]; then
        _kaveltrum_host_reply "$list" "$cur"
    elif [[ -z $command ]]; then
        kind="choice $_kaveltrum_host_commands"
        [[ -n $helped ]] || kind+=" help"
        _kaveltrum_host_reply "$kind" "$cur"
    else
        _kaveltrum_host_reply "$(_kaveltrum_host_operand "$command" "$operands")" "$cur"
    fi
}

complete -F _kaveltrum_host kaveltrum-host
)bash";

} // namespace

std::string bashCompletion(const ManualFacts& facts) {
    return "# bash completion for kaveltrum-host " + facts.version +
           ", made from its command table by kaveltrum-manual.\n"
           "# Installed as .../bash-completion/completions/kaveltrum-host, or sourced.\n\n"
           "_kaveltrum_host_commands=" +
           quoted(commandNames()) + "\n\n" + optionsFunction() + kindFunction() +
           operandFunction() + Completer;
}
