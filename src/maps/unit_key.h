// The key text of a design unit, "lib.cell:view", which must fit a 1024-byte
// buffer: a unit whose key does not fit is refused. The text itself is not
// kept: the unit's page map holds its names, and a copy of the joined text
// for every unit ever named would only add to each unit's fixed memory.
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

}  // namespace trel
