// pagemap check: every unit folder of the defined (or named) libraries looked
// at for what a designer should know about its map file: damaged, unreadable,
// not a regular file, a link to nothing, a temporary left by a killed save.
#pragma once

#include <string>
#include <vector>

#include "exit_status.h"

// Checks the units of `libraries` (every defined library when empty), one
// line per problem and a summary line, or with `json` one JSON object per
// unit and a closing summary object; when no library could be walked (none
// named is defined, or none can be listed) only the errors. Exit status: kCannotRead when a map
// file is damaged or unreadable, else kUnknownUnit when a library cannot be listed, else
// kOnlyLeftovers for leftovers and dangling links, else 0.
ExitStatus runCheckCommand(const std::vector<std::string> &libraries, bool json);
