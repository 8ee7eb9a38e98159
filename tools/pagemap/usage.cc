// Kept in one place so that --help, each command's help, the usage hints and
// the README say the same.
#include "usage.h"

#include <cctype>
#include <string_view>

namespace {

constexpr const char kSynopsis[] =
    "usage: pagemap [-L LIB=DIR]... [--libs FILE] [--mode N] COMMAND ARGUMENT...\n";

struct CommandHelp {
    std::string_view name;
    std::string_view operands;
    std::string_view summary;  // one line in the list of commands
    std::string_view details;  // the rest of the command's own help
    // What the command does with the map file, for the help's closing paragraph.
    enum class Use { none, reads, edits } use = Use::none;
    std::string_view more = "";  // details after the shared ones
};

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

constexpr const char kRelabelDetails[] =
    "Names are given as arguments, or read from standard input one a line with\n"
    "\"-\" or no NAME, and answered one a line. A name is elements joined by '/',\n"
    "each \"INST@PAGE\", a label, or either followed by \"(LIB.CELL:VIEW)\", e.g.\n"
    "top(work.top:sch)/U1@3(work.alu:sch). An element's page is mapped through\n"
    "the page map of the unit its parent element names, and its label becomes\n"
    "pageN_INST (or pageN). The first element is never relabelled; an element\n"
    "whose page has no pair is left as it is. A name that cannot be relabelled\n"
    "is printed unchanged and reported (exit 7).\n";

constexpr const char kRelabelStrict[] =
    "An element whose parent unit is unknown (its library undefined or its folder\n"
    "missing) keeps its label, and the name is not reported (exit 0).\n"
    "  --strict   report each name with such an element, and exit 3\n";

constexpr const char kRelabelLastStrict[] =
    "Only the last element is looked up. When its parent unit is unknown (its\n"
    "library undefined or its folder missing) the name is printed unchanged and\n"
    "reported with exit 3, with or without --strict: the library's last-element\n"
    "call reports the failed lookup, where the whole-name call goes on. A page\n"
    "without a pair leaves the name unchanged (exit 0).\n"
    "  --strict   accepted, and changes nothing for relabel-last\n";

constexpr const char kCheckDetails[] =
    "Walks every unit folder, LIBRARY_DIR/CELL/VIEW, of the named libraries (all\n"
    "defined libraries when none is named), reads each page.map with the library\n"
    "in mode 0, and prints one line per problem:\n"
    "  UNIT: damaged at line N (\"TEXT\")     reading stopped there; the start of\n"
    "                                       the line is shown\n"
    "  UNIT: unreadable: REASON             the file cannot be read, or page.map\n"
    "                                       is not a regular file\n"
    "  UNIT: dangling link page.map -> T    T does not exist; the map reads empty\n"
    "  UNIT: leftover temporary page.ma~    left by a save that was killed; the\n"
    "                                       next save of the unit takes it over\n"
    "then \"checked N units: M map files, K damaged, J unreadable, L leftovers\";\n"
    "when not one library could be walked (those named are not defined, or their\n"
    "folders cannot be listed) only the errors are printed.\n"
    "Exit 6 when a map file is damaged or unreadable, else 3 when a library is not\n"
    "defined or its folders cannot be listed, else 1 for leftovers or dangling\n"
    "links, else 0.\n"
    "  --json     one JSON object a line for each unit: {\"unit\", \"folder\",\n"
    "             \"map_file\", \"problems\": [{\"kind\": \"damaged\" (\"line\",\n"
    "             \"text\"), \"unreadable\" (\"reason\"), \"not-regular\" (\"type\"),\n"
    "             \"dangling-link\" (\"target\") or \"leftover\" (\"name\")}]},\n"
    "             then one with the counts\n";

constexpr CommandHelp kCommands[] = {
    {"path", "UNIT", "print the unit's map file path", ""},
    {"dump", "UNIT", "print the library's dump of the unit's page map",
     "One pair a line, \"Original Page : P Mapped Page : M\", pages unsigned\n"
     "(4294967295 is the page -1). Pairs read before a damaged part of the map\n"
     "file are printed before the error.\n",
     CommandHelp::Use::reads},
    {"pairs", "UNIT", "print the unit's pairs as its map file holds them",
     "One pair a line, \"PAGE MAPPED\" in signed decimal, in ascending order of\n"
     "the page taken unsigned: the form of page.map, for scripts.\n",
     CommandHelp::Use::reads},
    {"get", "UNIT PAGE", "print the page that PAGE is mapped to",
     "Exits 1 when PAGE has no pair.\n", CommandHelp::Use::reads},
    {"reverse", "UNIT MAPPED", "print the lowest original page mapped to MAPPED",
     "Pages are compared unsigned. Exits 1 when no page is mapped to MAPPED.\n",
     CommandHelp::Use::reads},
    {"highest", "UNIT", "print the highest original page with a pair",
     "Pages are compared unsigned, so -1 is the highest of all; 0 when the page\n"
     "map has no pair.\n",
     CommandHelp::Use::reads},
    {"set", "UNIT PAGE MAPPED", "map PAGE to MAPPED, then save",
     "Equal numbers remove the pair of PAGE.\n", CommandHelp::Use::edits},
    {"delete", "UNIT PAGE", "remove the pair of PAGE, then save", "", CommandHelp::Use::edits},
    {"clear", "UNIT", "remove every pair, then save",
     "A map file that cannot be read to its end is started afresh, with a warning.\n",
     CommandHelp::Use::edits},
    {"relabel", "[--strict] [NAME... | -]", "relabel every element of each hierarchical name",
     kRelabelDetails, CommandHelp::Use::none, kRelabelStrict},
    {"relabel-last", "[--strict] [NAME... | -]", "relabel the last element of each name only",
     kRelabelDetails, CommandHelp::Use::none, kRelabelLastStrict},
    {"check", "[--json] [LIBRARY...]", "report damaged, unreadable and leftover map files",
     kCheckDetails},
};

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

const CommandHelp *findHelp(std::string_view name) {
    for (const CommandHelp &command : kCommands) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

void printSynopsis(const CommandHelp &command, std::FILE *stream) {
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
    for (const CommandHelp &command : kCommands) {
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
    const CommandHelp *command = findHelp(name);
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
    if (command->use == CommandHelp::Use::reads) std::fprintf(stream, "\n%s", kReadDetails);
    if (command->use == CommandHelp::Use::edits) std::fprintf(stream, "\n%s", kEditDetails);
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
    if (const CommandHelp *command = findHelp(name)) {
        printSynopsis(*command, stream);
        std::fprintf(stream, "Try 'pagemap %s --help' for more.\n", name.c_str());
    } else {
        printUsageHint(stream);
    }
}
