// Relabelling a hierarchical name: each element's label made to follow the
// page map of the unit its parent element names. The entry points
// trelGetMappedCname and trelGetMapeedCnameLastPathElem are these two
// functions; the statuses are theirs, and so is what is written to `out`.
#pragma once

#include "maps/unit_name.h"

namespace trel {

// Called for each unit whose page map cannot be found or created
// (TREL_BAD_SPEC), in the order relabelling meets them, for the caller to
// report: the names are valid during the call only.
using UnknownUnitReport = void (*)(const UnitName &unit);

// Every element after the first relabelled; an element whose parent has no
// page map, or whose page has no pair, keeps its label.
int relabelName(const char *src, char *out, int length, UnknownUnitReport reportUnknown);

// The last element only, refused with the lookup's status when its parent
// has no page map or its page no pair.
int relabelLastElement(const char *src, char *out, int length, UnknownUnitReport reportUnknown);

}  // namespace trel
