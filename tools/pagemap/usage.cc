// The help texts shared by several commands (what a read or an edit does with
// the map file) and the printing of --help, each command's help and the usage
// hints; each command's own text is in the command table (commands.cc).
#include "usage.h"

#include <cctype>
#include <string_view>

#include "commands.h"

namespace {

constexpr const char kSynopsis[] =
    "usage: pagemap [-L LIB=DIR]... [--libs FILE] [--mode N] COMMAND ARGUMENT...\n";

constexpr const char kEditDetails[] =
    "The unit's page.map is saved before the command reports success; a failed\n"
    "save exits 5 with the system's reason and leaves the previous file in place.\n"
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
    "  5  the map file could not be written; the previous file is in place\n"
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
