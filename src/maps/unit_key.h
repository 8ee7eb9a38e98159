// The registry key of a design unit: its text "lib.cell:view", which must fit
// a 1024-byte buffer, saved once in the string-save table when the unit is
// registered. Saved key texts are never released and survive trelReset.
//
// A unit is its three names: "a.b" "c" and "a" "b.c" join to the same text
// but are two units with two directories, so the registry finds units by the
// names themselves (see unit_index.h), never by the joined text.
#pragma once

#include <cstddef>

#include "maps/unit_name.h"

namespace trel {

// The key text, with its terminating NUL, must fit this many bytes.
constexpr size_t kUnitKeySize = 1024;

// Whether the unit's names are all present and its key text fits.
bool unitKeyFits(const UnitName &unit);
// Saves the key text of a unit whose key fits.
void saveUnitKey(const UnitName &unit);

}  // namespace trel
