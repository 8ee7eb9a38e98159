// Loading a unit's page map through the library's registry before a command
// uses it, so that a map file that exists but cannot be read to its end is
// reported: the library tells only the loader, not a lookup. The reading is
// the library's, and so is what it found (the status, the message, the page
// map's file state and damaged line); the tool adds what a person needs to
// act on a damaged file: the text of its line, and how to get past it. The
// library's message names the line but does not quote it, so the tool reads
// that line's bytes itself (lineStart), as text, never as pairs.
#pragma once

#include <cstdint>
#include <string>

#include "design_unit.h"

// What the load found.
struct UnitLoad {
    int status = 0;            // TREL_OK, TREL_ALREADY_LOADED, TREL_CANNOT_READ or TREL_BAD_SPEC
    std::string problem;       // why the file could not be read to its end, with a damaged
                               // line quoted; "" when it could, when there is no file yet
                               // (no pairs), and when an earlier call loaded it
    std::string reason;        // the system's reason when the file could not be opened or read
    uint64_t damagedLine = 0;  // the line where reading stopped; 0 unless damaged
    std::string lineText;      // the start of that line, as its bytes (see lineStart)
    std::string recovery;      // for a damaged file, how to get past it; else ""
};

// Registers and loads the unit's page map, unless an earlier call already did,
// in the file mode the tool set.
UnitLoad loadUnit(const DesignUnit &unit);

// The load's problem, then `outcome` ("; nothing changed"), then how to get
// past it when there is a way: what every command that meets the problem says.
std::string problemWithRecovery(const UnitLoad &loaded, const std::string &outcome = "");

// The first `limit` bytes of line `line` (from 1) of the file at `path`,
// "..." added when the line is longer; "" when the file cannot be read that far.
std::string lineStart(const std::string &path, uint64_t line, std::size_t limit = 40);

// `text` in double quotes as a C string literal shows it: quotes and
// backslashes escaped, bytes outside printable ASCII as \xHH.
std::string literal(const std::string &text);

// "<path> is a link to <target>, which does not exist" for a symbolic link
// whose target is missing; "" for anything else.
std::string danglingLink(const std::string &path);
