// The commands that look at or edit the page map of one design unit:
// path, dump, pairs, get, reverse, highest, set, delete and clear.
#pragma once

#include <string>
#include <vector>

#include "exit_status.h"

// True when `command` is one of the page-map commands.
bool isMapCommand(const std::string &command);

// True for the page-map commands that edit the page map: set, delete, clear.
bool isEditCommand(const std::string &command);

// Runs a page-map command on its operands (LIB.CELL:VIEW, then its numbers).
// Edits save the unit's map file before they report success, so they run in
// file mode 0 only: in another the map file keeps no pairs.
ExitStatus runMapCommand(const std::string &command, const std::vector<std::string> &operands);
