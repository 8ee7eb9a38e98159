// Loading a unit's page map through the library before a command uses it, so
// that a map file that exists but cannot be read to its end is reported: the
// library tells only trelloadMapFile's caller, not a lookup's.
#pragma once

#include <string>

#include "design_unit.h"

// What the load found.
struct MapFileLoad {
    int status = 0;       // the library's status: 0, TREL_CANNOT_READ, TREL_BAD_SPEC, ...
    std::string problem;  // why the file could not be read to its end; "" when it could, or
                          // when there is no file yet (a unit without pairs)
};

// Registers and loads the unit's page map, unless an earlier call already did.
MapFileLoad loadMapFile(const DesignUnit &unit);
