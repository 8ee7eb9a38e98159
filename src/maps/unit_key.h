// The registry key of a design unit: a 32-bit identity for its three names,
// and its text "lib.cell:view", saved once in the string-save table.
//
// A unit is its three names: "a.b" "c" and "a" "b.c" join to the same text
// but are two units with two directories, so the identity is given to the
// names themselves, not to the joined text. It is an ordinal handed out at the
// unit's first use; ordinals are never reused and survive trelReset, like the
// saved texts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "maps/unit_name.h"

namespace trel {

// The key text, with its terminating NUL, must fit this many bytes.
constexpr size_t kUnitKeySize = 1024;

// Stores the unit's identity into *id. False, with nothing saved, when a name
// is null or the key text does not fit kUnitKeySize.
bool unitKey(const UnitName &unit, uint32_t *id);

}  // namespace trel
