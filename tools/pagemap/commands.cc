// The command table, with the help texts that belong to one command or kind.
#include "commands.h"

#include "map_commands.h"

namespace {

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
    "             then one with the counts and the errors, even when nothing\n"
    "             could be checked: \"errors\" (how many) and \"error_messages\"\n"
    "             (each one's text, as standard error says it)\n";

constexpr const char kJournalDetails[] =
    "Shows the unit's map file, the mark a rewrite in place leaves on it while it\n"
    "runs, the journal (page.ma~) that mark or the file's name leads to, and what\n"
    "a load finds. A load or save puts a rewrite cut short back by itself; this\n"
    "is for what none can: a journal beside a name that leads elsewhere here,\n"
    "another user's journal, a mark with no journal anywhere, the journal of a\n"
    "file moved away. Exit 0 when there is nothing to resolve, else 1.\n"
    "  put-back   write the journal's old content into the map file (made if\n"
    "             missing), then remove the journal and the mark\n"
    "  discard    remove the journal and the mark, leaving the file as it is\n"
    "Either asks for \"y\" on standard input first; exit 5 when it fails.\n";

const Command kCommands[] = {
    {"path", Command::Kind::map, "UNIT", "print the unit's map file path", "", "", &kPathAction},
    {"dump", Command::Kind::map, "UNIT", "print the library's dump of the unit's page map",
     "One pair a line, \"Original Page : P Mapped Page : M\", pages unsigned\n"
     "(4294967295 is the page -1). Pairs read before a damaged part of the map\n"
     "file are printed before the error.\n",
     "", &kDumpAction},
    {"pairs", Command::Kind::map, "UNIT", "print the unit's pairs as its map file holds them",
     "One pair a line, \"PAGE MAPPED\" in signed decimal, in ascending order of\n"
     "the page taken unsigned: the form of page.map, for scripts.\n",
     "", &kPairsAction},
    {"get", Command::Kind::map, "UNIT PAGE", "print the page that PAGE is mapped to",
     "Exits 1 when PAGE has no pair.\n", "", &kGetAction},
    {"reverse", Command::Kind::map, "UNIT MAPPED",
     "print the lowest original page mapped to MAPPED",
     "Pages are compared unsigned. Exits 1 when no page is mapped to MAPPED.\n", "",
     &kReverseAction},
    {"highest", Command::Kind::map, "UNIT", "print the highest original page with a pair",
     "Pages are compared unsigned, so -1 is the highest of all; 0 when the page\n"
     "map has no pair.\n",
     "", &kHighestAction},
    {"set", Command::Kind::map, "UNIT PAGE MAPPED", "map PAGE to MAPPED, then save",
     "Equal numbers remove the pair of PAGE.\n", "", &kSetAction},
    {"delete", Command::Kind::map, "UNIT PAGE", "remove the pair of PAGE, then save", "", "",
     &kDeleteAction},
    {"clear", Command::Kind::map, "UNIT", "remove every pair, then save",
     "A map file that cannot be read to its end is started afresh, with a warning.\n", "",
     &kClearAction},
    {"relabel", Command::Kind::relabel, "[--strict] [NAME... | -]",
     "relabel every element of each hierarchical name", kRelabelDetails, kRelabelStrict, nullptr},
    {"relabel-last", Command::Kind::relabelLast, "[--strict] [NAME... | -]",
     "relabel the last element of each name only", kRelabelDetails, kRelabelLastStrict, nullptr},
    {"check", Command::Kind::check, "[--json] [LIBRARY...]",
     "report damaged, unreadable and leftover map files", kCheckDetails, "", nullptr},
    {"journal", Command::Kind::journal, "UNIT [put-back | discard]",
     "show the unit's journal and mark; resolve them", kJournalDetails, "", nullptr},
};

}  // namespace

bool Command::readsMapFile() const {
    return map != nullptr && mapActionReadsFile(*map);
}

bool Command::edits() const {
    return map != nullptr && mapActionEdits(*map);
}

const Command *findCommand(std::string_view name) {
    for (const Command &command : kCommands) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

CommandList allCommands() {
    return {std::begin(kCommands), std::end(kCommands)};
}
