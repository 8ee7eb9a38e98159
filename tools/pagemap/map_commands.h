// The commands that look at or edit the page map of one design unit:
// path, dump, pairs, get, reverse, highest, set, delete and clear.
#pragma once

#include <string>
#include <vector>

#include "commands.h"
#include "exit_status.h"

// What each page-map command does with the unit's page map (the command
// table in commands.cc names them).
struct MapAction;
extern const MapAction kPathAction;
extern const MapAction kDumpAction;
extern const MapAction kPairsAction;
extern const MapAction kGetAction;
extern const MapAction kReverseAction;
extern const MapAction kHighestAction;
extern const MapAction kSetAction;
extern const MapAction kDeleteAction;
extern const MapAction kClearAction;

// Whether the action reads the map file before it answers (a file that
// cannot be read to its end is then reported), or edits the page map and
// saves it.
bool mapActionReadsFile(const MapAction &action);
bool mapActionEdits(const MapAction &action);

// Runs a page-map command on its operands (LIB.CELL:VIEW, then its numbers).
// Edits save the unit's map file before they report success, so they run in
// file mode 0 only: in another the map file keeps no pairs. `fileMode` is the
// mode the tool set (a lookup that finds no pair in another mode says why).
ExitStatus runMapCommand(const Command &command, const std::vector<std::string> &operands,
                         int fileMode);
