// The help texts of pagemap: the full help, each command's own help, and the
// usage hints printed after a command-line error.
#pragma once

#include <cstdio>
#include <string>

// Prints the full help on `stream`.
void printHelp(std::FILE *stream);

// Prints the help of one command; false when there is no such command.
bool printCommandHelp(const std::string &command, std::FILE *stream);

// Prints the one-line synopsis and where to find the rest, for command-line errors.
void printUsageHint(std::FILE *stream);

// Prints the synopsis of one command and where to find the rest.
void printCommandUsage(const std::string &command, std::FILE *stream);
