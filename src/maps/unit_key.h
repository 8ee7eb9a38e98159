// The registry key of a design unit: its text "lib.cell:view", saved once in
// the string-save table, and a 32-bit identity for that saved text.
//
// The identity is an ordinal handed out at the text's first use, not the saved
// text's address: an address cut to 32 bits could collide on 64-bit platforms
// and give one unit another unit's page map. Ordinals are never reused and
// survive trelReset, like the saved texts themselves.
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
