// Where the tool's library definitions come from: -L and --libs in command
// order, or else a definitions file found without being named. What was read
// is remembered, so that a message about a library that is not defined can
// say where the tool looked.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"
#include "exit_status.h"

// Defines the libraries of `sources`; without any, reads the file named by
// $PAGEMAP_LIBS, else ./libraries.defs when there is one. A refused
// definition is reported and gives kBadLibraries.
ExitStatus defineLibraries(const std::vector<LibrarySource> &sources);

// For a message about a library that is not defined: the definitions that were
// read (and those that were passed over, such as a ./libraries.defs that
// $PAGEMAP_LIBS overrode), or how to define libraries when none were read.
std::string definitionsRead();
