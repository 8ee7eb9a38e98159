// What the pagemap tool may rely on beyond trel.h, and nothing else of the
// library's internals: the tool links the library's objects, so that it can
// say more about a unit than the twenty entry points tell (a load's problem
// with its line, a page map's pairs, the parent units of a name), but it asks
// through these functions only. Each answers as the entry points would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "api/last_error.h"            // badSpecMessage: the words of TREL_BAD_SPEC
#include "cname/parent_units.h"        // forEachParentUnit: the units a relabel looks up
#include "files/journal_resolution.h"  // a unit's journal and mark, shown and resolved
#include "maps/unit_name.h"

namespace trel {

// The unit's map file name, and the temporary name beside it, where a save
// writes its new file or a rewrite in place its journal. A file found there
// while no save runs is a leftover of a save cut short; the next save or load
// of the unit deals with it.
std::string mapFileName();        // "page.map"
std::string temporaryFileName();  // "page.ma~"

// What registering a unit found in its map file.
struct UnitRegistration {
    enum class File : uint8_t { whole, unreadable, damaged };
    int status = 0;            // TREL_OK, TREL_ALREADY_LOADED, TREL_CANNOT_READ or TREL_BAD_SPEC
    std::string problem;       // the library's message when the file could not be read to its end
    File file = File::whole;   // with TREL_CANNOT_READ: why not
    int systemError = 0;       // unreadable: the system's reason (errno)
    uint64_t damagedLine = 0;  // damaged: the line where reading stopped
    std::string path;          // the map file's path; "" with TREL_BAD_SPEC
};

// Registers and loads the unit's page map as trelGetPageMapping does, under
// the settings trelInit and trelSetFileMode made, unless it is registered
// already; says what the load found, which the entry points tell only
// trelloadMapFile's caller.
UnitRegistration registerUnit(const UnitName &unit);

// Calls visit(page, mapped) for every pair of the registered unit, in page
// order. False, visiting nothing, when the unit is not registered.
bool forEachPair(const UnitName &unit, const std::function<void(int32_t, int32_t)> &visit);

}  // namespace trel
