// The help texts shared by several commands (what a read or an edit does with
// the map file) and the printing of --help, each command's help, the usage
// hints, the manual page and the shell completion; each command's own text is
// in the command table (commands.cc), so a command added there appears in all
// of them.
#include "usage.h"

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "trel.h"

namespace {

constexpr const char kSynopsis[] =
    "usage: pagemap [-L LIB=DIR]... [--libs FILE] [--mode N] COMMAND ARGUMENT...\n";

constexpr const char kEditDetails[] =
    "The unit's page.map is saved before the command reports success; a failed\n"
    "save exits 5 with the system's reason, and the file keeps its previous pairs\n"
    "unless the message says the new ones are in place but may not be durable.\n"
    "An edit that leaves the pairs as they are saves nothing: the file stays as it\n"
    "is, or is not made. set and delete refuse a map file that cannot be read to\n"
    "its end (exit 6, nothing changed). In a --mode other than 0 the map file\n"
    "keeps no pairs, so no edit could be kept: such a command line is refused\n"
    "(exit 2) before the map file is read.\n";

constexpr const char kReadDetails[] =
    "A map file that cannot be read to its end is reported with exit status 6,\n"
    "naming the file, the line where reading stopped and its text, and how to go\n"
    "on: mend that line, or start the page map afresh with pagemap clear UNIT.\n";

constexpr const char kIntroduction[] =
    "Looks at and edits the page maps of design units, and relabels hierarchical\n"
    "names after them. A unit is written LIB.CELL:VIEW (UNIT below); its page map\n"
    "lives in the file page.map in the unit's folder, <library directory>/CELL/VIEW.\n";

constexpr const char kOptions[] =
    "Options (before or after the command; \"--\" ends them):\n"
    "  -L LIB=DIR      define library LIB as the directory DIR (repeatable)\n"
    "  --libs FILE     read library definitions from FILE: one \"LIB DIR\" a line,\n"
    "                  '#' starts a comment, relative directories are taken from\n"
    "                  FILE's folder\n"
    "                  (-L and --libs apply in order; a later definition of a\n"
    "                  library replaces an earlier one. Without either, the file\n"
    "                  named by $PAGEMAP_LIBS is read, else ./libraries.defs if\n"
    "                  there is one)\n"
    "  --mode N        map file mode: 0, the default, reads and writes the pairs of\n"
    "                  page.map; any other mode opens the file but transfers no\n"
    "                  pairs, so set, delete and clear are refused in it (exit 2)\n"
    "  --strict        relabel: report names under unknown units, exit 3\n"
    "                  (relabel-last reports them anyway)\n"
    "  --json          check: JSON lines for scripts\n"
    "  -h, --help      print this help (after a command: that command's help)\n"
    "  --version       print the versions of pagemap and of the library built into it\n";

constexpr const char kPages[] =
    "Pages are 32-bit integers, given in decimal from -2147483648 to 4294967295\n"
    "(4294967295 is the page -1). Pairs are ordered by their pages taken unsigned.\n";

constexpr const char kExitStatuses[] =
    "Exit status:\n"
    "  0  success\n"
    "  1  no such pair (get, reverse); only leftovers or dangling links (check)\n"
    "  2  bad command line, an edit (set, delete, clear) in a --mode other than 0\n"
    "     included\n"
    "  3  unknown design unit: its library is not defined or its directory is missing\n"
    "  4  a library definition (-L, --libs, $PAGEMAP_LIBS, ./libraries.defs) was\n"
    "     refused\n"
    "  5  the map file could not be written: it keeps its previous pairs, unless\n"
    "     the message says the new ones are in place but may not be durable\n"
    "  6  a map file is unreadable or not a list of page pairs; nothing changed\n"
    "  7  a name could not be relabelled (relabel: printed unchanged)\n"
    "  8  reading standard input or writing standard output failed\n"
    "  9  an unexpected failure: a library status this tool does not expect, or\n"
    "     memory ran out\n"
    "When several names fail, the status is that of the first failure.\n";

void printSynopsis(const Command &command, std::FILE *stream) {
    std::fprintf(stream, "usage: pagemap [OPTION]... %.*s %.*s\n",
                 static_cast<int>(command.name.size()), command.name.data(),
                 static_cast<int>(command.operands.size()), command.operands.data());
}

}  // namespace

void printHelp(std::FILE *stream) {
    std::fputs(kSynopsis, stream);
    std::fputs("\n", stream);
    std::fputs(kIntroduction, stream);
    std::fputs("\n", stream);
    std::fputs(kOptions, stream);
    std::fputs("\nCommands (pagemap COMMAND --help tells more):\n", stream);
    for (const Command &command : allCommands()) {
        const std::string words = std::string(command.name) + " " + std::string(command.operands);
        // Long synopses take a line of their own.
        if (words.size() > 28) {
            std::fprintf(stream, "  %s\n  %-28s %.*s\n", words.c_str(), "",
                         static_cast<int>(command.summary.size()), command.summary.data());
        } else {
            std::fprintf(stream, "  %-28s %.*s\n", words.c_str(),
                         static_cast<int>(command.summary.size()), command.summary.data());
        }
    }
    std::fputs("\n", stream);
    std::fputs(kPages, stream);
    std::fputs("\n", stream);
    std::fputs(kExitStatuses, stream);
}

bool printCommandHelp(const std::string &name, std::FILE *stream) {
    const Command *command = findCommand(name);
    if (command == nullptr) return false;
    printSynopsis(*command, stream);
    // The summary as a sentence: capitalised, with a full stop.
    std::string summary(command->summary);
    summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
    std::fprintf(stream, "\n%s.\n", summary.c_str());
    for (const std::string_view text : {command->details, command->more}) {
        if (!text.empty())
            std::fprintf(stream, "\n%.*s", static_cast<int>(text.size()), text.data());
    }
    if (command->readsMapFile()) std::fprintf(stream, "\n%s", kReadDetails);
    if (command->edits()) std::fprintf(stream, "\n%s", kEditDetails);
    // Only the commands that take pages need the word on pages.
    if (command->operands.find("PAGE") != std::string_view::npos ||
        command->operands.find("MAPPED") != std::string_view::npos) {
        std::fputs("\n", stream);
        std::fputs(kPages, stream);
    }
    std::fputs("\nOptions and exit statuses: pagemap --help.\n", stream);
    return true;
}

void printUsageHint(std::FILE *stream) {
    std::fputs(kSynopsis, stream);
    std::fputs("Try 'pagemap --help' for the commands and the exit statuses.\n", stream);
}

void printCommandUsage(const std::string &name, std::FILE *stream) {
    if (const Command *command = findCommand(name)) {
        printSynopsis(*command, stream);
        std::fprintf(stream, "Try 'pagemap %s --help' for more.\n", name.c_str());
    } else {
        printUsageHint(stream);
    }
}

namespace {

// The text of a help paragraph as manual-page source: backslashes and hyphens
// escaped, a line that would start a request protected; prose lines are
// filled, and runs of indented lines (tables, option lists) kept as they are.
void printRoff(std::string_view text, std::FILE *stream) {
    bool verbatim = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const bool indented = !line.empty() && line[0] == ' ';
        if (indented != verbatim) {
            std::fputs(indented ? ".nf\n" : ".fi\n", stream);
            verbatim = indented;
        }
        if (!line.empty() && (line[0] == '.' || line[0] == '\'')) std::fputs("\\&", stream);
        for (const char c : line) {
            if (c == '\\') {
                std::fputs("\\e", stream);
            } else if (c == '-') {
                std::fputs("\\-", stream);
            } else {
                std::fputc(c, stream);
            }
        }
        std::fputc('\n', stream);
    }
    if (verbatim) std::fputs(".fi\n", stream);
}

// A text without its first line (the heading that --help prints above it).
std::string_view afterFirstLine(std::string_view text) {
    return text.substr(text.find('\n') + 1);
}

// The option words of the help's option list ("-L", "--libs", "-h", "--help"):
// each entry line starts with two spaces and a hyphen, its words before the
// gap that precedes its description.
std::vector<std::string> optionWords() {
    std::vector<std::string> words;
    std::string_view text = kOptions;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.substr(0, 3) != "  -") continue;
        line = line.substr(2, line.find("  ", 2) - 2);
        for (std::size_t at = 0; at < line.size();) {
            const std::size_t stop = line.find_first_of(" ,=", at);
            const std::string_view word = line.substr(at, stop - at);
            if (!word.empty() && word[0] == '-') words.emplace_back(word);
            if (stop == std::string_view::npos) break;
            at = line.find('-', stop);
            if (at == std::string_view::npos || line.substr(stop, 2) != ", ") break;
        }
    }
    return words;
}

}  // namespace

void printManual(std::FILE *stream) {
    std::fprintf(stream,
                 ".\\\" pagemap(1), made by pagemap --print-manual from the texts of its --help.\n"
                 ".TH PAGEMAP 1 \"\" \"trel %d.%d.%d\" \"User Commands\"\n",
                 TREL_VERSION_MAJOR, TREL_VERSION_MINOR, TREL_VERSION_PATCH);
    std::fputs(".SH NAME\npagemap \\- look at and edit the page maps of design units\n", stream);
    std::fputs(".SH SYNOPSIS\n", stream);
    printRoff(std::string("  ") + (kSynopsis + std::string_view("usage: ").size()), stream);
    std::fputs(".SH DESCRIPTION\n", stream);
    printRoff(kIntroduction, stream);
    std::fputs(".SH OPTIONS\n", stream);
    printRoff(kOptions, stream);
    std::fputs(".SH COMMANDS\n", stream);
    for (const Command &command : allCommands()) {
        std::fputs(".SS ", stream);
        printRoff(std::string(command.name) + " " + std::string(command.operands), stream);
        std::string summary(command.summary);
        summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
        printRoff(summary + ".", stream);
        for (const std::string_view text : {command.details, command.more}) {
            if (text.empty()) continue;
            std::fputs(".PP\n", stream);
            printRoff(text, stream);
        }
        if (command.readsMapFile()) {
            std::fputs(".PP\n", stream);
            printRoff(kReadDetails, stream);
        }
        if (command.edits()) {
            std::fputs(".PP\n", stream);
            printRoff(kEditDetails, stream);
        }
    }
    std::fputs(".SH PAGES\n", stream);
    printRoff(kPages, stream);
    std::fputs(".SH EXIT STATUS\n", stream);
    printRoff(afterFirstLine(kExitStatuses), stream);
    std::fputs(".SH ENVIRONMENT\n", stream);
    printRoff(
        "PAGEMAP_LIBS names a library definitions file, read when neither -L nor --libs\n"
        "is given.\n",
        stream);
    std::fputs(".SH FILES\n", stream);
    printRoff(
        "./libraries.defs, the library definitions read by default; page.map in each\n"
        "unit's folder, the unit's page map.\n",
        stream);
}

void printBashCompletion(std::FILE *stream) {
    std::fputs(
        "# bash completion of pagemap: commands, options, design units and libraries.\n"
        "# Made by pagemap --print-bash-completion from its command table.\n",
        stream);
    std::string commands;
    for (const Command &command : allCommands())
        commands += (commands.empty() ? "" : " ") + std::string(command.name);
    std::string options;
    for (const std::string &word : optionWords())
        options += (options.empty() ? "" : " ") + word;
    std::fprintf(stream, "_pagemap_commands='%s'\n_pagemap_options='%s'\n", commands.c_str(),
                 options.c_str());
    // Units and libraries come from `pagemap check --json` under the library
    // options of the line being completed; a unit holds ':', which bash takes
    // for a word break, so the word is joined back before it is matched.
    std::fputs(
        "_pagemap_units() {\n"
        "    \"$1\" \"${@:2}\" check --json 2>/dev/null |\n"
        "        sed -n 's/^{\"unit\":\"\\([^\"]*\\)\".*/\\1/p'\n"
        "}\n"
        "_pagemap() {\n"
        "    local i first word command='' operand=0 libs=() expect='' cur='' candidates=''\n"
        "    # The word being completed, joined back across the ':' bash splits at.\n"
        "    first=$COMP_CWORD\n"
        "    while ((first > 1)) && { [ \"${COMP_WORDS[first]}\" = : ] || [ \"${COMP_WORDS[first - "
        "1]}\" = : ]; }; do\n"
        "        first=$((first - 1))\n"
        "    done\n"
        "    for ((i = first; i <= COMP_CWORD; i++)); do cur+=${COMP_WORDS[i]}; done\n"
        "    for ((i = 1; i < first; i++)); do\n"
        "        word=${COMP_WORDS[i]}\n"
        "        if [ -n \"$expect\" ]; then\n"
        "            [ \"$expect\" = --mode ] || libs+=(\"$expect\" \"$word\")\n"
        "            expect=''\n"
        "            continue\n"
        "        fi\n"
        "        case $word in\n"
        "        -L | --libs | --mode) expect=$word ;;\n"
        "        -L?* | --libs=*) libs+=(\"$word\") ;;\n"
        "        : | -*) ;;\n"
        "        *)\n"
        "            if [ \"${COMP_WORDS[i - 1]}\" = : ]; then\n"
        "                :\n"
        "            elif [ -z \"$command\" ]; then\n"
        "                command=$word\n"
        "            else\n"
        "                operand=$((operand + 1))\n"
        "            fi\n"
        "            ;;\n"
        "        esac\n"
        "    done\n"
        "    if [ -n \"$expect\" ]; then\n"
        "        COMPREPLY=()\n"
        "        [ \"$expect\" = --mode ] || COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        "        return\n"
        "    fi\n"
        "    case $cur in -*)\n"
        "        COMPREPLY=($(compgen -W \"$_pagemap_options\" -- \"$cur\"))\n"
        "        return\n"
        "    esac\n"
        "    if [ -z \"$command\" ]; then\n"
        "        COMPREPLY=($(compgen -W \"$_pagemap_commands\" -- \"$cur\"))\n"
        "        return\n"
        "    fi\n"
        "    case $command in\n",
        stream);
    // Each command's operands say what its words are: a UNIT first, or
    // LIBRARY names, or its own options ("[--strict]").
    for (const Command &command : allCommands()) {
        const std::string_view operands = command.operands;
        std::string flags;
        for (std::size_t at = operands.find("[--"); at != std::string_view::npos;
             at = operands.find("[--", at + 1)) {
            const std::size_t stop = operands.find(']', at);
            flags += " " + std::string(operands.substr(at + 1, stop - at - 1));
        }
        std::string arm;
        if (operands.substr(0, 4) == "UNIT") {
            arm = "[ \"$operand\" = 0 ] && candidates=$(_pagemap_units \"$1\" \"${libs[@]}\")";
        } else if (operands.find("LIBRARY") != std::string_view::npos) {
            arm = "candidates=$(_pagemap_units \"$1\" \"${libs[@]}\" | sed 's/[.].*//' | sort -u)";
        } else {
            arm = ":";
        }
        std::fprintf(stream, "    %.*s) %s; candidates+='%s' ;;\n",
                     static_cast<int>(command.name.size()), command.name.data(), arm.c_str(),
                     flags.c_str());
    }
    std::fputs(
        "    esac\n"
        "    COMPREPLY=($(compgen -W \"$candidates\" -- \"$cur\"))\n"
        "    # What bash replaces is the part after the last ':'.\n"
        "    if [[ $cur == *:* ]]; then\n"
        "        local kept=${cur%:*}:\n"
        "        COMPREPLY=(\"${COMPREPLY[@]#\"$kept\"}\")\n"
        "    fi\n"
        "}\n"
        "complete -F _pagemap pagemap\n",
        stream);
}
