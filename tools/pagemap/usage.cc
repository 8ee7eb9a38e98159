// Kept in one text so that --help, the usage hint and the README say the same.
#include "usage.h"

namespace {

constexpr const char kSynopsis[] =
    "usage: pagemap [-L LIB=DIR]... [--libs FILE] [--mode N] COMMAND ARGUMENT...\n";

constexpr const char kHelp[] =
    "Looks at and edits the page maps of design units, and relabels hierarchical\n"
    "names after them. A unit is written LIB.CELL:VIEW; its page map lives in the\n"
    "file page.map in the unit's directory, <library directory>/CELL/VIEW.\n"
    "\n"
    "Options (before the command):\n"
    "  -L LIB=DIR      define library LIB as the directory DIR (repeatable)\n"
    "  --libs FILE     read library definitions from FILE: one \"LIB DIR\" a line,\n"
    "                  '#' starts a comment, relative directories are taken from\n"
    "                  FILE's folder\n"
    "                  (-L and --libs apply in order; a later definition of a\n"
    "                  library replaces an earlier one)\n"
    "  --mode N        map file mode: 0, the default, reads and writes the pairs of\n"
    "                  page.map; any other mode opens the file but transfers no\n"
    "                  pairs, so edits are not kept\n"
    "  -h, --help      print this help and exit\n"
    "\n"
    "Commands:\n"
    "  path    UNIT                 print the unit's map file path\n"
    "  dump    UNIT                 print every pair of the unit's page map\n"
    "  get     UNIT PAGE            print the page that PAGE is mapped to\n"
    "  reverse UNIT MAPPED          print the lowest original page mapped to MAPPED\n"
    "  highest UNIT                 print the highest original page that has a pair\n"
    "                               (0 when there is none)\n"
    "  set     UNIT PAGE MAPPED     map PAGE to MAPPED, then save the unit's map\n"
    "                               file; equal numbers remove the pair\n"
    "  delete  UNIT PAGE            remove the pair of PAGE, then save\n"
    "  clear   UNIT                 remove every pair, then save\n"
    "  relabel      [NAME... | -]   relabel every element of each hierarchical name\n"
    "  relabel-last [NAME... | -]   relabel the last element of each name only\n"
    "                               (with \"-\" or no NAME, names are read from\n"
    "                               standard input, one a line, and answered one a\n"
    "                               line)\n"
    "\n"
    "Pages are 32-bit integers, given in decimal from -2147483648 to 4294967295\n"
    "(dumps print pages unsigned: 4294967295 is the page -1). Pairs are ordered by\n"
    "their pages taken unsigned.\n"
    "\n"
    "A name is elements joined by '/', each \"INST@PAGE\", a label, or either followed\n"
    "by \"(LIB.CELL:VIEW)\", e.g. top(work.top:sch)/U1@3(work.alu:sch). An element's\n"
    "page is mapped through the page map of the unit its parent element names, and\n"
    "its label becomes pageN_INST (or pageN). The first element is never relabelled;\n"
    "an element whose page has no pair is left as it is.\n"
    "\n"
    "set and delete are refused, and nothing changed, when the existing page.map is\n"
    "not a complete list of page pairs (clear starts such a file afresh). A failed\n"
    "save is an error and leaves the previous file in place.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  no such pair (get, reverse)\n"
    "  2  bad command line\n"
    "  3  unknown design unit: its library is not defined or its directory is missing\n"
    "  4  a library definition (-L, --libs) was refused\n"
    "  5  the map file could not be written\n"
    "  6  the map file is unreadable or not a list of page pairs; nothing changed\n"
    "  7  a name could not be relabelled (relabel: printed unchanged)\n"
    "  8  reading standard input or writing standard output failed\n"
    "  9  an unexpected failure: a library status this tool does not expect, or\n"
    "     memory ran out\n"
    "When several names fail, the status is that of the first failure.\n";

}  // namespace

void printHelp(std::FILE *stream) {
    std::fputs(kSynopsis, stream);
    std::fputs("\n", stream);
    std::fputs(kHelp, stream);
}

void printUsageHint(std::FILE *stream) {
    std::fputs(kSynopsis, stream);
    std::fputs("Try 'pagemap --help' for the commands and the exit statuses.\n", stream);
}
