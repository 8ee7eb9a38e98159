// The command line of pagemap: options that set the tool up (library
// definitions, file mode, help) and the command with its operands. Options
// may come before or after the command.
#pragma once

#include <string>
#include <vector>

// One library definition source, kept in command-line order so that a later
// definition of the same library replaces an earlier one.
struct LibrarySource {
    bool fromFile = false;  // --libs FILE, otherwise -L LIB=DIR
    std::string library;    // LIB of -L
    std::string path;       // DIR of -L, or FILE of --libs
};

struct CommandLine {
    std::vector<LibrarySource> libraries;
    int fileMode = 0;  // the tool edits the text files unless told otherwise
    bool help = false;
    bool version = false;
    bool strict = false;  // relabel: names under unknown units are failures
    bool json = false;    // check: one JSON object a line
    // What the build installs beside the tool, made from its help texts:
    // --print-manual and --print-bash-completion, which --help leaves out.
    bool manual = false;
    bool completion = false;
    std::string command;
    std::vector<std::string> operands;
};

// Parses argv. On a malformed command line, returns false with the reason.
bool parseCommandLine(int argc, char **argv, CommandLine &parsed, std::string &error);
