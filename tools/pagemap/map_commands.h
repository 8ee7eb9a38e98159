// The commands that look at or edit the page map of one design unit:
// path, dump, pairs, get, reverse, highest, set, delete and clear.
#pragma once

#include <string>
#include <vector>

#include "exit_status.h"

// True when `command` is one of the page-map commands.
bool isMapCommand(const std::string &command);

// Runs a page-map command on its operands (LIB.CELL:VIEW, then its numbers).
// Edits save the unit's map file before they report success.
ExitStatus runMapCommand(const std::string &command, const std::vector<std::string> &operands,
                         int fileMode);
