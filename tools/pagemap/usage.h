// The help text of pagemap: synopsis, options, commands and the table of exit
// statuses.
#pragma once

#include <cstdio>

// Prints the full help on `stream`.
void printHelp(std::FILE *stream);

// Prints the one-line synopsis and where to find the rest, for command-line errors.
void printUsageHint(std::FILE *stream);
