// The help texts of pagemap: the full help, each command's own help, the
// usage hints printed after a command-line error, and what the build makes
// from the same texts: the manual page and the bash completion.
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

// Prints the manual page pagemap(1), in man's source form, from the texts of
// --help and the command table (pagemap --print-manual, run by the build).
void printManual(std::FILE *stream);

// Prints a bash completion of the commands, the options, and the design
// units and libraries that `pagemap check --json` lists, from the command
// table (pagemap --print-bash-completion, run by the build).
void printBashCompletion(std::FILE *stream);
