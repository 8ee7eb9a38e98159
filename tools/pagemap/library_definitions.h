// Where the tool's library definitions come from: -L and --libs in command
// order, or else a definitions file found without being named.
#pragma once

#include <vector>

#include "command_line.h"
#include "exit_status.h"

// How a user defines libraries, for messages about a library that is not defined.
extern const char kHowToDefineLibraries[];

// Defines the libraries of `sources`; without any, reads the file named by
// $PAGEMAP_LIBS, else ./libraries.defs when there is one. A refused
// definition is reported and gives kBadLibraries.
ExitStatus defineLibraries(const std::vector<LibrarySource> &sources);
